// The whole command line: every subcommand, the usage and error lines, and
// the exit status.
#ifndef MICROTUNE_COMMANDS_COMMAND_LINE_H
#define MICROTUNE_COMMANDS_COMMAND_LINE_H

namespace mthost {

int RunCommandLine(int argc, char **argv);

}  // namespace mthost

#endif
