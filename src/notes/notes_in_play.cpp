// The table of notes in play and the bulk stops.
#include "notes/notes_in_play.h"

#include <cstring>

#include "microtune.h"
#include "output/channel_messages.h"
#include "state/state.h"

namespace mt {

int AddNoteInPlay(int degree, double ratio, int channel, int note) {
    if (nNotesInPlay >= MAX_NOTES_IN_PLAY) return nNotesInPlay;
    const int row = nNotesInPlay;
    iDegree[row] = degree;
    dRatio[row] = ratio;
    iChannel[row] = channel;
    iNote[row] = note;
    return ++nNotesInPlay;
}

void RemoveNoteInPlay(int row) {
    if (row < 0 || row >= nNotesInPlay) return;
    const size_t later = static_cast<size_t>(nNotesInPlay - row - 1);
    std::memmove(&iDegree[row], &iDegree[row + 1], later * sizeof iDegree[0]);
    std::memmove(&dRatio[row], &dRatio[row + 1], later * sizeof dRatio[0]);
    std::memmove(&iChannel[row], &iChannel[row + 1], later * sizeof iChannel[0]);
    std::memmove(&iNote[row], &iNote[row + 1], later * sizeof iNote[0]);
    --nNotesInPlay;
}

int FindNoteInPlay(int degree, int channel, int note, int *rowOut) {
    for (int row = 0; row < nNotesInPlay; ++row) {
        if (degree >= 0 && iDegree[row] != degree) continue;
        if (channel >= 0 && iChannel[row] != channel) continue;
        if (note >= 0 && iNote[row] != note) continue;
        if (rowOut) *rowOut = row;
        return 1;
    }
    return 0;
}

}  // namespace mt

extern "C" {

MICROTUNE_EXPORT int MICROTUNE_CAPI StopAllNotesPlayed(int velocity) {
    const int rows = mt::nNotesInPlay;
    for (int row = 0; row < rows; ++row)
        mt::MidiNoteOff(mt::hMidiOut, mt::iChannel[row], mt::iNote[row], velocity);
    mt::nNotesInPlay = 0;
    return rows;
}

MICROTUNE_EXPORT int MICROTUNE_CAPI StopAllNotesPlayedInChannel(int velocity, int channel) {
    // One pass that sends the note-offs in row order and closes the gaps as
    // it goes: the same result as removing the matching rows one by one,
    // without moving the tail of a full table once per row.
    int kept = 0;
    const int rows = mt::nNotesInPlay;
    for (int row = 0; row < rows; ++row) {
        if (channel < 0 || mt::iChannel[row] == channel) {
            mt::MidiNoteOff(mt::hMidiOut, mt::iChannel[row], mt::iNote[row], velocity);
            continue;
        }
        if (kept != row) {
            mt::iDegree[kept] = mt::iDegree[row];
            mt::dRatio[kept] = mt::dRatio[row];
            mt::iChannel[kept] = mt::iChannel[row];
            mt::iNote[kept] = mt::iNote[row];
        }
        ++kept;
    }
    mt::nNotesInPlay = kept;
    return kept;
}

}  // extern "C"
