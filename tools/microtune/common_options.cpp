// Options that several subcommands share.
#include "commands.h"
#include "tuning.h"

namespace mthost {

void AddDeviceOption(CLI::App &command, int &device) {
    command
        .add_option("--device", device,
                    "Output device number from `microtune devices` (default: the built-in "
                    "software synthesizer)")
        ->check(CLI::NonNegativeNumber);
}

void AddScaleOption(CLI::App &command, std::string &scale) {
    command.add_option("--scale", scale, "A scale text or a Scala .scl file (default: 12-TET)");
}

void Add1o1Option(CLI::App &command, double &hz) {
    command.add_option("--1o1", hz, "Frequency of the 1/1 in Hz (default 261.626)")
        ->check(PositiveHz());
}

void AddKbmOption(CLI::App &command, std::string &kbm) {
    CLI::Option *option = command.add_option(
        "--kbm", kbm,
        "A Scala keyboard map (.kbm): which key plays which degree; its reference key and "
        "frequency set the 1/1");
    for (const char *other : {"--root", "--1o1"})
        if (CLI::Option *excluded = command.get_option_no_throw(other)) option->excludes(excluded);
}

void AddMidOption(CLI::App &command, std::string &path) {
    command.add_option("--mid", path,
                       "Also write what the built-in software synthesizer plays as a MIDI file");
}

}  // namespace mthost
