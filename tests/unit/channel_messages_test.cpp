// Channel messages: packing, clamping, counting and bend suppression,
// asserted byte for byte through the fake back-end.
#include "output/channel_messages.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "fixture.h"

namespace {

using fake::ShortMessages;
using Messages = std::vector<uint32_t>;

uint32_t Pack(int status, int channel, int data1, int data2) {
    return static_cast<uint32_t>(status | channel | (data1 << 8) | (data2 << 16));
}

class ChannelMessagesTest : public MicrotuneTest {
protected:
    void SetUp() override {
        MicrotuneTest::SetUp();
        fake::SetDevices({{"Synth"}});
        ASSERT_EQ(OpenMidiOut(0), 1);
        fake::ClearEvents();
    }
};

TEST_F(ChannelMessagesTest, NoteOnAndOffClampChannelNoteAndVelocity) {
    mt::MidiNoteOn(mt::hMidiOut, 20, 200, 300);
    mt::MidiNoteOn(mt::hMidiOut, -3, -1, -5);
    mt::MidiNoteOff(mt::hMidiOut, 4, 64, 64);
    EXPECT_EQ(ShortMessages(),
              (Messages{Pack(0x90, 15, 127, 127), Pack(0x90, 0, 0, 0), Pack(0x80, 4, 64, 64)}));
    EXPECT_EQ(mt::nSounding[15], 1);
    EXPECT_EQ(mt::nSounding[0], 1);
    EXPECT_EQ(mt::nSounding[4], -1);  // no floor on the count
}

TEST_F(ChannelMessagesTest, MessagesCarryTheOpenHandle) {
    mt::MidiNoteOn(mt::hMidiOut, 2, 60, 100);
    ASSERT_EQ(fake::Events().size(), 1u);
    EXPECT_EQ(fake::Events()[0].handle, fake::HandleOfDevice(0));
}

TEST_F(ChannelMessagesTest, ShortMessageFailureIsReturnedAndStateStillChanges) {
    fake::SetShortMsgResult(11);
    EXPECT_EQ(mt::MidiNoteOn(mt::hMidiOut, 1, 60, 100), 11);
    EXPECT_EQ(mt::nSounding[1], 1);
    EXPECT_EQ(mt::SendPitchBend(mt::hMidiOut, 1, 100.0), 11);
    EXPECT_EQ(mt::dBend[1], 100.0);
}

struct BendCase {
    double stored;
    double request;
    std::vector<uint32_t> sent;
    int result;
};

TEST_F(ChannelMessagesTest, PitchBendRoundsSuppressesAndStoresTheRequest) {
    const BendCase cases[] = {
        {-10.0, 0.3, {}, 5},                              // both round to 0
        {8191.6, 8192.0, {}, 5},                          // both round to 8192
        {8192.0, 8192.5, {Pack(0xE0, 5, 1, 64)}, 0},      // halves round up: 8193
        {8192.0, 8191.5, {}, 5},                          // 8191.5 rounds to 8192
        {8192.0, 20000.0, {Pack(0xE0, 5, 127, 127)}, 0},  // clamped high
        {8192.0, -50.0, {Pack(0xE0, 5, 0, 0)}, 0},        // clamped low
        {8192.0, 1e300, {Pack(0xE0, 5, 127, 127)}, 0},    // far beyond an int
        {8192.0, -INFINITY, {Pack(0xE0, 5, 0, 0)}, 0},
        {8192.0, NAN, {Pack(0xE0, 5, 0, 0)}, 0},  // not a number counts as 0
    };
    for (const BendCase &c : cases) {
        mt::dBend[5] = c.stored;
        fake::ClearEvents();
        EXPECT_EQ(mt::SendPitchBend(mt::hMidiOut, 5, c.request), c.result) << c.request;
        EXPECT_EQ(ShortMessages(), c.sent) << c.request;
        if (std::isnan(c.request))
            EXPECT_TRUE(std::isnan(mt::dBend[5]));
        else
            EXPECT_EQ(mt::dBend[5], c.request);
    }
}

TEST_F(ChannelMessagesTest, PitchBendOutsideTheChannelsInUseIsDropped) {
    mt::dBend[16] = 1.0;
    EXPECT_EQ(mt::SendPitchBend(mt::hMidiOut, 16, 100.0), 0);
    EXPECT_EQ(mt::SendPitchBend(mt::hMidiOut, -1, 100.0), 0);
    EXPECT_TRUE(ShortMessages().empty());
    EXPECT_EQ(mt::dBend[16], 1.0);
}

TEST_F(ChannelMessagesTest, PitchBendRangeSendsFourControlChanges) {
    EXPECT_EQ(mt::SetPitchBendRange(mt::hMidiOut, 3, 2, 0), 0);
    EXPECT_EQ(ShortMessages(), (Messages{0x000065B3, 0x000064B3, 0x000206B3, 0x000026B3}));
}

TEST_F(ChannelMessagesTest, VoiceGoesToEveryChannelButPercussion) {
    SetMidiVoice(40);
    Messages expected;
    for (int channel = 0; channel < 16; ++channel)
        if (channel != 9) expected.push_back(0x000028C0u + channel);
    EXPECT_EQ(ShortMessages(), expected);
    EXPECT_EQ(mt::iCurrentVoice, 40);

    fake::ClearEvents();
    SetMidiVoice(300);  // remembered whole, sent as its low byte
    EXPECT_EQ(ShortMessages().front(), Pack(0xC0, 0, 44, 0));
    EXPECT_EQ(mt::iCurrentVoice, 300);
}

TEST_F(ChannelMessagesTest, ResetCentresEveryChannelButPercussion) {
    mt::nSounding[3] = 4;
    mt::dwReleaseTime[3] = 77;
    mt::dBend[20] = 5.0;
    mt::ResetChannelBends();
    Messages expected;
    for (int channel = 0; channel < 16; ++channel)
        if (channel != 9) expected.push_back(Pack(0xE0, channel, 0, 64));
    EXPECT_EQ(ShortMessages(), expected);
    for (int channel = 0; channel < 16; ++channel) {
        EXPECT_EQ(mt::dBend[channel], channel == 9 ? -10.0 : 8192.0);
        EXPECT_EQ(mt::nSounding[channel], 0);
    }
    EXPECT_EQ(mt::dwReleaseTime[3], 77u);
    EXPECT_EQ(mt::dBend[20], 5.0);  // channels not in use are left alone
}

TEST_F(MicrotuneTest, WithoutAnOutputNothingLeavesButCountsMove) {
    EXPECT_EQ(mt::MidiNoteOn(mt::hMidiOut, 2, 60, 100), 0);
    EXPECT_EQ(mt::nSounding[2], 1);
    SetMidiVoice(7);
    EXPECT_EQ(mt::iCurrentVoice, 7);
    EXPECT_TRUE(fake::Events().empty());
}

TEST_F(MicrotuneTest, ChannelCountFollowsTheCompanionFlag) {
    EXPECT_EQ(nChannelsAvailable(), 16);
    mt::bQTActive = 1;
    EXPECT_EQ(nChannelsAvailable(), 32);
    // Active without a send entry: the platform route, clamped to 32 channels.
    fake::SetDevices({{"Synth"}});
    mt::hMidiOut = const_cast<void *>(fake::HandleOfDevice(0));
    mt::MidiNoteOn(mt::hMidiOut, 40, 60, 100);
    EXPECT_EQ(mt::nSounding[31], 1);
    EXPECT_EQ(ShortMessages(), (Messages{Pack(0x90, 15, 60, 100)}));  // channel bits masked
}

}  // namespace
