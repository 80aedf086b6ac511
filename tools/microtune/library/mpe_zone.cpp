#include "library/mpe_zone.h"

#include <cstdio>

#include "host_error.h"
#include "microtune_ext.h"

namespace mthost {
namespace {

// What the library was told last: one zone per process.
int zoneSemitones = 0;
int zoneMembers = 0;

}  // namespace

void UseMpeZone(const MpeZone &zone) {
    if (MicrotuneSetMpeZone(zone.members, zone.semitones) != 1)
        throw HostError("the library refused the MPE zone of " + std::to_string(zone.members) +
                        " members and a " + std::to_string(zone.semitones) + "-semitone range");
    zoneSemitones = zone.members ? zone.semitones : 0;
    zoneMembers = zone.members;
}

int BendSemitones() { return zoneSemitones ? zoneSemitones : 2; }

int ZoneMembers() { return zoneMembers; }

void WarnOfDrumMember(const MpeZone &zone, const std::string &synthesizer) {
    if (zone.members < 9) return;
    std::fprintf(stderr,
                 "microtune: warning: %s plays MIDI channel 10, a member of the zone, as drums; "
                 "--mpe-members 8 keeps the zone off it\n",
                 synthesizer.c_str());
    std::fflush(stderr);
}

std::string DescribeMpeZone(const MpeZone &zone) {
    const std::string members =
        zone.members == 1 ? "member 2" : "members 2-" + std::to_string(zone.members + 1);
    return "MPE zone: manager channel 1, " + members + ", " + std::to_string(zone.semitones) +
           "-semitone bend range";
}

}  // namespace mthost
