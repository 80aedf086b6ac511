#include "key_tuning.h"

namespace calibration {
namespace {

// FluidSynth numbers tunings by a bank and a program of 0..127 each.
int TuningBank(int bank) { return bank & 127; }

}  // namespace

void InstallKeyTuning(fluid_synth_t *synth, const ProgramCalibration &calibration) {
    double pitch[KEYS];
    for (int key = 0; key < KEYS; ++key) pitch[key] = 100.0 * key + calibration.Correction(key);
    fluid_synth_activate_key_tuning(synth, TuningBank(calibration.bank), calibration.program,
                                    "microtune calibration", pitch, 1);
}

void SelectKeyTuning(fluid_synth_t *synth, int channel, int bank, int program) {
    fluid_synth_activate_tuning(synth, channel, TuningBank(bank), program, 1);
}

void ClearKeyTuning(fluid_synth_t *synth, int channel) {
    fluid_synth_deactivate_tuning(synth, channel, 1);
}

}  // namespace calibration
