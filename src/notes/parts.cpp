// Parts: several instruments at once. A part's program and controllers go
// to a channel when the channel passes to the part, before the bend and the
// note, so that every note starts on its own instrument, volume and pan.
#include "notes/parts.h"

#include "microtune_ext.h"
#include "notes/choose_channel.h"
#include "notes/degree_pitch.h"
#include "notes/notes_in_play.h"
#include "notes/play_stop.h"
#include "output/channel_messages.h"
#include "state/library_lock.h"
#include "state/state.h"
#include "tuning/scale_table.h"

namespace mt {

namespace {

// The controllers that follow a part, in the order they are restated, with
// the General MIDI value a channel has until a part sets one.
constexpr int PartControllerNumber[PART_CONTROLLERS] = {1, 7, 10, 11, 91, 93};
constexpr uint8_t PartControllerDefault[PART_CONTROLLERS] = {0, 100, 64, 127, 40, 0};

int PartControllerIndex(int controller) {
    for (int k = 0; k < PART_CONTROLLERS; ++k)
        if (PartControllerNumber[k] == controller) return k;
    return -1;
}

bool ValidPart(int part) { return part >= 0 && part < MAX_PARTS; }

int PartVoice(int part) { return part == 0 ? iCurrentVoice : iPartVoice[part]; }

// A channel carries the part's notes now: it hears a change at once.
bool HoldsPartNotes(int channel, int part) {
    return iChannelPart[channel] == part && nSounding[channel] > 0;
}

void SendController(int channel, int k, int value) {
    SendChannelMessage(hMidiOut, STATUS_CONTROL_CHANGE, channel, PartControllerNumber[k], value, 2);
}

// A change of the part reaches the channels holding its notes; the silent
// channels set for it learn it when they next play for it.
template <typename Send>
void ChangePart(int part, Send send) {
    const int channels = ChannelsInUse();
    for (int ch = 0; ch < channels; ++ch) {
        if (ch == PERCUSSION_CHANNEL || iChannelPart[ch] != part) continue;
        if (HoldsPartNotes(ch, part))
            send(ch);
        else
            bChannelPartStale[ch] = 1;
    }
}

}  // namespace

// The channel's program and followed controllers become the part's: its
// program, the controllers it was given, and the General MIDI value of
// those another part left on the channel.
void SetChannelForPart(int channel, int part) {
    if (iChannelPart[channel] == part && !bChannelPartStale[channel]) return;
    SendChannelMessage(hMidiOut, STATUS_PROGRAM_CHANGE, channel, PartVoice(part), 0, 1);
    const uint8_t given = bmPartControllers[part];
    for (int k = 0; k < PART_CONTROLLERS; ++k) {
        const uint8_t bit = static_cast<uint8_t>(1u << k);
        if (given & bit)
            SendController(channel, k, iPartControllerValue[part][k]);
        else if (bmChannelControllers[channel] & bit)
            SendController(channel, k, PartControllerDefault[k]);
    }
    bmChannelControllers[channel] = given;
    iChannelPart[channel] = part;
    bChannelPartStale[channel] = 0;
}

void SendVoiceToAllChannels(int voice) {
    const int channels = ChannelsInUse();
    for (int channel = 0; channel < channels; ++channel)
        if (channel != PERCUSSION_CHANNEL)
            SendChannelMessage(hMidiOut, STATUS_PROGRAM_CHANGE, channel, voice, 0, 1);
}

void VoiceForEveryPart(int voice) {
    iCurrentVoice = voice;
    for (int part = 1; part < MAX_PARTS; ++part) iPartVoice[part] = voice;
}

void ChannelsOpenedForPartZero() {
    // The open sent part 0's program; its controllers, and the values the
    // synthesizer may keep from parts before, are put right at the next note.
    for (int ch = 0; ch < MAX_CHANNELS; ++ch) {
        iChannelPart[ch] = 0;
        bChannelPartStale[ch] = (bmPartControllers[0] | bmChannelControllers[ch]) != 0;
    }
}

}  // namespace mt

extern "C" {

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneSetPartVoice(int part, int voice) {
    mt::ExportLock lock;
    if (!lock) return -1;
    if (!mt::ValidPart(part) || voice < 0 || voice > 127) return 0;
    mt::bPartsInUse = 1;
    if (part == 0)
        mt::iCurrentVoice = voice;
    else
        mt::iPartVoice[part] = voice;
    mt::ChangePart(part, [voice](int channel) {
        mt::SendChannelMessage(mt::hMidiOut, mt::STATUS_PROGRAM_CHANGE, channel, voice, 0, 1);
    });
    return 1;
}

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneSetPartController(int part, int controller,
                                                               int value) {
    mt::ExportLock lock;
    if (!lock) return -1;
    const int k = mt::PartControllerIndex(controller);
    if (!mt::ValidPart(part) || k < 0 || value < 0 || value > 127) return 0;
    mt::bPartsInUse = 1;
    const uint8_t bit = static_cast<uint8_t>(1u << k);
    mt::bmPartControllers[part] |= bit;
    mt::iPartControllerValue[part][k] = static_cast<uint8_t>(value);
    mt::ChangePart(part, [k, value, bit](int channel) {
        mt::SendController(channel, k, value);
        mt::bmChannelControllers[channel] |= bit;
    });
    return 1;
}

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotunePlayPartDegree(int part, int degree, int velocity) {
    mt::ExportLock lock;
    if (!lock) return -1;
    if (!mt::ValidPart(part)) return 0;
    mt::bPartsInUse = 1;
    return mt::PlayDegreeOfPart(part, degree, velocity);
}

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneStopPartDegree(int part, int degree, int velocity) {
    mt::ExportLock lock;
    if (!lock) return -1;
    if (!mt::ValidPart(part)) return 0;
    mt::bPartsInUse = 1;
    return mt::StopDegreeOfPart(part, degree, velocity);
}

}  // extern "C"
