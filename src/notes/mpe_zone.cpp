// The MPE zone: every note on a member channel of its own, bent on the
// members' wide range, so that a synthesizer of today bends each note
// alone. The manager channel carries what is zone-wide: the voice and the
// part's controllers.
#include "notes/mpe_zone.h"

#include <cmath>

#include "microtune.h"
#include "microtune_ext.h"
#include "notes/notes_in_play.h"
#include "notes/parts.h"
#include "output/channel_messages.h"
#include "state/library_lock.h"

namespace mt {

namespace {

constexpr int RPN_PITCH_BEND_SENSITIVITY = 0;
constexpr int RPN_MPE_CONFIGURATION = 6;
constexpr int CLASSIC_BEND_SEMITONES = 2;
constexpr int PORT_CHANNELS = 16;

void Control(int channel, int controller, int value) {
    SendChannelMessage(hMidiOut, STATUS_CONTROL_CHANGE, channel, controller, value, 2);
}

// A registered parameter, then the null parameter so that a later data
// entry changes nothing.
void SendRpn(int channel, int parameter, int value) {
    Control(channel, 101, 0);
    Control(channel, 100, parameter);
    Control(channel, 6, value);
    if (parameter == RPN_PITCH_BEND_SENSITIVITY) Control(channel, 38, 0);  // no cents
    Control(channel, 101, 127);
    Control(channel, 100, 127);
}

}  // namespace

int MpeBend(double offset) {
    const double bend = std::floor(BEND_CENTRE + offset * BEND_CENTRE / iMpeBendSemitones + 0.5);
    // A note clamped to 0 or 127 leaves more than the range can carry.
    if (!(bend > 0.0)) return 0;
    return bend > 16383.0 ? 16383 : static_cast<int>(bend);
}

int ChooseMpeMember(int note, int bend) {
    int chosen = -1;
    for (int ch = 1; ch <= iMpeMembers; ++ch)
        if (nSounding[ch] == 0 && (chosen < 0 || iMpeReleaseOrder[ch] < iMpeReleaseOrder[chosen]))
            chosen = ch;
    if (chosen >= 0) return chosen;
    // Every member sounds: a note may join one already at its bend, unless
    // its key sounds there (a second note-on would cut the first short).
    for (int ch = 1; ch <= iMpeMembers; ++ch)
        if (dBend[ch] == bend && !FindNoteInPlay(-1, ch, note, nullptr)) return ch;
    chosen = 1;
    for (int ch = 2; ch <= iMpeMembers; ++ch)
        if (iMpeReleaseOrder[ch] < iMpeReleaseOrder[chosen]) chosen = ch;
    StopAllNotesPlayedInChannel(127, chosen);
    return chosen;
}

void SendMpeBend(int channel, int bend) {
    SendChannelMessage(hMidiOut, STATUS_PITCH_BEND, channel, bend & 0x7F, bend >> 7, 2);
    dBend[channel] = bend;
}

void ConfigureMpeZone() {
    nMpeReleases = 0;
    for (uint32_t &order : iMpeReleaseOrder) order = 0;
    SendRpn(MPE_MANAGER_CHANNEL, RPN_MPE_CONFIGURATION, iMpeMembers);
    for (int ch = 1; ch <= iMpeMembers; ++ch)
        SendRpn(ch, RPN_PITCH_BEND_SENSITIVITY, iMpeBendSemitones);
    SendRpn(MPE_MANAGER_CHANNEL, RPN_PITCH_BEND_SENSITIVITY, CLASSIC_BEND_SEMITONES);
    SendChannelMessage(hMidiOut, STATUS_PROGRAM_CHANGE, MPE_MANAGER_CHANNEL, iCurrentVoice, 0, 1);
    SendPartControllers(MPE_MANAGER_CHANNEL, 0);
}

void CentreMpeMemberBends() {
    for (int ch = 1; ch <= iMpeMembers; ++ch) SendMpeBend(ch, static_cast<int>(BEND_CENTRE));
}

void EndMpeNotes(int velocity) {
    for (int ch = 1; ch <= iMpeMembers; ++ch) StopAllNotesPlayedInChannel(velocity, ch);
    CentreMpeMemberBends();
}

}  // namespace mt

extern "C" {

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneSetMpeZone(int memberChannels, int bendSemitones) {
    mt::ExportLock lock;
    if (!lock) return -1;
    using namespace mt;
    if (memberChannels < 0 || memberChannels > MPE_MAX_MEMBERS) return 0;
    if (memberChannels == 0)
        bendSemitones = 0;
    else if (bendSemitones < 1 || bendSemitones > MPE_MAX_BEND_SEMITONES)
        return 0;
    if (memberChannels == iMpeMembers && bendSemitones == iMpeBendSemitones) return 1;

    // The notes sounding end (and the old members' bends centre): their
    // channels' ranges and roles are about to change.
    StopAllNotesPlayed(127);
    const int before = iMpeMembers;
    iMpeMembers = memberChannels;
    iMpeBendSemitones = bendSemitones;
    if (!bMidiOutOpen) return 1;  // the next open configures the synthesizer
    if (memberChannels > 0) {
        ConfigureMpeZone();
        for (int ch = memberChannels + 1; ch <= before; ++ch)
            SendRpn(ch, RPN_PITCH_BEND_SENSITIVITY, CLASSIC_BEND_SEMITONES);
        return 1;
    }
    // Back to classic: the synthesizer leaves MPE, every channel bends by 2
    // semitones and plays the voice again, as after an open.
    SendRpn(MPE_MANAGER_CHANNEL, RPN_MPE_CONFIGURATION, 0);
    for (int ch = 0; ch < PORT_CHANNELS; ++ch)
        SendRpn(ch, RPN_PITCH_BEND_SENSITIVITY, CLASSIC_BEND_SEMITONES);
    SendVoiceToAllChannels(iCurrentVoice);
    ChannelsOpenedForPartZero();
    return 1;
}

}  // extern "C"
