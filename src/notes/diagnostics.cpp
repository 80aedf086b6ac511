// Listing the notes in play, and an audible check of the pitch-bend range.
#include <cmath>
#include <cstdio>

#include "microtune.h"
#include "notes/mpe_zone.h"
#include "output/channel_messages.h"
#include "state/library_lock.h"
#include "state/state.h"
#include "tuning/log_exp.h"

namespace mt {
namespace {

// 4096 bend units per semitone, 100 cents per semitone; on an MPE zone's
// members, 8192 units per range.
double BendInCents(int channel, double bend) {
    if (channel >= 1 && channel <= iMpeMembers)
        return (bend - 8192.0) * iMpeBendSemitones / 8192.0 * 100.0;
    return (bend - 8192.0) * 0.000244140625 * 100.0;
}

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
                            mt::BendInCents(channel, mt::dBend[channel]));
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
    // when the synthesizer bends by 2 semitones. In an MPE zone the tones
    // are members' notes bent by up to 12 semitones of the zone's range. The
    // lock is let go for every pause, so other threads may play meanwhile.
    using namespace mt;
    int first = 0, second = 1, high = 62, low = 58;
    double up = 16383.0;
    {
        ExportLock lock;
        if (!lock) return 0;
        if (iMpeMembers) {
            const int semitones = iMpeBendSemitones < 12 ? iMpeBendSemitones : 12;
            first = 1;
            second = iMpeMembers > 1 ? 2 : 1;
            high = 60 + semitones;
            low = 60 - semitones;
            up = MpeBend(semitones);
            SendMpeBend(first, MpeBend(-semitones));
        } else {
            SendPitchBend(hMidiOut, 0, 0.0);
        }
    }
    SleepSeconds(0.5);
    {
        ExportLock lock;
        MidiNoteOn(hMidiOut, first, high, 127);
    }
    SleepSeconds(1.0);
    {
        ExportLock lock;
        MidiNoteOff(hMidiOut, first, high, 127);
        if (first != 0)
            SendMpeBend(second, static_cast<int>(up));
        else
            SendPitchBend(hMidiOut, second, up);
    }
    SleepSeconds(0.5);
    {
        ExportLock lock;
        MidiNoteOn(hMidiOut, second, low, 127);
    }
    SleepSeconds(1.0);
    ExportLock lock;
    return MidiNoteOff(hMidiOut, second, low, 127);
}

}  // extern "C"
