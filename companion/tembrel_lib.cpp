// The software-synthesizer companion: 32 General MIDI channels on
// FluidSynth, loaded by microtune at run time as libTembrelLib.so.
//
// Settings come from the environment when the synthesizer is initialised:
//   MICROTUNE_SOUNDFONT    the sound font (default: Debian's General MIDI font)
//   MICROTUNE_SYNTH_WAV    render into this WAV file instead of playing live (the
//                          host names it by its rule for output files, and
//                          asks Tembrel_WavError whether it was written whole);
//                          past 4 GiB it goes on as RF64 (wav_writer.h: the
//                          file's sample format and that limit)
//   MICROTUNE_SYNTH_GAIN   decibels added to all it plays, live or rendered
//   MICROTUNE_SYNTH_CLOCK  "delay": only the delay entry moves the WAV clock
//   MICROTUNE_SYNTH_EFFECTS "1" or "0": chorus and reverb (default: on when
//                          live, off when rendering, since chorus wobbles pitch)
//   MICROTUNE_SYNTH_OUTPUT "none": no sound at all, only recording (recorder.h)
//   MICROTUNE_SYNTH_CALIBRATE "0": play the font's keys as they are, without
//                          correcting each key's measured pitch
//
// Rendering into a WAV file follows a clock that starts at initialise. Each
// event is placed at the clock's time when it arrives (to FluidSynth's
// 64-sample block). By default the clock runs with the host: it advances by
// the real time that passes outside the companion between calls (time spent
// rendering inside the companion does not count), plus every delay. With
// MICROTUNE_SYNTH_CLOCK=delay only delays advance it, for exact, repeatable
// offline rendering. Delay never sleeps while rendering; when playing live it
// sleeps, so that music paced by delays keeps its time on both outputs.
//
// The companion prints nothing: FluidSynth, ALSA and JACK are silenced, and
// GLib while a font loads.
#include <alsa/asoundlib.h>
#include <fluidsynth.h>
#include <jack/jack.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <type_traits>

#include "calibration_service.h"
#include "program_calibration.h"
#include "recorder.h"
#include "tembrel_abi.h"
#include "wav_writer.h"

#define TEMBREL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int CHANNELS = 32;
constexpr int PERCUSSION_CHANNEL = 9;
constexpr int BEND_RANGE_SEMITONES = 2;
constexpr double SAMPLE_RATE = 44100.0;
constexpr double RELEASE_TAIL_SECONDS = 1.5;
// Longest single delay; longer requests are cut to it.
constexpr double MAX_DELAY_SECONDS = 3600.0;
constexpr int RENDER_BLOCK = 1024;
struct Companion {
    fluid_settings_t *settings = nullptr;
    fluid_synth_t *synth = nullptr;
    fluid_audio_driver_t *driver = nullptr;  // live output
    bool silent = false;                     // started without sound: only the recorder hears it
    bool hostClock = true;
    double clockFrames = 0.0;  // time on the clock, in frames
    int64_t renderedFrames = 0;
    timespec lastReturn{};
};

Companion C;
float renderBuffer[2 * RENDER_BLOCK];

void SilentAlsaError(const char *, int, const char *, int, const char *, ...) {}
void SilentJackMessage(const char *) {}

// Process-wide handlers; safe because this module is never unmapped.
void SilenceAudioLibraries() {
    snd_lib_error_set_handler(&SilentAlsaError);
    jack_set_error_function(&SilentJackMessage);
    jack_set_info_function(&SilentJackMessage);
}

const char *Env(const char *name) {
    const char *value = std::getenv(name);
    return value && *value ? value : nullptr;
}

timespec Now() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now;
}

double SecondsBetween(const timespec &from, const timespec &to) {
    return static_cast<double>(to.tv_sec - from.tv_sec) +
           static_cast<double>(to.tv_nsec - from.tv_nsec) * 1e-9;
}

// Renders audio into the WAV file up to the given frame on the clock.
void RenderTo(double frame) {
    const int64_t target = static_cast<int64_t>(std::floor(frame));
    while (C.renderedFrames < target) {
        const int64_t left = target - C.renderedFrames;
        const int n = left < RENDER_BLOCK ? static_cast<int>(left) : RENDER_BLOCK;
        fluid_synth_write_float(C.synth, n, renderBuffer, 0, 2, renderBuffer, 1, 2);
        tembrel::WriteWavFrames(renderBuffer, n);
        C.renderedFrames += n;
    }
}

// On entry to a call while rendering: the host's time since the last call
// joins the clock, and audio is rendered up to now.
void CatchUp() {
    if (!tembrel::WavOpen()) return;
    if (C.hostClock) {
        const double elapsed = SecondsBetween(C.lastReturn, Now());
        if (elapsed > 0.0) C.clockFrames += elapsed * SAMPLE_RATE;
    }
    RenderTo(C.clockFrames);
}

