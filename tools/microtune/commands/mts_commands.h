// The command-line side of MIDI Tuning Standard output: --tuning and the
// --mts-... options for retune and the relay, --mts for keys. (--tuning mpe:
// mpe_commands.h.)
#ifndef MICROTUNE_MTS_COMMANDS_H
#define MICROTUNE_MTS_COMMANDS_H

#include <CLI/CLI.hpp>
#include <string>

#include "keys/key_layout.h"
#include "keys/mts_tuning.h"
#include "library/tuning.h"

namespace mthost {

enum class TuningMethod { BEND, MTS, MPE };

// --tuning bend|mts|mpe (default: bend); without `mts` for the commands that
// only play through the library.
void AddTuningMethodOption(CLI::App &command, TuningMethod &method, bool mts = true);

// --mts-form, --mts-device, --mts-program, --mts-restate and, with `lead`,
// --mts-lead. Given with --tuning bend they are a usage error.
void AddMtsOptions(CLI::App &command, MtsOptions &options, bool lead);
void RefuseMtsOptionsForBends(const CLI::App &command, TuningMethod method);

struct MtsKeysRequest {
    bool wanted = false;  // --mts given, with or without a file
    std::string file;     // .syx to write; "-": standard output, the data alone
    MtsSend send{MtsForm::BULK};
    int device = -1;  // send to this output port too
};

// --mts [FILE.syx], --mts-form (--mts-realtime: the same as --mts-form
// realtime), --mts-device, --mts-program and --device N.
void AddMtsKeysOptions(CLI::App &command, MtsKeysRequest &request);

// Writes and/or sends the table of the keys; says what was done on
// `report` (standard output, or standard error beside a CSV listing or
// data on standard output).
void SendMtsForKeys(const MtsKeysRequest &request, const KeyLayout &keys, const Tuning &tuning,
                    FILE *report);

}  // namespace mthost

#endif
