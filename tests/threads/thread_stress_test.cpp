// Several threads call the library at once for a few seconds: one plays and
// stops degrees, one installs scales and sets the 1/1, one asks for ratios
// and pitches, one has the tap attached and changes the voice. Under
// ThreadSanitizer any unguarded access is reported; afterwards every
// remembered ratio, note and bend must equal a fresh computation.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "microtune.h"
#include "microtune_ext.h"
#include "notes/choose_channel.h"
#include "platform/fake.h"
#include "state/library_lock.h"
#include "state/state.h"
#include "tuning/scale_table.h"

namespace {

// Periods 2 and 3, and a long table: the period caches change hands often.
char kScales[][80] = {"9/8 5/4 4/3 3/2 5/3 15/8 2/1", "7/6 4/3 3/2 7/4 2/1 3/1",
                      "100.0 250.0 400.0 1200.0", "1.1 1.2 1.3 1.4 1.5 1.6 1.7 1.8 1.9 2.9"};
const double kOneOnes[] = {261.6, 440.0, 293.66, 0.0};

std::atomic<long> tapped{0};

void MICROTUNE_CAPI CountingTap(void *, int, int, int, int) { ++tapped; }

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(ThreadStress, ConcurrentCallsLeaveEveryCachedPitchExact) {
    mt::ResetStateForTests();
    fake::Reset();
    fake::SetDevices({{"Synth"}});
    ASSERT_EQ(StartMidiOutForiDev(0), 1);

    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    threads.emplace_back([&] {  // player
        for (int i = 0; !stop; ++i) {
            PlayScaleDegree(i % 97 - 48, 100);
            if (i % 3 == 0) StopScaleDegree((i - 3) % 97 - 48, 64);
            if (i % 500 == 0) StopAllNotesPlayed(0);
            if (i % 4000 == 0) {  // the fake records every message: keep it small
                mt::ExportLock lock;
                fake::ClearEvents();
            }
        }
    });
    threads.emplace_back([&] {  // tuner
        for (int i = 0; !stop; ++i) {
            Set1o1(kOneOnes[i % 4]);
            SetMidiScale(kScales[i % 4]);
        }
    });
    threads.emplace_back([&] {  // asker
        for (int i = 0; !stop; ++i) {
            int note, bend;
            MicrotuneDegreePitch(i % 2000 - 1000, &note, &bend);
            mt::ExportLock lock;
            mt::RatioForScaleDegree(mt::ScaleTable.ratios, mt::ScaleTable.nScaleNotes,
                                    i % 3001 - 1500);
        }
    });
    threads.emplace_back([&] {  // tap holder
        for (int i = 0; !stop; ++i) {
            MicrotuneSetMessageTap(i % 2 ? CountingTap : nullptr, nullptr);
            SetMidiVoice(i % 128);
            std::this_thread::yield();
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    stop = true;
    for (std::thread &thread : threads) thread.join();
    MicrotuneSetMessageTap(nullptr, nullptr);
    EXPECT_GT(tapped.load(), 0);
    EXPECT_FALSE(fake::LockHeld());

    // Every entry still valid for the tuning in force is what a fresh
    // computation gives, and so is every degree asked for now.
    long checked = 0;
    for (int i = 0; i < mt::DEGREE_PITCH_COUNT; ++i) {
        const int degree = mt::DEGREE_PITCH_LOWEST + i;
        int note, bend;
        ASSERT_EQ(MicrotuneDegreePitch(degree, &note, &bend), 1);
        const mt::DegreePitch &entry = mt::DegreePitches[i];
        const double ratio =
            mt::RatioForScaleDegree(mt::ScaleTable.ratios, mt::ScaleTable.nScaleNotes, degree);
        int freshNote, freshBend;
        mt::NoteAndBend(mt::d1o1Hz * ratio, &freshNote, &freshBend);
        ASSERT_EQ(entry.stamp, mt::nTuningVersion) << degree;
        EXPECT_TRUE(SameBits(entry.ratio, ratio)) << degree;
        EXPECT_EQ(entry.note, freshNote) << degree;
        EXPECT_EQ(entry.bend, freshBend) << degree;
        EXPECT_EQ(note, freshNote) << degree;
        EXPECT_EQ(bend, freshBend) << degree;
        ++checked;
    }
    EXPECT_EQ(checked, mt::DEGREE_PITCH_COUNT);
}

}  // namespace
