// The fixed pitch corpus played through the exports on the companion route
// must send exactly what every other build sends: the digest checked in
// beside the corpus is the same for 64-bit and 32-bit builds and for the
// Windows DLL.
#include <cstdio>
#include <vector>

#include "fixture.h"
#include "microtune_ext.h"
#include "pitch_corpus.h"

namespace {

uint64_t digest;
// What the tap saw, and the pitches MicrotuneDegreePitch promised that the
// play did not send.
std::vector<std::array<int, 4>> tapped;
long pitchMismatches;
int highestChannel;

void MICROTUNE_CAPI Tap(void *, int channel, int status, int data1, int data2) {
    tapped.push_back({status, channel, data1, data2});
    if (channel > highestChannel) highestChannel = channel;
}

void Scale(double hz, char *text) {
    Set1o1(hz);
    SetMidiScale(text);
}

void Pitch(int degree) {
    int note = -1, bend = -1;
    MicrotuneDegreePitch(degree, &note, &bend);
    PlayScaleDegree(degree, 100);
    // The note-on just sent, and the bend its channel now carries.
    const fake::Event *last = nullptr;
    for (auto e = fake::Events().rbegin(); !last && e != fake::Events().rend(); ++e)
        if (e->kind == fake::EventKind::CompanionSend) last = &*e;
    if (!last) return (void)++pitchMismatches;
    const std::array<int, 4> &on = last->args;
    if (on[0] != 0x90 || on[2] != note || mt::dBend[on[1]] != bend) ++pitchMismatches;
    StopAllNotesPlayed(64);
}

void ScaleDone() {
    const std::vector<std::array<int, 4>> sends = fake::CompanionSends();
    for (const std::array<int, 4> &send : sends)
        digest = PitchCorpusFold(digest, send[0], send[1], send[2], send[3]);
    // The tap saw each message before it went, with the channel in the status.
    bool tapExact = tapped.size() == sends.size();
    for (size_t i = 0; tapExact && i < sends.size(); ++i)
        tapExact = tapped[i] == std::array<int, 4>{sends[i][0] | (sends[i][1] & 15), sends[i][1],
                                                   sends[i][2], sends[i][3]};
    EXPECT_TRUE(tapExact) << tapped.size() << " tapped, " << sends.size() << " sent";
    tapped.clear();
    fake::ClearEvents();
}

class DeterminismTest : public MicrotuneTest {};

TEST_F(DeterminismTest, PitchCorpusSendsTheCheckedInDigest) {
    fake::Modules modules;
    modules.qtJavaNative = true;
    modules.tembrelLib = true;
    fake::SetModules(modules);
    ASSERT_EQ(StartMidiOutForiDev(0), 1);
    fake::ClearEvents();
    ASSERT_EQ(MicrotuneSetMessageTap(Tap, nullptr), 1);
    pitchMismatches = 0;

    digest = PITCH_CORPUS_FNV_OFFSET;
    const PitchCorpusHost host = {Scale, Pitch, ScaleDone};
    const long pitches = PitchCorpusRun(&host);
    char line[100];
    std::snprintf(line, sizeof line, "%ld pitches, digest 0x%016llx", pitches,
                  static_cast<unsigned long long>(digest));
    EXPECT_EQ(pitches, PITCH_CORPUS_PITCHES) << line;
    EXPECT_EQ(digest, PITCH_CORPUS_DIGEST) << line;
    EXPECT_EQ(pitchMismatches, 0);
    EXPECT_EQ(highestChannel, 31);  // the 32-channel route, all of it
    MicrotuneSetMessageTap(nullptr, nullptr);
}

}  // namespace
