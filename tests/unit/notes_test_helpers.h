// Shared helpers for the note engine tests: an output opened on a scripted
// fake device, and packed short messages spelled out.
#ifndef MICROTUNE_NOTES_TEST_HELPERS_H
#define MICROTUNE_NOTES_TEST_HELPERS_H

#include <cstdint>
#include <functional>
#include <vector>

#include "fixture.h"

namespace notes_test {

inline uint32_t Msg(int status, int channel, int data1, int data2) {
    return static_cast<uint32_t>(status | channel) | (static_cast<uint32_t>(data1) << 8) |
           (static_cast<uint32_t>(data2) << 16);
}
inline uint32_t NoteOn(int channel, int note, int velocity) {
    return Msg(0x90, channel, note, velocity);
}
inline uint32_t NoteOff(int channel, int note, int velocity) {
    return Msg(0x80, channel, note, velocity);
}
inline uint32_t Bend(int channel, int value) {
    return Msg(0xE0, channel, value & 0x7F, value >> 7);
}

// Opens Windows device 0 of a one-device fake and forgets the messages of
// the open, so that a test sees only its own traffic. Every release stamp
// then equals the clock at the open.
inline void OpenOutput() {
    fake::SetDevices({{"Synth"}});
    ASSERT_EQ(OpenMidiOut(0), 1);
    fake::ClearEvents();
}

using Messages = std::vector<uint32_t>;

// A scenario: calls, each with the messages it must send and nothing else.
struct Step {
    std::function<void()> call;
    Messages sent;
};

struct Scenario {
    const char *name;
    std::vector<Step> steps;
};

// Each scenario from a fresh state on an output just opened.
template <typename Fixture>
void RunScenarios(Fixture &fixture, const std::vector<Scenario> &scenarios) {
    for (const Scenario &s : scenarios) {
        fixture.ResetForScenario();
        OpenOutput();
        for (size_t i = 0; i < s.steps.size(); ++i) {
            fake::ClearEvents();
            s.steps[i].call();
            EXPECT_EQ(fake::ShortMessages(), s.steps[i].sent) << s.name << ", step " << i;
        }
    }
}

}  // namespace notes_test

#endif
