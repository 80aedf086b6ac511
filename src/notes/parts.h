// Parts: instruments that sound together on channels of their own.
#ifndef MICROTUNE_PARTS_H
#define MICROTUNE_PARTS_H

namespace mt {

// The program change of SetMidiVoice: every channel in use but 9; in an
// MPE zone, the manager channel.
void SendVoiceToAllChannels(int voice);
// SetMidiVoice: every part plays the voice.
void VoiceForEveryPart(int voice);
// Opening the output sent part 0's program to every channel; the part's
// controllers are restated at each channel's next note of a part.
void ChannelsOpenedForPartZero();
// The part's program and controllers on the channel, unless it has them.
void SetChannelForPart(int channel, int part);

// The controllers the part has been given, sent to the channel.
void SendPartControllers(int channel, int part);

// Starts a note of the part by the channel rule with parts (alone: on a
// channel of its own) and returns its channel; the caller records the row.
int StartPartNote(int part, int note, int bend, int velocity, bool alone);

}  // namespace mt

#endif
