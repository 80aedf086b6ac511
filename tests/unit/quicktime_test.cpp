// The companion synthesizer backend: loading, lookups, start and stop, and
// the 32-channel route to the companion's send entry.
#include <string>
#include <vector>

#include "fixture.h"
#include "output/channel_messages.h"

namespace {

using fake::EventKind;

// One recorded event in compact form: kind plus text, enough to check order.
struct Step {
    EventKind kind;
    std::string text;
    bool operator==(const Step &other) const { return kind == other.kind && text == other.text; }
};

std::vector<Step> Steps() {
    std::vector<Step> steps;
    for (const fake::Event &event : fake::Events()) steps.push_back({event.kind, event.text});
    return steps;
}

const std::vector<Step> kLookups = {
    {EventKind::FindEntry, "_Tembrel_CleanUp_SME@0"},
    {EventKind::FindEntry, "_Tembrel_Initialise_SME@0"},
    {EventKind::FindEntry, "_Tembrel_Delay@8"},
    {EventKind::FindEntry, "_Tembrel_SendMidiEvent@16"},
};

std::vector<Step> Concat(std::vector<Step> a, const std::vector<Step> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

fake::Modules BothLibraries() {
    fake::Modules modules;
    modules.qtJavaNative = true;
    modules.tembrelLib = true;
    return modules;
}

class QuickTimeTest : public MicrotuneTest {};

TEST_F(QuickTimeTest, NeitherLibraryPresentFailsEveryTime) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        fake::ClearEvents();
        EXPECT_EQ(CheckForQTLibrary(), 0);
        EXPECT_EQ(Steps(), (std::vector<Step>{{EventKind::Load, "QTJavaNative.dll"}}));
    }
    EXPECT_EQ(StartQT(), 0);
    EXPECT_EQ(mt::bQTActive, 0);
    EXPECT_EQ(nChannelsAvailable(), 16);
}

TEST_F(QuickTimeTest, MissingCompanionKeepsQuickTimeLibraryLoaded) {
    fake::Modules modules;
    modules.qtJavaNative = true;
    fake::SetModules(modules);

    EXPECT_EQ(CheckForQTLibrary(), 0);
    EXPECT_EQ(mt::hQTJavaNative, fake::QTJavaNativeModule());
    EXPECT_EQ(mt::hTembrelLib, nullptr);

    // A second attempt loads only what is missing; a failing start unloads
    // nothing, because the backend never became active.
    fake::ClearEvents();
    EXPECT_EQ(StartQT(), 0);
    EXPECT_EQ(Steps(), (std::vector<Step>{{EventKind::Load, "TembrelLib.dll"}}));
    EXPECT_EQ(mt::hQTJavaNative, fake::QTJavaNativeModule());
    EXPECT_EQ(mt::bQTActive, 0);
    EXPECT_EQ(nChannelsAvailable(), 16);
}

TEST_F(QuickTimeTest, CheckLoadsOnceAndLooksEntriesUpEveryTime) {
    fake::SetModules(BothLibraries());
    EXPECT_EQ(CheckForQTLibrary(), 1);
    EXPECT_EQ(Steps(),
              Concat({{EventKind::Load, "QTJavaNative.dll"}, {EventKind::Load, "TembrelLib.dll"}},
                     kLookups));
    for (const fake::Event &event : fake::Events()) {
        if (event.kind == EventKind::FindEntry) {
            EXPECT_EQ(event.handle, fake::TembrelLibModule());
        }
    }
    EXPECT_EQ(mt::bQTActive, 0);

    fake::ClearEvents();
    EXPECT_EQ(CheckForQTLibrary(), 1);
    EXPECT_EQ(Steps(), kLookups);
}

TEST_F(QuickTimeTest, MissingEntriesAreStoredAsNull) {
    fake::Modules modules = BothLibraries();
    fake::SetModules(modules);
    ASSERT_EQ(CheckForQTLibrary(), 1);
    EXPECT_NE(mt::QTEntryPoints.CleanUp, nullptr);
    EXPECT_NE(mt::QTEntryPoints.Delay, nullptr);

    // A later lookup replaces earlier addresses, null included.
    modules.cleanUp = false;
    modules.delay = false;
    fake::SetModules(modules);
    EXPECT_EQ(CheckForQTLibrary(), 1);
    EXPECT_EQ(mt::QTEntryPoints.CleanUp, nullptr);
    EXPECT_NE(mt::QTEntryPoints.Initialise, nullptr);
    EXPECT_EQ(mt::QTEntryPoints.Delay, nullptr);
    EXPECT_NE(mt::QTEntryPoints.SendMidiEvent, nullptr);
}

