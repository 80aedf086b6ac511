// Parts: the channel rule with parts, what a channel passing to another part
// is sent, and stops that keep to their part. Every scenario starts from an
// output just opened on the default scale (degree 0 is note 60 at bend 8192).
#include <vector>

#include "microtune_ext.h"
#include "notes_test_helpers.h"

using namespace notes_test;

namespace {

uint32_t Program(int channel, int voice) { return Msg(0xC0, channel, voice, 0); }
uint32_t Control(int channel, int controller, int value) {
    return Msg(0xB0, channel, controller, value);
}

// A channel set for a part at a bend, silent, released at a given time.
void SetChannel(int channel, int part, double bend, uint32_t released) {
    mt::iChannelPart[channel] = part;
    mt::bChannelPartStale[channel] = 0;
    mt::dBend[channel] = bend;
    mt::dwReleaseTime[channel] = released;
}

class PartsTest : public MicrotuneTest {
public:
    void ResetForScenario() { SetUp(); }
};

TEST_F(PartsTest, ChannelRuleAndWhatEachStepSends) {
    auto play = [](int part, int degree) {
        return [=] { MicrotunePlayPartDegree(part, degree, 100); };
    };
    auto stop = [](int part, int degree) {
        return [=] { MicrotuneStopPartDegree(part, degree, 0); };
    };
    auto voice = [](int part, int v) { return [=] { MicrotuneSetPartVoice(part, v); }; };
    auto control = [](int part, int c, int v) {
        return [=] { MicrotuneSetPartController(part, c, v); };
    };
    const std::vector<Scenario> scenarios = {
        {"two parts on one degree; a stop ends its own part's note only",
         {{voice(1, 40), {}},
          {voice(2, 73), {}},
          {play(1, 0), {Program(0, 40), NoteOn(0, 60, 100)}},
          {play(2, 0), {Program(1, 73), NoteOn(1, 60, 100)}},
          {stop(2, 0), {NoteOff(1, 60, 0)}},
          {[] { StopScaleDegree(0, 0); }, {}},  // part 0 plays no degree 0
          {stop(1, 0), {NoteOff(0, 60, 0)}}}},
        {"the oldest row stopped: the later row moves down with its part",
         {{play(1, 0), {Program(0, 0), NoteOn(0, 60, 100)}},
          {play(2, 0), {Program(1, 0), NoteOn(1, 60, 100)}},
          {stop(1, 0), {NoteOff(0, 60, 0)}},
          {stop(2, 0), {NoteOff(1, 60, 0)}}}},
        {"a silent channel passing to another part: program, its controllers, defaults back",
         {{control(1, 7, 90), {}},
          {control(1, 10, 20), {}},
          {voice(2, 5), {}},
          {control(2, 11, 110), {}},
          {play(1, 0), {Program(0, 0), Control(0, 7, 90), Control(0, 10, 20), NoteOn(0, 60, 100)}},
          {stop(1, 0), {NoteOff(0, 60, 0)}},
          {[] {
               for (int ch = 1; ch < 16; ++ch) mt::dwReleaseTime[ch] = 10;
           },
           {}},
          {play(2, 0),
           {Program(0, 5), Control(0, 7, 100), Control(0, 10, 64), Control(0, 11, 110),
            NoteOn(0, 60, 100)}}}},
        {"changes reach sounding channels at once, silent ones at their next note",
         {{play(1, 0), {Program(0, 0), NoteOn(0, 60, 100)}},
          {control(1, 7, 50), {Control(0, 7, 50)}},
          {voice(1, 24), {Program(0, 24)}},
          {stop(1, 0), {NoteOff(0, 60, 0)}},
          {control(1, 10, 30), {}},
          {play(1, 0),
           {Program(0, 24), Control(0, 7, 50), Control(0, 10, 30), NoteOn(0, 60, 100)}}}},
        {"silent channels: own part and bend, then own part, then any, longest released",
         {{voice(3, 3), {}},
          {[] {
               SetChannel(3, 1, 8192, 5);
               SetChannel(6, 1, 9420, 10);
               SetChannel(7, 1, 7000, 2);
               Set1o1(447.69106452518196);  // degree 0: note 69, bend 9420
           },
           {}},
          {play(1, 0), {NoteOn(6, 69, 100)}},
          {play(1, 12), {NoteOn(6, 81, 100)}},  // shares the sounding channel
          {play(3, 0), {Program(0, 3), Bend(0, 9420), NoteOn(0, 69, 100)}},
          {[] { Set1o1(429.9503861110682); }, {}},  // bend 6554
          {play(1, 0), {Bend(7, 6554), NoteOn(7, 69, 100)}},
          {[] { Set1o1(440.0); }, {}},
          {play(1, 0), {NoteOn(3, 69, 100)}}}},
        {"every channel sounding: the one released longest ago is silenced",
         {{[] {
               for (int part = 1; part < 16; ++part) MicrotunePlayPartDegree(part, 0, 100);
               for (int ch = 0; ch < 16; ++ch) mt::dwReleaseTime[ch] = 100 - ch;
               fake::ClearEvents();
           },
           {}},
          {[] { PlayScaleDegree(0, 100); },
           {NoteOff(15, 60, 127), Program(15, 0), NoteOn(15, 60, 100)}}}},
        {"SetMidiVoice once parts are in use sets every part's voice",
         {{voice(3, 40), {}},
          {[] { SetMidiVoice(7); },
           {Program(0, 7), Program(1, 7), Program(2, 7), Program(3, 7), Program(4, 7),
            Program(5, 7), Program(6, 7), Program(7, 7), Program(8, 7), Program(10, 7),
            Program(11, 7), Program(12, 7), Program(13, 7), Program(14, 7), Program(15, 7)}},
          {play(3, 0), {Program(0, 7), NoteOn(0, 60, 100)}}}},
    };
    RunScenarios(*this, scenarios);
}

TEST_F(PartsTest, InvalidArgumentsChangeNothingAndKeepTheClassicRule) {
    OpenOutput();
    const int answers[] = {
        MicrotuneSetPartVoice(-1, 0),          MicrotuneSetPartVoice(16, 0),
        MicrotuneSetPartVoice(1, 128),         MicrotuneSetPartVoice(1, -1),
        MicrotuneSetPartController(1, 64, 0),  MicrotuneSetPartController(1, 6, 0),
        MicrotuneSetPartController(1, 7, 128), MicrotuneSetPartController(16, 7, 0),
        MicrotunePlayPartDegree(16, 0, 100),   MicrotuneStopPartDegree(-1, 0, 0),
    };
    for (int answer : answers) EXPECT_EQ(answer, 0);
    EXPECT_EQ(mt::bPartsInUse, 0);
    EXPECT_EQ(mt::nNotesInPlay, 0);
    EXPECT_TRUE(fake::ShortMessages().empty());
}

}  // namespace
