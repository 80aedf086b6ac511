// Listing the notes in play, and an audible check of the pitch-bend range.
#include <cmath>
#include <cstdio>

#include "microtune.h"
#include "output/channel_messages.h"
#include "state/library_lock.h"
#include "state/state.h"
#include "tuning/log_exp.h"

namespace mt {
namespace {

// 4096 bend units per semitone, 100 cents per semitone.
double BendInCents(double bend) { return (bend - 8192.0) * 0.000244140625 * 100.0; }

double IntervalInCents(double ratio) {
    const double v = ratio < 1e-50 ? 1e-50 : ratio;
    return 1200.0 * Log(v) / LN2;
}

}  // namespace
}  // namespace mt

extern "C" {

MICROTUNE_EXPORT int MICROTUNE_API PrintNotesInPlay(void) {
    mt::ExportLock lock;
    if (!lock) return 0;
    std::printf(
        "These are the notes in play for each channel:\n\nEach note shows:\n"
        "Interval from 1/1 in cents (Scale degree) Midi note]\n");
    const int channels = mt::ChannelsInUse();
    for (int channel = 0; channel < channels; ++channel) {
        bool first = true;
        for (int row = 0; row < mt::nNotesInPlay; ++row) {
            if (mt::iChannel[row] != channel) continue;
            if (first)
                std::printf("\nChann:, %d: pitch bend %g cents, playing: ", channel,
                            mt::BendInCents(mt::dBend[channel]));
            else
                std::printf(", ");
            first = false;
            std::printf("%g (%d) [%d]", mt::IntervalInCents(mt::dRatio[row]), mt::iDegree[row],
                        mt::iNote[row]);
        }
    }
    return std::printf("\n");
}

MICROTUNE_EXPORT int MICROTUNE_API TestPitchBendRange(void) {
    // Two semitones down from 62 and (almost) two up from 58 meet at 60 only
    // when the synthesizer bends by 2 semitones. The lock is let go for
    // every pause, so other threads may play meanwhile.
    using namespace mt;
    {
        ExportLock lock;
        if (!lock) return 0;
        SendPitchBend(hMidiOut, 0, 0.0);
    }
    SleepSeconds(0.5);
    {
        ExportLock lock;
        MidiNoteOn(hMidiOut, 0, 62, 127);
    }
    SleepSeconds(1.0);
    {
        ExportLock lock;
        MidiNoteOff(hMidiOut, 0, 62, 127);
        SendPitchBend(hMidiOut, 1, 16383.0);
    }
    SleepSeconds(0.5);
    {
        ExportLock lock;
        MidiNoteOn(hMidiOut, 1, 58, 127);
    }
    SleepSeconds(1.0);
    ExportLock lock;
    return MidiNoteOff(hMidiOut, 1, 58, 127);
}

}  // extern "C"
