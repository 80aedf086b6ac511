// The listing of notes in play and the pitch-bend range check.
#include <string>

#include "notes/notes_in_play.h"
#include "notes_test_helpers.h"

using namespace notes_test;

namespace {

class DiagnosticsTest : public MicrotuneTest {};

const std::string HEADER =
    "These are the notes in play for each channel:\n\nEach note shows:\n"
    "Interval from 1/1 in cents (Scale degree) Midi note]\n";

std::string Listing(int *result = nullptr) {
    testing::internal::CaptureStdout();
    const int printed = PrintNotesInPlay();
    if (result) *result = printed;
    return testing::internal::GetCapturedStdout();
}

TEST_F(DiagnosticsTest, EmptyTableListsTheHeaderOnly) {
    int result = 0;
    EXPECT_EQ(Listing(&result), HEADER + "\n");
    EXPECT_EQ(result, 1);
}

TEST_F(DiagnosticsTest, ListsByChannelThenByAge) {
    OpenOutput();
    PlayScaleDegree(0, 100);
    PlayScaleDegree(4, 100);
    PlayNonMelodicPercussion(38, 100);
    int result = 0;
    EXPECT_EQ(Listing(&result),
              HEADER +
                  "\nChann:, 0: pitch bend 0 cents, playing: 0 (0) [60], 400 (4) [64]"
                  "\nChann:, 9: pitch bend -200.244 cents, playing: 0 (38) [38]\n");
    EXPECT_EQ(result, 1);
}

TEST_F(DiagnosticsTest, BendsAndIntervalsInCents) {
    mt::dBend[3] = 9420.0;
    mt::dBend[2] = 8192.0;
    mt::AddNoteInPlay(2, 1.25, 3, 64);
    mt::AddNoteInPlay(11, 2.0, 2, 72);
    mt::AddNoteInPlay(-5, 0.0, 3, 0);
    mt::AddNoteInPlay(-6, -1.0, 3, 0);
    mt::AddNoteInPlay(7, 1.5, 20, 67);  // left from a time with 32 channels
    const std::string lines =
        "\nChann:, 2: pitch bend 0 cents, playing: 1200 (11) [72]"
        "\nChann:, 3: pitch bend 29.9805 cents, playing: 386.314 (2) [64], -199316 (-5) [0], "
        "-199316 (-6) [0]";
    EXPECT_EQ(Listing(), HEADER + lines + "\n");
    mt::bQTActive = 1;
    EXPECT_EQ(Listing(),
              HEADER + lines + "\nChann:, 20: pitch bend -200 cents, playing: 701.955 (7) [67]\n");
    EXPECT_EQ(mt::nNotesInPlay, 5);
}

TEST_F(DiagnosticsTest, PitchBendRangeCheckPlaysTwoNotesThatMeetAtMiddleC) {
    OpenOutput();
    const int32_t sounding0 = mt::nSounding[0];
    EXPECT_EQ(TestPitchBendRange(), 0);

    std::vector<std::pair<fake::EventKind, uint32_t>> got;
    for (const fake::Event &e : fake::Events()) got.emplace_back(e.kind, e.value);
    const fake::EventKind MSG = fake::EventKind::ShortMsg, SLEEP = fake::EventKind::Sleep;
    const std::vector<std::pair<fake::EventKind, uint32_t>> expected = {
        {MSG, Bend(0, 0)},
        {SLEEP, 500},
        {MSG, NoteOn(0, 62, 127)},
        {SLEEP, 1000},
        {MSG, NoteOff(0, 62, 127)},
        {MSG, Bend(1, 16383)},
        {SLEEP, 500},
        {MSG, NoteOn(1, 58, 127)},
        {SLEEP, 1000},
        {MSG, NoteOff(1, 58, 127)},
    };
    EXPECT_EQ(got, expected);
    EXPECT_EQ(mt::dBend[0], 0.0);
    EXPECT_EQ(mt::dBend[1], 16383.0);
    EXPECT_EQ(mt::nSounding[0], sounding0);
    EXPECT_EQ(mt::nNotesInPlay, 0);
}

TEST_F(DiagnosticsTest, PitchBendRangeCheckSkipsABendThatRoundsToTheSame) {
    OpenOutput();
    mt::dBend[0] = mt::BEND_UNASSIGNED;
    fake::SetShortMsgResult(11);
    EXPECT_EQ(TestPitchBendRange(), 11);
    const Messages messages = fake::ShortMessages();
    ASSERT_EQ(messages.size(), 5u);
    EXPECT_EQ(messages[0], NoteOn(0, 62, 127));
    EXPECT_EQ(mt::dBend[0], 0.0);
}

}  // namespace
