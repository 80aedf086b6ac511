// microtune voices [QUERY]: the 128 General MIDI voices, or the one a
// number or a whole or partial name finds.
#include <cstdio>

#include "commands.h"
#include "voice.h"

namespace mthost {

void AddVoicesCommand(CLI::App &app) {
    CLI::App *command = app.add_subcommand(
        "voices", "List the 128 General MIDI voices, or show the voice that QUERY finds");
    auto query = std::make_shared<std::string>();
    CLI::Option *given =
        command->add_option("QUERY", *query, "A voice number or a whole or partial name");
    command->callback([query, given] {
        if (given->count() > 0) {
            const Voice voice = LookUpVoice(*query);
            std::printf("%3d  %s\n", voice.number, voice.name.c_str());
            return;
        }
        for (int number = 0; number < 128; ++number)
            std::printf("%3d  %s\n", number, VoiceName(number).c_str());
    });
}

}  // namespace mthost
