// The extensions beyond the classic exports: the message tap on the MIDI
// route, calls from inside the tap, the lock around every export, and the
// version.
#include <cstring>
#include <vector>

#include "fixture.h"
#include "microtune_ext.h"

namespace {

struct Tapped {
    std::vector<uint32_t> packed;  // as a short message would carry them
    std::vector<int> channels;
    std::vector<int> answers;  // of the calls the tap made back into the library
    long acquisitionsInTap = -1;
    bool callBack = false;
};

void MICROTUNE_CAPI Tap(void *context, int channel, int status, int data1, int data2) {
    Tapped &t = *static_cast<Tapped *>(context);
    t.packed.push_back(static_cast<uint32_t>(status | data1 << 8 | data2 << 16));
    t.channels.push_back(channel);
    if (!t.callBack) return;
    const long before = fake::LockAcquisitions();
    char scale[] = "9/8 2/1";
    int note = -1;
    SetMidiScale(scale);
    t.answers = {PlayScaleDegree(3, 100),
                 StopAllNotesPlayed(0),
                 GetnScaleNotes(),
                 MicrotuneDegreePitch(0, &note, nullptr),
                 MicrotuneSetMessageTap(nullptr, nullptr),
                 GetszMostRecentScale() == nullptr,
                 note,
                 MicrotuneSetPartVoice(1, 40),
                 MicrotuneSetPartController(1, 7, 90),
                 MicrotunePlayPartDegree(1, 0, 90),
                 MicrotuneStopPartDegree(0, 0, 0),
                 MicrotuneSetMpeZone(15, 48),
                 MicrotunePlayPartFrequency(1, 440.0, 90, 0),
                 MicrotuneStopNote(1, 0),
                 MicrotuneGlideNote(1, 440.0)};
    SleepSeconds(5.0);
    t.acquisitionsInTap = fake::LockAcquisitions() - before;
}

class ExtensionsTest : public MicrotuneTest {
protected:
    void TearDown() override { MicrotuneSetMessageTap(nullptr, nullptr); }
};

TEST_F(ExtensionsTest, TapSeesExactlyWhatLeavesOnTheMidiRoute) {
    Tapped t;
    ASSERT_EQ(MicrotuneSetMessageTap(Tap, &t), 1);
    PlayScaleDegree(4, 90);  // no output open: nothing leaves, nothing is tapped
    SetMidiVoice(300);       // nor here; the voice goes out at the open, low byte only
    EXPECT_TRUE(t.packed.empty());

    fake::SetDevices({{"Synth"}});
    ASSERT_EQ(StartMidiOutForiDev(0), 1);
    char scale[] = "16/15 9/8 6/5 5/4 4/3 45/32 3/2 8/5 5/3 9/5 15/8 2/1";
    SetMidiScale(scale);
    PlayScaleDegree(4, 90);
    StopScaleDegree(4, 10);
    EXPECT_EQ(t.packed, fake::ShortMessages());
    for (size_t i = 0; i < t.channels.size(); ++i)
        EXPECT_EQ(t.channels[i], static_cast<int>(t.packed[i] & 15)) << i;

    ASSERT_EQ(MicrotuneSetMessageTap(nullptr, &t), 1);
    const size_t seen = t.packed.size();
    PlayScaleDegree(7, 90);
    EXPECT_EQ(t.packed.size(), seen);
}

TEST_F(ExtensionsTest, CallsFromInsideTheTapReturnAtOnceWithoutEffect) {
    fake::SetDevices({{"Synth"}});
    ASSERT_EQ(StartMidiOutForiDev(0), 1);
    Tapped t;
    t.callBack = true;
    ASSERT_EQ(MicrotuneSetMessageTap(Tap, &t), 1);
    fake::ClearEvents();
    const long before = fake::LockAcquisitions();
    PlayScaleDegree(0, 100);  // a bend (maybe) and a note-on, each tapped

    ASSERT_FALSE(t.packed.empty());
    EXPECT_EQ(t.answers,
              (std::vector<int>{0, 0, 0, -1, -1, 1, -1, -1, -1, -1, -1, -1, -1, -1, -1}));
    EXPECT_EQ(t.acquisitionsInTap, 0);
    EXPECT_EQ(fake::LockAcquisitions() - before, 1);
    EXPECT_EQ(fake::ShortMessages().size(), t.packed.size());  // the tap's calls sent nothing
    EXPECT_EQ(fake::Clock(), 0u);                              // nor slept
    EXPECT_EQ(mt::nNotesInPlay, 1);
    EXPECT_EQ(mt::bPartsInUse, 0);
    EXPECT_EQ(mt::iMpeMembers, 0);
    EXPECT_EQ(mt::ScaleTable.nScaleNotes, 2);  // still the default scale
    EXPECT_FALSE(fake::LockHeld());
    PlayScaleDegree(1, 100);  // and the tap stays installed
    EXPECT_EQ(mt::nNotesInPlay, 2);
}

TEST_F(ExtensionsTest, ExportsTakeTheLockOnceAndNeverSleepUnderIt) {
    fake::SetDevices({{"Synth"}});
    const long before = fake::LockAcquisitions();
    ASSERT_EQ(StartMidiOut(), 1);  // nested exports inside: one acquisition
    EXPECT_EQ(fake::LockAcquisitions() - before, 1);
    EXPECT_EQ(TestPitchBendRange(), 0);
    SleepSeconds(0.25);
    EXPECT_EQ(fake::Clock(), 3250u);
    EXPECT_EQ(fake::SleepsUnderLock(), 0);
    EXPECT_FALSE(fake::LockHeld());
}

TEST_F(ExtensionsTest, DegreePitchBeforeAnyScaleIsThatOfTheDefaultAndChangesNothing) {
    Set1o1(440.0);
    int note = -1, bend = -1;
    ASSERT_EQ(MicrotuneDegreePitch(2, &note, &bend), 1);
    EXPECT_EQ(GetnScaleNotes(), 0);
    EXPECT_EQ(note, 71);  // B4, 12-TET from A4
    EXPECT_EQ(bend, 8192);
    ASSERT_EQ(MicrotuneDegreePitch(2, nullptr, nullptr), 1);
    PlayScaleDegree(2, 100);
    EXPECT_EQ(mt::iNote[0], note);
}

TEST_F(ExtensionsTest, RatioOfADegreeByThePlayingRule) {
    const double just[] = {1.0, 1.125, 1.25, 2.0};
    const double series[] = {0.5};  // 1 - k/2: degree 2 is 0, degree 3 below
    struct Case {
        const double *ratios;
        int count, degree, answer;
        double ratio;
    } cases[] = {
        {just, 4, 2, 1, 1.25},   {just, 4, 4, 1, 2.25},   {just, 4, -1, 1, 0.625},
        {series, 1, 1, 1, 0.5},  {series, 1, 2, 0, 0.0},  {series, 1, 3, 0, -0.5},
        {series, 1, -1, 1, 2.0}, {nullptr, 0, 5, 1, 1.0},
    };
    for (const Case &c : cases) {
        double ratio = -7.0;
        EXPECT_EQ(MicrotuneRatioForScaleDegree(c.ratios, c.count, c.degree, &ratio), c.answer)
            << c.degree;
        EXPECT_DOUBLE_EQ(ratio, c.ratio) << c.degree;
    }
    EXPECT_EQ(MicrotuneRatioForScaleDegree(just, 4, 1, nullptr), 0);
    EXPECT_EQ(MicrotuneRatioForScaleDegree(nullptr, 4, 1, nullptr), 0);
}

TEST_F(ExtensionsTest, RecordingOutputHandsEveryMessageToTheTapAlone) {
    Tapped t;
    ASSERT_EQ(MicrotuneSetMessageTap(Tap, &t), 1);
    SetMidiVoice(300);
    ASSERT_EQ(MicrotuneOpenRecordingOutput(), 1);
    EXPECT_EQ(MicrotuneOpenRecordingOutput(), 2);
    EXPECT_EQ(nChannelsAvailable(), 32);
    PlayScaleDegree(0, 100);
    // 31 centring bends and 31 program changes (the voice unmasked), then the note.
    ASSERT_EQ(t.packed.size(), 63u);
    EXPECT_EQ(t.packed[31], 0x0000u | 0xC0u | (300u << 8));
    EXPECT_EQ(t.channels[62], 0);
    EXPECT_TRUE(fake::Events().empty());  // no device, nothing sent anywhere else
    fake::SetClock(777);                  // the machine's time does not count
    SleepSeconds(1.25);
    EXPECT_EQ(fake::Clock(), 777u);  // nor was there a sleep
    EXPECT_DOUBLE_EQ(dSecsSinceStartMidiOut(), 1.25);
    EXPECT_EQ(StopScaleDegree(0, 0), 1250);  // the release stamp
    EXPECT_EQ(StopMidiOut(), 1);
    EXPECT_EQ(nChannelsAvailable(), 16);
}

TEST_F(ExtensionsTest, VersionIsTheProjects) { EXPECT_STREQ(MicrotuneVersion(), "0.1.0"); }

}  // namespace
