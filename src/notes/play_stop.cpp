// Starting, pre-bending and stopping scale degrees and percussion notes.
#include "notes/play_stop.h"

#include "microtune.h"
#include "notes/choose_channel.h"
#include "notes/degree_pitch.h"
#include "notes/mpe_zone.h"
#include "notes/notes_in_play.h"
#include "notes/parts.h"
#include "output/channel_messages.h"
#include "state/library_lock.h"
#include "state/state.h"
#include "tuning/scale_table.h"

namespace mt {

namespace {

// The bodies of PlayDegreeOfPart and StopDegreeOfPart, expanded in the
// classic exports too, so that their calls are one function deep.
[[gnu::always_inline]] inline int PlayDegree(int part, int degree, int velocity) {
    if (!bScaleInstalled) InstallDefaultScale();
    // A full table sends nothing: a note that could not be stopped must not start.
    if (nNotesInPlay >= MAX_NOTES_IN_PLAY) return nNotesInPlay;

    const Pitch pitch = PitchOfDegree(degree);
    int channel;
    if (iMpeMembers) {
        // The bend goes before every note-on, also when the member has it.
        const int bend = MpeBend(pitch.offset);
        channel = ChooseMpeMember(pitch.note, bend);
        SendMpeBend(channel, bend);
        MidiNoteOn(hMidiOut, channel, pitch.note, velocity);
        return AddNoteInPlay(degree, pitch.ratio, channel, pitch.note, part);
    }
    if (bPartsInUse) {
        channel = StartPartNote(part, pitch.note, pitch.bend, velocity, false);
    } else {
        channel = ChooseChannelFor(CHOOSE_MAY_SILENCE, pitch.note, pitch.bend);
        // The bend goes first so that the note starts at its pitch.
        SendPitchBend(hMidiOut, channel, pitch.bend);
        MidiNoteOn(hMidiOut, channel, pitch.note, velocity);
    }
    return AddNoteInPlay(degree, pitch.ratio, channel, pitch.note, part);
}

[[gnu::always_inline]] inline int StopDegree(int part, int degree, int velocity) {
    for (int row = NextRowOfDegree(degree, 0); row >= 0; row = NextRowOfDegree(degree, row + 1)) {
        if (IsPercussionChannel(iChannel[row]) || iPart[row] != part) continue;
        const int channel = iChannel[row];
        MidiNoteOff(hMidiOut, channel, iNote[row], velocity);
        RemoveNoteInPlay(row);
        // The fresh stamp makes this channel the last choice among silent ones.
        const uint32_t now = LibraryMilliseconds();
        dwReleaseTime[channel] = now;
        if (iMpeMembers && nSounding[channel] == 0) MpeMemberReleased(channel);
        return static_cast<int>(now);
    }
    return nNotesInPlay;
}

}  // namespace

int PlayDegreeOfPart(int part, int degree, int velocity) {
    return PlayDegree(part, degree, velocity);
}

int StopDegreeOfPart(int part, int degree, int velocity) {
    return StopDegree(part, degree, velocity);
}

int DoBendForScaleDegreeFlags(int flags, int degree) {
    // A zone bends each member before its note; a bend sent ahead would
    // bend a member, or the manager and so the whole zone, by the wrong range.
    if (iMpeMembers) return 0;
    // No default scale here: a bend asked for before any scale bends by the
    // table as it stands.
    const Pitch pitch = PitchOfDegree(degree);
    return SendPitchBend(hMidiOut, ChooseChannelFor(flags, pitch.note, pitch.bend), pitch.bend);
}

}  // namespace mt

extern "C" {

MICROTUNE_EXPORT int MICROTUNE_API PlayScaleDegree(int degree, int velocity) {
    mt::ExportLock lock;
    if (!lock) return 0;
    return mt::PlayDegree(0, degree, velocity);
}

MICROTUNE_EXPORT int MICROTUNE_API StopScaleDegree(int degree, int velocity) {
    mt::ExportLock lock;
    if (!lock) return 0;
    return mt::StopDegree(0, degree, velocity);
}

MICROTUNE_EXPORT int MICROTUNE_API DoBendForScaleDegree(int degree) {
    mt::ExportLock lock;
    if (!lock) return 0;
    return mt::DoBendForScaleDegreeFlags(0, degree);
}

MICROTUNE_EXPORT int MICROTUNE_API DoBendForScaleDegreeInLoop(int degree) {
    mt::ExportLock lock;
    if (!lock) return 0;
    return mt::DoBendForScaleDegreeFlags(mt::CHOOSE_IN_LOOP, degree);
}

MICROTUNE_EXPORT int MICROTUNE_API PlayNonMelodicPercussion(int note, int velocity) {
    mt::ExportLock lock;
    if (!lock) return 0;
    // A zone of 9 members or more holds the drum channel.
    if (!mt::IsPercussionChannel(mt::PERCUSSION_CHANNEL)) return mt::nNotesInPlay;
    mt::MidiNoteOn(mt::hMidiOut, mt::PERCUSSION_CHANNEL, note, velocity);
    return mt::AddNoteInPlay(note, 1.0, mt::PERCUSSION_CHANNEL, note);
}

MICROTUNE_EXPORT int MICROTUNE_API StopNonMelodicPercussion(int note, int /*unused*/) {
    mt::ExportLock lock;
    if (!lock) return 0;
    // The zone's notes on channel 9 are no drums.
    if (!mt::IsPercussionChannel(mt::PERCUSSION_CHANNEL)) return mt::nNotesInPlay;
    for (int row = 0; row < mt::nNotesInPlay;) {
        if (mt::iDegree[row] == note && mt::iChannel[row] == mt::PERCUSSION_CHANNEL) {
            mt::MidiNoteOff(mt::hMidiOut, mt::PERCUSSION_CHANNEL, note, 127);
            mt::RemoveNoteInPlay(row);
        } else {
            ++row;
        }
    }
    return mt::nNotesInPlay;
}

}  // extern "C"
