// microtune retune in two files: one file retuned and reported in full
// (retune_command.cpp), several files or a folder in one run
// (retune_files.cpp).
#ifndef MICROTUNE_COMMANDS_RETUNE_H
#define MICROTUNE_COMMANDS_RETUNE_H

#include <string>
#include <vector>

#include "commands/mts_commands.h"
#include "keys/key_layout.h"
#include "library/companion_start.h"
#include "library/tuning.h"

namespace mthost {

struct RetuneOptions {
    std::vector<std::string> inputs;
    std::string scale;
    std::string kbm;
    double hz = 0.0;
    int root = 60;
    std::string voice;
    std::string midi;
    std::string wav;
    SoundSettings sound;
    int jobs = 1;
    TuningMethod tuning = TuningMethod::BEND;
};

// What every file of a run shares, read and checked once.
struct RetuneSetup {
    ScaleArgument scale;
    KeyLayout keys;
    KeyDegrees degrees;
};

struct RetuneCounts {
    int notes = 0;
    std::string line;  // the one-line report of a file in a run of several
};

// Retunes one file. `brief`: nothing printed, the report comes back as one
// line (a run of several files).
RetuneCounts RetuneFile(const RetuneOptions &options, const RetuneSetup &setup,
                        const std::string &input, const std::string &midiPath, bool brief);

// The files to retune: each argument, a folder standing for its MIDI files
// (by name, in name order; not its sub-folders). `folder`: one was given.
std::vector<std::string> ExpandInputs(const std::vector<std::string> &arguments, bool &folder);

// A name with a trailing / or an existing folder.
bool NamesAFolder(const std::string &path);

// Several files: each into the folder under its own name, one process each.
void RetuneMany(const RetuneOptions &options, const RetuneSetup &setup,
                const std::vector<std::string> &files);

}  // namespace mthost

#endif
