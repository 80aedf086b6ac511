// End to end: microtune opens the "QuickTime" device, the real companion
// renders what it plays into a WAV file, and the pitch of every note is
// measured from the audio, against the frequency the library means it to
// have (the 1/1 times the degree's ratio, in A = 440 Hz tuning): the
// companion's calibration of every key of the sound font has to make the
// font's own sample tuning vanish.
//
// Pitch estimator (tests/support): the two channels summed, a 4-term
// Blackman-Harris window over the steady part of the note, zero-padded,
// FFT (FFTW); a note's pitch is the power-weighted mean frequency around
// the expected fundamental, over the segment the calibration measures.
#include <dlfcn.h>
#include <fftw3.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio_analysis.h"
#include "microtune.h"

namespace {

using audio::Audio;
using audio::Cents;
using audio::Spectrum;

constexpr double RATE = 44100.0;
constexpr double DEFAULT_1O1_HZ = 261.6255653005986;
constexpr double TOLERANCE_CENTS = 1.5;
constexpr double MEDIAN_TOLERANCE_CENTS = 0.5;
constexpr int VOICE = 74;  // Recorder: a steady tone with a strong fundamental
// The steady segment that the calibration measures, from the note-on.
constexpr double STEADY_FROM = 0.3, STEADY_TO = 1.3;

// Every test renders with a calibration cache of its own, filled as it goes.
class TemporaryCache : public ::testing::Environment {
public:
    void SetUp() override {
        char pattern[] = "/tmp/microtune_cache_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        setenv("XDG_CACHE_HOME", dir_.c_str(), 1);
        unsetenv("MICROTUNE_SYNTH_CALIBRATE");
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

private:
    std::string dir_;
};
::testing::Environment *const cache = ::testing::AddGlobalTestEnvironment(new TemporaryCache);

std::string LibraryDirectory() {
    Dl_info info;
    if (dladdr(reinterpret_cast<void *>(&nNumOutDevices), &info) == 0 || !info.dli_fname)
        return ".";
    std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string TempPath(const std::string &name, const char *suffix = ".wav") {
    const char *dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/microtune_" + name + "_" +
           std::to_string(getpid()) + suffix;
}

int QuickTimeIndex() {
    const int count = nNumOutDevices();
    for (int i = 0; i < count; ++i) {
        char name[64];
        if (std::string(szNameForDevice(i, name, sizeof name)) == "QuickTime") return i;
    }
    return -1;
}

// One rendering session: the QuickTime device opened through microtune,
// audio rendered into a WAV file on a clock that this test drives with the
// companion's delay entry.
class Session {
public:
    explicit Session(const std::string &name, const char *clock = "delay",
                     const char *font = nullptr)
        : path_(TempPath(name)) {
        setenv("MICROTUNE_SYNTH_WAV", path_.c_str(), 1);
        if (clock)
            setenv("MICROTUNE_SYNTH_CLOCK", clock, 1);
        else
            unsetenv("MICROTUNE_SYNTH_CLOCK");
        if (font)
            setenv("MICROTUNE_SOUNDFONT", font, 1);
        else
            unsetenv("MICROTUNE_SOUNDFONT");
        unsetenv("MICROTUNE_SYNTH_EFFECTS");
        index_ = QuickTimeIndex();
    }
    ~Session() {
        if (companion_) dlclose(companion_);
        if (!std::getenv("MICROTUNE_KEEP_WAV")) std::remove(path_.c_str());
    }

    // Opens the device; false when the companion or its output is missing.
    bool Open(int voice) {
        if (index_ < 0) return false;
        SetMidiVoice(voice);
        if (StartMidiOutForiDev(index_) != 1) return false;
        // The library never calls the delay entry; the test drives time itself.
        const std::string lib = LibraryDirectory() + "/libTembrelLib.so";
        companion_ = dlopen(lib.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (!companion_) return false;
        delay_ = reinterpret_cast<void (*)(double)>(dlsym(companion_, "Tembrel_Delay"));
        return delay_ != nullptr;
    }

    void Delay(double seconds) {
        delay_(seconds);
        now_ += seconds;
    }
    double Now() const { return now_; }
    const char *WavError() const {
        const auto entry =
            reinterpret_cast<const char *(*)()>(dlsym(companion_, "Tembrel_WavError"));
        return entry ? entry() : "no Tembrel_WavError";
    }

    // Closes the output, stops the backend and reads the rendering back.
    Audio Finish() {
        StopMidiOut();
        StopQT();
        Audio audio = audio::ReadWav(path_);
        EXPECT_EQ(audio.rate, static_cast<int>(RATE));
        return audio;
    }

    const std::string &Path() const { return path_; }

private:
    std::string path_;
    int index_ = -1;
    void *companion_ = nullptr;
    void (*delay_)(double) = nullptr;
    double now_ = 0.0;
};

struct Stretch {
    double from, to;
};

// Plays degrees together, held long enough to measure; returns the steady
// segment, the one the calibration measures.
Stretch PlayTogether(Session &session, const std::vector<int> &degrees) {
    const double start = session.Now();
    for (int degree : degrees) PlayScaleDegree(degree, 100);
    session.Delay(STEADY_TO + 0.2);
    StopAllNotesPlayed(0);
    session.Delay(0.5);  // the release dies away before the next notes
    return {start + STEADY_FROM, start + STEADY_TO};
}

// A note as played: where it sounds and the frequency the library means.
struct Note {
    std::string label;
    Stretch when;
    double hz;
};

struct Summary {
    std::vector<double> errors;
    void Add(const std::string &label, double cents) {
        std::printf("  %-24s %+.3f cents\n", label.c_str(), cents);
        errors.push_back(std::fabs(cents));
        EXPECT_LE(std::fabs(cents), TOLERANCE_CENTS) << label;
    }
    double Median() const {
        std::vector<double> sorted = errors;
        std::sort(sorted.begin(), sorted.end());
        return sorted.size() % 2
                   ? sorted[sorted.size() / 2]
                   : 0.5 * (sorted[sorted.size() / 2 - 1] + sorted[sorted.size() / 2]);
    }
    void Print(const std::string &what) const {
        std::printf("%s: %zu notes, worst %.3f cents, median %.3f cents\n", what.c_str(),
                    errors.size(), *std::max_element(errors.begin(), errors.end()), Median());
    }
};

// Each note's pitch against the frequency the library means it to have.
void Measure(const Audio &audio, const std::vector<Note> &notes, Summary &summary) {
    for (const Note &note : notes) {
        const double measured = Spectrum(audio, note.when.from, note.when.to, audio::Window::Tukey)
                                    .Centroid(note.hz, 100.0);
        summary.Add(note.label, Cents(measured / note.hz));
    }
}

void InstallScale(const char *text) {
    std::vector<char> scale(text, text + std::strlen(text) + 1);
    SetMidiScale(scale.data());
}

TEST(CompanionPitch, JustIntervalsAndA31EdoStep) {
    Session session("intervals");
    ASSERT_TRUE(session.Open(VOICE));
    EXPECT_EQ(nChannelsAvailable(), 32);

    const struct {
        const char *name;
        double ratio;
    } intervals[] = {
        {"31-EDO step", std::exp2(1.0 / 31.0)},
        {"5/4", 5.0 / 4.0},
        {"11/8", 11.0 / 8.0},
        {"3/2", 3.0 / 2.0},
        {"7/4", 7.0 / 4.0},
    };
    InstallScale("38.70967741935484 5/4 11/8 3/2 7/4 2/1");
    ASSERT_EQ(GetnScaleNotes(), 7);
    std::vector<Note> notes;
    for (int degree = 1; degree <= 5; ++degree)
        notes.push_back({intervals[degree - 1].name, PlayTogether(session, {degree}),
                         DEFAULT_1O1_HZ * intervals[degree - 1].ratio});

    const Audio audio = session.Finish();
    ASSERT_FALSE(audio.mono.empty());
    Summary summary;
    Measure(audio, notes, summary);
    summary.Print("intervals");
}

TEST(CompanionPitch, TwentyFourBendsAtOnceOnTwentyFourChannels) {
    const double SPACING_CENTS = 47.9;
    Session session("chord");
    ASSERT_TRUE(session.Open(VOICE));

    // 24 degrees 47.9 cents apart: 24 different offsets from 12-TET, none a
    // whole cent, so 24 different bends, hence 24 channels. All fundamentals
    // lie within one octave, below every second harmonic, and far enough
    // apart to resolve.
    std::string text;
    for (int k = 1; k <= 23; ++k) {
        char token[32];
        std::snprintf(token, sizeof token, "%.1f ", SPACING_CENTS * k);
        text += token;
    }
    text += "1200.";
    InstallScale(text.c_str());
    ASSERT_EQ(GetnScaleNotes(), 25);

    const double start = session.Now();
    for (int degree = 0; degree < 24; ++degree) EXPECT_EQ(PlayScaleDegree(degree, 90), degree + 1);
    session.Delay(STEADY_TO + 0.2);
    StopAllNotesPlayed(0);
    session.Delay(0.5);

    const Audio audio = session.Finish();
    ASSERT_FALSE(audio.mono.empty());
    // Neighbours 7 Hz apart or more; a narrow band around each.
    const Spectrum chord(audio, start + STEADY_FROM, start + STEADY_TO, audio::Window::Tukey);
    Summary summary;
    for (int degree = 0; degree < 24; ++degree) {
        const double expected = DEFAULT_1O1_HZ * std::exp2(SPACING_CENTS * degree / 1200.0);
        summary.Add("degree " + std::to_string(degree),
                    Cents(chord.Centroid(expected, 5.0) / expected));
    }
    summary.Print("24-note chord");
}

// The voices whose tuning users notice, on both Debian fonts: single keys
// across the keyboard in 12-TET, and chords of 31-EDO and just intervals
// on a 1/1 that no 12-TET key plays, so that every note is bent.
TEST(CompanionPitch, EveryNoteInTuneOnBothDebianFonts) {
    const char *const fonts[] = {"/usr/share/sounds/sf2/FluidR3_GM.sf2",
                                 "/usr/share/sounds/sf2/TimGM6mb.sf2"};
    const int voices[] = {0, 20, 40, 48, 56, 71, 73};
    const double CHORD_1O1_HZ = 200.0;
    for (const char *font : fonts) {
        SCOPED_TRACE(font);
        ASSERT_EQ(access(font, R_OK), 0) << "scripts/setup.sh installs it";
        Session session("fonts", "delay", font);
        ASSERT_TRUE(session.Open(voices[0]));
        std::vector<Note> notes;
        for (int voice : voices) {
            SetMidiVoice(voice);  // calibrated now, before any of its notes
            const std::string name = "voice " + std::to_string(voice);
            Set1o1(DEFAULT_1O1_HZ);
            InstallScale("");
            for (int key = 36; key <= 96; key += 6)
                notes.push_back({name + " key " + std::to_string(key),
                                 PlayTogether(session, {key - 60}),
                                 440.0 * std::exp2((key - 69) / 12.0)});
            Set1o1(CHORD_1O1_HZ);
            std::string edo;
            for (int step = 1; step <= 31; ++step) edo += std::to_string(1200.0 * step / 31) + " ";
            InstallScale(edo.c_str());
            const Stretch edoChord = PlayTogether(session, {0, 10, 18});
            for (int degree : {0, 10, 18})
                notes.push_back({name + " 31-EDO " + std::to_string(degree), edoChord,
                                 CHORD_1O1_HZ * std::exp2(degree / 31.0)});
            InstallScale("9/8 5/4 4/3 3/2 5/3 15/8 2/1");
            const Stretch justChord = PlayTogether(session, {0, 2, 4});
            const double just[] = {1.0, 5.0 / 4.0, 3.0 / 2.0};
            for (int i = 0; i < 3; ++i)
                notes.push_back(
                    {name + " just " + std::to_string(2 * i), justChord, CHORD_1O1_HZ * just[i]});
        }
        const Audio audio = session.Finish();
        ASSERT_FALSE(audio.mono.empty());
        Summary summary;
        Measure(audio, notes, summary);
        summary.Print(font);
        EXPECT_LE(summary.Median(), MEDIAN_TOLERANCE_CENTS);
    }
}

// Seconds from the start of the audio to its first sound.
double Onset(const Audio &audio) {
    for (size_t i = 0; i < audio.mono.size(); ++i)
        if (std::fabs(audio.mono[i]) > 1e-5) return static_cast<double>(i) / RATE;
    return -1.0;
}

constexpr double RELEASE_TAIL = 1.5;

TEST(CompanionClock, DelaysPlaceEventsExactly) {
    Session session("delay_clock");
    ASSERT_TRUE(session.Open(VOICE));
    session.Delay(0.25);
    PlayScaleDegree(0, 100);
    // Initialising again while running keeps the output going.
    EXPECT_EQ(StartQT(), 1);
    session.Delay(0.5);
    StopScaleDegree(0, 0);
    session.Delay(0.25);

    const Audio audio = session.Finish();
    // Events land on FluidSynth's 64-frame blocks.
    EXPECT_NEAR(Onset(audio), 0.25, 0.003);
    EXPECT_NEAR(static_cast<double>(audio.mono.size()), (1.0 + RELEASE_TAIL) * RATE, 1.0);
}

TEST(CompanionClock, WithoutDelaysTheHostsTimeCounts) {
    Session session("host_clock", nullptr);
    ASSERT_TRUE(session.Open(VOICE));
    SleepSeconds(0.3);
    PlayScaleDegree(0, 100);
    session.Delay(0.5);  // adds to the host's time, without sleeping
    StopScaleDegree(0, 0);

    const Audio audio = session.Finish();
    const double onset = Onset(audio);
    EXPECT_GE(onset, 0.29);
    EXPECT_LE(onset, 0.6);
    const double length = static_cast<double>(audio.mono.size()) / RATE;
    EXPECT_GE(length, onset + 0.5 + RELEASE_TAIL - 0.01);
    EXPECT_LE(length, onset + 0.5 + RELEASE_TAIL + 0.3);
}

// Every sample of a WAV file, interleaved, with its container ("RIFF" or
// "RF64") and sample format.
struct Samples {
    std::string container;
    int format = 0;
    std::vector<double> values;
};

Samples ReadSamples(const std::string &path) {
    Samples samples;
    std::ifstream(path, std::ios::binary).read(&(samples.container = "....")[0], 4);
    SF_INFO info{};
    SNDFILE *file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return samples;
    samples.format = info.format & SF_FORMAT_SUBMASK;
    samples.values.resize(static_cast<size_t>(info.frames * info.channels));
    sf_readf_double(file, samples.values.data(), info.frames);
    sf_close(file);
    return samples;
}

// The samples as asked, louder by the gain, and a file that outgrows what a
// WAV header counts going on as RF64 with every sample kept: the limit,
// 4 GiB, lowered to 100 kB, which half a second of audio passes.
TEST(CompanionWav, SampleFormatsGainAndRf64) {
    const struct {
        const char *format, *gain, *limit;
        const char *container;
        int sampleFormat;
        double scale;      // against the first render
        double tolerance;  // per sample, of full scale
    } cases[] = {
        {"float", "0", nullptr, "RIFF", SF_FORMAT_FLOAT, 1.0, 0.0},
        {"pcm16", "0", nullptr, "RIFF", SF_FORMAT_PCM_16, 1.0, 1.0 / 32767},
        {"pcm24", "0", nullptr, "RIFF", SF_FORMAT_PCM_24, 1.0, 1.0 / 8388607},
        {"float", "6.0205999", nullptr, "RIFF", SF_FORMAT_FLOAT, 2.0, 1e-6},
        {"float", "0", "100000", "RF64", SF_FORMAT_FLOAT, 1.0, 0.0},
        {"pcm16", "-6.0205999", "100000", "RF64", SF_FORMAT_PCM_16, 0.5, 1.0 / 32767},
    };
    std::vector<double> first;
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.format) + " " + c.gain + " dB " + (c.limit ? c.limit : ""));
        setenv("MICROTUNE_SYNTH_WAV_FORMAT", c.format, 1);
        setenv("MICROTUNE_SYNTH_GAIN", c.gain, 1);
        if (c.limit) setenv("MICROTUNE_SYNTH_WAV_LIMIT", c.limit, 1);
        Session session("format");
        ASSERT_TRUE(session.Open(VOICE));
        PlayTogether(session, {0, 4, 7});
        StopMidiOut();
        StopQT();
        unsetenv("MICROTUNE_SYNTH_WAV_FORMAT");
        unsetenv("MICROTUNE_SYNTH_GAIN");
        unsetenv("MICROTUNE_SYNTH_WAV_LIMIT");
        const Samples samples = ReadSamples(session.Path());
        EXPECT_EQ(samples.container, c.container);
        EXPECT_EQ(samples.format, c.sampleFormat);
        if (first.empty()) first = samples.values;
        ASSERT_EQ(samples.values.size(), first.size());
        double worst = 0.0;
        for (size_t i = 0; i < first.size(); ++i)
            worst = std::max(worst, std::fabs(samples.values[i] - c.scale * first[i]));
        EXPECT_LE(worst, c.tolerance);
    }
    EXPECT_GT(*std::max_element(first.begin(), first.end()), 0.01);
}

// A device cannot be rewritten as RF64: the cause is kept, and rendering
// goes on at its own pace, the delay entry never sleeping.
TEST(CompanionWav, DeviceThatCannotGrowKeepsRenderingOffline) {
    setenv("MICROTUNE_SYNTH_WAV_LIMIT", "100000", 1);
    Session session("device");
    setenv("MICROTUNE_SYNTH_WAV", "/dev/null", 1);
    ASSERT_TRUE(session.Open(VOICE));
    PlayScaleDegree(0, 100);
    session.Delay(1.0);  // past the limit
    const auto start = std::chrono::steady_clock::now();
    session.Delay(30.0);
    const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    StopMidiOut();
    StopQT();
    unsetenv("MICROTUNE_SYNTH_WAV_LIMIT");
    EXPECT_LT(spent.count(), 10.0);
    EXPECT_STREQ(session.WavError(),
                 "a WAV file written into a pipe or a device cannot grow past 4 GiB");
}

// Standard output and standard error captured while alive.
class CapturedOutput {
public:
    CapturedOutput() : path_(TempPath("output", ".txt")) {
        std::fflush(stdout);
        std::fflush(stderr);
        savedOut_ = dup(1);
        savedErr_ = dup(2);
        std::FILE *file = std::fopen(path_.c_str(), "w");
        dup2(fileno(file), 1);
        dup2(fileno(file), 2);
        std::fclose(file);
    }
    std::string Finish() {
        std::fflush(stdout);
        std::fflush(stderr);
        dup2(savedOut_, 1);
        dup2(savedErr_, 2);
        close(savedOut_);
        close(savedErr_);
        std::string text;
        if (std::FILE *file = std::fopen(path_.c_str(), "r")) {
            int c;
            while ((c = std::fgetc(file)) != EOF) text += static_cast<char>(c);
            std::fclose(file);
        }
        std::remove(path_.c_str());
        return text;
    }

private:
    std::string path_;
    int savedOut_, savedErr_;
};

// A missing font or an output that cannot be opened fails the start; the
// backend stays active until stopped, and nothing is printed on the way.
TEST(CompanionFailures, StartFailsQuietlyWithoutFontOrOutput) {
    Session session("failures");
    const std::string wav = TempPath("unwritten");
    // A SoundFont header with nothing usable behind it.
    const std::string damaged = TempPath("damaged", ".sf2");
    if (std::FILE *file = std::fopen(damaged.c_str(), "wb")) {
        const char header[] = "RIFF\x10\x00\x00\x00sfbkLIST\x04\x00\x00\x00INFO";
        std::fwrite(header, 1, sizeof header - 1, file);
        std::fclose(file);
    }
    struct Case {
        const char *name;
        const char *font;  // null: the default font
        const char *output;
        const char *format;  // null: the default
    };
    const Case cases[] = {
        {"missing font", "/nonexistent/font.sf2", wav.c_str(), nullptr},
        {"not a font", damaged.c_str(), wav.c_str(), nullptr},
        {"unwritable WAV", nullptr, "/nonexistent/dir/out.wav", nullptr},
        {"unknown sample format", nullptr, wav.c_str(), "pcm8"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.font)
            setenv("MICROTUNE_SOUNDFONT", c.font, 1);
        else
            unsetenv("MICROTUNE_SOUNDFONT");
        setenv("MICROTUNE_SYNTH_WAV", c.output, 1);
        if (c.format) setenv("MICROTUNE_SYNTH_WAV_FORMAT", c.format, 1);
        CapturedOutput captured;
        const int started = session.Open(VOICE);
        const int active = nChannelsAvailable();
        StopQT();
        unsetenv("MICROTUNE_SYNTH_WAV_FORMAT");
        EXPECT_EQ(captured.Finish(), "");
        EXPECT_EQ(started, 0);
        EXPECT_EQ(active, 32);
        EXPECT_EQ(nChannelsAvailable(), 16);
        EXPECT_NE(access(wav.c_str(), F_OK), 0) << "a failed start left a file behind";
    }
    std::remove(damaged.c_str());
}

TEST(CompanionFailures, NothingIsPrintedWhileRenderingOrLive) {
    {
        Session session("quiet");
        CapturedOutput captured;
        ASSERT_TRUE(session.Open(VOICE));
        PlayScaleDegree(0, 100);
        session.Delay(0.2);
        session.Finish();
        EXPECT_EQ(captured.Finish(), "");
    }
    // Live output, whether or not this machine can play sound.
    unsetenv("MICROTUNE_SYNTH_WAV");
    CapturedOutput captured;
    StartQT();
    StopQT();
    EXPECT_EQ(captured.Finish(), "");
}

// The calibration cache: a corrupt or foreign file is ignored and written
// again; a folder that cannot be written leaves the calibration in memory,
// and the companion plays as well and as quietly either way.
TEST(CompanionCache, DamagedFilesAreRewrittenAndUnwritableFoldersTolerated) {
    namespace fs = std::filesystem;
    const std::string cacheHome = std::getenv("XDG_CACHE_HOME");
    const std::string ownHome = cacheHome + "/damaged";
    setenv("XDG_CACHE_HOME", ownHome.c_str(), 1);
    const fs::path folder = fs::path(ownHome) / "microtune";
    auto renderOnce = [] {
        // The small font: quick to load, as every session does.
        Session session("cache", "delay", "/usr/share/sounds/sf2/TimGM6mb.sf2");
        ASSERT_TRUE(session.Open(VOICE));
        session.Delay(0.1);
        session.Finish();
    };
    renderOnce();
    fs::path file;
    for (const auto &entry : fs::directory_iterator(folder))
        if (entry.path().string().find("-0-74.cal") != std::string::npos) file = entry.path();
    ASSERT_FALSE(file.empty()) << "no cache file for the voice";
    std::ifstream in(file);
    const std::string good((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(good.rfind("microtune key calibration ", 0), 0u);

    std::string foreign = good;
    foreign.replace(foreign.find("program 74"), 10, "program 75");
    std::string flipped = good;
    flipped[flipped.find("key 60 c ") + 10] ^= 1;
    for (const std::string &damaged : {std::string("garbage\n"), foreign, flipped}) {
        std::ofstream(file, std::ios::trunc) << damaged;
        renderOnce();
        std::ifstream again(file);
        const std::string rewritten((std::istreambuf_iterator<char>(again)),
                                    std::istreambuf_iterator<char>());
        // Measured again: the same header and keys, a fresh check line.
        EXPECT_EQ(rewritten.substr(0, rewritten.find("key 0 ")),
                  good.substr(0, good.find("key 0 ")));
        EXPECT_EQ(std::count(rewritten.begin(), rewritten.end(), '\n'), 131);
        EXPECT_NE(rewritten.find("\ncheck "), std::string::npos);
    }
    // A FIFO at the entry's name is no entry: nothing waits on it (the
    // session would hang), and it is neither read nor replaced.
    fs::remove(file);
    ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
    renderOnce();
    EXPECT_TRUE(fs::is_fifo(file));

    setenv("XDG_CACHE_HOME", "/proc/microtune-cache", 1);
    CapturedOutput captured;
    renderOnce();
    EXPECT_EQ(captured.Finish(), "");
    setenv("XDG_CACHE_HOME", cacheHome.c_str(), 1);
}

}  // namespace
