// The fixed pitch corpus played through the exports on the companion route
// must send exactly what every other build sends: the digest checked in
// beside the corpus is the same for 64-bit and 32-bit builds and for the
// Windows DLL.
#include <cstdio>

#include "fixture.h"
#include "pitch_corpus.h"

namespace {

uint64_t digest;

void Scale(double hz, char *text) {
    Set1o1(hz);
    SetMidiScale(text);
}

void Pitch(int degree) {
    PlayScaleDegree(degree, 100);
    StopAllNotesPlayed(64);
}

void ScaleDone() {
    for (const std::array<int, 4> &send : fake::CompanionSends())
        digest = PitchCorpusFold(digest, send[0], send[1], send[2], send[3]);
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

    digest = PITCH_CORPUS_FNV_OFFSET;
    const PitchCorpusHost host = {Scale, Pitch, ScaleDone};
    const long pitches = PitchCorpusRun(&host);
    char line[100];
    std::snprintf(line, sizeof line, "%ld pitches, digest 0x%016llx", pitches,
                  static_cast<unsigned long long>(digest));
    EXPECT_EQ(pitches, PITCH_CORPUS_PITCHES) << line;
    EXPECT_EQ(digest, PITCH_CORPUS_DIGEST) << line;
}

}  // namespace
