// Parts: instruments that sound together on channels of their own.
#ifndef MICROTUNE_PARTS_H
#define MICROTUNE_PARTS_H

namespace mt {

// The program change of SetMidiVoice: every channel in use but 9.
void SendVoiceToAllChannels(int voice);
// SetMidiVoice: every part plays the voice.
void VoiceForEveryPart(int voice);
// Opening the output sent part 0's program to every channel; the part's
// controllers are restated at each channel's next note of a part.
void ChannelsOpenedForPartZero();
// The part's program and controllers on the channel, unless it has them.
void SetChannelForPart(int channel, int part);

}  // namespace mt

#endif