// On leaving a call: host time starts counting again from here.
void MarkReturn() {
    if (tembrel::WavOpen() && C.hostClock) C.lastReturn = Now();
}

int Clamp7(int value) { return value < 0 ? 0 : value > 127 ? 127 : value; }

bool JackServerRunning() {
    jack_client_t *client =
        jack_client_open("microtune-companion-probe", JackNoStartServer, nullptr);
    if (!client) return false;
    jack_client_close(client);
    return true;
}

// The first live audio driver that starts. JACK is tried only when a server
// already runs, so that no server is ever started from here.
fluid_audio_driver_t *StartLiveDriver() {
    static const char *const drivers[] = {"pulseaudio", "alsa", "jack", "oss"};
    SilenceAudioLibraries();
    for (const char *name : drivers) {
        if (std::strcmp(name, "jack") == 0) {
            if (!JackServerRunning()) continue;
            fluid_settings_setint(C.settings, "audio.jack.autoconnect", 1);
        }
        if (fluid_settings_setstr(C.settings, "audio.driver", name) != FLUID_OK) continue;
        if (fluid_audio_driver_t *driver = new_fluid_audio_driver(C.settings, C.synth))
            return driver;
    }
    return nullptr;
}

void ApplyGain() {
    const char *setting = Env(TEMBREL_GAIN_ENV);
    double db = setting ? std::strtod(setting, nullptr) : 0.0;
    if (!std::isfinite(db)) db = 0.0;
    db = std::min(std::max(db, TEMBREL_GAIN_MIN_DB), TEMBREL_GAIN_MAX_DB);
    if (db == 0.0) return;
    double level = 0.0;
    fluid_settings_getnum_default(C.settings, "synth.gain", &level);
    fluid_synth_set_gain(C.synth, static_cast<float>(level * std::pow(10.0, db / 20.0)));
}

void Release() {
    calibration::StopCalibration();
    if (C.driver) delete_fluid_audio_driver(C.driver);
    tembrel::CloseWav();
    if (C.synth) delete_fluid_synth(C.synth);
    if (C.settings) delete_fluid_settings(C.settings);
    C = Companion{};
}

// Why the last start failed ("" after one that succeeded).
char startError[512];

// Notes why the start failed and gives 0, what the initialise entry returns.
int StartFails(const std::string &why) {
    std::snprintf(startError, sizeof startError, "%s", why.c_str());
    Release();
    return 0;
}

// The font's absence in words that say how to get one on Debian.
std::string MissingFont(const char *font, bool named) {
    return std::string("the sound font ") + font + " does not exist" +
           (named ? " (" TEMBREL_SOUNDFONT_ENV ")"
                  : ": install timgm6mb-soundfont or fluid-soundfont-gm, or "
                    "set " TEMBREL_SOUNDFONT_ENV);
}

}  // namespace

TEMBREL_EXPORT int Tembrel_Initialise_SME(void) {
    if (C.synth || C.silent) return 1;  // already running: keep the output as it is
    if (tembrel::NullOutputRequested()) {
        C.silent = true;
        return 1;
    }
    calibration::SilenceFluidSynth();
    tembrel::ClearWavError();
    startError[0] = '\0';

    const char *named = Env(TEMBREL_SOUNDFONT_ENV);
    const char *font = named ? named : TEMBREL_DEFAULT_SOUNDFONT;
    const char *wavPath = Env(TEMBREL_WAV_ENV);
    const char *clock = Env(TEMBREL_CLOCK_ENV);
    const char *effectsSetting = Env(TEMBREL_EFFECTS_ENV);
    const bool effects = effectsSetting ? std::strcmp(effectsSetting, "0") != 0 : !wavPath;

    struct stat fontInfo;
    if (stat(font, &fontInfo) != 0 && errno == ENOENT) return StartFails(MissingFont(font, named));
    C.settings = new_fluid_settings();
    if (!C.settings) return StartFails("FluidSynth did not start");
    fluid_settings_setint(C.settings, "synth.midi-channels", CHANNELS);
    fluid_settings_setnum(C.settings, "synth.sample-rate", SAMPLE_RATE);
    fluid_settings_setint(C.settings, "synth.chorus.active", effects ? 1 : 0);
    fluid_settings_setint(C.settings, "synth.reverb.active", effects ? 1 : 0);
    C.synth = new_fluid_synth(C.settings);
    if (!C.synth) return StartFails("FluidSynth did not start");
    if (calibration::LoadFontQuietly(C.synth, font) == FLUID_FAILED)
        return StartFails(std::string("FluidSynth cannot load the sound font ") + font);

    // Only channel 9 plays percussion, also among the upper 16; every
    // channel bends by the 2 semitones that microtune's bends assume.
    for (int channel = 0; channel < CHANNELS; ++channel) {
        fluid_synth_set_channel_type(
            C.synth, channel,
            channel == PERCUSSION_CHANNEL ? CHANNEL_TYPE_DRUM : CHANNEL_TYPE_MELODIC);
        fluid_synth_program_change(C.synth, channel, 0);
        fluid_synth_pitch_wheel_sens(C.synth, channel, BEND_RANGE_SEMITONES);
        // A bent note is never up to a whole cent flat (see the fine-tune).
        fluid_synth_set_gen(C.synth, channel, GEN_FINETUNE, TEMBREL_CHANNEL_FINE_TUNE_CENTS);
    }

    ApplyGain();
    const bool opened = wavPath ? tembrel::OpenWav(wavPath, static_cast<int>(SAMPLE_RATE))
                                : (C.driver = StartLiveDriver()) != nullptr;
    if (!opened)
        return StartFails(wavPath
                              ? std::string("cannot write ") + wavPath + ": " + tembrel::WavError()
                              : std::string("no live audio output could be opened"));
    C.hostClock = !(clock && std::strcmp(clock, TEMBREL_CLOCK_DELAY) == 0);
    calibration::StartCalibration(C.synth, font, wavPath != nullptr);
    for (int channel = 0; channel < CHANNELS; ++channel) calibration::ProgramChanged(channel);
    MarkReturn();
    return 1;
}

