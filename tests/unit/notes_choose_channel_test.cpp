// Frequency to note and bend, and the four passes of the channel choice.
#include <cmath>
#include <limits>

#include "notes/choose_channel.h"
#include "notes/notes_in_play.h"
#include "notes_test_helpers.h"
#include "output/channel_messages.h"

using namespace notes_test;

namespace {

struct Choice {
    int channel;
    int note;
    double bend;
};

Choice Choose(int flags, double frequency) {
    Choice c{-99, -99, -99.0};
    mt::ChooseChannel(flags, &c.channel, &c.note, &c.bend, frequency);
    return c;
}

class ChooseChannelTest : public MicrotuneTest {};

struct NoteBendCase {
    double hz;
    int note;
    int bend;
};

TEST_F(ChooseChannelTest, FrequencyGivesNearestNoteAndTruncatedBend) {
    const double inf = std::numeric_limits<double>::infinity();
    const NoteBendCase cases[] = {
        {440.0, 69, 8192},
        {261.6255653005986, 60, 8192},   // the default 1/1
        {447.69106452518196, 69, 9420},  // +30 cents
        {429.9503861110682, 69, 6554},   // -40 cents
        {327.0319566257483, 64, 7632},   // 5/4 above the default 1/1
        {392.43834795089793, 67, 8272},  // 3/2
        {457.84473927604756, 70, 6916},  // 7/4
        {8.0, 0, 6651},
        {1.0, 0, 0},
        {0.0, 0, 0},
        {-440.0, 0, 0},
        {20000.0, 127, 16383},
        {1e308, 127, 16383},
        {1e-320, 0, 0},
        // Non-finite frequencies never reach an integer conversion.
        {std::nan(""), 0, 0},
        {-inf, 0, 0},
        {inf, 127, 16383},
    };
    for (const NoteBendCase &c : cases) {
        const Choice got = Choose(0, c.hz);
        EXPECT_EQ(got.note, c.note) << c.hz << " Hz";
        EXPECT_EQ(got.bend, c.bend) << c.hz << " Hz";
    }
}

TEST_F(ChooseChannelTest, EqualBendsShareAChannelAfterOpening) {
    OpenOutput();
    for (int i = 0; i < 40; ++i) {
        ASSERT_EQ(Choose(mt::CHOOSE_MAY_SILENCE, 440.0).channel, 0);
        mt::nSounding[0]++;
    }
}

TEST_F(ChooseChannelTest, NewBendAfterOpeningTakesLowestSilentChannelExceptWhilePreBending) {
    OpenOutput();
    mt::nSounding[0] = 1;  // channel 0 sounds at 8192
    EXPECT_EQ(Choose(mt::CHOOSE_MAY_SILENCE, 447.69106452518196).channel, 1);
    EXPECT_EQ(Choose(0, 447.69106452518196).channel, 1);
    // Every stamp equals the latest one, so no silent channel qualifies.
    EXPECT_EQ(Choose(mt::CHOOSE_IN_LOOP, 447.69106452518196).channel, -1);
}

TEST_F(ChooseChannelTest, UnassignedChannelsAreHandedOutInOrderSkippingPercussion) {
    OpenOutput();
    for (int ch = 0; ch < 16; ++ch) mt::dBend[ch] = mt::BEND_UNASSIGNED;
    const int expected[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15};
    // 15 frequencies 5 cents apart: 15 distinct bends.
    for (int i = 0; i < 15; ++i) {
        const double hz = 440.0 * std::pow(2.0, i * 5 / 1200.0);
        const Choice c = Choose(mt::CHOOSE_IN_LOOP, hz);
        ASSERT_EQ(c.channel, expected[i]) << i;
        mt::SendPitchBend(mt::hMidiOut, c.channel, c.bend);
    }
    for (int i = 14; i >= 0; --i) {
        const double hz = 440.0 * std::pow(2.0, i * 5 / 1200.0);
        EXPECT_EQ(Choose(mt::CHOOSE_IN_LOOP, hz).channel, expected[i]) << i;
    }
}

TEST_F(ChooseChannelTest, UnassignedChannelIsPassedOverForAMidiNoteAlreadyInPlayThere) {
    OpenOutput();
    for (int ch = 0; ch < 16; ++ch) mt::dBend[ch] = mt::BEND_UNASSIGNED;
    mt::AddNoteInPlay(7, 1.0, 0, 64);
    const double note64 = 440.0 * std::pow(2.0, -5 / 12.0);
    const double note65 = 440.0 * std::pow(2.0, -4 / 12.0);
    EXPECT_EQ(Choose(0, note64).channel, 1);
    EXPECT_EQ(Choose(0, note65).channel, 0);
}

// Every channel but 9 sounds a row with its own bend; stamps as given.
void FillEveryChannel(const uint32_t stamps[16]) {
    for (int ch = 0; ch < 16; ++ch) {
        mt::dwReleaseTime[ch] = stamps[ch];
        if (ch == mt::PERCUSSION_CHANNEL) continue;
        mt::dBend[ch] = 6200.0 + 100.0 * ch;
        mt::AddNoteInPlay(ch, 1.0, ch, 40 + ch);
        mt::nSounding[ch] = 1;
    }
}

TEST_F(ChooseChannelTest, WhenEveryChannelIsBusyOnlyANoteSilencesOne) {
    OpenOutput();
    uint32_t stamps[16];
    for (uint32_t &s : stamps) s = 1000;
    stamps[5] = 700;
    stamps[9] = 1;  // percussion is never silenced
    FillEveryChannel(stamps);
    mt::AddNoteInPlay(99, 1.0, 5, 77);  // a second row on channel 5

    EXPECT_EQ(Choose(0, 440.0).channel, -1);
    EXPECT_EQ(Choose(mt::CHOOSE_IN_LOOP, 440.0).channel, -1);
    EXPECT_TRUE(fake::Events().empty());

    EXPECT_EQ(Choose(mt::CHOOSE_MAY_SILENCE, 440.0).channel, 5);
    EXPECT_EQ(fake::ShortMessages(), (Messages{NoteOff(5, 45, 127), NoteOff(5, 77, 127)}));
    EXPECT_EQ(mt::nSounding[5], -1);  // one counted note-on, two note-offs
    EXPECT_EQ(mt::nNotesInPlay, 14);
    EXPECT_EQ(mt::FindNoteInPlay(-1, 5, -1, nullptr), 0);
    EXPECT_EQ(mt::dBend[5], 6700.0);  // the caller assigns the new bend
    EXPECT_EQ(mt::dwReleaseTime[5], 700u);
}

TEST_F(ChooseChannelTest, SilencingTiesGoToTheLowestChannel) {
    OpenOutput();
    uint32_t stamps[16];
    for (uint32_t &s : stamps) s = 1000;
    FillEveryChannel(stamps);
    EXPECT_EQ(Choose(mt::CHOOSE_MAY_SILENCE, 440.0).channel, 0);
    EXPECT_EQ(fake::ShortMessages(), (Messages{NoteOff(0, 40, 127)}));
}

TEST_F(ChooseChannelTest, PreBendingSkipsSilentChannelsReleasedLast) {
    fake::SetClock(1000);
    OpenOutput();
    mt::nSounding[0] = 1;
    mt::dwReleaseTime[5] = 400;
    mt::dwReleaseTime[3] = 600;
    EXPECT_EQ(Choose(mt::CHOOSE_IN_LOOP, 447.69106452518196).channel, 5);
    mt::dwReleaseTime[5] = 1000;
    EXPECT_EQ(Choose(mt::CHOOSE_IN_LOOP, 447.69106452518196).channel, 3);
    mt::dwReleaseTime[3] = 1000;
    EXPECT_EQ(Choose(mt::CHOOSE_IN_LOOP, 447.69106452518196).channel, -1);
    // The latest stamp is taken over every channel, percussion included.
    mt::dwReleaseTime[9] = 2000;
    EXPECT_EQ(Choose(mt::CHOOSE_IN_LOOP, 447.69106452518196).channel, 1);
}

TEST_F(ChooseChannelTest, NegativeCountIsNotSilent) {
    OpenOutput();
    for (int ch = 0; ch < 16; ++ch) mt::nSounding[ch] = -1;
    mt::nSounding[12] = 0;
    EXPECT_EQ(Choose(0, 447.69106452518196).channel, 12);
}

TEST_F(ChooseChannelTest, StampsCompareAsUnsignedAcrossTheWrap) {
    OpenOutput();
    for (int ch = 0; ch < 16; ++ch) mt::dwReleaseTime[ch] = 0xFFFFFF00u;
    mt::dwReleaseTime[0] = 0x7FFFFFFFu;
    mt::dwReleaseTime[4] = 0x80000000u;
    mt::dwReleaseTime[6] = 5;  // taken after the counter wrapped: earliest
    mt::nSounding[0] = 1;
    EXPECT_EQ(Choose(0, 447.69106452518196).channel, 6);
    EXPECT_EQ(Choose(mt::CHOOSE_IN_LOOP, 447.69106452518196).channel, 6);
}

TEST_F(ChooseChannelTest, PercussionChannelIsNeverChosen) {
    OpenOutput();
    mt::dBend[9] = 9420.0;  // its bend matches
    const Choice c = Choose(mt::CHOOSE_MAY_SILENCE, 447.69106452518196);
    EXPECT_NE(c.channel, 9);
    EXPECT_EQ(c.channel, 0);

    // Channel 9 alone is silent and unassigned.
    for (int ch = 0; ch < 16; ++ch) mt::nSounding[ch] = 1;
    mt::nSounding[9] = 0;
    mt::dBend[9] = mt::BEND_UNASSIGNED;
    mt::dwReleaseTime[9] = 0;
    EXPECT_EQ(Choose(0, 447.69106452518196).channel, -1);
}

TEST_F(ChooseChannelTest, ThirtyTwoChannelsWhileTheCompanionIsActive) {
    OpenOutput();
    for (int ch = 0; ch < 16; ++ch) {
        mt::nSounding[ch] = 1;
        mt::dBend[ch] = 6200.0 + 100.0 * ch;
    }
    EXPECT_EQ(Choose(0, 440.0).channel, -1);
    mt::bQTActive = 1;
    for (int ch = 16; ch < 32; ++ch) mt::dBend[ch] = 8000.0;
    mt::dBend[31] = 8192.0;
    EXPECT_EQ(Choose(0, 440.0).channel, 31);  // pass 1 reaches channel 31
    mt::dBend[31] = 8000.0;
    mt::dwReleaseTime[20] = 5;
    EXPECT_EQ(Choose(0, 440.0).channel, 16);  // pass 3: silent channels 16..31
    EXPECT_EQ(Choose(mt::CHOOSE_IN_LOOP, 440.0).channel, 16);
    for (int ch = 0; ch < 32; ++ch) {
        mt::nSounding[ch] = 1;
        mt::dwReleaseTime[ch] = 100;
    }
    mt::dwReleaseTime[20] = 7;
    EXPECT_EQ(Choose(mt::CHOOSE_MAY_SILENCE, 440.0).channel, 20);
}

}  // namespace
