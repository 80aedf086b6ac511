// Frequency notes: the same placement as a degree of that frequency, a
// channel of a note's own, glides within the bend range that never bend
// another note, and handles that go stale however their note ends. Every
// scenario starts from an output just opened on the default scale (degree 9
// is note 69 at bend 8192, 440 Hz).
#include <functional>
#include <vector>

#include "microtune_ext.h"
#include "notes_test_helpers.h"

using namespace notes_test;

namespace {

uint32_t Program(int channel, int voice) { return Msg(0xC0, channel, voice, 0); }

const double HZ_30_CENTS_UP = 447.69106452518196;   // note 69, bend 9420
const double HZ_SEMITONE_UP = 466.1637615180899;    // from note 69: bend 12288
const double HZ_SEMITONE_DOWN = 415.3046975799451;  // from note 69: bend 4096
const double HZ_BEYOND = 507.5942023401506;         // 2.5 semitones above 440

struct Step {
    std::function<int()> call;
    int result;
    Messages sent;
};

struct Scenario {
    const char *name;
    std::vector<Step> steps;
};

std::function<int()> Play(int part, double hz, int flags = 0) {
    return [=] { return MicrotunePlayPartFrequency(part, hz, 100, flags); };
}
std::function<int()> Stop(int handle) {
    return [=] { return MicrotuneStopNote(handle, 0); };
}
std::function<int()> Glide(int handle, double hz) {
    return [=] { return MicrotuneGlideNote(handle, hz); };
}

class FrequencyNotesTest : public MicrotuneTest {};

TEST_F(FrequencyNotesTest, PlacementGlidesAndHandles) {
    const Scenario scenarios[] = {
        {"a frequency plays as a degree of it would; stops by degree never reach it",
         {{Play(1, HZ_30_CENTS_UP), 1, {Program(0, 0), Bend(0, 9420), NoteOn(0, 69, 100)}},
          {[] {
               Set1o1(HZ_30_CENTS_UP);
               return MicrotunePlayPartDegree(1, 0, 100);
           },
           2,
           {NoteOn(0, 69, 100)}},  // shares the channel, as two degrees would
          {[] { return MicrotuneStopPartDegree(1, 1, 0); }, 2, {}},  // degree 1 is not handle 1
          {Stop(1), 1, {NoteOff(0, 69, 0)}},
          {Stop(1), 0, {}}}},
        {"a channel of its own: no later note joins it; glides within the bend range",
         {{Play(1, 440.0, MICROTUNE_OWN_CHANNEL), 1, {Program(0, 0), NoteOn(0, 69, 100)}},
          {Play(1, 440.0), 2, {Program(1, 0), NoteOn(1, 69, 100)}},
          {[] { return MicrotunePlayPartDegree(1, 9, 100); }, 3, {NoteOn(1, 69, 100)}},
          {Glide(1, HZ_SEMITONE_UP), 1, {Bend(0, 12288)}},
          {Glide(1, HZ_SEMITONE_DOWN), 1, {Bend(0, 4096)}},
          {Glide(1, HZ_BEYOND), 0, {}},
          {Glide(1, 0.0), 0, {}},
          {Glide(1, HZ_30_CENTS_UP), 1, {Bend(0, 9420)}},
          {Play(1, HZ_30_CENTS_UP), 3, {Program(2, 0), Bend(2, 9420), NoteOn(2, 69, 100)}}}},
        {"a glide is refused while another note shares the channel",
         {{Play(1, 440.0), 1, {Program(0, 0), NoteOn(0, 69, 100)}},
          {[] { return MicrotunePlayPartDegree(1, 9, 100); }, 2, {NoteOn(0, 69, 100)}},
          {Glide(1, HZ_SEMITONE_UP), 0, {}},
          {[] { return MicrotuneStopPartDegree(1, 9, 0) == static_cast<int>(fake::Clock()); },
           1,
           {NoteOff(0, 69, 0)}},
          {Glide(1, HZ_SEMITONE_UP), 1, {Bend(0, 12288)}}}},
        {"StopAllNotesPlayed makes handles stale",
         {{Play(2, 440.0), 1, {Program(0, 0), NoteOn(0, 69, 100)}},
          {[] { return StopAllNotesPlayed(0); }, 1, {NoteOff(0, 69, 0)}},
          {Stop(1), 0, {}},
          {Glide(1, 440.0), 0, {}},
          {Play(2, 440.0), 2, {NoteOn(0, 69, 100)}}}},
        {"a note silenced by the channel rule goes stale; a note of its own gets that channel",
         {{[] {
               for (int part = 1; part < 16; ++part)
                   MicrotunePlayPartFrequency(part, 440.0, 100, MICROTUNE_OWN_CHANNEL);
               for (int ch = 0; ch < 16; ++ch) mt::dwReleaseTime[ch] = 100 - ch;
               return mt::nNotesInPlay;
           },
           15,
           {Program(0, 0),  NoteOn(0, 69, 100),  Program(1, 0),  NoteOn(1, 69, 100),
            Program(2, 0),  NoteOn(2, 69, 100),  Program(3, 0),  NoteOn(3, 69, 100),
            Program(4, 0),  NoteOn(4, 69, 100),  Program(5, 0),  NoteOn(5, 69, 100),
            Program(6, 0),  NoteOn(6, 69, 100),  Program(7, 0),  NoteOn(7, 69, 100),
            Program(8, 0),  NoteOn(8, 69, 100),  Program(10, 0), NoteOn(10, 69, 100),
            Program(11, 0), NoteOn(11, 69, 100), Program(12, 0), NoteOn(12, 69, 100),
            Program(13, 0), NoteOn(13, 69, 100), Program(14, 0), NoteOn(14, 69, 100),
            Program(15, 0), NoteOn(15, 69, 100)}},
          {Play(1, 440.0, MICROTUNE_OWN_CHANNEL),
           16,
           {NoteOff(15, 69, 127), Program(15, 0), NoteOn(15, 69, 100)}},
          {Stop(15), 0, {}},
          {Glide(16, HZ_SEMITONE_UP), 1, {Bend(15, 12288)}},
          {Stop(14), 1, {NoteOff(14, 69, 0)}}}},
        {"invalid arguments and a full table send nothing",
         {{Play(16, 440.0), 0, {}},
          {Play(-1, 440.0), 0, {}},
          {Play(1, 0.0), 0, {}},
          {Play(1, -440.0), 0, {}},
          {Play(1, 1.0 / 0.0), 0, {}},
          {Play(1, 0.0 / 0.0), 0, {}},
          {Play(1, 440.0, 2), 0, {}},
          {Stop(0), 0, {}},
          {Stop(-1), 0, {}},
          {[] {
               mt::nNotesInPlay = mt::MAX_NOTES_IN_PLAY;
               return MicrotunePlayPartFrequency(1, 440.0, 100, 0);
           },
           0,
           {}}}},
    };
    for (const Scenario &s : scenarios) {
        SetUp();
        OpenOutput();
        for (size_t i = 0; i < s.steps.size(); ++i) {
            fake::ClearEvents();
            EXPECT_EQ(s.steps[i].call(), s.steps[i].result) << s.name << ", step " << i;
            EXPECT_EQ(fake::ShortMessages(), s.steps[i].sent) << s.name << ", step " << i;
        }
    }
}

}  // namespace
