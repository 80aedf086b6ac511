// microtune calibrate: measures what every key of the built-in
// synthesizer's sound font sounds, program by program, and fills the
// companion's calibration cache, so that no program costs anything the
// first time it plays. The measuring runs in the companion module, reached
// through its calibration entries, so the host itself loads no audio library.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "commands/commands.h"
#include "formats/names.h"
#include "formats/text_file.h"
#include "host_error.h"
#include "library/companion_module.h"
#include "library/companion_start.h"
#include "library/voice.h"

namespace mthost {
namespace {

// The companion's calibration entries, looked up once.
class CompanionCalibrator {
public:
    CompanionCalibrator() {
        std::string why;
        module_ = OpenCompanion(why);
        if (!module_)
            throw HostError(std::string("cannot calibrate: the companion ") + TEMBREL_MODULE_FILE +
                            " cannot be loaded: " + why);
        open_ = Entry<TembrelCalibratorOpenEntry>(TEMBREL_CALIBRATOR_OPEN_ENTRY);
        hash_ = Entry<TembrelCalibratorFontHashEntry>(TEMBREL_CALIBRATOR_FONT_HASH_ENTRY);
        cache_ = Entry<TembrelCalibratorCacheEntry>(TEMBREL_CALIBRATOR_CACHE_ENTRY);
        calibrate_ = Entry<TembrelCalibrateProgramEntry>(TEMBREL_CALIBRATE_PROGRAM_ENTRY);
        close_ = Entry<TembrelCalibratorCloseEntry>(TEMBREL_CALIBRATOR_CLOSE_ENTRY);
    }
    ~CompanionCalibrator() {
        if (calibrator_) close_(calibrator_);
        CloseCompanion(module_);
    }
    CompanionCalibrator(const CompanionCalibrator &) = delete;
    CompanionCalibrator &operator=(const CompanionCalibrator &) = delete;

    bool Open(const std::string &font) { return (calibrator_ = open_(font.c_str())) != nullptr; }
    std::string FontHash() const { return hash_(calibrator_); }
    std::string CacheDirectory() const { return cache_(calibrator_); }
    int Calibrate(int program, TembrelProgramCalibration &out) {
        return calibrate_(calibrator_, 0, program, &out);
    }

private:
    template <typename Fn>
    Fn Entry(const char *name) {
        Fn entry = reinterpret_cast<Fn>(CompanionEntry(module_, name));
        if (!entry) {
            CloseCompanion(module_);
            throw HostError(std::string("cannot calibrate: no ") + name + " entry in " +
                            TEMBREL_MODULE_FILE);
        }
        return entry;
    }

