// The command-line side of MPE output: --mpe-members and --mpe-bend beside
// --tuning mpe, for play, retune, the relay, keys and bend-test.
#ifndef MICROTUNE_MPE_COMMANDS_H
#define MICROTUNE_MPE_COMMANDS_H

#include <CLI/CLI.hpp>

#include "commands/mts_commands.h"
#include "library/mpe_zone.h"

namespace mthost {

struct MpeRequest {
    int members = 15;
    int semitones = 48;
};

// --mpe-members N (1-15, default 15) and --mpe-bend S (1-96, default 48).
void AddMpeOptions(CLI::App &command, MpeRequest &request);

// The zone the options ask for: none unless --tuning mpe; --mpe-members or
// --mpe-bend without it is a usage error.
MpeZone ZoneOfOptions(const CLI::App &command, TuningMethod method, const MpeRequest &request);

}  // namespace mthost

#endif
