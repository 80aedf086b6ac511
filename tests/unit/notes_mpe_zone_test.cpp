// The MPE zone over the fake back-end: its configuration, bends before
// note-ons, the choice of members, exhaustion, percussion, parts, stop-all
// and the return to classic output. Every scenario starts from an output
// just opened on the default scale (degree d is key 60 + d, unbent).
#include <cmath>
#include <vector>

#include "microtune_ext.h"
#include "notes_test_helpers.h"

using namespace notes_test;

namespace {

uint32_t Control(int channel, int controller, int value) {
    return Msg(0xB0, channel, controller, value);
}
uint32_t Program(int channel, int voice) { return Msg(0xC0, channel, voice, 0); }

// A registered parameter and the null one after it.
Messages Rpn(int channel, int parameter, int value) {
    Messages m = {Control(channel, 101, 0), Control(channel, 100, parameter),
                  Control(channel, 6, value)};
    if (parameter == 0) m.push_back(Control(channel, 38, 0));
    m.push_back(Control(channel, 101, 127));
    m.push_back(Control(channel, 100, 127));
    return m;
}

Messages Join(std::initializer_list<Messages> parts) {
    Messages all;
    for (const Messages &p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// The configuration message, every member's range, the manager's 2, the voice.
Messages Configuration(int members, int semitones, int voice = 0) {
    Messages m = Rpn(0, 6, members);
    for (int ch = 1; ch <= members; ++ch) m = Join({m, Rpn(ch, 0, semitones)});
    return Join({m, Rpn(0, 0, 2), {Program(0, voice)}});
}

Messages CentredBends(int from, int to, bool skipDrums) {
    Messages m;
    for (int ch = from; ch <= to; ++ch)
        if (!(skipDrums && ch == 9)) m.push_back(Bend(ch, 8192));
    return m;
}

// 30 cents above key 69: 9420 on 2 semitones, 8243 on 48.
constexpr double SHARP_A_HZ = 447.69106452518196;

class MpeZoneTest : public MicrotuneTest {
public:
    void ResetForScenario() { SetUp(); }
};

TEST_F(MpeZoneTest, WhatEachStepSends) {
    auto zone = [](int members, int semitones) {
        return [=] { EXPECT_EQ(MicrotuneSetMpeZone(members, semitones), 1); };
    };
    auto play = [](int degree) { return [=] { PlayScaleDegree(degree, 100); }; };
    auto stop = [](int degree, uint32_t at) {
        return [=] {
            fake::SetClock(at);
            StopScaleDegree(degree, 0);
        };
    };
    auto sharpA = [] { Set1o1(SHARP_A_HZ); };
    const std::vector<Scenario> scenarios = {
        {"configured at once while open, and again at every open",
         {{zone(3, 48), Configuration(3, 48)},
          {[] {
               CloseMidiOut();
               OpenMidiOut(0);
           },
           Join({CentredBends(1, 3, false), Configuration(3, 48), CentredBends(0, 15, true)})},
          {zone(3, 48), {}}}},
        {"bends before every note-on, one member per note, the one released longest ago",
         {{sharpA, {}},
          {zone(3, 48), Configuration(3, 48)},
          {play(0), {Bend(1, 8243), NoteOn(1, 69, 100)}},
          {play(12), {Bend(2, 8243), NoteOn(2, 81, 100)}},  // same bend, own member
          {stop(0, 50), {NoteOff(1, 69, 0)}},
          {play(1), {Bend(3, 8243), NoteOn(3, 70, 100)}},  // 3 released at the open
          {stop(12, 60), {NoteOff(2, 81, 0)}},
          {play(0), {Bend(1, 8243), NoteOn(1, 69, 100)}}}},  // unchanged, sent again
        {"every member sounding: a member at the bend without the key, then silencing",
         {{zone(2, 48), Configuration(2, 48)},
          {play(0), {Bend(1, 8192), NoteOn(1, 60, 100)}},
          {play(4), {Bend(2, 8192), NoteOn(2, 64, 100)}},
          {play(7), {Bend(1, 8192), NoteOn(1, 67, 100)}},
          {play(4), {Bend(1, 8192), NoteOn(1, 64, 100)}},  // member 2 sounds key 64
          {sharpA, {}},
          {play(0),
           {NoteOff(1, 60, 127), NoteOff(1, 67, 127), NoteOff(1, 64, 127), Bend(1, 8243),
            NoteOn(1, 69, 100)}}}},
        {"stop-all centres the members; back to classic: 2 semitones everywhere",
         {{zone(2, 24), Configuration(2, 24)},
          {play(0), {Bend(1, 8192), NoteOn(1, 60, 100)}},
          {play(4), {Bend(2, 8192), NoteOn(2, 64, 100)}},
          {[] { StopAllNotesPlayed(0); },
           {NoteOff(1, 60, 0), NoteOff(2, 64, 0), Bend(1, 8192), Bend(2, 8192)}},
          {play(0), {Bend(1, 8192), NoteOn(1, 60, 100)}},
          {zone(0, 0),
           [] {
               Messages m =
                   Join({{NoteOff(1, 60, 127), Bend(1, 8192), Bend(2, 8192)}, Rpn(0, 6, 0)});
               for (int ch = 0; ch < 16; ++ch) m = Join({m, Rpn(ch, 0, 2)});
               for (int ch = 0; ch < 16; ++ch)
                   if (ch != 9) m.push_back(Program(ch, 0));
               return m;
           }()},
          {play(0), {NoteOn(0, 60, 100)}}}},
        {"percussion only outside the zone; a smaller zone gives channel 9 back its range",
         {{zone(9, 48), Configuration(9, 48)},
          {[] { EXPECT_EQ(PlayNonMelodicPercussion(38, 100), 0); }, {}},
          {zone(8, 48), Join({CentredBends(1, 9, false), Configuration(8, 48), Rpn(9, 0, 2)})},
          {[] { EXPECT_EQ(PlayNonMelodicPercussion(38, 100), 1); }, {NoteOn(9, 38, 100)}},
          {play(0), {Bend(1, 8192), NoteOn(1, 60, 100)}}}},
        {"a member on channel 9 plays and stops like any other",
         {{zone(15, 48), Configuration(15, 48)},
          {[] {
               for (int ch = 0; ch < 16; ++ch) mt::iMpeReleaseOrder[ch] = ch == 9 ? 0 : 10;
           },
           {}},
          {play(0), {Bend(9, 8192), NoteOn(9, 60, 100)}},
          {[] { EXPECT_EQ(StopNonMelodicPercussion(60, 0), 1); }, {}},
          {stop(0, 20), {NoteOff(9, 60, 0)}}}},
        {"part 0 is the zone, its voice and controllers on the manager",
         {{zone(2, 48), Configuration(2, 48)},
          {[] { EXPECT_EQ(MicrotuneSetPartVoice(0, 40), 1); }, {Program(0, 40)}},
          {[] { EXPECT_EQ(MicrotuneSetPartController(0, 7, 90), 1); }, {Control(0, 7, 90)}},
          {[] {
               EXPECT_EQ(MicrotuneSetPartVoice(1, 5), 0);
               EXPECT_EQ(MicrotuneSetPartController(2, 7, 5), 0);
               EXPECT_EQ(MicrotunePlayPartDegree(1, 0, 100), 0);
               EXPECT_EQ(MicrotuneStopPartDegree(1, 0, 100), 0);
           },
           {}},
          {[] { MicrotunePlayPartDegree(0, 0, 100); }, {Bend(1, 8192), NoteOn(1, 60, 100)}},
          {[] { SetMidiVoice(7); }, {Program(0, 7)}},
          {[] { CloseMidiOut(); }, {NoteOff(1, 60, 127), Bend(1, 8192), Bend(2, 8192)}},
          {[] { OpenMidiOut(0); },
           Join({Configuration(2, 48, 7), {Control(0, 7, 90)}, CentredBends(0, 15, true)})}}},
        {"no bends ahead in a zone; the bend-range test on members",
         {{zone(4, 48), Configuration(4, 48)},
          {[] {
               char scale[] = "9/8 5/4 2/1";
               SetMidiScale(scale);
               DoBendForScaleDegree(1);
           },
           {}},
          {[] { TestPitchBendRange(); },
           {Bend(1, 6144), NoteOn(1, 72, 127), NoteOff(1, 72, 127), Bend(2, 10240),
            NoteOn(2, 48, 127), NoteOff(2, 48, 127)}}}},
    };
    RunScenarios(*this, scenarios);
}

TEST_F(MpeZoneTest, InvalidZonesChangeNothing) {
    OpenOutput();
    const int refused[][2] = {{-1, 48}, {16, 48}, {1, 0}, {1, 97}, {15, -48}};
    for (const auto &z : refused) EXPECT_EQ(MicrotuneSetMpeZone(z[0], z[1]), 0) << z[0];
    EXPECT_EQ(mt::iMpeMembers, 0);
    EXPECT_EQ(MicrotuneSetMpeZone(0, 500), 1);  // classic already; the range is ignored
    EXPECT_TRUE(fake::ShortMessages().empty());
    EXPECT_EQ(nChannelsAvailable(), 16);
}

// Every pitch within half a step of the zone's range, as the library says
// it plays it and as it does play it.
TEST_F(MpeZoneTest, BendWithinHalfAStepOfEveryRange) {
    OpenOutput();
    for (int semitones : {1, 2, 24, 48, 96}) {
        ASSERT_EQ(MicrotuneSetMpeZone(1, semitones), 1);
        for (double hz = 100.0; hz < 2000.0; hz *= 1.0137) {
            Set1o1(hz);
            int note = -1, bend = -1;
            ASSERT_EQ(MicrotuneDegreePitch(0, &note, &bend), 1);
            const double exact = 69.0 + 12.0 * std::log2(hz / 440.0);
            const double played = note + (bend - 8192) * semitones / 8192.0;
            EXPECT_LE(std::fabs(played - exact), semitones / 16384.0 + 1e-9) << hz;
            fake::ClearEvents();
            PlayScaleDegree(0, 100);
            EXPECT_EQ(fake::ShortMessages(), (Messages{Bend(1, bend), NoteOn(1, note, 100)}));
            StopAllNotesPlayed(0);
        }
    }
}

}  // namespace
