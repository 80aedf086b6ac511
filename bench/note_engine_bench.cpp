// Cost of starting and stopping a note with few and with many notes in
// play, and of installing a scale, with the output open on a fake device.
#include <benchmark/benchmark.h>

#include "microtune_ext.h"
#include "note_engine_scenarios.h"

namespace {

using namespace scenarios;

// (Here rather than in the shared scenarios, which the comparison script
// builds against older revisions too.) An MPE zone of 15 members, 14 of them sounding other
// degrees: the pair's note takes the one silent member, its bend sent every time.
void FourteenRowsInMpeZone() {
    mt::ResetStateForTests();
    fake::Reset();
    fake::SetDevices({{"Synth"}});
    MicrotuneSetMpeZone(15, 48);
    OpenMidiOut(0);
    SetMidiScale(JUST);
    for (int degree = -7; degree < 7; ++degree) PlayScaleDegree(degree, 80);
    fake::ClearEvents();
}

void PlayStopPair(benchmark::State &state) {
    int n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(PlayScaleDegree(PAIR_DEGREE, 100));
        benchmark::DoNotOptimize(StopScaleDegree(PAIR_DEGREE, 0));
        if (++n == CLEAR_EVERY) {
            fake::ClearEvents();
            n = 0;
        }
    }
    state.counters["rows"] = mt::nNotesInPlay;
}

void BM_PlayStopPair16Rows(benchmark::State &state) {
    SixteenRows();
    PlayStopPair(state);
}
BENCHMARK(BM_PlayStopPair16Rows);

void BM_PlayStopPair2047RowsNewestStopped(benchmark::State &state) {
    ManyRowsNewestStopped();
    PlayStopPair(state);
}
BENCHMARK(BM_PlayStopPair2047RowsNewestStopped);

void BM_PlayStopPair2047RowsOldestStopped(benchmark::State &state) {
    ManyRowsOldestStopped();
    PlayStopPair(state);
}
BENCHMARK(BM_PlayStopPair2047RowsOldestStopped);

void BM_PlayStopPair14RowsMpeZone(benchmark::State &state) {
    FourteenRowsInMpeZone();
    PlayStopPair(state);
}
BENCHMARK(BM_PlayStopPair14RowsMpeZone);

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
