// microtune devices: the numbered device list as the library names it.
#include <cstdio>

#include "commands/commands.h"
#include "library/output.h"

namespace mthost {

void AddDevicesCommand(CLI::App &app) {
    CLI::App *command = app.add_subcommand(
        "devices", "List the output devices by number, marking the built-in software synthesizer");
    command->callback([] {
        const std::vector<std::string> devices = ListDevices();
        const int builtIn = BuiltInSynthesizer(devices);
        if (devices.empty()) std::printf("No output devices.\n");
        for (size_t i = 0; i < devices.size(); ++i)
            std::printf("%3zu  %s%s\n", i, devices[i].c_str(),
                        static_cast<int>(i) == builtIn ? "  (built-in software synthesizer)" : "");
    });
}

}  // namespace mthost