    void *module_ = nullptr;
    void *calibrator_ = nullptr;
    TembrelCalibratorOpenEntry open_ = nullptr;
    TembrelCalibratorFontHashEntry hash_ = nullptr;
    TembrelCalibratorCacheEntry cache_ = nullptr;
    TembrelCalibrateProgramEntry calibrate_ = nullptr;
    TembrelCalibratorCloseEntry close_ = nullptr;
};

const char *StateWord(char state) {
    switch (state) {
        case TEMBREL_KEY_CORRECTED:
            return "corrected";
        case TEMBREL_KEY_UNPITCHED:
            return "unpitched: left alone";
        case TEMBREL_KEY_WILD:
            return "over 50 cents off: left alone";
        default:
            break;
    }
    return "silent";
}

void PrintKeys(const TembrelProgramCalibration &result) {
    for (int key = 0; key < TEMBREL_KEYS; ++key) {
        if (result.state[key] == TEMBREL_KEY_SILENT) continue;
        std::printf("      key %3d %-2s%-2d  sounds %+8.3f cents  correction %+8.3f  %s\n", key,
                    NoteLetter(key), NoteOctave(key), result.cents[key], result.correction[key],
                    StateWord(result.state[key]));
    }
}

void PrintSummary(int program, const TembrelProgramCalibration &result, bool cached) {
    std::vector<double> corrections;
    int measured = 0, unpitched = 0, wild = 0;
    for (int key = 0; key < TEMBREL_KEYS; ++key) {
        const char state = result.state[key];
        if (state == TEMBREL_KEY_SILENT) continue;
        ++measured;
        if (state == TEMBREL_KEY_UNPITCHED) ++unpitched;
        if (state == TEMBREL_KEY_WILD) ++wild;
        if (state == TEMBREL_KEY_CORRECTED) corrections.push_back(std::fabs(result.cents[key]));
    }
    const double median = Median(corrections);
    const double largest =
        corrections.empty() ? 0.0 : *std::max_element(corrections.begin(), corrections.end());
    std::printf(
        "%3d %-26s %3d keys measured, correction median %5.2f largest %5.2f cents, "
        "%3d unpitched",
        program, VoiceName(program).c_str(), measured, median, largest, unpitched);
    if (wild) std::printf(", %d off by over 50 cents", wild);
    std::printf(", %.2f s%s\n", result.seconds, cached ? " (cache was up to date)" : "");
}

}  // namespace

void AddCalibrateCommand(CLI::App &app) {
    CLI::App *command = app.add_subcommand(
        "calibrate",
        "Measure every key of the built-in synthesizer's sound font and fill its calibration "
        "cache");
    struct Options {
        std::string font, voice;
        bool all = false, verbose = false;
    };
    auto options = std::make_shared<Options>();
    command->add_option("--font", options->font,
                        "SoundFont file (default: $MICROTUNE_SOUNDFONT, else " +
                            std::string(TEMBREL_DEFAULT_SOUNDFONT) + ")");
    CLI::Option *voice = command->add_option("--voice", options->voice,
                                             "Only this General MIDI voice: a number or a name");
    CLI::Option *all =
        command->add_flag("--all", options->all, "Every program of bank 0 (the default)");
    voice->excludes(all);
    all->excludes(voice);
    command->add_flag("--verbose", options->verbose, "Print every key's measurement");

    command->callback([options] {
        const std::string unavailable = BuiltInUnavailable();
        if (!unavailable.empty()) throw HostError(unavailable);
        const std::string font = options->font.empty() ? SoundFontPath() : options->font;
        std::vector<int> programs;
        if (!options->voice.empty()) {
            programs.push_back(LookUpVoice(options->voice).number);
        } else {
            for (int program = 0; program < 128; ++program) programs.push_back(program);
        }

        const std::string shown = PrintableName(font);
        if (access(font.c_str(), R_OK) != 0)
            throw HostError(shown + ": cannot read the sound font");
        CompanionCalibrator calibrator;
        if (!calibrator.Open(font))
            throw HostError(shown + ": not a sound font FluidSynth can load");
        const std::string hash = calibrator.FontHash();
        const std::string cache = calibrator.CacheDirectory();
        std::printf("microtune calibrate: %s (content %s), cache %s\n", shown.c_str(), hash.c_str(),
                    cache.empty() ? "(none: no home folder)" : PrintableName(cache).c_str());
        std::fflush(stdout);

        const auto start = std::chrono::steady_clock::now();
        int done = 0;
        bool unsaved = false;
        for (int program : programs) {
            TembrelProgramCalibration result{};
            const int outcome = calibrator.Calibrate(program, result);
            if (outcome == TEMBREL_NOT_IN_FONT) {
                std::printf("%3d %-26s not in this font\n", program, VoiceName(program).c_str());
                continue;
            }
            ++done;
            if (outcome == TEMBREL_NOT_SAVED) unsaved = true;
            PrintSummary(program, result, false);
            if (options->verbose) PrintKeys(result);
            std::fflush(stdout);
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%d program%s calibrated in %.2f s (%.2f s each)\n", done, done == 1 ? "" : "s",
                    seconds, done ? seconds / done : 0.0);
        if (unsaved)
            throw HostError(PrintableName(cache) +
                            ": cannot write the calibration cache; nothing was kept");
    });
}

}  // namespace mthost
