// Cost of starting and stopping a note with few and with many notes in
// play, and of installing a scale, with the output open on a fake device.
#include <benchmark/benchmark.h>

#include "microtune.h"
#include "platform/fake.h"
#include "state/state.h"

namespace {

char JUST[] = "9/8 5/4 4/3 3/2 5/3 15/8 2/1";

// The fake keeps every message; drop them now and then so memory stays flat.
constexpr int CLEAR_EVERY = 4096;

void OpenWithJustScale() {
    mt::ResetStateForTests();
    fake::Reset();
    fake::SetDevices({{"Synth"}});
    OpenMidiOut(0);
    SetMidiScale(JUST);
    fake::ClearEvents();
}

// Rows of one degree of the just scale, found on its pre-bent channel.
void PlayRows(int rows, int degree) {
    for (int i = 0; i < rows; ++i) PlayScaleDegree(degree, 80);
    fake::ClearEvents();
}

void PlayStopPair(benchmark::State &state, int degree) {
    int n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(PlayScaleDegree(degree, 100));
        benchmark::DoNotOptimize(StopScaleDegree(degree, 0));
        if (++n == CLEAR_EVERY) {
            fake::ClearEvents();
            n = 0;
        }
    }
    state.counters["rows"] = mt::nNotesInPlay;
}

// 16 rows of other degrees; the pair's row is the newest.
void BM_PlayStopPair16Rows(benchmark::State &state) {
    OpenWithJustScale();
    for (int degree = -8; degree < 8; ++degree) PlayScaleDegree(degree, 80);
    fake::ClearEvents();
    PlayStopPair(state, 9);
}
BENCHMARK(BM_PlayStopPair16Rows);

// 2047 rows of other degrees: the stop scans the whole table.
void BM_PlayStopPair2047RowsNewestStopped(benchmark::State &state) {
    OpenWithJustScale();
    for (int i = 0; i < 2047; ++i) PlayScaleDegree(i % 16 - 8, 80);
    fake::ClearEvents();
    PlayStopPair(state, 9);
}
BENCHMARK(BM_PlayStopPair2047RowsNewestStopped);

// 2047 rows of the same degree: the stop takes the oldest row and moves
// every later row down.
void BM_PlayStopPair2047RowsOldestStopped(benchmark::State &state) {
    OpenWithJustScale();
    PlayRows(2047, 9);
    PlayStopPair(state, 9);
}
BENCHMARK(BM_PlayStopPair2047RowsOldestStopped);

void BM_SetMidiScaleJust(benchmark::State &state) {
    OpenWithJustScale();
    int n = 0;
    for (auto _ : state) {
        SetMidiScale(JUST);
        if (++n == CLEAR_EVERY / 16) {
            fake::ClearEvents();
            n = 0;
        }
    }
    state.counters["entries"] = GetnScaleNotes();
}
BENCHMARK(BM_SetMidiScaleJust);

}  // namespace
