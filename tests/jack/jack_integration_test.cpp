// libmicrotune.so against a real MIDI transport: the test's own JACK server
// (dummy driver) and an RtMidi virtual input as the sink. The library sees
// the sink among its devices and sends it the open sequence and a note.
#include <gtest/gtest.h>
#include <rtmidi/RtMidi.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "jack_server.h"
#include "microtune.h"
#include "midi_sink.h"

namespace {

TEST(JackIntegration, SinkReceivesTheOpenSequenceAndANote) {
    JackServer server;
    ASSERT_TRUE(server.WaitUntilReady(10.0)) << "JACK server did not start";

    Sink sink;
    RtMidiIn input(RtMidi::UNIX_JACK, "microtune-test");
    input.ignoreTypes(false, false, false);
    input.setCallback(&Sink::Receive, &sink);
    input.openVirtualPort("microtune-sink");

    const int count = nNumOutDevices();
    int sinkIndex = -1;
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        char name[1024];
        names.push_back(szNameForDevice(i, name, sizeof name));
        if (names.back().find("microtune-sink") != std::string::npos) sinkIndex = i;
    }
    ASSERT_GE(sinkIndex, 0) << "sink port not among " << count << " devices";
    EXPECT_EQ(names[sinkIndex], "microtune-test:microtune-sink");

    SetMidiVoice(40);
    ASSERT_EQ(StartMidiOutForiDev(sinkIndex), 1);
    EXPECT_EQ(PlayScaleDegree(0, 100), 1);  // middle C, no bend needed

    std::vector<Bytes> expected = OpenSequence(40);
    expected.push_back({0x90, 60, 100});
    EXPECT_EQ(sink.WaitFor(0, expected.size(), 10.0), expected);

    EXPECT_EQ(StopMidiOut(), 1);
    StopAllNotesPlayed(0);  // the output is closed: nothing more is sent
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(sink.WaitFor(0, expected.size() + 1, 0.1).size(), expected.size());
}

// A chord stopped and the port closed at once, 30 times: every note-on
// must meet its note-off at the sink, though the port goes right after.
TEST(JackIntegration, NoteOffsReachTheSinkBeforeThePortCloses) {
    JackServer server;
    ASSERT_TRUE(server.WaitUntilReady(10.0)) << "JACK server did not start";
    Sink sink;
    RtMidiIn input(RtMidi::UNIX_JACK, "microtune-test");
    input.ignoreTypes(false, false, false);
    input.setCallback(&Sink::Receive, &sink);
    input.openVirtualPort("microtune-sink");
    int sinkIndex = -1;
    for (int i = 0, count = nNumOutDevices(); i < count; ++i) {
        char name[1024];
        if (std::string(szNameForDevice(i, name, sizeof name)).find("microtune-sink") !=
            std::string::npos)
            sinkIndex = i;
    }
    ASSERT_GE(sinkIndex, 0);

    constexpr int RUNS = 30;
    for (int run = 0; run < RUNS; ++run) {
        ASSERT_EQ(StartMidiOutForiDev(sinkIndex), 1);
        for (int degree : {0, 4, 7}) PlayScaleDegree(degree, 100);
        StopAllNotesPlayed(0);
        StopMidiOut();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    int ons = 0, offs = 0;
    for (const Bytes &m : sink.WaitFor(0, 0, 0.0)) {
        if ((m[0] & 0xF0) == 0x90 && m.size() == 3 && m[2] > 0) ++ons;
        if ((m[0] & 0xF0) == 0x80 || ((m[0] & 0xF0) == 0x90 && m.size() == 3 && m[2] == 0)) ++offs;
    }
    EXPECT_EQ(ons, 3 * RUNS);
    EXPECT_EQ(offs, ons);
}

}  // namespace
