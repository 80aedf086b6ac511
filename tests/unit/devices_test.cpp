// The DeviceList, naming, opening, closing and timing, through the exports.
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "fixture.h"
#include "microtune_ext.h"
#include "state/last_error.h"

namespace {

using fake::EventKind;
using Messages = std::vector<uint32_t>;

std::string Name(int iDev, int nLen = 1024) {
    std::vector<char> buffer(static_cast<size_t>(nLen), 'x');
    szNameForDevice(iDev, buffer.data(), nLen);
    return std::string(buffer.data());
}

std::vector<int> OpenedIds() {
    std::vector<int> ids;
    for (const fake::Event &event : fake::Events())
        if (event.kind == EventKind::Open) ids.push_back(static_cast<int>(event.value));
    return ids;
}

// The full open sequence on 16 channels: range, centring, voice.
Messages OpenSequence(int voice) {
    Messages expected;
    for (int ch = 0; ch < 16; ++ch)
        if (ch != 9)
            for (uint32_t cc : {0x000065B0u, 0x000064B0u, 0x000206B0u, 0x000026B0u})
                expected.push_back(cc + ch);
    for (int ch = 0; ch < 16; ++ch)
        if (ch != 9) expected.push_back(0x004000E0u + ch);
    for (int ch = 0; ch < 16; ++ch)
        if (ch != 9) expected.push_back(0xC0u + ch + (static_cast<uint32_t>(voice & 0xFF) << 8));
    return expected;
}

TEST_F(MicrotuneTest, DeviceNumberingWithAndWithoutTheMapper) {
    fake::SetDevices({{"Alpha"}, {"Beta"}});
    EXPECT_EQ(nNumOutDevices(), 2);
    EXPECT_EQ(Name(0), "Alpha");
    EXPECT_EQ(Name(1), "Beta");
    EXPECT_EQ(Name(2), "");

    fake::SetMapper(true);
    EXPECT_EQ(nNumOutDevices(), 3);
    EXPECT_EQ(Name(0), "Standard Device - Midi Mapper");
    EXPECT_EQ(Name(1), "Alpha");
    EXPECT_EQ(Name(2), "Beta");
    EXPECT_EQ(Name(3), "");
}

TEST_F(MicrotuneTest, NamingCountsFirstAndUsesPlaceholders) {
    fake::SetDevices({{"Alpha", 6}, {"Beta", 2}, {"Gamma", 11}});
    EXPECT_EQ(Name(0), "(driver not installed)");  // counted on the way
    EXPECT_TRUE(mt::bDevicesCounted);
    EXPECT_EQ(Name(1), "(not available)");
    EXPECT_EQ(Name(2), "(not available)");
    EXPECT_EQ(Name(-5), "(not available)");  // below the end, so asked for
    // Before any companion library was found, index -1 is the companion's.
    EXPECT_EQ(Name(-1), "QuickTime");
}

TEST_F(MicrotuneTest, NamesAreCutToTheBuffer) {
    fake::SetMapper(true);
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(szNameForDevice(0, buffer, 10), buffer);
    EXPECT_STREQ(buffer, "Standard ");
    EXPECT_EQ(buffer[10], 'x');  // nothing beyond nLen bytes
    EXPECT_EQ(Name(0, 1), "");

    // A null buffer or a length below 1 is left alone.
    EXPECT_EQ(szNameForDevice(0, nullptr, 10), nullptr);
    buffer[0] = 'y';
    EXPECT_EQ(szNameForDevice(0, buffer, 0), buffer);
    EXPECT_EQ(buffer[0], 'y');
}

TEST_F(MicrotuneTest, OpenSendsRangeThenCentringThenVoice) {
    fake::SetDevices({{"Synth"}});
    fake::SetClock(5000);
    SetMidiVoice(19);
    EXPECT_EQ(StartMidiOutForiDev(0), 1);
    EXPECT_EQ(OpenedIds(), std::vector<int>{0});
    EXPECT_EQ(fake::ShortMessages(), OpenSequence(19));
    for (const fake::Event &event : fake::Events()) {
        if (event.kind == EventKind::ShortMsg) {
            EXPECT_EQ(event.handle, fake::HandleOfDevice(0));
        }
    }
    for (int ch = 0; ch < 16; ++ch) {
        EXPECT_EQ(mt::dwReleaseTime[ch], 5000u);
        EXPECT_EQ(mt::dBend[ch], ch == 9 ? -10.0 : 8192.0);
    }
    EXPECT_EQ(mt::dwStartTime, 5000u);
    EXPECT_EQ(mt::dwReleaseTime[16], 0u);
}

TEST_F(MicrotuneTest, OpenTwiceReturnsTwoAndSendsNothing) {
    fake::SetDevices({{"Synth"}, {"Other"}});
    ASSERT_EQ(OpenMidiOut(0), 1);
    nNumOutDevices();
    fake::ClearEvents();
    fake::SetClock(100);
    EXPECT_EQ(OpenMidiOut(0), 2);
    EXPECT_EQ(StartMidiOutForiDev(1), 2);
    EXPECT_EQ(mt::iSelectedDevice, 1);  // recorded even so
    EXPECT_TRUE(fake::Events().empty());
    EXPECT_EQ(mt::dwStartTime, 0u);
}

TEST_F(MicrotuneTest, MapperEntryOpensTheMapperId) {
    fake::SetMapper(true);
    fake::SetDevices({{"Synth"}});
    EXPECT_EQ(StartMidiOutForiDev(0), 1);
    EXPECT_EQ(CloseMidiOut(), 1);
    EXPECT_EQ(StartMidiOutForiDev(1), 1);
    EXPECT_EQ(OpenedIds(), (std::vector<int>{-1, 0}));
}

TEST_F(MicrotuneTest, FailedOpenKeepsTheSelectionAndChangesNothingElse) {
    fake::SetDevices({{"Synth"}, {"Busy", 0, 4}});
    EXPECT_EQ(StartMidiOutForiDev(1), 0);
    EXPECT_EQ(mt::iSelectedDevice, 1);
    EXPECT_EQ(mt::bMidiOutOpen, 0);
    EXPECT_EQ(mt::hMidiOut, nullptr);
    EXPECT_TRUE(fake::ShortMessages().empty());
    // StartMidiOut opens the selection.
    EXPECT_EQ(StartMidiOut(), 0);
    EXPECT_EQ(OpenedIds(), (std::vector<int>{1, 1}));
}

TEST_F(MicrotuneTest, EmptyListStartTriesDeviceZero) {
    EXPECT_EQ(nNumOutDevices(), 0);
    EXPECT_EQ(StartMidiOut(), 0);
    EXPECT_EQ(OpenedIds(), std::vector<int>{0});
}

TEST_F(MicrotuneTest, CompanionIndexFailsWhenNoCompanionLoads) {
    EXPECT_EQ(StartMidiOutForiDev(-1), 0);
    EXPECT_EQ(mt::iSelectedDevice, 0);
    EXPECT_TRUE(OpenedIds().empty());
}

TEST_F(MicrotuneTest, CloseResetsStateAndSendsNothingOnThePlatformRoute) {
    fake::SetDevices({{"Synth"}});
    EXPECT_EQ(CloseMidiOut(), 0);
    EXPECT_EQ(StopMidiOut(), 0);
    ASSERT_EQ(OpenMidiOut(0), 1);
    mt::nSounding[2] = 3;
    mt::dBend[2] = 100.0;
    fake::ClearEvents();
    EXPECT_EQ(StopMidiOut(), 1);
    ASSERT_EQ(fake::Events().size(), 1u);
    EXPECT_EQ(fake::Events()[0].kind, EventKind::Close);
    EXPECT_EQ(fake::Events()[0].handle, fake::HandleOfDevice(0));
    EXPECT_EQ(mt::hMidiOut, nullptr);
    EXPECT_EQ(mt::bMidiOutOpen, 0);
    EXPECT_EQ(mt::nSounding[2], 0);
    EXPECT_EQ(mt::dBend[2], 8192.0);
    EXPECT_EQ(CloseMidiOut(), 0);
}

TEST_F(MicrotuneTest, SecondsSinceOpenSurviveACounterWrap) {
    fake::SetDevices({{"Synth"}});
    fake::SetClock(0xFFFFFF00u);
    ASSERT_EQ(OpenMidiOut(0), 1);
    EXPECT_DOUBLE_EQ(dSecsSinceStartMidiOut(), 0.0);
    fake::SetClock(0x00000100u);  // 512 ms later, after the wrap
    EXPECT_DOUBLE_EQ(dSecsSinceStartMidiOut(), 0.512);
    CloseMidiOut();
    fake::SetClock(0x00000300u);
    EXPECT_DOUBLE_EQ(dSecsSinceStartMidiOut(), 1.024);
}

TEST_F(MicrotuneTest, SleepSecondsTruncatesAndClamps) {
    const struct {
        double seconds;
        bool sleeps;
        uint32_t milliseconds;
    } cases[] = {
        {0.0, false, 0},
        {-1.0, false, 0},
        {NAN, false, 0},
        {0.0015, true, 1},
        {0.0005, true, 0},
        {2.5, true, 2500},
        {4294967.2949, true, 4294967294u},  // still below the limit
        {4294967.2955, true, 0xFFFFFFFEu},  // would not fit
        {1e12, true, 0xFFFFFFFEu},
        {INFINITY, true, 0xFFFFFFFEu},
    };
    for (const auto &c : cases) {
        fake::ClearEvents();
        SleepSeconds(c.seconds);
        if (!c.sleeps) {
            EXPECT_TRUE(fake::Events().empty()) << c.seconds;
            continue;
        }
        ASSERT_EQ(fake::Events().size(), 1u) << c.seconds;
        EXPECT_EQ(fake::Events()[0].kind, EventKind::Sleep);
        EXPECT_EQ(fake::Events()[0].value, c.milliseconds) << c.seconds;
    }
}

}  // namespace

