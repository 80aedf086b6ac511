// The benchmark's operations a given number of times, without the benchmark
// library: under callgrind, the instructions counted inside RunOperations
// divided by that number are the cost of one operation, a figure that does
// not depend on how busy the machine is.
//
//   note_engine_ops pair16|pair2047newest|pair2047oldest|setmidiscale COUNT
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "note_engine_scenarios.h"

using namespace scenarios;

extern "C" {

__attribute__((noinline)) void RunOperations(bool pairs, long count) {
    int n = 0;
    for (long i = 0; i < count; ++i) {
        if (pairs) {
            PlayScaleDegree(PAIR_DEGREE, 100);
            StopScaleDegree(PAIR_DEGREE, 0);
        } else {
            SetMidiScale(JUST);
        }
        if (++n == CLEAR_EVERY / (pairs ? 1 : 16)) {
            fake::ClearEvents();
            n = 0;
        }
    }
}

}  // extern "C"

int main(int argc, char **argv) {
    const char *what = argc == 3 ? argv[1] : "";
    const long count = argc == 3 ? std::atol(argv[2]) : 0;
    bool pairs = true;
    if (!std::strcmp(what, "pair16")) {
        SixteenRows();
    } else if (!std::strcmp(what, "pair2047newest")) {
        ManyRowsNewestStopped();
    } else if (!std::strcmp(what, "pair2047oldest")) {
        ManyRowsOldestStopped();
    } else if (!std::strcmp(what, "setmidiscale")) {
        OpenWithJustScale();
        pairs = false;
    } else {
        std::fprintf(stderr,
                     "usage: note_engine_ops pair16|pair2047newest|pair2047oldest|setmidiscale "
                     "COUNT\n");
        return 2;
    }
    RunOperations(pairs, count);
    return 0;
}
