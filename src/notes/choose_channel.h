// Frequency to MIDI note, 14-bit bend and channel.
#ifndef MICROTUNE_CHOOSE_CHANNEL_H
#define MICROTUNE_CHOOSE_CHANNEL_H

namespace mt {

enum : int {
    CHOOSE_MAY_SILENCE = 1,  // silence the least recently released channel if needed
    CHOOSE_IN_LOOP = 2,      // pre-bending: skip silent channels released last
};

// The nearest MIDI note (0..127) and the bend (0..16383) that reaches the
// frequency from it.
void NoteAndBend(double frequency, int *noteOut, int *bendOut);

// NoteAndBend, then ChooseChannelFor.
void ChooseChannel(int flags, int *channelOut, int *noteOut, double *bendOut, double frequency);

// The channel for a note of this bend, or -1.
int ChooseChannelFor(int flags, int note, int bend);

// The channel for a note of this part and bend once parts are in use; a
// channel is always found. In order: a channel sounding the part at the
// bend; a silent channel set for the part and bend; a silent channel set
// for the part; any silent channel; and, when every channel sounds, the
// one released longest ago, silenced.
int ChooseChannelForPart(int part, int bend);

// Silences the channel (but 9) released longest ago, ties to the lowest,
// and returns it.
int SilenceChannelReleasedLongestAgo();

}  // namespace mt

#endif
