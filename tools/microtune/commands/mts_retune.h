// `microtune retune --tuning mts`: the input file as it is, its notes on
// their own keys and channels, its pitch wheel its own, with the tuning of
// every key put in at tick 0 for a synthesizer that retunes its keys, ahead
// of the music by the time the data takes to arrive.
#ifndef MICROTUNE_MTS_RETUNE_H
#define MICROTUNE_MTS_RETUNE_H

#include <string>

#include "keys/mts_tuning.h"

namespace mthost {

struct MtsRetuneRequest {
    std::string input, output;  // output: the MIDI file to write
    std::string scale, kbm;
    double hz = 0.0;
    int root = 60;
    bool wav = false;    // --wav given: refused, nothing here renders
    bool voice = false;  // --voice given: refused, the file keeps its programs
    MtsOptions mts;
};

// Throws HostError (status 2 for options that do not go with MTS).
void RetuneWithMts(const MtsRetuneRequest &request);

}  // namespace mthost

#endif