TEST_F(QuickTimeTest, StopWithoutStartUnloadsNothing) {
    fake::SetModules(BothLibraries());
    fake::SetDevices({{"Synth A"}});
    EXPECT_EQ(nNumOutDevices(), 2);  // the count loads both libraries
    fake::ClearEvents();
    StopQT();
    EXPECT_TRUE(fake::Events().empty());
    EXPECT_EQ(mt::hQTJavaNative, fake::QTJavaNativeModule());
    EXPECT_EQ(mt::hTembrelLib, fake::TembrelLibModule());
}

TEST_F(QuickTimeTest, StartThenStopCallsInitialiseCleanUpThenUnloads) {
    fake::SetModules(BothLibraries());
    EXPECT_EQ(nChannelsAvailable(), 16);
    EXPECT_EQ(StartQT(), 1);
    EXPECT_EQ(mt::bQTActive, 1);
    EXPECT_EQ(nChannelsAvailable(), 32);
    StopQT();
    EXPECT_EQ(nChannelsAvailable(), 16);

    const std::vector<Step> expected =
        Concat(Concat({{EventKind::Load, "QTJavaNative.dll"}, {EventKind::Load, "TembrelLib.dll"}},
                      kLookups),
               {{EventKind::CompanionInitialise, ""},
                {EventKind::CompanionCleanUp, ""},
                {EventKind::Free, "QTJavaNative.dll"},
                {EventKind::Free, "TembrelLib.dll"}});
    EXPECT_EQ(Steps(), expected);
    EXPECT_EQ(mt::hQTJavaNative, nullptr);
    EXPECT_EQ(mt::hTembrelLib, nullptr);
    EXPECT_EQ(mt::bQTActive, 0);

    // Stopped means absent: a second stop does nothing, a new start loads again.
    fake::ClearEvents();
    StopQT();
    EXPECT_TRUE(fake::Events().empty());
    EXPECT_EQ(StartQT(), 1);
    EXPECT_EQ(Steps()[0], (Step{EventKind::Load, "QTJavaNative.dll"}));
}

TEST_F(QuickTimeTest, StartWhileActiveLooksUpAndInitialisesAgain) {
    fake::SetModules(BothLibraries());
    ASSERT_EQ(StartQT(), 1);
    fake::ClearEvents();
    EXPECT_EQ(StartQT(), 1);
    EXPECT_EQ(Steps(), Concat(kLookups, {{EventKind::CompanionInitialise, ""}}));
}

