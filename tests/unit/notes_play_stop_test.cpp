// The notes-in-play table, bulk stops, and starting, bending and stopping
// scale degrees and percussion.
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "notes/choose_channel.h"
#include "notes/degree_pitch.h"
#include "notes/notes_in_play.h"
#include "notes_test_helpers.h"
#include "tuning/scale_table.h"

using namespace notes_test;

namespace {

class NotesInPlayTest : public MicrotuneTest {};
class PlayStopTest : public MicrotuneTest {};

void FillTable(int rows) {
    for (int i = 0; i < rows; ++i) mt::AddNoteInPlay(1000 + i, 1.0, i % 8, 60);
}

TEST_F(NotesInPlayTest, AddStopsAtTheLimit) {
    FillTable(2047);
    EXPECT_EQ(mt::AddNoteInPlay(5, 1.5, 3, 61), 2048);
    EXPECT_EQ(mt::iDegree[2047], 5);
    EXPECT_EQ(mt::dRatio[2047], 1.5);
    EXPECT_EQ(mt::iChannel[2047], 3);
    EXPECT_EQ(mt::iNote[2047], 61);
    EXPECT_EQ(mt::AddNoteInPlay(6, 1.5, 3, 62), 2048);
    EXPECT_EQ(mt::iDegree[2047], 5);
}

TEST_F(NotesInPlayTest, FindTreatsNegativeKeysAsAnyAndReportsTheOldestRow) {
    int row = -7;
    EXPECT_EQ(mt::FindNoteInPlay(-1, -1, -1, &row), 0);
    EXPECT_EQ(row, -7);

    mt::AddNoteInPlay(4, 1.0, 2, 64);
    mt::AddNoteInPlay(-3, 1.0, 3, 60);
    mt::AddNoteInPlay(9, 1.0, 3, 60);
    EXPECT_EQ(mt::FindNoteInPlay(-1, -1, -1, &row), 1);
    EXPECT_EQ(row, 0);
    EXPECT_EQ(mt::FindNoteInPlay(-1, 3, 60, &row), 1);
    EXPECT_EQ(row, 1);
    EXPECT_EQ(mt::FindNoteInPlay(9, 3, 60, &row), 1);
    EXPECT_EQ(row, 2);
    EXPECT_EQ(mt::FindNoteInPlay(-1, 3, 60, nullptr), 1);
    EXPECT_EQ(mt::FindNoteInPlay(4, 3, -1, &row), 0);
    EXPECT_EQ(mt::FindNoteInPlay(-1, 2, 60, &row), 0);
    EXPECT_EQ(row, 2);
}

TEST_F(NotesInPlayTest, StopAllInChannelStopsEveryRowOfTheChannelInRowOrder) {
    OpenOutput();
    mt::AddNoteInPlay(0, 1.0, 0, 60);
    mt::AddNoteInPlay(1, 1.0, 1, 62);
    mt::AddNoteInPlay(2, 1.0, 0, 64);
    EXPECT_EQ(StopAllNotesPlayedInChannel(64, 0), 1);
    EXPECT_EQ(fake::ShortMessages(), (Messages{NoteOff(0, 60, 64), NoteOff(0, 64, 64)}));
    EXPECT_EQ(mt::iDegree[0], 1);

    fake::ClearEvents();
    mt::AddNoteInPlay(3, 1.0, 0, 66);
    mt::AddNoteInPlay(4, 1.0, 9, 38);
    EXPECT_EQ(StopAllNotesPlayedInChannel(64, -1), 0);
    EXPECT_EQ(fake::ShortMessages(),
              (Messages{NoteOff(1, 62, 64), NoteOff(0, 66, 64), NoteOff(9, 38, 64)}));
}

TEST_F(NotesInPlayTest, StopAllStopsEveryRowAndReportsHowManyThereWere) {
    OpenOutput();
    mt::AddNoteInPlay(0, 1.0, 0, 60);
    mt::AddNoteInPlay(38, 1.0, 9, 38);
    mt::AddNoteInPlay(2, 1.0, 4, 200);
    const int32_t before[3] = {mt::nSounding[0], mt::nSounding[9], mt::nSounding[4]};
    EXPECT_EQ(StopAllNotesPlayed(0), 3);
    EXPECT_EQ(mt::nNotesInPlay, 0);
    EXPECT_EQ(fake::ShortMessages(),
              (Messages{NoteOff(0, 60, 0), NoteOff(9, 38, 0), NoteOff(4, 127, 0)}));
    EXPECT_EQ(mt::nSounding[0], before[0] - 1);
    EXPECT_EQ(mt::nSounding[9], before[1] - 1);
    EXPECT_EQ(mt::nSounding[4], before[2] - 1);
    EXPECT_EQ(StopAllNotesPlayed(0), 0);
}

TEST_F(PlayStopTest, FirstNotesWithoutAScaleAreTwelveToneFromMiddleC) {
    OpenOutput();
    EXPECT_EQ(PlayScaleDegree(0, 100), 1);
    EXPECT_EQ(PlayScaleDegree(4, 100), 2);
    EXPECT_EQ(PlayScaleDegree(12, 100), 3);
    EXPECT_EQ(fake::ShortMessages(),
              (Messages{NoteOn(0, 60, 100), NoteOn(0, 64, 100), NoteOn(0, 72, 100)}));
    EXPECT_EQ(mt::bScaleInstalled, 1);
    EXPECT_EQ(GetnScaleNotes(), 2);
    EXPECT_EQ(mt::d1o1Hz, 261.6255653005986);
    EXPECT_EQ(mt::iChannel[2], 0);
    EXPECT_EQ(mt::iNote[2], 72);
    EXPECT_DOUBLE_EQ(mt::dRatio[2], 2.0);  // the ratio, not the frequency
    EXPECT_EQ(mt::nSounding[0], 3);
}

TEST_F(PlayStopTest, BendGoesOutBeforeTheNote) {
    OpenOutput();
    Set1o1(447.69106452518196);  // 30 cents above A
    mt::nSounding[0] = 1;        // keep channel 0 busy at 8192
    EXPECT_EQ(PlayScaleDegree(0, 90), 1);
    EXPECT_EQ(fake::ShortMessages(), (Messages{Bend(1, 9420), NoteOn(1, 69, 90)}));
    EXPECT_EQ(mt::dBend[1], 9420.0);
}

TEST_F(PlayStopTest, StopTakesTheOldestRowOfTheDegree) {
    OpenOutput();
    PlayScaleDegree(7, 90);
    PlayScaleDegree(3, 90);
    PlayScaleDegree(7, 91);
    fake::ClearEvents();
    fake::SetClock(1234);
    EXPECT_EQ(StopScaleDegree(7, 64), 1234);
    EXPECT_EQ(fake::ShortMessages(), (Messages{NoteOff(0, 67, 64)}));
    ASSERT_EQ(mt::nNotesInPlay, 2);
    EXPECT_EQ(mt::iDegree[0], 3);
    EXPECT_EQ(mt::iDegree[1], 7);
    fake::SetClock(1300);
    EXPECT_EQ(StopScaleDegree(7, 64), 1300);
    fake::ClearEvents();
    EXPECT_EQ(StopScaleDegree(7, 64), 1);
    EXPECT_TRUE(fake::Events().empty());
}

TEST_F(PlayStopTest, StopOnAnEmptyTableSendsNothing) {
    OpenOutput();
    EXPECT_EQ(StopScaleDegree(0, 64), 0);
    EXPECT_TRUE(fake::Events().empty());
}

TEST_F(PlayStopTest, StopStampsOnlyTheStoppedNotesChannel) {
    fake::SetClock(10);
    OpenOutput();
    for (int i = 0; i < 45; ++i)
        mt::AddNoteInPlay(i == 40 ? -40 : 100 + i, 1.0, i == 40 ? 3 : 1, 50);
    fake::SetClock(5000);
    EXPECT_EQ(StopScaleDegree(-40, 64), 5000);
    EXPECT_EQ(fake::ShortMessages(), (Messages{NoteOff(3, 50, 64)}));
    for (int ch = 0; ch < 16; ++ch) EXPECT_EQ(mt::dwReleaseTime[ch], ch == 3 ? 5000u : 10u);
    EXPECT_EQ(mt::nNotesInPlay, 44);
}

TEST_F(PlayStopTest, PercussionAndScaleDegreesAreKeptApart) {
    OpenOutput();
    EXPECT_EQ(PlayNonMelodicPercussion(38, 100), 1);
    EXPECT_EQ(PlayScaleDegree(38, 100), 2);
    EXPECT_EQ(mt::iChannel[0], 9);
    EXPECT_EQ(mt::iNote[0], 38);
    EXPECT_EQ(mt::dRatio[0], 1.0);
    fake::ClearEvents();
    const uint32_t stamp9 = mt::dwReleaseTime[9];
    fake::SetClock(77);
    EXPECT_EQ(StopScaleDegree(38, 50), 77);
    EXPECT_EQ(fake::ShortMessages(), (Messages{NoteOff(0, 98, 50)}));
    ASSERT_EQ(mt::nNotesInPlay, 1);
    EXPECT_EQ(mt::iChannel[0], 9);

    PlayScaleDegree(38, 100);
    fake::ClearEvents();
    EXPECT_EQ(StopNonMelodicPercussion(38, 5), 1);
    EXPECT_EQ(fake::ShortMessages(), (Messages{NoteOff(9, 38, 127)}));
    EXPECT_EQ(mt::iChannel[0], 0);
    EXPECT_EQ(mt::dwReleaseTime[9], stamp9);
}

TEST_F(PlayStopTest, PercussionStopTakesEveryMatchingRow) {
    OpenOutput();
    PlayNonMelodicPercussion(36, 100);
    PlayNonMelodicPercussion(42, 100);
    PlayNonMelodicPercussion(42, 90);
    PlayNonMelodicPercussion(46, 100);
    PlayNonMelodicPercussion(42, 80);
    fake::ClearEvents();
    EXPECT_EQ(StopNonMelodicPercussion(42, 0), 2);
    EXPECT_EQ(fake::ShortMessages(),
              (Messages{NoteOff(9, 42, 127), NoteOff(9, 42, 127), NoteOff(9, 42, 127)}));
    EXPECT_EQ(mt::iDegree[0], 36);
    EXPECT_EQ(mt::iDegree[1], 46);
}

TEST_F(PlayStopTest, PercussionKeepsTheNumberAsGiven) {
    OpenOutput();
    PlayNonMelodicPercussion(300, 100);
    EXPECT_EQ(mt::iNote[0], 300);
    EXPECT_EQ(StopNonMelodicPercussion(127, 0), 1);
    EXPECT_EQ(StopNonMelodicPercussion(300, 0), 0);
    EXPECT_EQ(fake::ShortMessages(), (Messages{NoteOn(9, 127, 100), NoteOff(9, 127, 127)}));
}

TEST_F(PlayStopTest, FullTable) {
    OpenOutput();
    FillTable(2048);
    EXPECT_EQ(PlayScaleDegree(0, 100), 2048);
    EXPECT_TRUE(fake::Events().empty());
    EXPECT_EQ(mt::bScaleInstalled, 1);
    EXPECT_EQ(PlayNonMelodicPercussion(38, 100), 2048);
    EXPECT_EQ(fake::ShortMessages(), (Messages{NoteOn(9, 38, 100)}));
    EXPECT_EQ(mt::nNotesInPlay, 2048);
    EXPECT_EQ(mt::iDegree[2047], 1000 + 2047);
}

TEST_F(PlayStopTest, PreBentDegreePlaysWithoutABend) {
    OpenOutput();
    SetMidiScale(nullptr);  // 12-TET without touching the channels
    Set1o1(447.69106452518196);
    mt::nSounding[0] = 1;
    EXPECT_EQ(DoBendForScaleDegree(0), 0);  // sent: the send result
    EXPECT_EQ(fake::ShortMessages(), (Messages{Bend(1, 9420)}));
    fake::ClearEvents();
    EXPECT_EQ(DoBendForScaleDegree(2), 1);  // same bend, nothing to send: the channel
    EXPECT_TRUE(fake::Events().empty());
    PlayScaleDegree(0, 100);
    EXPECT_EQ(fake::ShortMessages(), (Messages{NoteOn(1, 69, 100)}));
}

TEST_F(PlayStopTest, BendWithoutAChannelSendsNothingWhileANoteSilencesOne) {
    fake::SetClock(50);
    OpenOutput();
    SetMidiScale(nullptr);
    // Every channel but 9 sounds a different bend; channel 6 was released first.
    for (int ch = 0; ch < 16; ++ch) {
        if (ch == 9) continue;
        Set1o1(440.0 * std::pow(2.0, (ch + 1) * 3 / 1200.0));
        PlayScaleDegree(0, 100);
        ASSERT_EQ(mt::iChannel[mt::nNotesInPlay - 1], ch);
    }
    mt::dwReleaseTime[6] = 20;
    fake::ClearEvents();
    Set1o1(440.0);
    EXPECT_EQ(DoBendForScaleDegree(0), 0);
    EXPECT_EQ(DoBendForScaleDegreeInLoop(0), 0);
    EXPECT_TRUE(fake::Events().empty());
    EXPECT_EQ(PlayScaleDegree(0, 100), 15);
    EXPECT_EQ(fake::ShortMessages(),
              (Messages{NoteOff(6, 69, 127), Bend(6, 8192), NoteOn(6, 69, 100)}));
    EXPECT_EQ(mt::iChannel[14], 6);
    EXPECT_EQ(mt::nSounding[6], 1);
}

TEST_F(PlayStopTest, ADegreePlayedAgainFollowsTheTuningInForce) {
    OpenOutput();
    const auto playAndStop = [] {
        PlayScaleDegree(2, 100);
        StopScaleDegree(2, 0);
    };
    playAndStop();
    Set1o1(440.0);
    playAndStop();
    mt::d1o1Hz = 880.0;  // written directly, not through Set1o1
    playAndStop();
    EXPECT_EQ(fake::ShortMessages(),
              (Messages{NoteOn(0, 62, 100), NoteOff(0, 62, 0), NoteOn(0, 71, 100),
                        NoteOff(0, 71, 0), NoteOn(0, 83, 100), NoteOff(0, 83, 0)}));

    char just[] = "9/8 5/4 4/3 3/2 5/3 15/8 2/1";
    SetMidiScale(just);  // pre-bends 1/1, 9/8, 15/16 and 5/4 on channels 0..3
    fake::ClearEvents();
    playAndStop();
    SetMidiScale(nullptr);  // 12-TET again, channels as they were
    playAndStop();
    EXPECT_EQ(fake::ShortMessages(), (Messages{NoteOn(3, 85, 100), NoteOff(3, 85, 0),
                                               NoteOn(0, 83, 100), NoteOff(0, 83, 0)}));
}

// Remembered or not, a degree's pitch is what the tuning in force gives,
// bit for bit: after every kind of change, inside the remembered window and
// beyond it, saturating and non-finite cases included.
TEST_F(PlayStopTest, RememberedPitchesAreTheFreshOnes) {
    const double inf = std::numeric_limits<double>::infinity();
    static char just[] = "9/8 5/4 4/3 3/2 5/3 15/8 2/1", infinite[] = "3/0 2", linear[] = "h 0.5";
    const std::function<void()> changes[] = {
        [] {},  // nothing installed: ratio 1.0 of a 1/1 of 0 Hz
        [] {
            // The stamps come round to those of the entries filled above.
            mt::nTuningVersion = UINT32_MAX;
            Set1o1(440.0);
        },
        [] { SetMidiScale(just); },
        [&] { Set1o1(inf); },
        [] { SetMidiScale(infinite); },
        [] { Set1o1(-100.0); },
        [] { mt::d1o1Hz = std::nan(""); },
        [] { SetMidiScale(linear); },
        [] { SetMidiScale(nullptr); },
        [] { Set1o1(1e300); },
    };
    const int degrees[] = {0,   2,    -1,   9,      445,     -445,    511,
                           512, -512, -513, 100000, -100000, INT_MAX, INT_MIN + 1};
    for (size_t change = 0; change < std::size(changes); ++change) {
        changes[change]();
        for (int pass = 0; pass < 2; ++pass)
            for (int degree : degrees) {
                const double ratio = mt::RatioForScaleDegree(mt::ScaleTable.ratios,
                                                             mt::ScaleTable.nScaleNotes, degree);
                int note, bend;
                mt::NoteAndBend(mt::d1o1Hz * ratio, &note, &bend);
                const mt::Pitch got = mt::PitchOfDegree(degree);
                EXPECT_EQ(std::memcmp(&got.ratio, &ratio, sizeof ratio), 0)
                    << "change " << change << " degree " << degree << ": " << got.ratio
                    << " != " << ratio;
                EXPECT_EQ(got.note, note) << "change " << change << " degree " << degree;
                EXPECT_EQ(got.bend, bend) << "change " << change << " degree " << degree;
            }
    }
}

}  // namespace
