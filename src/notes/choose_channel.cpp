// Frequency to the nearest MIDI note, the 14-bit bend that reaches the exact
// pitch on a 2-semitone bend range, and a channel that can carry that bend.
#include "notes/choose_channel.h"

#include <climits>
#include <cmath>
#include <cstdint>

#include "microtune.h"
#include "notes/notes_in_play.h"
#include "output/channel_messages.h"
#include "state/state.h"
#include "tuning/log_exp.h"

namespace mt {

namespace {

const double RECIPROCAL_440 = 0.0022727272727272726;
const double MULTIPLE_FLOOR = 1e-50;
constexpr int BEND_UNITS_PER_SEMITONE = 4096;
constexpr int BEND_MAX = 16383;
constexpr int NOTE_MAX = 127;

// Truncation toward zero that saturates instead of overflowing; NaN gives 0.
int SaturatingInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return INT_MAX;
    if (v <= -2147483648.0) return INT_MIN;
    return static_cast<int>(v);
}

}  // namespace

void NoteAndBend(double frequency, int *noteOut, int *bendOut) {
    double x = frequency * RECIPROCAL_440;
    // Zero, negative, -inf and NaN all become the lowest pitch.
    if (!(x >= MULTIPLE_FLOOR)) x = MULTIPLE_FLOOR;
    const double p = 69.0 + 12.0 * Log(x) / LN2;

    int note = SaturatingInt(std::floor(p + 0.5));
    if (note < 0) note = 0;
    if (note > NOTE_MAX) note = NOTE_MAX;

    const int64_t bend =
        8192 - static_cast<int64_t>(SaturatingInt(-BEND_UNITS_PER_SEMITONE * (p - note)));
    *noteOut = note;
    *bendOut = bend < 0 ? 0 : bend > BEND_MAX ? BEND_MAX : static_cast<int>(bend);
}

void ChooseChannel(int flags, int *channelOut, int *noteOut, double *bendOut, double frequency) {
    int note, bend;
    NoteAndBend(frequency, &note, &bend);
    *noteOut = note;
    *bendOut = bend;
    *channelOut = ChooseChannelFor(flags, note, bend);
}

int ChooseChannelFor(int flags, int note, int bend) {
    const int n = ChannelsInUse();

    // 1. A channel that already carries this bend, whatever sounds on it:
    // floor(dBend + 0.5) == bend, tested without the floor (NaN fails both).
    const double low = bend;
    const double high = low + 1.0;
    for (int ch = 0; ch < n; ++ch) {
        if (ch == PERCUSSION_CHANNEL) continue;
        const double rounded = dBend[ch] + 0.5;
        if (rounded >= low && rounded < high) return ch;
    }

    // 2. A channel with no bend assigned, unless this very MIDI note sounds
    // there already (a second note-on would cut the first one short).
    for (int ch = 0; ch < n; ++ch) {
        if (ch == PERCUSSION_CHANNEL) continue;
        if (dBend[ch] == BEND_UNASSIGNED && !FindNoteInPlay(-1, ch, note, nullptr)) return ch;
    }

    // 3. The silent channel released longest ago. While pre-bending, the
    // channels released last are kept for the notes that are coming.
    uint32_t latest = 0;
    if (flags & CHOOSE_IN_LOOP)
        for (int ch = 0; ch < n; ++ch)
            if (dwReleaseTime[ch] > latest) latest = dwReleaseTime[ch];
    int chosen = -1;
    for (int ch = 0; ch < n; ++ch) {
        if (ch == PERCUSSION_CHANNEL || nSounding[ch] != 0) continue;
        if ((flags & CHOOSE_IN_LOOP) && !(dwReleaseTime[ch] < latest)) continue;
        if (chosen < 0 || dwReleaseTime[ch] < dwReleaseTime[chosen]) chosen = ch;
    }
    if (chosen >= 0) return chosen;

    // 4. A real note always sounds: silence the channel released longest ago.
    if (flags & CHOOSE_MAY_SILENCE) chosen = SilenceChannelReleasedLongestAgo();
    return chosen;
}

int SilenceChannelReleasedLongestAgo() {
    const int n = ChannelsInUse();
    int chosen = -1;
    for (int ch = 0; ch < n; ++ch) {
        if (ch == PERCUSSION_CHANNEL) continue;
        if (chosen < 0 || dwReleaseTime[ch] < dwReleaseTime[chosen]) chosen = ch;
    }
    StopAllNotesPlayedInChannel(127, chosen);
    return chosen;
}

int ChooseChannelForPart(int part, int bend) {
    const int n = ChannelsInUse();
    const double low = bend;
    const double high = low + 1.0;
    // Silent channels are ranked: 3 set for this part and bend, 2 set for
    // this part, 1 any; within a rank the one released longest ago (ties
    // to the lowest channel), so that a release tail is the last re-bent.
    int chosen = -1;
    int chosenRank = 0;
    for (int ch = 0; ch < n; ++ch) {
        if (ch == PERCUSSION_CHANNEL) continue;
        const double rounded = dBend[ch] + 0.5;
        const bool ownPart = iChannelPart[ch] == part;
        const bool ownBend = rounded >= low && rounded < high;
        // 1. A channel sounding this part at this bend: the notes share it.
        if (nSounding[ch] > 0 && ownPart && ownBend) return ch;
        if (nSounding[ch] != 0) continue;
        const int rank = ownPart ? (ownBend ? 3 : 2) : 1;
        if (rank > chosenRank ||
            (rank == chosenRank && dwReleaseTime[ch] < dwReleaseTime[chosen])) {
            chosen = ch;
            chosenRank = rank;
        }
    }
    return chosen >= 0 ? chosen : SilenceChannelReleasedLongestAgo();
}

}  // namespace mt
