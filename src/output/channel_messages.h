// Channel messages and channel state: the lowest layer of MIDI output.
#ifndef MICROTUNE_CHANNEL_MESSAGES_H
#define MICROTUNE_CHANNEL_MESSAGES_H

#include "platform/platform.h"

namespace mt {

enum : int {
    STATUS_NOTE_OFF = 0x80,
    STATUS_NOTE_ON = 0x90,
    STATUS_CONTROL_CHANGE = 0xB0,
    STATUS_PROGRAM_CHANGE = 0xC0,
    STATUS_PITCH_BEND = 0xE0,
};

// 16 channels on Windows MIDI, 32 while the companion backend is active.
int ChannelsInUse();

int SendChannelMessage(MidiOutHandle handle, int status, int channel, int data1, int data2,
                       int dataBytes);
int MidiNoteOn(MidiOutHandle handle, int channel, int note, int velocity);
int MidiNoteOff(MidiOutHandle handle, int channel, int note, int velocity);
int SendPitchBend(MidiOutHandle handle, int channel, double bend);
int SetPitchBendRange(MidiOutHandle handle, int channel, int semitones, int cents);
void SetPitchBendRangeAllChannels();
void ResetChannelBends();

}  // namespace mt

#endif
