// Starting, pre-bending and stopping scale degrees and percussion notes.
#include "notes/play_stop.h"

#include "microtune.h"
#include "notes/choose_channel.h"
#include "notes/degree_pitch.h"
#include "notes/notes_in_play.h"
#include "output/channel_messages.h"
#include "state/library_lock.h"
#include "state/state.h"
#include "tuning/scale_table.h"

namespace mt {

int DoBendForScaleDegreeFlags(int flags, int degree) {
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
    if (!mt::bScaleInstalled) mt::InstallDefaultScale();
    // A full table sends nothing: a note that could not be stopped must not start.
    if (mt::nNotesInPlay >= mt::MAX_NOTES_IN_PLAY) return mt::nNotesInPlay;

    const mt::Pitch pitch = mt::PitchOfDegree(degree);
    const int channel = mt::ChooseChannelFor(mt::CHOOSE_MAY_SILENCE, pitch.note, pitch.bend);
    // The bend goes first so that the note starts at its pitch.
    mt::SendPitchBend(mt::hMidiOut, channel, pitch.bend);
    mt::MidiNoteOn(mt::hMidiOut, channel, pitch.note, velocity);
    return mt::AddNoteInPlay(degree, pitch.ratio, channel, pitch.note);
}

MICROTUNE_EXPORT int MICROTUNE_API StopScaleDegree(int degree, int velocity) {
    mt::ExportLock lock;
    if (!lock) return 0;
    for (int row = mt::NextRowOfDegree(degree, 0); row >= 0;
         row = mt::NextRowOfDegree(degree, row + 1)) {
        if (mt::iChannel[row] == mt::PERCUSSION_CHANNEL) continue;
        const int channel = mt::iChannel[row];
        mt::MidiNoteOff(mt::hMidiOut, channel, mt::iNote[row], velocity);
        mt::RemoveNoteInPlay(row);
        // The fresh stamp makes this channel the last choice among silent ones.
        const uint32_t now = mt::PlatformMilliseconds();
        mt::dwReleaseTime[channel] = now;
        return static_cast<int>(now);
    }
    return mt::nNotesInPlay;
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
    mt::MidiNoteOn(mt::hMidiOut, mt::PERCUSSION_CHANNEL, note, velocity);
    return mt::AddNoteInPlay(note, 1.0, mt::PERCUSSION_CHANNEL, note);
}

MICROTUNE_EXPORT int MICROTUNE_API StopNonMelodicPercussion(int note, int /*unused*/) {
    mt::ExportLock lock;
    if (!lock) return 0;
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
