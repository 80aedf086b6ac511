// Frequency notes: any pitch, not only a degree of the scale, placed by the
// channel rule with parts and kept in the notes in play like every note.
// The handle lives in the row itself, so it follows the row when rows move
// and goes stale with it, however the note ends.
#include "notes/frequency_notes.h"

#include <climits>
#include <cmath>
#include <cstdint>

#include "microtune_ext.h"
#include "notes/choose_channel.h"
#include "notes/notes_in_play.h"
#include "notes/parts.h"
#include "output/channel_messages.h"
#include "state/library_lock.h"
#include "state/state.h"
#include "tuning/scale_table.h"

namespace mt {

namespace {

constexpr int FLAG_OWN_CHANNEL = 1;
constexpr int64_t BEND_MAX = 16383;

// The row of a sounding frequency note, or -1 for a handle gone stale.
int RowOfHandle(int handle) {
    if (handle <= 0) return -1;
    for (int row = NextRowOfDegree(handle, 0); row >= 0; row = NextRowOfDegree(handle, row + 1))
        if (iPart[row] & FREQUENCY_ROW) return row;
    return -1;
}

// Handles count up, so a stale one does not soon name a new note; after
// two thousand million they start again, past those still sounding.
int NewHandle() {
    for (;;) {
        const int handle = nNextNoteHandle;
        nNextNoteHandle = handle == INT_MAX ? 1 : handle + 1;
        if (RowOfHandle(handle) < 0) return handle;
    }
}

// The row keeps the ratio to the 1/1, as a degree's row does, for the
// listing of the notes in play.
double RatioToOneOne(double hz) { return hz / (IsUnset1o1(d1o1Hz) ? DEFAULT_1O1_HZ : d1o1Hz); }

bool SharesChannel(int row) {
    for (int other = 0; other < nNotesInPlay; ++other)
        if (other != row && iChannel[other] == iChannel[row]) return true;
    return false;
}

int PlayFrequency(int part, double hz, int velocity, int flags) {
    // A zone plays degrees only: its notes take the zone's bend, not these.
    if (part < 0 || part >= MAX_PARTS || !(hz > 0.0) || !std::isfinite(hz) ||
        (flags & ~FLAG_OWN_CHANNEL) || iMpeMembers)
        return 0;
    // A full table sends nothing: a note that could not be stopped must not start.
    if (nNotesInPlay >= MAX_NOTES_IN_PLAY) return 0;
    bPartsInUse = 1;
    int note, bend;
    NoteAndBend(hz, &note, &bend);
    const bool alone = (flags & FLAG_OWN_CHANNEL) != 0;
    const int channel = StartPartNote(part, note, bend, velocity, alone);
    const int handle = NewHandle();
    AddNoteInPlay(handle, RatioToOneOne(hz), channel, note, part | FREQUENCY_ROW);
    iChannelAloneHandle[channel] = alone ? handle : 0;
    return handle;
}

int StopNote(int handle, int velocity) {
    const int row = RowOfHandle(handle);
    if (row < 0) return 0;
    const int channel = iChannel[row];
    MidiNoteOff(hMidiOut, channel, iNote[row], velocity);
    RemoveNoteInPlay(row);
    if (iChannelAloneHandle[channel] == handle) iChannelAloneHandle[channel] = 0;
    // The fresh stamp makes this channel the last choice among silent ones.
    dwReleaseTime[channel] = LibraryMilliseconds();
    return 1;
}

int GlideNote(int handle, double hz) {
    const int row = RowOfHandle(handle);
    // Bending a channel that carries another note would move that note too.
    if (row < 0 || !(hz > 0.0) || !std::isfinite(hz) || SharesChannel(row)) return 0;
    const int64_t bend = BendFromNote(hz, iNote[row]);
    if (bend < 0 || bend > BEND_MAX) return 0;
    SendPitchBend(hMidiOut, iChannel[row], static_cast<double>(bend));
    dRatio[row] = RatioToOneOne(hz);
    return 1;
}

}  // namespace

bool ChannelHeldAlone(int channel) {
    const int handle = iChannelAloneHandle[channel];
    if (handle == 0) return false;
    const int row = RowOfHandle(handle);
    return row >= 0 && iChannel[row] == channel;
}

}  // namespace mt

extern "C" {

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotunePlayPartFrequency(int part, double hz, int velocity,
                                                               int flags) {
    mt::ExportLock lock;
    if (!lock) return -1;
    return mt::PlayFrequency(part, hz, velocity, flags);
}

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneStopNote(int handle, int velocity) {
    mt::ExportLock lock;
    if (!lock) return -1;
    return mt::StopNote(handle, velocity);
}

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneGlideNote(int handle, double hz) {
    mt::ExportLock lock;
    if (!lock) return -1;
    return mt::GlideNote(handle, hz);
}

}  // extern "C"
