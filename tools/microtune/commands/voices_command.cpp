// microtune voices [QUERY]: the 128 General MIDI voices, or those that a
// number or a whole or partial name finds, the library's choice first.
#include <cstdio>

#include "commands/commands.h"
#include "library/voice.h"

namespace mthost {

void AddVoicesCommand(CLI::App &app) {
    CLI::App *command = app.add_subcommand(
        "voices",
        "List the 128 General MIDI voices (numbered 0-127), or every voice QUERY finds, the one "
        "--voice QUERY plays first");
    auto words = std::make_shared<std::vector<std::string>>();
    CLI::Option *given = command->add_option(
        "QUERY", *words, "A voice number or a whole or partial name (quoted or not)");
    command->callback([words, given] {
        if (given->count() > 0) {
            std::string query;
            for (const std::string &word : *words) query += (query.empty() ? "" : " ") + word;
            const std::vector<Voice> voices = MatchingVoices(query);
            for (size_t i = 0; i < voices.size(); ++i)
                std::printf("%3d  %s%s\n", voices[i].number, voices[i].name.c_str(),
                            i == 0 && voices.size() > 1 ? "  (the one --voice plays)" : "");
            return;
        }
        for (int number = 0; number < 128; ++number)
            std::printf("%3d  %s\n", number, VoiceName(number).c_str());
    });
}

}  // namespace mthost
