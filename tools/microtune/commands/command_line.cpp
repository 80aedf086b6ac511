// The command line: every subcommand drives the library only through its
// public header, in the order a host uses it.
#include "commands/command_line.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "commands/commands.h"
#include "host_error.h"
#include "library/end_signals.h"
#include "output_file/output_file.h"

#ifndef MICROTUNE_VERSION
#define MICROTUNE_VERSION "unknown"
#endif

namespace {

constexpr int EXIT_USAGE = 2;

// The subcommand being parsed when an error came, or the program itself.
const CLI::App *Innermost(const CLI::App &app) {
    const CLI::App *current = &app;
    for (;;) {
        const std::vector<CLI::App *> parsed = current->get_subcommands();
        if (parsed.empty()) return current;
        current = parsed.back();
    }
}

bool LooksLikeOption(const std::string &arg) {
    if (arg.size() < 2 || arg[0] != '-') return false;
    // A negative number is a value (a degree, say), not an option.
    char *end = nullptr;
    std::strtod(arg.c_str(), &end);
    return *end != '\0';
}

// CLI11's wording where it is not a tool's: an argument that nothing takes
// is named as an unknown option or an unexpected argument.
std::string Describe(const CLI::App &app, const CLI::ParseError &e) {
    if (dynamic_cast<const CLI::ExtrasError *>(&e)) {
        for (const CLI::App *command = Innermost(app); command; command = command->get_parent()) {
            const std::vector<std::string> extras = command->remaining();
            for (const std::string &arg : extras)
                if (LooksLikeOption(arg)) return "unknown option " + arg.substr(0, arg.find('='));
            if (!extras.empty()) return "unexpected argument '" + extras.front() + "'";
        }
    }
    return e.what();
}

std::string UsageLine(const CLI::App &app) {
    const CLI::App *command = Innermost(app);
    std::string name = command->get_name();
    for (const CLI::App *parent = command->get_parent(); parent; parent = parent->get_parent())
        name = parent->get_name() + " " + name;
    std::string usage = CLI::Formatter().make_usage(command, name);
    while (!usage.empty() && (usage.back() == '\n' || usage.back() == ' ')) usage.pop_back();
    while (!usage.empty() && usage.front() == '\n') usage.erase(0, 1);
    return usage + "  (see: " + name + " --help)";
}

int UsageError(const CLI::App &app, const std::string &message) {
    std::fflush(stdout);
    std::fprintf(stderr, "microtune: %s\n%s\n", message.c_str(), UsageLine(app).c_str());
    return EXIT_USAGE;
}

}  // namespace

namespace mthost {

int RunCommandLine(int argc, char **argv) {
    CLI::App app{
        "microtune: play music in any tuning on General MIDI synthesizers and on the built-in "
        "software synthesizer.",
        "microtune"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "microtune " MICROTUNE_VERSION);
    app.footer(
        "Exit status: 0 success, 1 error, 2 usage error (an unknown option, a missing or "
        "malformed argument), 130 interrupted.");

    AddDevicesCommand(app);
    AddVoicesCommand(app);
    AddScaleCommand(app);
    AddPlayCommand(app);
    AddDemoCommand(app);
    AddBendTestCommand(app);
    AddRelayCommand(app);
    AddKeysCommand(app);
    AddRetuneCommand(app);
    AddCalibrateCommand(app);

    InstallEndSignalHandler();
    try {
        // CLI11 would only say that a subcommand is required.
        if (argc > 1) {
            const std::string first = argv[1];
            if (first[0] != '-') {
                bool known = false;
                for (const CLI::App *command : app.get_subcommands({}))
                    if (command->check_name(first)) known = true;
                if (!known) return UsageError(app, "unknown subcommand '" + first + "'");
            } else if (first != "-h" && first != "--help" && first != "--version") {
                return UsageError(app, "unknown option " + first.substr(0, first.find('=')));
            }
        }
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        // --help and --version end the parse as well.
        if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
            std::fflush(stderr);
            return app.exit(e);
        }
        return UsageError(app, Describe(app, e));
    } catch (const HostError &e) {
        std::fflush(stdout);
        if (e.ExitStatus() == EXIT_USAGE) return UsageError(app, e.what());
        std::fprintf(stderr, "microtune: %s\n", e.what());
        return e.ExitStatus();
    } catch (const std::exception &e) {
        std::fflush(stdout);
        std::fprintf(stderr, "microtune: %s\n", e.what());
        return 1;
    }
    return 0;
}

}  // namespace mthost