TEMBREL_EXPORT void Tembrel_SendMidiEvent(int status, int channel, int data1, int data2) {
    tembrel::RecordMidiEvent(status, channel, data1, data2);
    if (!C.synth || channel < 0 || channel >= CHANNELS) return;
    CatchUp();
    switch (status & 0xF0) {
        case 0x80:
            fluid_synth_noteoff(C.synth, channel, Clamp7(data1));
            break;
        case 0x90:  // velocity 0 is a note-off
            fluid_synth_noteon(C.synth, channel, Clamp7(data1), Clamp7(data2));
            break;
        case 0xA0:
            fluid_synth_key_pressure(C.synth, channel, Clamp7(data1), Clamp7(data2));
            break;
        case 0xB0:
            fluid_synth_cc(C.synth, channel, Clamp7(data1), Clamp7(data2));
            break;
        case 0xC0:  // as a 7-bit data byte carries it
            fluid_synth_program_change(C.synth, channel, data1 & 0x7F);
            calibration::ProgramChanged(channel);
            break;
        case 0xD0:
            fluid_synth_channel_pressure(C.synth, channel, Clamp7(data1));
            break;
        case 0xE0:
            fluid_synth_pitch_bend(C.synth, channel, (data1 & 0x7F) | ((data2 & 0x7F) << 7));
            break;
        default:
            break;
    }
    MarkReturn();
}

TEMBREL_EXPORT void Tembrel_Delay(double seconds) {
    if (!C.synth || !(seconds > 0.0)) return;
    if (seconds > MAX_DELAY_SECONDS) seconds = MAX_DELAY_SECONDS;
    if (!tembrel::WavOpen()) {
        timespec request;
        request.tv_sec = static_cast<time_t>(seconds);
        request.tv_nsec = static_cast<long>((seconds - std::floor(seconds)) * 1e9);
        while (nanosleep(&request, &request) != 0 && errno == EINTR) {
        }
        return;
    }
    CatchUp();
    C.clockFrames += seconds * SAMPLE_RATE;
    RenderTo(C.clockFrames);
    MarkReturn();
}

TEMBREL_EXPORT const char *Tembrel_StartError(void) { return startError; }
static_assert(std::is_same<decltype(&Tembrel_StartError), TembrelStartErrorEntry>::value, "");

TEMBREL_EXPORT void Tembrel_CleanUp_SME(void) {
    C.silent = false;
    if (!C.synth) return;
    if (tembrel::WavOpen()) {
        // Notes still held are released, and their release rings out.
        CatchUp();
        fluid_synth_all_notes_off(C.synth, -1);
        RenderTo(C.clockFrames + RELEASE_TAIL_SECONDS * SAMPLE_RATE);
    }
    Release();
}

// A host that unloads or exits without clean-up still gets a complete file
// and no audio thread running in unloaded code.
__attribute__((destructor)) static void CleanUpAtUnload() { Tembrel_CleanUp_SME(); }

// The entries as the contract declares them.
static_assert(std::is_same<decltype(&Tembrel_Initialise_SME), TembrelInitialiseEntry>::value, "");
static_assert(std::is_same<decltype(&Tembrel_SendMidiEvent), TembrelSendMidiEventEntry>::value, "");
static_assert(std::is_same<decltype(&Tembrel_Delay), TembrelDelayEntry>::value, "");
static_assert(std::is_same<decltype(&Tembrel_CleanUp_SME), TembrelCleanUpEntry>::value, "");
