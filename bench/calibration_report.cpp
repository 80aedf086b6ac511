// Prints, as a Markdown table, how far every program of a sound font is out
// of tune before and after the companion's calibration: the median and worst
// absolute error in cents over keys 36..96, the unpitched keys, and the time
// the calibration took. "Before" is what each key sounds as the font has it;
// "after" is measured again with the calibration's key tuning applied, the
// way the companion plays it (4th-order interpolation, the channels'
// half-cent fine-tune, FluidSynth's whole-cent steps).
//
//   calibration_report FONT [FIRST LAST]
#include <fluidsynth.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "key_tuning.h"
#include "pitch_estimator.h"
#include "program_calibration.h"

namespace {

using calibration::KeyState;

constexpr double RATE = 44100.0;
constexpr int LOW = 36, HIGH = 96;

struct Stats {
    double median = 0.0, worst = 0.0;
    size_t count = 0;
};

Stats Summarize(std::vector<double> values) {
    Stats stats;
    stats.count = values.size();
    if (values.empty()) return stats;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    stats.median = n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
    stats.worst = values.back();
    return stats;
}

// What the key sounds on the player's channel 0, in cents from 100*key.
double Sounding(fluid_synth_t *synth, int key, bool &pitched) {
    const int attack = static_cast<int>(calibration::ATTACK_SECONDS * RATE);
    const int steady = static_cast<int>(calibration::STEADY_SECONDS * RATE);
    std::vector<float> left(attack + steady), right(attack + steady), mono(steady);
    fluid_synth_noteon(synth, 0, key, calibration::REFERENCE_VELOCITY);
    fluid_synth_write_float(synth, attack + steady, left.data(), 0, 1, right.data(), 0, 1);
    fluid_synth_all_sounds_off(synth, 0);
    fluid_synth_write_float(synth, 64, left.data(), 0, 1, right.data(), 0, 1);
    for (int i = 0; i < steady; ++i) mono[i] = left[attack + i] + right[attack + i];
    const double nominal = 440.0 * std::exp2((key - 69) / 12.0);
    const calibration::PitchEstimate estimate =
        calibration::EstimatePitch(mono.data(), mono.size(), RATE, nominal);
    pitched = estimate.pitched;
    return 1200.0 * std::log2(estimate.hz / nominal);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: calibration_report FONT [FIRST LAST]\n");
        return 2;
    }
    const std::string font = argv[1];
    const int first = argc == 4 ? std::atoi(argv[2]) : 0;
    const int last = argc == 4 ? std::atoi(argv[3]) : 127;

    calibration::Calibrator calibrator(font);
    fluid_settings_t *settings = new_fluid_settings();
    fluid_settings_setnum(settings, "synth.sample-rate", RATE);
    fluid_settings_setint(settings, "synth.chorus.active", 0);
    fluid_settings_setint(settings, "synth.reverb.active", 0);
    fluid_settings_setint(settings, "synth.dynamic-sample-loading", 1);
    fluid_synth_t *player = new_fluid_synth(settings);
    const int id = fluid_synth_sfload(player, font.c_str(), 1);
    if (!calibrator.Loaded() || id == FLUID_FAILED) {
        std::fprintf(stderr, "%s: cannot load the font\n", font.c_str());
        return 1;
    }
    fluid_synth_set_gen(player, 0, GEN_FINETUNE, calibration::CHANNEL_FINE_TUNE_CENTS);
    fluid_sfont_t *sfont = fluid_synth_get_sfont_by_id(player, id);

    std::printf(
        "| prog | preset | before median | before worst | after median | after worst | "
        "unpitched 36-96 | unpitched 0-127 | calibration s |\n");
    std::printf("|---:|---|---:|---:|---:|---:|---:|---:|---:|\n");
    std::vector<double> times;
    for (int program = first; program <= last; ++program) {
        fluid_preset_t *preset = fluid_sfont_get_preset(sfont, 0, program);
        calibration::ProgramCalibration result;
        if (!preset || !calibrator.Calibrate(0, program, result)) {
            std::printf("| %d | (none) | | | | | | | |\n", program);
            continue;
        }
        times.push_back(result.seconds);
        fluid_synth_program_select(player, 0, id, 0, program);
        calibration::InstallKeyTuning(player, result);
        calibration::SelectKeyTuning(player, 0, 0, program);

        std::vector<double> before, after;
        int unpitchedRange = 0, unpitchedAll = 0;
        for (int key = 0; key < calibration::KEYS; ++key) {
            const calibration::KeyMeasurement &k = result.keys[key];
            const bool inRange = key >= LOW && key <= HIGH;
            if (k.state == KeyState::Unpitched) {
                ++unpitchedAll;
                if (inRange) ++unpitchedRange;
            }
            if (!inRange || (k.state != KeyState::Corrected && k.state != KeyState::Wild)) continue;
            before.push_back(std::fabs(k.cents));
            bool pitched = false;
            const double now = Sounding(player, key, pitched);
            after.push_back(std::fabs(now));
        }
        const Stats b = Summarize(before), a = Summarize(after);
        std::printf("| %d | %s | %.2f | %.2f | %.2f | %.2f | %d | %d | %.2f |\n", program,
                    fluid_preset_get_name(preset), b.median, b.worst, a.median, a.worst,
                    unpitchedRange, unpitchedAll, result.seconds);
        std::fflush(stdout);
    }
    const Stats t = Summarize(times);
    double total = 0.0;
    for (double s : times) total += s;
    std::printf("\n%zu programs calibrated in %.1f s: median %.2f s, slowest %.2f s per program\n",
                times.size(), total, t.median, t.worst);
    delete_fluid_synth(player);
    delete_fluid_settings(settings);
    return 0;
}
