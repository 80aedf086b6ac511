#include "program_calibration.h"

#include <fluidsynth.h>
#include <glib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "pitch_estimator.h"

namespace calibration {
namespace {

constexpr double SAMPLE_RATE = 44100.0;
constexpr int CHANNEL = 0;

void SilentFluidLog(int, const char *, void *) {}
void SilentGLibLog(const gchar *, GLogLevelFlags, const gchar *, gpointer) {}

double NominalHz(int key) { return 440.0 * std::exp2((key - 69) / 12.0); }

}  // namespace

void SilenceFluidSynth() {
    for (int level = 0; level < LAST_LOG_LEVEL; ++level)
        fluid_set_log_function(level, &SilentFluidLog, nullptr);
}

int LoadFontQuietly(fluid_synth_t *synth, const char *path) {
    static const char *const domains[] = {nullptr, "GLib", "GLib-GObject", "libInstPatch"};
    const GLogLevelFlags levels =
        static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING |
                                    G_LOG_LEVEL_MESSAGE | G_LOG_LEVEL_INFO | G_LOG_LEVEL_DEBUG);
    guint handlers[sizeof domains / sizeof domains[0]];
    for (size_t i = 0; i < sizeof domains / sizeof domains[0]; ++i)
        handlers[i] = g_log_set_handler(domains[i], levels, &SilentGLibLog, nullptr);
    const int id = fluid_synth_sfload(synth, path, 1);
    for (size_t i = 0; i < sizeof domains / sizeof domains[0]; ++i)
        g_log_remove_handler(domains[i], handlers[i]);
    return id;
}

double ProgramCalibration::Correction(int key) const {
    if (key < 0 || key >= KEYS || keys[key].state != KeyState::Corrected) return 0.0;
    return -keys[key].cents;
}

Calibrator::Calibrator(const std::string &fontPath) {
    SilenceFluidSynth();
    settings_ = new_fluid_settings();
    if (!settings_) return;
    fluid_settings_setnum(settings_, "synth.sample-rate", SAMPLE_RATE);
    fluid_settings_setint(settings_, "synth.chorus.active", 0);
    fluid_settings_setint(settings_, "synth.reverb.active", 0);
    fluid_settings_setint(settings_, "synth.midi-channels", 16);
    // Only the samples of the program being measured are read.
    fluid_settings_setint(settings_, "synth.dynamic-sample-loading", 1);
    fluid_settings_setint(settings_, "synth.threadsafe-api", 0);
    synth_ = new_fluid_synth(settings_);
    if (!synth_) return;
    const int id = LoadFontQuietly(synth_, fontPath.c_str());
    if (id == FLUID_FAILED) return;
    font_ = id;
    fluid_synth_set_channel_type(synth_, CHANNEL, CHANNEL_TYPE_MELODIC);
    // The pitch does not depend on the interpolation, and linear is cheaper.
    fluid_synth_set_interp_method(synth_, CHANNEL, FLUID_INTERP_LINEAR);
    // Measured as the companion's channels play, with their fine-tune, so
    // that an unbent key's pitch comes out in whole cents and the
    // measurement sees only the samples' own tuning.
    fluid_synth_set_gen(synth_, CHANNEL, GEN_FINETUNE, CHANNEL_FINE_TUNE_CENTS);
}

Calibrator::~Calibrator() {
    if (synth_) delete_fluid_synth(synth_);
    if (settings_) delete_fluid_settings(settings_);
}

bool Calibrator::Calibrate(int bank, int program, ProgramCalibration &out,
                           const std::atomic<bool> *cancel) {
    const auto start = std::chrono::steady_clock::now();
    out = ProgramCalibration{};
    out.bank = bank;
    out.program = program;
    if (!Loaded()) return false;
    fluid_sfont_t *font = fluid_synth_get_sfont_by_id(synth_, font_);
    if (!font || !fluid_sfont_get_preset(font, bank, program)) return false;
    if (fluid_synth_program_select(synth_, CHANNEL, font_, bank, program) != FLUID_OK) return false;

    const int attack = static_cast<int>(ATTACK_SECONDS * SAMPLE_RATE);
    const int longest = static_cast<int>(STEADY_SECONDS * SAMPLE_RATE);
    std::vector<float> left(attack + longest), right(attack + longest), mono(longest);
    for (int key = 0; key < KEYS; ++key) {
        if (cancel && cancel->load()) return false;
        KeyMeasurement &measured = out.keys[key];
        fluid_synth_noteon(synth_, CHANNEL, key, REFERENCE_VELOCITY);
        if (fluid_synth_get_active_voice_count(synth_) == 0) continue;  // silent
        // Outside the main range, less; but low keys need their periods.
        int steady = longest;
        if (key < MAIN_RANGE_LOW || key > MAIN_RANGE_HIGH)
            steady = std::min(
                longest, std::max(static_cast<int>(EDGE_STEADY_SECONDS * SAMPLE_RATE),
                                  static_cast<int>(EDGE_PERIODS * SAMPLE_RATE / NominalHz(key))));
        fluid_synth_write_float(synth_, attack + steady, left.data(), 0, 1, right.data(), 0, 1);
        fluid_synth_all_sounds_off(synth_, CHANNEL);
        // One block more lets the synthesizer free the voices it stopped.
        fluid_synth_write_float(synth_, 64, left.data(), 0, 1, right.data(), 0, 1);
        for (int i = 0; i < steady; ++i) mono[i] = left[attack + i] + right[attack + i];

        const PitchEstimate estimate =
            EstimatePitch(mono.data(), static_cast<size_t>(steady), SAMPLE_RATE, NominalHz(key));
        measured.cents = estimate.hz > 0.0 ? 1200.0 * std::log2(estimate.hz / NominalHz(key)) : 0.0;
        measured.state = !estimate.pitched                                  ? KeyState::Unpitched
                         : std::fabs(measured.cents) > MAX_CORRECTION_CENTS ? KeyState::Wild
                                                                            : KeyState::Corrected;
    }
    out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return true;
}

}  // namespace calibration
