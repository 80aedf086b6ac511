// The command-line side of MIDI Tuning Standard output: --tuning for retune
// and the relay, --mts for keys. (--tuning mpe: mpe_commands.h.)
#ifndef MICROTUNE_MTS_COMMANDS_H
#define MICROTUNE_MTS_COMMANDS_H

#include <CLI/CLI.hpp>
#include <string>

#include "keys/key_layout.h"
#include "library/tuning.h"

namespace mthost {

enum class TuningMethod { BEND, MTS, MPE };

// --tuning bend|mts|mpe (default: bend); without `mts` for the commands that
// only play through the library.
void AddTuningMethodOption(CLI::App &command, TuningMethod &method, bool mts = true);

struct MtsKeysRequest {
    bool wanted = false;    // --mts given, with or without a file
    std::string file;       // .syx to write
    bool realTime = false;  // single-note tuning changes instead of a bulk dump
    int device = -1;        // send to this output port too
};

// --mts [FILE.syx], --mts-realtime and --device N.
void AddMtsKeysOptions(CLI::App &command, MtsKeysRequest &request);

// Writes and/or sends the table of the keys; says what was done on
// `report` (standard output, or standard error beside a CSV listing).
void SendMtsForKeys(const MtsKeysRequest &request, const KeyLayout &keys, const Tuning &tuning,
                    FILE *report);

}  // namespace mthost

#endif