// Each failing path of an open or a start leaves its reason for this thread,
// replacing the one before; a success leaves it alone.
TEST_F(MicrotuneTest, LastErrorSaysWhyAnOpenOrAStartFailed) {
    fake::Modules all;
    all.qtJavaNative = all.tembrelLib = true;
    fake::Modules noInitialise = all, failing = all, failingWithReason = all;
    noInitialise.initialise = false;
    failing.initialiseResult = failingWithReason.initialiseResult = 0;
    failingWithReason.startError = "the sound font x.sf2 does not exist";
    fake::Modules stubOnly;
    stubOnly.qtJavaNative = true;
    const auto open0 = [] { return OpenMidiOut(0); };
    const struct {
        std::vector<fake::Device> devices;
        fake::Modules modules;
        std::function<int()> call;
        int result;
        const char *reason;
    } cases[] = {
        {{{"A"}}, {}, [] { return OpenMidiOut(3); }, 0, "there is no MIDI output 3"},
        {{{"A", 0, 4}}, {}, open0, 0, "MIDI output 0 is in use"},
        {{{"A", 0, 6}}, {}, open0, 0, "MIDI output 0 has no driver"},
        {{{"A", 0, 1}}, {}, open0, 0, "MIDI output 0 did not open (error 1)"},
        {{{"A"}},
         {},
         [] { return OpenMidiOut(0) + OpenMidiOut(0); },
         3,
         "an output is already open"},
        {{},
         {},
         StartQT,
         0,
         "the companion synthesizer's module QTJavaNative.dll cannot be loaded"},
        {{},
         stubOnly,
         StartQT,
         0,
         "the companion synthesizer's module TembrelLib.dll cannot be loaded"},
        {{},
         noInitialise,
         StartQT,
         0,
         "the companion synthesizer has no entry _Tembrel_Initialise_SME@0"},
        {{}, failing, StartQT, 0, "the companion synthesizer did not start"},
        {{{"A"}},
         failingWithReason,
         [] { return StartMidiOutForiDev(1); },
         0,
         "the sound font x.sf2 does not exist"},
    };
    for (const auto &c : cases) {
        SetUp();
        fake::SetDevices(c.devices);
        fake::SetModules(c.modules);
        mt::SetLastError("stale");
        EXPECT_EQ(c.call(), c.result) << c.reason;
        EXPECT_STREQ(MicrotuneLastError(), c.reason);
        StopQT();
        CloseMidiOut();
    }
    // Kept through a success; another thread has its own.
    fake::SetDevices({{"A"}});
    EXPECT_EQ(OpenMidiOut(0), 1);
    EXPECT_STREQ(MicrotuneLastError(), "the sound font x.sf2 does not exist");
    std::string other = "unset";
    std::thread([&other] { other = MicrotuneLastError(); }).join();
    EXPECT_EQ(other, "");
}
