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
#include "open_sequence.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct Sink {
    std::mutex mutex;
    std::vector<Bytes> messages;

    static void Receive(double, std::vector<unsigned char> *message, void *self) {
        Sink *sink = static_cast<Sink *>(self);
        std::lock_guard<std::mutex> lock(sink->mutex);
        sink->messages.push_back(*message);
    }

    std::vector<Bytes> WaitFor(size_t count, double seconds) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (messages.size() >= count) break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        std::lock_guard<std::mutex> lock(mutex);
        return messages;
    }
};

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
    EXPECT_EQ(sink.WaitFor(expected.size(), 10.0), expected);

    EXPECT_EQ(StopMidiOut(), 1);
    StopAllNotesPlayed(0);  // the output is closed: nothing more is sent
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(sink.WaitFor(expected.size() + 1, 0.1).size(), expected.size());
}

}  // namespace
