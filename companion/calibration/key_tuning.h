// A program's calibration applied to the companion's synthesizer through
// FluidSynth's per-key tuning: one key tuning per calibrated program,
// selected on every channel that plays the program.
#ifndef MICROTUNE_COMPANION_KEY_TUNING_H
#define MICROTUNE_COMPANION_KEY_TUNING_H

#include <fluidsynth.h>

#include "program_calibration.h"

namespace calibration {

// Defines (or redefines) the key tuning of the calibrated program: key k at
// 100*k cents plus its correction.
void InstallKeyTuning(fluid_synth_t *synth, const ProgramCalibration &calibration);

// Selects the program's key tuning on a channel; sounding notes follow.
void SelectKeyTuning(fluid_synth_t *synth, int channel, int bank, int program);

// Back to FluidSynth's own equal tuning on a channel.
void ClearKeyTuning(fluid_synth_t *synth, int channel);

}  // namespace calibration

#endif
