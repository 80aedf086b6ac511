// The host's side of the library's MPE zone: setting it, and the bend range
// a listing reads the library's bends on.
#ifndef MICROTUNE_HOST_MPE_ZONE_H
#define MICROTUNE_HOST_MPE_ZONE_H

#include <string>

namespace mthost {

struct MpeZone {
    int members = 0;     // 0: classic bends on 2-semitone channels
    int semitones = 48;  // the members' bend range
};

// Sets the zone in the library, before the output opens so that the open
// configures the synthesizer; throws HostError when the library refuses.
void UseMpeZone(const MpeZone &zone);

// The range the library's bends are on: the zone's, or 2.
int BendSemitones();
// The zone's members, or 0.
int ZoneMembers();

// Says on standard error that MIDI channel 10, a member of the zone, plays
// drums on a General MIDI synthesizer.
void WarnOfDrumMember(const MpeZone &zone, const std::string &synthesizer);

// "MPE zone: manager channel 1, members 2-16, 48-semitone bend range"
// (MIDI channel numbers, as a synthesizer's panel shows them).
std::string DescribeMpeZone(const MpeZone &zone);

}  // namespace mthost

#endif
