// microtune: hear any tuning on a General MIDI synthesizer or on the
// built-in software synthesizer. Every subcommand drives the library only
// through its public header, in the order a host uses it.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <string>

#include "commands.h"
#include "host_error.h"

int main(int argc, char **argv) {
    CLI::App app{
        "microtune: play music in any tuning on General MIDI synthesizers and on the built-in "
        "software synthesizer.",
        "microtune"};
    app.require_subcommand(1);
    // One line per error; --help says the rest.
    app.failure_message([](const CLI::App *, const CLI::Error &e) {
        return std::string("microtune: ") + e.what() + " (see --help)\n";
    });

    mthost::AddDevicesCommand(app);
    mthost::AddVoicesCommand(app);
    mthost::AddScaleCommand(app);
    mthost::AddPlayCommand(app);
    mthost::AddDemoCommand(app);
    mthost::AddBendTestCommand(app);
    mthost::AddRelayCommand(app);
    mthost::AddKeysCommand(app);
    mthost::AddRetuneCommand(app);

    try {
        // CLI11 would only say that a subcommand is required.
        if (argc > 1 && argv[1][0] != '-') {
            bool known = false;
            for (const CLI::App *command : app.get_subcommands({}))
                if (command->check_name(argv[1])) known = true;
            if (!known)
                throw mthost::HostError(std::string("unknown subcommand '") + argv[1] +
                                        "' (see --help)");
        }
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        std::fflush(stdout);
        return app.exit(e);
    } catch (const mthost::HostError &e) {
        std::fflush(stdout);
        std::fprintf(stderr, "microtune: %s\n", e.what());
        return e.ExitStatus();
    } catch (const std::exception &e) {
        std::fflush(stdout);
        std::fprintf(stderr, "microtune: %s\n", e.what());
        return 1;
    }
    return 0;
}
