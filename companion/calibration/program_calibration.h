// Calibrating a program of a sound font: the pitch that every key sounds,
// measured by rendering it offline in a private FluidSynth instance.
#ifndef MICROTUNE_COMPANION_PROGRAM_CALIBRATION_H
#define MICROTUNE_COMPANION_PROGRAM_CALIBRATION_H

#include <fluidsynth.h>

#include <atomic>
#include <string>

#include "tembrel_abi.h"

typedef struct _fluid_synth_t fluid_synth_t;
typedef struct _fluid_hashtable_t fluid_settings_t;

namespace calibration {

constexpr int KEYS = TEMBREL_KEYS;
// The font the companion plays when MICROTUNE_SOUNDFONT names none.
constexpr const char *DEFAULT_FONT = TEMBREL_DEFAULT_SOUNDFONT;
// Layered presets and keys without a stable pitch are described in
// companion/README.md; these are the measuring conditions.
constexpr int REFERENCE_VELOCITY = 100;
constexpr double ATTACK_SECONDS = 0.3;       // skipped: the steady segment starts here
constexpr double STEADY_SECONDS = 1.0;       // measured, for keys in the main range
constexpr double EDGE_STEADY_SECONDS = 0.4;  // measured, for the outer keys,
constexpr double EDGE_PERIODS = 16.0;        // but at least this many periods
constexpr int MAIN_RANGE_LOW = 24, MAIN_RANGE_HIGH = 108;
// A deviation larger than this is a measurement error, not a fact.
constexpr double MAX_CORRECTION_CENTS = 50.0;
constexpr float CHANNEL_FINE_TUNE_CENTS = TEMBREL_CHANNEL_FINE_TUNE_CENTS;

enum class KeyState : char {
    Corrected = TEMBREL_KEY_CORRECTED,  // measured; the key is corrected by -cents
    Unpitched = TEMBREL_KEY_UNPITCHED,  // sounds, but without a stable pitch: left alone
    Wild = TEMBREL_KEY_WILD,            // more than MAX_CORRECTION_CENTS off: left alone
    Silent = TEMBREL_KEY_SILENT,        // the preset has nothing on this key
};

struct KeyMeasurement {
    KeyState state = KeyState::Silent;
    double cents = 0.0;  // what the key sounds, in cents from 100*key above key 0
};

struct ProgramCalibration {
    int bank = 0, program = 0;
    KeyMeasurement keys[KEYS];
    double seconds = 0.0;  // time the measuring took (0 when read from the cache)

    // The cents to add to key k so that it sounds at exactly 100*k cents.
    double Correction(int key) const;
};

// A private synthesizer with the font loaded (samples on demand), used only
// for measuring. Not thread-safe: one thread at a time.
class Calibrator {
public:
    explicit Calibrator(const std::string &fontPath);
    ~Calibrator();
    Calibrator(const Calibrator &) = delete;
    Calibrator &operator=(const Calibrator &) = delete;

    bool Loaded() const { return font_ >= 0; }
    // False when the font has no such preset. Stops early, returning false,
    // when cancel becomes true.
    bool Calibrate(int bank, int program, ProgramCalibration &out,
                   const std::atomic<bool> *cancel = nullptr);

private:
    fluid_settings_t *settings_ = nullptr;
    fluid_synth_t *synth_ = nullptr;
    int font_ = -1;
};

// Keeps FluidSynth quiet process-wide (its default logger prints).
void SilenceFluidSynth();

// fluid_synth_sfload with GLib's log kept quiet: a file that the SoundFont
// loader rejects goes on to FluidSynth's DLS loader, which reports through
// GLib. Returns the font id or FLUID_FAILED.
int LoadFontQuietly(fluid_synth_t *synth, const char *path);

}  // namespace calibration

#endif
