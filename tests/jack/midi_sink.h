// What the JACK tests' sink receives, and what opening a MIDI output sends
// on its 16 channels as MIDI bytes: the 2-semitone bend range, a centring
// bend and the voice, each to every channel but 9.
#ifndef MICROTUNE_TEST_MIDI_SINK_H
#define MICROTUNE_TEST_MIDI_SINK_H

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using Bytes = std::vector<unsigned char>;

// Collects what an RtMidi input receives (set Receive as its callback).
struct Sink {
    std::mutex mutex;
    std::vector<Bytes> messages;

    static void Receive(double, std::vector<unsigned char> *message, void *self) {
        Sink *sink = static_cast<Sink *>(self);
        std::lock_guard<std::mutex> lock(sink->mutex);
        sink->messages.push_back(*message);
    }

    size_t Count() {
        std::lock_guard<std::mutex> lock(mutex);
        return messages.size();
    }

    // The messages from index `from` on, once there are `count` of them or the
    // time is up.
    std::vector<Bytes> WaitFor(size_t from, size_t count, double seconds) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < deadline && Count() < from + count)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::lock_guard<std::mutex> lock(mutex);
        if (messages.size() <= from) return {};
        return std::vector<Bytes>(messages.begin() + static_cast<long>(from), messages.end());
    }
};

inline std::vector<std::vector<unsigned char>> OpenSequence(unsigned char voice) {
    std::vector<std::vector<unsigned char>> expected;
    for (unsigned char ch = 0; ch < 16; ++ch) {
        if (ch == 9) continue;
        expected.push_back({static_cast<unsigned char>(0xB0 | ch), 101, 0});
        expected.push_back({static_cast<unsigned char>(0xB0 | ch), 100, 0});
        expected.push_back({static_cast<unsigned char>(0xB0 | ch), 6, 2});
        expected.push_back({static_cast<unsigned char>(0xB0 | ch), 38, 0});
    }
    for (unsigned char ch = 0; ch < 16; ++ch)
        if (ch != 9) expected.push_back({static_cast<unsigned char>(0xE0 | ch), 0, 64});
    for (unsigned char ch = 0; ch < 16; ++ch)
        if (ch != 9) expected.push_back({static_cast<unsigned char>(0xC0 | ch), voice});
    return expected;
}

#endif
