// The MPE zone: a manager channel and member channels with a wide bend
// range, each note on a member of its own while one is free.
#ifndef MICROTUNE_MPE_ZONE_H
#define MICROTUNE_MPE_ZONE_H

#include "state/state.h"

namespace mt {

// Channel 9 plays percussion unless a zone has taken it as a member.
inline bool IsPercussionChannel(int channel) {
    return channel == PERCUSSION_CHANNEL && iMpeMembers < PERCUSSION_CHANNEL;
}

// While a zone is set it plays part 0 alone.
inline bool PartOutsideZone(int part) { return iMpeMembers != 0 && part != 0; }

// The 14-bit bend that carries `offset` semitones on the members' range,
// rounded to the nearest step.
int MpeBend(double offset);

// The member has let its last note go.
inline void MpeMemberReleased(int channel) { iMpeReleaseOrder[channel] = ++nMpeReleases; }

// The member for a note of this key and bend: the silent member released
// longest ago; with every member sounding, one already at the bend that
// does not sound the key; else the member released longest ago, silenced.
int ChooseMpeMember(int note, int bend);

// A member's bend, sent even when unchanged: some synthesizers centre a
// member's bend at its note-off.
void SendMpeBend(int channel, int bend);

// What the open output hears about the zone: the configuration message on
// the manager, the members' bend range and the manager's 2 semitones.
void ConfigureMpeZone();

// Every member's bend back to the centre, sent.
void CentreMpeMemberBends();

// Before the output closes: the members' notes end and their bends centre.
void EndMpeNotes(int velocity);

}  // namespace mt

#endif
