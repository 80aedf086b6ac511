// Long random sequences of the note exports against the fake back-end, with
// the table and the channel counts checked after every call.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "notes/choose_channel.h"
#include "notes/notes_in_play.h"
#include "notes_test_helpers.h"
#include "output/channel_messages.h"
#include "tuning/scale_table.h"

namespace {

struct Row {
    int degree;
    double ratio;
    int channel;
    int note;
    bool operator==(const Row &o) const {
        // Bitwise on the ratio, so that a NaN ratio matches itself.
        return degree == o.degree && channel == o.channel && note == o.note &&
               std::memcmp(&ratio, &o.ratio, sizeof ratio) == 0;
    }
};

// A copy of the table as it stood before a call.
struct Snapshot {
    Row rows[mt::MAX_NOTES_IN_PLAY];
    int count = 0;
    void Take() {
        count = mt::nNotesInPlay;
        for (int r = 0; r < count; ++r)
            rows[r] = {mt::iDegree[r], mt::dRatio[r], mt::iChannel[r], mt::iNote[r]};
    }
};

Row LiveRow(int r) { return {mt::iDegree[r], mt::dRatio[r], mt::iChannel[r], mt::iNote[r]}; }

int ClampNote(int note) { return std::min(std::max(note, 0), 127); }

enum class Op { Play, Stop, Percussion, StopPercussion, Other };

char *ScaleText(std::mt19937 &rng) {
    static char texts[][64] = {
        "",
        "  \t",
        "9/8 5/4 4/3 3/2 5/3 15/8 2/1",
        "n(1/31) 2",
        "100. 200. 300. 400. 500. 600. 700. 800. 900. 1000. 1100. 1200.",
        "h 2",
        "h 0.5",
        "3/0 2",
        "-3/2 2",
        "0.0 701.955 1200.0",
        "700 cents 2/1",
        "h -1e9. 2",
    };
    const int n = sizeof texts / sizeof texts[0];
    const int pick = static_cast<int>(rng() % (n + 1));
    return pick == n ? nullptr : texts[pick];
}

double OneOneHz(std::mt19937 &rng) {
    const double values[] = {0.0,
                             440.0,
                             261.6255653005986,
                             1e-3,
                             -100.0,
                             20000.0,
                             1e300,
                             std::numeric_limits<double>::infinity(),
                             std::nan(""),
                             97.5};
    return values[rng() % (sizeof values / sizeof values[0])];
}

class NoteEngineRandomTest : public MicrotuneTest {
protected:
    // Note-ons sent and not yet matched by a note-off, by (channel, note).
    int outstanding[mt::MAX_CHANNELS][128] = {};
    Snapshot before;
    int ons[mt::MAX_CHANNELS] = {};
    int offs[mt::MAX_CHANNELS] = {};
    int maxRows = 0;
    bool companion = false;

    bool Visible() const { return companion || mt::hMidiOut != nullptr; }

    void ResetCounts() {
        std::fill(std::begin(ons), std::end(ons), 0);
        std::fill(std::begin(offs), std::end(offs), 0);
    }

    void Sent(int status, int channel, int note) {
        if (status == 0x90) {
            ++ons[channel];
            ++outstanding[channel][note];
        } else if (status == 0x80) {
            ++offs[channel];
            int &open = outstanding[channel][note];
            ASSERT_GT(open, 0) << "note-off without a note-on: channel " << channel << " note "
                               << note;
            --open;
        }
    }

    void ReadMessages() {
        for (const fake::Event &e : fake::Events()) {
            if (e.kind == fake::EventKind::ShortMsg)
                Sent(e.value & 0xF0, e.value & 0x0F, (e.value >> 8) & 0xFF);
            else if (e.kind == fake::EventKind::CompanionSend)
                Sent(e.args[0], e.args[1], e.args[2]);
        }
        fake::ClearEvents();
    }

