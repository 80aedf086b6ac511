// Frequency to MIDI note, 14-bit bend and channel.
#ifndef MICROTUNE_CHOOSE_CHANNEL_H
#define MICROTUNE_CHOOSE_CHANNEL_H

namespace mt {

enum : int {
    CHOOSE_MAY_SILENCE = 1,  // silence the least recently released channel if needed
    CHOOSE_IN_LOOP = 2,      // pre-bending: skip silent channels released last
};

void ChooseChannel(int flags, int *channelOut, int *noteOut, double *bendOut, double frequency);

}  // namespace mt

#endif
