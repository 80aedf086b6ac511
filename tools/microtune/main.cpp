// microtune: hear any tuning on a General MIDI synthesizer or on the
// built-in software synthesizer. The subcommands are in commands/.
#include "commands/command_line.h"

int main(int argc, char **argv) { return mthost::RunCommandLine(argc, argv); }
