// The table of notes in play and the bulk stops.
#include "notes/notes_in_play.h"

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "microtune.h"
#include "notes/mpe_zone.h"
#include "output/channel_messages.h"
#include "state/library_lock.h"
#include "state/state.h"

namespace mt {

int AddNoteInPlay(int degree, double ratio, int channel, int note, int part) {
    if (nNotesInPlay >= MAX_NOTES_IN_PLAY) return nNotesInPlay;
    const int row = nNotesInPlay;
    iDegree[row] = degree;
    dRatio[row] = ratio;
    iChannel[row] = channel;
    iNote[row] = note;
    iPart[row] = static_cast<int8_t>(part);
    return ++nNotesInPlay;
}

void RemoveNoteInPlay(int row) {
    if (row < 0 || row >= nNotesInPlay) return;
    const size_t later = static_cast<size_t>(nNotesInPlay - row - 1);
    // The newest row, the usual one to go, moves nothing.
    if (later > 0) {
        std::memmove(&iDegree[row], &iDegree[row + 1], later * sizeof iDegree[0]);
        std::memmove(&dRatio[row], &dRatio[row + 1], later * sizeof dRatio[0]);
        std::memmove(&iChannel[row], &iChannel[row + 1], later * sizeof iChannel[0]);
        std::memmove(&iNote[row], &iNote[row + 1], later * sizeof iNote[0]);
        // Every row is part 0's until parts are in use.
        if (bPartsInUse) std::memmove(&iPart[row], &iPart[row + 1], later * sizeof iPart[0]);
    }
    --nNotesInPlay;
}

int NextRowOfDegree(int degree, int row) {
    const int rows = nNotesInPlay;
    if (row < 0) row = 0;
#if defined(__SSE2__)
    // Sixteen rows at a time up to the first block that holds the degree,
    // then row by row from the start of that block.
    const __m128i wanted = _mm_set1_epi32(degree);
    for (; row + 16 <= rows; row += 16) {
        const __m128i *p = reinterpret_cast<const __m128i *>(&iDegree[row]);
        const __m128i hits =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi32(_mm_loadu_si128(p), wanted),
                                      _mm_cmpeq_epi32(_mm_loadu_si128(p + 1), wanted)),
                         _mm_or_si128(_mm_cmpeq_epi32(_mm_loadu_si128(p + 2), wanted),
                                      _mm_cmpeq_epi32(_mm_loadu_si128(p + 3), wanted)));
        if (_mm_movemask_epi8(hits)) break;
    }
#endif
    for (; row < rows; ++row)
        if (iDegree[row] == degree) return row;
    return -1;
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
    mt::ExportLock lock;
    if (!lock) return 0;
    const int rows = mt::nNotesInPlay;
    for (int row = 0; row < rows; ++row)
        mt::MidiNoteOff(mt::hMidiOut, mt::iChannel[row], mt::iNote[row], velocity);
    mt::nNotesInPlay = 0;
    // No member keeps a bend that its next note would start from.
    if (mt::iMpeMembers) mt::CentreMpeMemberBends();
    return rows;
}

MICROTUNE_EXPORT int MICROTUNE_CAPI StopAllNotesPlayedInChannel(int velocity, int channel) {
    mt::ExportLock lock;
    if (!lock) return 0;
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
            mt::iPart[kept] = mt::iPart[row];
        }
        ++kept;
    }
    mt::nNotesInPlay = kept;
    return kept;
}

}  // extern "C"