    // Checks one call's effect on the table: survivors keep their order,
    // a play appends at most one row, which is well formed.
    void CheckTable(Op op, int arg, int channelsWhenAdded, bool visible) {
        ASSERT_LE(mt::nNotesInPlay, mt::MAX_NOTES_IN_PLAY);
        maxRows = std::max(maxRows, mt::nNotesInPlay);
        int j = 0;
        for (int r = 0; r < before.count; ++r) {
            const Row &row = before.rows[r];
            if (j < mt::nNotesInPlay && LiveRow(j) == row) {
                ++j;
            } else if (!visible) {
                // Nothing left the library: account for the removed row instead.
                int &open = outstanding[row.channel][ClampNote(row.note)];
                ASSERT_GT(open, 0);
                --open;
            }
        }
        const int added = mt::nNotesInPlay - j;
        ASSERT_LE(added, (op == Op::Play || op == Op::Percussion) ? 1 : 0);
        if (added == 1) {
            const Row row = LiveRow(j);
            CheckNewRow(op, arg, channelsWhenAdded, row);
            if (!visible) ++outstanding[row.channel][ClampNote(row.note)];
        }
    }

    static void CheckNewRow(Op op, int arg, int channelsWhenAdded, const Row &row) {
        ASSERT_EQ(row.degree, arg);
        ASSERT_GE(row.channel, 0);
        ASSERT_LT(row.channel, channelsWhenAdded);
        if (op == Op::Play) {
            ASSERT_NE(row.channel, mt::PERCUSSION_CHANNEL);
            ASSERT_EQ(row.note, ClampNote(row.note));
            // The pitch, remembered or not, is the one the tuning in force gives.
            const double ratio =
                mt::RatioForScaleDegree(mt::ScaleTable.ratios, mt::ScaleTable.nScaleNotes, arg);
            int note, bend;
            mt::NoteAndBend(mt::d1o1Hz * ratio, &note, &bend);
            ASSERT_EQ(std::memcmp(&row.ratio, &ratio, sizeof ratio), 0) << "degree " << arg;
            ASSERT_EQ(row.note, note) << "degree " << arg;
            ASSERT_EQ(mt::dBend[row.channel], bend) << "degree " << arg;
        } else {
            ASSERT_EQ(row.channel, mt::PERCUSSION_CHANNEL);
            ASSERT_EQ(row.note, arg);
        }
    }

    void CheckCounts() {
        if (!Visible()) return;
        for (int ch = 0; ch < mt::MAX_CHANNELS; ++ch)
            ASSERT_EQ(mt::nSounding[ch], ons[ch] - offs[ch]) << "channel " << ch;
    }

