// microtune calibrate: measures what every key of the built-in
// synthesizer's sound font sounds, program by program, and fills the
// companion's calibration cache, so that no program costs anything the
// first time it plays.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "calibration_cache.h"
#include "commands.h"
#include "font_hash.h"
#include "host_error.h"
#include "program_calibration.h"
#include "voice.h"

namespace mthost {
namespace {

using calibration::KeyState;
using calibration::ProgramCalibration;

const char *NoteName(int key) {
    static const char *const names[] = {"C",  "C#", "D",  "D#", "E",  "F",
                                        "F#", "G",  "G#", "A",  "A#", "B"};
    return names[key % 12];
}

const char *StateWord(KeyState state) {
    switch (state) {
        case KeyState::Corrected:
            return "corrected";
        case KeyState::Unpitched:
            return "unpitched: left alone";
        case KeyState::Wild:
            return "over 50 cents off: left alone";
        case KeyState::Silent:
            break;
    }
    return "silent";
}

void PrintKeys(const ProgramCalibration &result) {
    for (int key = 0; key < calibration::KEYS; ++key) {
        const calibration::KeyMeasurement &k = result.keys[key];
        if (k.state == KeyState::Silent) continue;
        std::printf("      key %3d %-2s%-2d  sounds %+8.3f cents  correction %+8.3f  %s\n", key,
                    NoteName(key), key / 12 - 1, k.cents, result.Correction(key),
                    StateWord(k.state));
    }
}

void PrintSummary(int program, const ProgramCalibration &result, bool cached) {
    std::vector<double> corrections;
    int measured = 0, unpitched = 0, wild = 0;
    for (const calibration::KeyMeasurement &k : result.keys) {
        if (k.state == KeyState::Silent) continue;
        ++measured;
        if (k.state == KeyState::Unpitched) ++unpitched;
        if (k.state == KeyState::Wild) ++wild;
        if (k.state == KeyState::Corrected) corrections.push_back(std::fabs(k.cents));
    }
    std::sort(corrections.begin(), corrections.end());
    double median = 0.0, largest = 0.0;
    if (!corrections.empty()) {
        const size_t n = corrections.size();
        median = n % 2 ? corrections[n / 2] : 0.5 * (corrections[n / 2 - 1] + corrections[n / 2]);
        largest = corrections.back();
    }
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
                            std::string(calibration::DEFAULT_FONT) + ")");
    CLI::Option *voice = command->add_option("--voice", options->voice,
                                             "Only this General MIDI voice: a number or a name");
    CLI::Option *all =
        command->add_flag("--all", options->all, "Every program of bank 0 (the default)");
    voice->excludes(all);
    all->excludes(voice);
    command->add_flag("--verbose", options->verbose, "Print every key's measurement");

    command->callback([options] {
        std::string font = options->font;
        if (font.empty()) {
            const char *env = std::getenv("MICROTUNE_SOUNDFONT");
            font = env && *env ? env : calibration::DEFAULT_FONT;
        }
        std::vector<int> programs;
        if (!options->voice.empty()) {
            programs.push_back(LookUpVoice(options->voice).number);
        } else {
            for (int program = 0; program < 128; ++program) programs.push_back(program);
        }

        if (access(font.c_str(), R_OK) != 0) throw HostError(font + ": cannot read the sound font");
        const std::string hash = calibration::FontContentHash(font);
        calibration::Calibrator calibrator(font);
        if (hash.empty() || !calibrator.Loaded())
            throw HostError(font + ": not a sound font FluidSynth can load");
        const std::string cache = calibration::CacheDirectory();
        std::printf("microtune calibrate: %s (content %s), cache %s\n", font.c_str(), hash.c_str(),
                    cache.empty() ? "(none: no home folder)" : cache.c_str());
        std::fflush(stdout);

        const auto start = std::chrono::steady_clock::now();
        int done = 0;
        bool unsaved = false;
        for (int program : programs) {
            ProgramCalibration result;
            if (!calibrator.Calibrate(0, program, result)) {
                std::printf("%3d %-26s not in this font\n", program, VoiceName(program).c_str());
                continue;
            }
            ++done;
            if (!calibration::SaveCalibration(cache, hash, result)) unsaved = true;
            PrintSummary(program, result, false);
            if (options->verbose) PrintKeys(result);
            std::fflush(stdout);
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%d program%s calibrated in %.2f s (%.2f s each)\n", done, done == 1 ? "" : "s",
                    seconds, done ? seconds / done : 0.0);
        if (unsaved)
            throw HostError(cache + ": cannot write the calibration cache; nothing was kept");
    });
}

}  // namespace mthost
