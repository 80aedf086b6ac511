// The situations that the note engine is measured in, shared by the timing
// benchmark and the instruction-count driver so that both measure the same.
#ifndef MICROTUNE_NOTE_ENGINE_SCENARIOS_H
#define MICROTUNE_NOTE_ENGINE_SCENARIOS_H

#include "microtune.h"
#include "microtune_ext.h"
#include "platform/fake.h"
#include "state/state.h"

namespace scenarios {

inline char JUST[] = "9/8 5/4 4/3 3/2 5/3 15/8 2/1";

// The fake keeps every message; drop them now and then so memory stays flat.
constexpr int CLEAR_EVERY = 4096;

// The degree that the pairs play and stop.
constexpr int PAIR_DEGREE = 9;

inline void OpenWithJustScale() {
    mt::ResetStateForTests();
    fake::Reset();
    fake::SetDevices({{"Synth"}});
    OpenMidiOut(0);
    SetMidiScale(JUST);
    fake::ClearEvents();
}

// 16 rows of other degrees; the pair's row is the newest.
inline void SixteenRows() {
    OpenWithJustScale();
    for (int degree = -8; degree < 8; ++degree) PlayScaleDegree(degree, 80);
    fake::ClearEvents();
}

// 2047 rows of other degrees: the stop scans the whole table.
inline void ManyRowsNewestStopped() {
    OpenWithJustScale();
    for (int i = 0; i < 2047; ++i) PlayScaleDegree(i % 16 - 8, 80);
    fake::ClearEvents();
}

// 2047 rows of the pair's degree: the stop takes the oldest row and moves
// every later row down.
inline void ManyRowsOldestStopped() {
    OpenWithJustScale();
    for (int i = 0; i < 2047; ++i) PlayScaleDegree(PAIR_DEGREE, 80);
    fake::ClearEvents();
}

}  // namespace scenarios

#endif