    void Run(unsigned seed, int steps, bool useCompanion) {
        std::mt19937 rng(seed);
        companion = useCompanion;
        fake::SetDevices({{"Synth"}});
        if (companion) {
            mt::bQTActive = 1;
            mt::QTEntryPoints.SendMidiEvent =
                reinterpret_cast<mt::TembrelSendFn>(mt::PlatformFindEntry(
                    const_cast<void *>(fake::TembrelLibModule()), "_Tembrel_SendMidiEvent@16"));
            ASSERT_NE(mt::QTEntryPoints.SendMidiEvent, nullptr);
        }
        ASSERT_EQ(OpenMidiOut(0), 1);
        fake::ClearEvents();
        ResetCounts();

        bool growing = true;
        for (int step = 0; step < steps; ++step) {
            if (step % 1500 == 0) growing = !growing;
            before.Take();
            const bool visible = Visible();
            const int channels = mt::ChannelsInUse();
            Op op = Op::Other;
            int arg = 0;
            bool tableChecked = false;
            const int dice = static_cast<int>(rng() % 100);
            const int stopShare = growing ? 8 : 40;
            if (dice < 40) {
                op = Op::Play;
                arg = static_cast<int>(rng() % 121) - 60;
                const int rowsBefore = mt::nNotesInPlay;
                const int result = PlayScaleDegree(arg, static_cast<int>(rng() % 141) - 5);
                ASSERT_EQ(result, mt::nNotesInPlay);
                if (rowsBefore >= mt::MAX_NOTES_IN_PLAY) {
                    ASSERT_EQ(result, rowsBefore);
                }
            } else if (dice < 40 + stopShare) {
                op = Op::Stop;
                arg = mt::nNotesInPlay > 0 && rng() % 5
                          ? mt::iDegree[rng() % static_cast<unsigned>(mt::nNotesInPlay)]
                          : static_cast<int>(rng() % 121) - 60;
                StopScaleDegree(arg, static_cast<int>(rng() % 128));
            } else {
                const int other = static_cast<int>(rng() % 100);
                if (other < 25) {
                    op = Op::Percussion;
                    arg = rng() % 10 ? 35 + static_cast<int>(rng() % 12)
                                     : static_cast<int>(rng() % 200) - 40;
                    PlayNonMelodicPercussion(arg, 100);
                } else if (other < 40) {
                    op = Op::StopPercussion;
                    StopNonMelodicPercussion(35 + static_cast<int>(rng() % 12), 0);
                } else if (other < 50) {
                    DoBendForScaleDegree(static_cast<int>(rng() % 121) - 60);
                } else if (other < 60) {
                    DoBendForScaleDegreeInLoop(static_cast<int>(rng() % 121) - 60);
                } else if (other < 66) {
                    SetMidiScale(ScaleText(rng));
                } else if (other < 72) {
                    Set1o1(OneOneHz(rng));
                } else if (other < 74) {
                    const int rows = mt::nNotesInPlay;
                    ASSERT_EQ(StopAllNotesPlayed(static_cast<int>(rng() % 128)), rows);
                } else if (other < 78) {
                    const int ch = static_cast<int>(rng() % (channels + 2)) - 1;
                    StopAllNotesPlayedInChannel(64, ch);
                    if (ch >= 0) {
                        ASSERT_EQ(mt::FindNoteInPlay(-1, ch, -1, nullptr), 0);
                    }
                } else if (other < 84) {
                    const int result = mt::bMidiOutOpen ? CloseMidiOut() : OpenMidiOut(0);
                    ASSERT_EQ(result, 1);
                    ReadMessages();  // centring and voice messages only
                    ResetCounts();
                } else if (other < 96) {
                    const uint32_t jump = rng() % 50 == 0 ? 0xFFFFF000u : rng() % 2000;
                    fake::SetClock(fake::Clock() + jump);
                } else if (other < 97) {
                    TestPitchBendRange();
                } else {
                    // A burst of notes, to reach the table's limit now and then.
                    // The messages account for every row, so only the new
                    // rows are checked.
                    for (int i = 0; visible && i < 300; ++i) {
                        const int degree = static_cast<int>(rng() % 41) - 20;
                        const int rowsBefore = mt::nNotesInPlay;
                        PlayScaleDegree(degree, 90);
                        ReadMessages();
                        if (rowsBefore < mt::MAX_NOTES_IN_PLAY)
                            CheckNewRow(Op::Play, degree, channels, LiveRow(mt::nNotesInPlay - 1));
                        maxRows = std::max(maxRows, mt::nNotesInPlay);
                    }
                    tableChecked = true;
                }
            }
            ReadMessages();
            if (!tableChecked) CheckTable(op, arg, channels, visible);
            CheckCounts();
            if (HasFatalFailure()) {
                ADD_FAILURE() << "seed " << seed << " step " << step;
                return;
            }
        }
    }
};

TEST_F(NoteEngineRandomTest, SixteenChannelsWithTheOutputOpenedAndClosed) {
    for (unsigned seed : {1u, 2u, 3u}) {
        mt::ResetStateForTests();
        fake::Reset();
        std::memset(outstanding, 0, sizeof outstanding);
        Run(seed, 10000, false);
        if (HasFatalFailure()) return;
    }
    EXPECT_EQ(maxRows, mt::MAX_NOTES_IN_PLAY);
}

TEST_F(NoteEngineRandomTest, ThirtyTwoChannelsThroughTheCompanion) {
    for (unsigned seed : {11u, 12u}) {
        mt::ResetStateForTests();
        fake::Reset();
        std::memset(outstanding, 0, sizeof outstanding);
        Run(seed, 8000, true);
        if (HasFatalFailure()) return;
    }
    EXPECT_EQ(maxRows, mt::MAX_NOTES_IN_PLAY);
}

}  // namespace
