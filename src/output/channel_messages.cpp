// Channel messages and ChannelState: packing and sending, note-on/off with
// clamping and counting, repeat-suppressing pitch bends, the bend-range
// sequence, bend centring and the voice change for all channels.
#include "output/channel_messages.h"

#include <cmath>

#include "microtune.h"
#include "notes/parts.h"
#include "output/message_tap.h"
#include "state/library_lock.h"
#include "state/state.h"

namespace mt {

namespace {

int Clamp(int value, int low, int high) { return value < low ? low : value > high ? high : value; }

// floor(bend + 0.5) clamped to the 14-bit range; saturates instead of
// overflowing for values that do not fit an int (NaN counts as 0).
int RoundBend(double bend) {
    const double rounded = std::floor(bend + 0.5);
    if (!(rounded > 0.0)) return 0;
    if (rounded > 16383.0) return 16383;
    return static_cast<int>(rounded);
}

int NoteMessage(int status, MidiOutHandle handle, int channel, int note, int velocity) {
    velocity = Clamp(velocity, 0, 127);
    channel = Clamp(channel, 0, ChannelsInUse() - 1);
    note = Clamp(note, 0, 127);
    nSounding[channel] += status == STATUS_NOTE_ON ? 1 : -1;
    return SendChannelMessage(handle, status, channel, note, velocity, 2);
}

}  // namespace

int ChannelsInUse() { return bQTActive || bRecordingOutput ? 32 : 16; }

int SendChannelMessage(MidiOutHandle handle, int status, int channel, int data1, int data2,
                       int /*dataBytes: the program change carries 0 as its second byte*/) {
    if (bQTActive && QTEntryPoints.SendMidiEvent) {
        TapMessage(status, channel, data1, data2);
        QTEntryPoints.SendMidiEvent(status, channel, data1, data2);
        return 0;
    }
    if (bRecordingOutput) {
        TapMessage(status, channel, data1, data2);
        return 0;
    }
    if (!handle) return 0;
    TapMessage(status, channel, data1 & 0xFF, data2 & 0xFF);
    const uint32_t message = (static_cast<uint32_t>(channel) & 0x0F) |
                             (static_cast<uint32_t>(status) & 0xF0) |
                             ((static_cast<uint32_t>(data1) & 0xFF) << 8) |
                             ((static_cast<uint32_t>(data2) & 0xFF) << 16);
    return static_cast<int>(PlatformMidiOutShortMsg(handle, message));
}

int MidiNoteOn(MidiOutHandle handle, int channel, int note, int velocity) {
    return NoteMessage(STATUS_NOTE_ON, handle, channel, note, velocity);
}

int MidiNoteOff(MidiOutHandle handle, int channel, int note, int velocity) {
    return NoteMessage(STATUS_NOTE_OFF, handle, channel, note, velocity);
}

int SendPitchBend(MidiOutHandle handle, int channel, double bend) {
    if (channel < 0 || channel >= ChannelsInUse()) return 0;
    // A note of the channel's own bend, the usual case, rounds alike.
    if (bend == dBend[channel]) {
        dBend[channel] = bend;
        return channel;
    }
    const int oldBend = RoundBend(dBend[channel]);
    const int newBend = RoundBend(bend);
    int result = channel;
    if (newBend != oldBend)
        result =
            SendChannelMessage(handle, STATUS_PITCH_BEND, channel, newBend & 0x7F, newBend >> 7, 2);
    dBend[channel] = bend;
    return result;
}

int SetPitchBendRange(MidiOutHandle handle, int channel, int semitones, int cents) {
    // Registered parameter 0 (pitch-bend sensitivity), then its value.
    SendChannelMessage(handle, STATUS_CONTROL_CHANGE, channel, 101, 0, 2);
    SendChannelMessage(handle, STATUS_CONTROL_CHANGE, channel, 100, 0, 2);
    SendChannelMessage(handle, STATUS_CONTROL_CHANGE, channel, 6, semitones, 2);
    return SendChannelMessage(handle, STATUS_CONTROL_CHANGE, channel, 38, cents, 2);
}

void SetPitchBendRangeAllChannels() {
    const int channels = ChannelsInUse();
    for (int channel = 0; channel < channels; ++channel)
        if (channel != PERCUSSION_CHANNEL) SetPitchBendRange(hMidiOut, channel, 2, 0);
}

void ResetChannelBends() {
    const int channels = ChannelsInUse();
    for (int channel = 0; channel < channels; ++channel) {
        dBend[channel] = BEND_UNASSIGNED;
        nSounding[channel] = 0;
        if (channel != PERCUSSION_CHANNEL) SendPitchBend(hMidiOut, channel, BEND_CENTRE);
    }
}

}  // namespace mt

extern "C" {

MICROTUNE_EXPORT void MICROTUNE_API SetMidiVoice(int voice) {
    mt::ExportLock lock;
    if (!lock) return;
    mt::SendVoiceToAllChannels(voice);
    // Every channel now plays the voice, and so does every part.
    mt::VoiceForEveryPart(voice);
}

MICROTUNE_EXPORT int MICROTUNE_API nChannelsAvailable(void) {
    mt::ExportLock lock;
    if (!lock) return 0;
    return mt::ChannelsInUse();
}

}  // extern "C"
