// End to end: microtune opens the "QuickTime" device, the real companion
// renders what it plays into a WAV file, and the pitch of every note is
// measured from the audio.
//
// Pitch estimator: the two channels summed, a 4-term Blackman-Harris window
// over the steady part of the note, zero-padded to at least 8 times its
// length, FFT (FFTW), the highest bin within a few cents of the expected
// fundamental, refined by a parabola through the log magnitudes of that bin
// and its neighbours. Every note is compared with a 12-TET note of the same
// MIDI key rendered the same way, so that the sound font's own tuning of
// its samples cancels.
#include <dlfcn.h>
#include <fftw3.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
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
constexpr int VOICE = 74;  // Recorder: a steady tone with a strong fundamental

// The MIDI key microtune plays a frequency on: the nearest, halves up.
int NearestKey(double hz) {
    return static_cast<int>(std::floor(69.0 + 12.0 * std::log2(hz / 440.0) + 0.5));
}

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
    explicit Session(const std::string &name, const char *clock = "delay") : path_(TempPath(name)) {
        setenv("MICROTUNE_SYNTH_WAV", path_.c_str(), 1);
        if (clock)
            setenv("MICROTUNE_SYNTH_CLOCK", clock, 1);
        else
            unsetenv("MICROTUNE_SYNTH_CLOCK");
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

// Plays one degree alone, held long enough to measure; returns the steady
// part. Long windows average out the slow wavering of the sampled tone.
Stretch PlayAlone(Session &session, int degree) {
    const double start = session.Now();
    PlayScaleDegree(degree, 100);
    session.Delay(3.0);
    StopScaleDegree(degree, 0);
    session.Delay(0.6);  // the release dies away before the next note
    return {start + 0.4, start + 2.9};
}

struct Summary {
    std::vector<double> errors;
    void Add(const char *label, double cents) {
        std::printf("  %-12s %+.3f cents\n", label, cents);
        errors.push_back(std::fabs(cents));
    }
    void Print(const char *what) {
        std::vector<double> sorted = errors;
        std::sort(sorted.begin(), sorted.end());
        const double median =
            sorted.size() % 2 ? sorted[sorted.size() / 2]
                              : 0.5 * (sorted[sorted.size() / 2 - 1] + sorted[sorted.size() / 2]);
        std::printf("%s: %zu notes, worst %.3f cents, median %.3f cents\n", what, sorted.size(),
                    sorted.back(), median);
    }
};

// Renders the 12-TET notes of keys 60..72 from the default scale, then the
// given scale's degrees; measures each against the reference of its key.
class CompanionPitchTest : public ::testing::Test {
protected:
    // Reference pitch of every key 60..72 as rendered.
    void RenderReferences(Session &session) {
        char twelveTet[] = "";
        SetMidiScale(twelveTet);  // back to 12-TET from the default 1/1
        for (int key = 60; key <= 72; ++key) references_[key] = PlayAlone(session, key - 60);
    }
    void MeasureReferences(const Audio &audio) {
        for (int key = 60; key <= 72; ++key) {
            const double nominal = DEFAULT_1O1_HZ * std::exp2((key - 60) / 12.0);
            referenceHz_[key] =
                Spectrum(audio, references_[key].from, references_[key].to).Peak(nominal, 40.0);
            ASSERT_NEAR(Cents(referenceHz_[key] / nominal), 0.0, 30.0) << "key " << key;
        }
    }
    // The frequency a note of the given ratio from the 1/1 should have, on
    // the tuning of the sound font's sample for its key.
    double Expected(double ratio) const {
        const double hz = DEFAULT_1O1_HZ * ratio;
        const int key = NearestKey(hz);
        return referenceHz_.at(key) *
               std::exp2(Cents(hz / (DEFAULT_1O1_HZ * std::exp2((key - 60) / 12.0))) / 1200.0);
    }

    std::map<int, Stretch> references_;
    std::map<int, double> referenceHz_;
};

TEST_F(CompanionPitchTest, JustIntervalsAndA31EdoStep) {
    Session session("intervals");
    ASSERT_TRUE(session.Open(VOICE));
    EXPECT_EQ(nChannelsAvailable(), 32);
    RenderReferences(session);

    struct Interval {
        const char *name;
        double ratio;
    };
    const Interval intervals[] = {
        {"31-EDO step", std::exp2(1.0 / 31.0)},
        {"5/4", 5.0 / 4.0},
        {"11/8", 11.0 / 8.0},
        {"3/2", 3.0 / 2.0},
        {"7/4", 7.0 / 4.0},
    };
    char scale[] = "38.70967741935484 5/4 11/8 3/2 7/4 2/1";
    SetMidiScale(scale);
    ASSERT_EQ(GetnScaleNotes(), 7);
    std::vector<Stretch> played;
    for (int degree = 1; degree <= 5; ++degree) played.push_back(PlayAlone(session, degree));

    const Audio audio = session.Finish();
    ASSERT_FALSE(audio.mono.empty());
    MeasureReferences(audio);
    Summary summary;
    for (int i = 0; i < 5; ++i) {
        const double expected = Expected(intervals[i].ratio);
        const double measured = Spectrum(audio, played[i].from, played[i].to).Peak(expected, 25.0);
        const double error = Cents(measured / expected);
        summary.Add(intervals[i].name, error);
        EXPECT_LE(std::fabs(error), TOLERANCE_CENTS) << intervals[i].name;
    }
    summary.Print("intervals");
}

TEST_F(CompanionPitchTest, TwentyFourBendsAtOnceOnTwentyFourChannels) {
    const double SPACING_CENTS = 47.9;
    Session session("chord");
    ASSERT_TRUE(session.Open(VOICE));
    RenderReferences(session);

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
    std::vector<char> scale(text.begin(), text.end());
    scale.push_back('\0');
    SetMidiScale(scale.data());
    ASSERT_EQ(GetnScaleNotes(), 25);

    const double start = session.Now();
    for (int degree = 0; degree < 24; ++degree) EXPECT_EQ(PlayScaleDegree(degree, 90), degree + 1);
    session.Delay(3.0);
    StopAllNotesPlayed(0);
    session.Delay(0.5);

    const Audio audio = session.Finish();
    ASSERT_FALSE(audio.mono.empty());
    MeasureReferences(audio);
    const Spectrum chord(audio, start + 0.5, start + 2.9);
    Summary summary;
    for (int degree = 0; degree < 24; ++degree) {
        const double expected = Expected(std::exp2(SPACING_CENTS * degree / 1200.0));
        const double measured = chord.Peak(expected, 15.0);
        const double error = Cents(measured / expected);
        const std::string label = "degree " + std::to_string(degree);
        summary.Add(label.c_str(), error);
        EXPECT_LE(std::fabs(error), TOLERANCE_CENTS) << label;
    }
    summary.Print("24-note chord");
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
    };
    const Case cases[] = {
        {"missing font", "/nonexistent/font.sf2", wav.c_str()},
        {"not a font", damaged.c_str(), wav.c_str()},
        {"unwritable WAV", nullptr, "/nonexistent/dir/out.wav"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.font)
            setenv("MICROTUNE_SOUNDFONT", c.font, 1);
        else
            unsetenv("MICROTUNE_SOUNDFONT");
        setenv("MICROTUNE_SYNTH_WAV", c.output, 1);
        CapturedOutput captured;
        const int started = session.Open(VOICE);
        const int active = nChannelsAvailable();
        StopQT();
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

}  // namespace
