// Installing a scale: the default scale on every call, the bends forgotten
// and the channels pre-bent for degrees 0, 1, -1, ... 49, -49.
#include <cstring>

#include "notes_test_helpers.h"

using namespace notes_test;

namespace {

class InstallScaleTest : public MicrotuneTest {};

char JUST[] = "9/8 5/4 4/3 3/2 5/3 15/8 2/1";

TEST_F(InstallScaleTest, NullOrEmptyTextInstallsTwelveToneAndTouchesNoChannel) {
    char empty[] = "";
    for (char *text : {static_cast<char *>(nullptr), empty}) {
        mt::ResetStateForTests();
        OpenOutput();
        std::strcpy(mt::szMostRecentScale, "7/4 2");
        SetMidiScale(JUST);
        mt::d1o1Hz = 0.0;
        fake::ClearEvents();
        double bends[16];
        std::memcpy(bends, mt::dBend, sizeof bends);

        SetMidiScale(text);
        EXPECT_EQ(mt::d1o1Hz, 261.6255653005986);
        EXPECT_EQ(GetnScaleNotes(), 2);
        EXPECT_EQ(mt::bScaleInstalled, 1);
        EXPECT_STREQ(GetszMostRecentScale(), JUST);
        EXPECT_EQ(std::memcmp(bends, mt::dBend, sizeof bends), 0);
        EXPECT_TRUE(fake::Events().empty());
        PlayScaleDegree(12, 100);
        EXPECT_EQ(mt::iNote[0], 72);
    }
}

TEST_F(InstallScaleTest, WhiteSpaceTextGivesOneEntryAndOneBend) {
    OpenOutput();
    char blank[] = " \t\n";
    SetMidiScale(blank);
    EXPECT_EQ(GetnScaleNotes(), 1);
    EXPECT_STREQ(GetszMostRecentScale(), blank);
    // All 99 pre-bends ask for the 1/1: channel 0, whose forgotten bend
    // counts as 0 and so is sent once.
    EXPECT_EQ(fake::ShortMessages(), (Messages{Bend(0, 8192)}));
    EXPECT_EQ(mt::dBend[0], 8192.0);
    for (int ch = 1; ch < 16; ++ch) EXPECT_EQ(mt::dBend[ch], mt::BEND_UNASSIGNED) << ch;
}

TEST_F(InstallScaleTest, JustScalePreBendsNearestDegreesFirst) {
    OpenOutput();
    SetMidiScale(JUST);
    EXPECT_EQ(GetnScaleNotes(), 8);
    // Degree order 0, 1, -1, 2, -2, 3, -3, then repeats of those bends, until
    // degrees beyond MIDI's note range need saturated bends. Degree -37 takes
    // channel 8 with bend 0, which the forgotten bend already rounds to.
    EXPECT_EQ(
        fake::ShortMessages(),
        (Messages{Bend(0, 8192), Bend(1, 8352), Bend(2, 7712), Bend(3, 7632), Bend(4, 7552),
                  Bend(5, 8112), Bend(6, 8272), Bend(7, 3616), Bend(10, 15743), Bend(11, 16383)}));
    const double expected[16] = {8192, 8352, 7712,  7632,  7552, 8112, 8272, 3616,
                                 0,    -10,  15743, 16383, -10,  -10,  -10,  -10};
    for (int ch = 0; ch < 16; ++ch) EXPECT_EQ(mt::dBend[ch], expected[ch]) << ch;

    // The degrees of the first octave find their channels with no bend message.
    fake::ClearEvents();
    for (int degree = 0; degree <= 7; ++degree) PlayScaleDegree(degree, 100);
    EXPECT_EQ(
        fake::ShortMessages(),
        (Messages{NoteOn(0, 60, 100), NoteOn(1, 62, 100), NoteOn(3, 64, 100), NoteOn(5, 65, 100),
                  NoteOn(6, 67, 100), NoteOn(4, 69, 100), NoteOn(2, 71, 100), NoteOn(0, 72, 100)}));
}

TEST_F(InstallScaleTest, ForgetsTheBendsOfEveryChannelInUseOnly) {
    char blank[] = " ";
    for (int companion : {0, 1}) {
        mt::ResetStateForTests();
        for (double &bend : mt::dBend) bend = 123.0;
        mt::bQTActive = companion;
        SetMidiScale(blank);
        const int inUse = companion ? 32 : 16;
        for (int ch = 1; ch < 32; ++ch)
            EXPECT_EQ(mt::dBend[ch], ch < inUse ? mt::BEND_UNASSIGNED : 123.0) << ch;
    }
}

TEST_F(InstallScaleTest, TheOneOneSetBeforeStaysInForce) {
    OpenOutput();
    Set1o1(440.0);
    SetMidiScale(JUST);
    EXPECT_EQ(mt::d1o1Hz, 440.0);
    fake::ClearEvents();
    PlayScaleDegree(0, 100);
    EXPECT_EQ(fake::ShortMessages(), (Messages{NoteOn(0, 69, 100)}));
}

TEST_F(InstallScaleTest, ChangingScaleWhileNotesSoundKeepsTheirRows) {
    OpenOutput();
    PlayScaleDegree(0, 100);
    PlayScaleDegree(1, 100);
    SetMidiScale(JUST);
    EXPECT_EQ(mt::nNotesInPlay, 2);
    EXPECT_EQ(mt::nSounding[0], 2);
    EXPECT_EQ(mt::iNote[1], 61);
    EXPECT_DOUBLE_EQ(mt::dRatio[1], 1.0594630943592953);
    // Note 60 sounds on channel 0, so the 1/1 (note 60) is pre-bent on
    // channel 1 and channel 0 goes to the next degree (note 62), bending the
    // notes that still sound there.
    EXPECT_EQ(mt::dBend[1], 8192.0);
    EXPECT_EQ(mt::dBend[0], 8352.0);
}

}  // namespace
