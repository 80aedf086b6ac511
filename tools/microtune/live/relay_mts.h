// `microtune relay --tuning mts`: the synthesizer's keys are retuned when
// the relay starts (and, if asked, after each program change), and every
// channel message passes through as played: its own channel, key, velocity
// and pitch wheel.
#ifndef MICROTUNE_RELAY_MTS_H
#define MICROTUNE_RELAY_MTS_H

#include <string>

#include "keys/mts_tuning.h"

namespace mthost {

struct MtsRelayRequest {
    std::string in;  // input port: a number or a part of its name
    int device = -1;
    std::string scale, kbm;
    double hz = 0.0;
    int root = 60;
    std::string voice;  // sent to every channel but 10 before the tuning, if given
    bool wav = false;   // --wav given: refused, nothing here renders
    bool verbose = false;
    MtsOptions mts;
};

void RelayWithMts(const MtsRelayRequest &request);

}  // namespace mthost

#endif
