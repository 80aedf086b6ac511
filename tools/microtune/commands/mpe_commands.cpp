#include "commands/mpe_commands.h"

#include "commands/commands.h"
#include "host_error.h"

namespace mthost {

void AddMpeOptions(CLI::App &command, MpeRequest &request) {
    command
        .add_option("--mpe-members", request.members,
                    "With --tuning mpe: member channels of the zone, 1 to 15 (default: 15, MIDI "
                    "channels 2-16; channel 1 is the manager)")
        ->type_name("N")
        ->check(WholeNumber(1, 15));
    command
        .add_option("--mpe-bend", request.semitones,
                    "With --tuning mpe: the members' pitch-bend range in semitones, 1 to 96 "
                    "(default: 48, MPE's own; set the synthesizer to the same)")
        ->type_name("S")
        ->check(WholeNumber(1, 96));
}

MpeZone ZoneOfOptions(const CLI::App &command, TuningMethod method, const MpeRequest &request) {
    MpeZone zone;
    if (method != TuningMethod::MPE) {
        for (const char *option : {"--mpe-members", "--mpe-bend"})
            if (command.count(option) > 0)
                throw HostError(std::string(option) + " needs --tuning mpe", 2);
        return zone;
    }
    zone.members = request.members;
    zone.semitones = request.semitones;
    return zone;
}

}  // namespace mthost
