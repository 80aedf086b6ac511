// When the companion calibrates: the first time a channel plays a program
// (at start, and on a program change) its calibration is looked up in
// memory, then in the user's disk cache, then in the read-only calibrations
// installed with the companion, and otherwise measured, always on a
// worker thread, so that no note-on ever waits for it. When live, a
// program's first notes may sound uncorrected for the moment that takes
// (at most about a second, once per font and program, ever); when rendering
// into a file, where nothing runs in real time, the program change waits
// for the result instead, so that every rendered note is corrected.
#ifndef MICROTUNE_COMPANION_CALIBRATION_SERVICE_H
#define MICROTUNE_COMPANION_CALIBRATION_SERVICE_H

#include <fluidsynth.h>

#include <string>

namespace calibration {

// Starts calibrating for the synthesizer, whose font was loaded from
// fontPath; does nothing when MICROTUNE_SYNTH_CALIBRATE is 0.
void StartCalibration(fluid_synth_t *synth, const std::string &fontPath, bool offline);

// After the program of a channel changed (or was first set).
void ProgramChanged(int channel);

// Stops the worker (abandoning a measurement in progress) before the
// synthesizer goes away.
void StopCalibration();

}  // namespace calibration

#endif