// The initialise result is the start's result, and the backend is active
// whatever it answers.
TEST_F(QuickTimeTest, InitialiseResultAndMissingEntries) {
    struct Case {
        const char *name;
        bool initialise;
        int initialiseResult;
        bool cleanUp;
        int expectedStart;
        int expectedInitialiseCalls;
        int expectedCleanUpCalls;
    };
    const Case cases[] = {
        {"ready", true, 1, true, 1, 1, 1},
        {"other nonzero passes through", true, 7, true, 7, 1, 1},
        {"initialise fails", true, 0, true, 0, 1, 1},
        {"initialise missing", false, 1, true, 0, 0, 1},
        {"clean-up missing", true, 1, false, 1, 1, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        mt::ResetStateForTests();
        fake::Reset();
        fake::Modules modules = BothLibraries();
        modules.initialise = c.initialise;
        modules.initialiseResult = c.initialiseResult;
        modules.cleanUp = c.cleanUp;
        fake::SetModules(modules);

        EXPECT_EQ(StartQT(), c.expectedStart);
        EXPECT_EQ(mt::bQTActive, 1);
        EXPECT_EQ(nChannelsAvailable(), 32);
        StopQT();
        EXPECT_EQ(mt::bQTActive, 0);

        int initialiseCalls = 0, cleanUpCalls = 0, frees = 0;
        for (const fake::Event &event : fake::Events()) {
            initialiseCalls += event.kind == EventKind::CompanionInitialise;
            cleanUpCalls += event.kind == EventKind::CompanionCleanUp;
            frees += event.kind == EventKind::Free;
        }
        EXPECT_EQ(initialiseCalls, c.expectedInitialiseCalls);
        EXPECT_EQ(cleanUpCalls, c.expectedCleanUpCalls);
        EXPECT_EQ(frees, 2);
    }
}

TEST_F(QuickTimeTest, FailedInitialiseFailsTheOpenButKeepsTheBackend) {
    fake::Modules modules = BothLibraries();
    modules.initialiseResult = 0;
    fake::SetModules(modules);
    fake::SetDevices({{"Synth A"}});
    ASSERT_EQ(nNumOutDevices(), 2);

    EXPECT_EQ(StartMidiOutForiDev(1), 0);
    EXPECT_EQ(mt::bMidiOutOpen, 0);
    EXPECT_EQ(mt::bQTActive, 1);
    EXPECT_EQ(mt::hQTJavaNative, fake::QTJavaNativeModule());
    EXPECT_EQ(mt::hTembrelLib, fake::TembrelLibModule());
    for (const fake::Event &event : fake::Events()) EXPECT_NE(event.kind, EventKind::Open);
}

TEST_F(QuickTimeTest, MessagesReachTheSendEntryUnmasked) {
    fake::SetModules(BothLibraries());
    ASSERT_EQ(StartQT(), 1);
    fake::ClearEvents();

    mt::MidiNoteOn(nullptr, 20, 60, 100);
    mt::dBend[3] = 8192.0;
    mt::SendPitchBend(nullptr, 3, 8193.0);
    mt::SendPitchBend(nullptr, 31, 16383.0);
    mt::MidiNoteOff(nullptr, 40, 60, 0);  // clamped to the highest of 32 channels
    SetMidiVoice(300);                    // the voice is not clamped on this route

    const std::vector<std::array<int, 4>> sends = fake::CompanionSends();
    ASSERT_EQ(sends.size(), 4u + 31u);
    EXPECT_EQ(sends[0], (std::array<int, 4>{0x90, 20, 60, 100}));
    EXPECT_EQ(sends[1], (std::array<int, 4>{0xE0, 3, 1, 64}));
    EXPECT_EQ(sends[2], (std::array<int, 4>{0xE0, 31, 127, 127}));
    EXPECT_EQ(sends[3], (std::array<int, 4>{0x80, 31, 60, 0}));
    EXPECT_EQ(sends[4], (std::array<int, 4>{0xC0, 0, 300, 0}));
    EXPECT_EQ(sends.back(), (std::array<int, 4>{0xC0, 31, 300, 0}));
    EXPECT_TRUE(fake::ShortMessages().empty());
}

TEST_F(QuickTimeTest, MissingSendEntryTakesTheWindowsRoute) {
    fake::Modules modules = BothLibraries();
    modules.send = false;
    fake::SetModules(modules);
    ASSERT_EQ(StartQT(), 1);
    fake::ClearEvents();

    // No Windows output is open: nothing leaves, but the note is counted.
    EXPECT_EQ(mt::MidiNoteOn(nullptr, 20, 60, 100), 0);
    EXPECT_EQ(mt::nSounding[20], 1);
    EXPECT_TRUE(fake::Events().empty());

    // With a Windows handle the message is packed for 16 channels.
    void *handle = const_cast<void *>(fake::HandleOfDevice(0));
    mt::SendChannelMessage(handle, 0x90, 20, 60, 100, 2);
    EXPECT_EQ(fake::ShortMessages(), (std::vector<uint32_t>{0x00643C94}));
    EXPECT_TRUE(fake::CompanionSends().empty());
}

TEST_F(QuickTimeTest, DeviceListEndsWithQuickTimeWhenTheCompanionLoads) {
    fake::SetMapper(true);
    fake::SetDevices({{"Synth A"}, {"Synth B"}});
    EXPECT_EQ(nNumOutDevices(), 3);

    fake::SetModules(BothLibraries());
    ASSERT_EQ(nNumOutDevices(), 4);
    char name[32];
    EXPECT_STREQ(szNameForDevice(3, name, sizeof name), "QuickTime");
    EXPECT_STREQ(szNameForDevice(2, name, sizeof name), "Synth B");
}

TEST_F(QuickTimeTest, OpeningQuickTimeSendsNoRangeMessages) {
    fake::SetModules(BothLibraries());
    fake::SetDevices({{"Synth A"}});
    ASSERT_EQ(nNumOutDevices(), 2);
    SetMidiVoice(19);
    fake::ClearEvents();

    EXPECT_EQ(StartMidiOutForiDev(1), 1);
    EXPECT_EQ(mt::bMidiOutOpen, 1);
    EXPECT_EQ(mt::hMidiOut, nullptr);
    int bends = 0, programs = 0;
    for (const std::array<int, 4> &send : fake::CompanionSends()) {
        EXPECT_NE(send[0], 0xB0);
        EXPECT_NE(send[1], 9);
        bends += send[0] == 0xE0 && send[2] == 0 && send[3] == 64;
        programs += send[0] == 0xC0 && send[2] == 19;
    }
    EXPECT_EQ(programs, 31);
    EXPECT_EQ(bends, 31);
    EXPECT_TRUE(fake::ShortMessages().empty());
    for (const fake::Event &event : fake::Events()) EXPECT_NE(event.kind, EventKind::Open);
}

}  // namespace
