// Remembering what each degree near the 1/1 came to. Notes are played far
// more often than the scale or the 1/1 change, and a fresh pitch costs an
// exp and two logs.
#include "notes/degree_pitch.h"

#include <cstdint>
#include <cstring>

#include "microtune_ext.h"
#include "notes/choose_channel.h"
#include "notes/mpe_zone.h"
#include "state/library_lock.h"
#include "state/state.h"
#include "tuning/scale_table.h"

namespace mt {

namespace {

Pitch PitchFrom(const double *ratios, int count, double hz, int degree) {
    Pitch pitch;
    pitch.ratio = RatioForScaleDegree(ratios, count, degree);
    NoteAndBend(hz * pitch.ratio, &pitch.note, &pitch.bend, &pitch.offset);
    return pitch;
}

Pitch FreshPitch(int degree) {
    return PitchFrom(ScaleTable.ratios, ScaleTable.nScaleNotes, d1o1Hz, degree);
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

Pitch PitchOfDegreeAfresh(int degree) {
    const uint32_t index =
        static_cast<uint32_t>(degree) - static_cast<uint32_t>(DEGREE_PITCH_LOWEST);
    if (index >= static_cast<uint32_t>(DEGREE_PITCH_COUNT)) return FreshPitch(degree);

    // A new 1/1 (NaN matches itself: the bits are compared) forgets every
    // degree remembered under the old one.
    if (!SameBits(d1o1Hz, dDegreePitches1o1Hz)) {
        TuningChanged();
        dDegreePitches1o1Hz = d1o1Hz;
    }

    DegreePitch &entry = DegreePitches[index];
    const Pitch pitch = FreshPitch(degree);
    entry.ratio = pitch.ratio;
    entry.offset = pitch.offset;
    entry.stamp = nTuningVersion;
    entry.note = static_cast<int16_t>(pitch.note);  // 0..127
    entry.bend = static_cast<int16_t>(pitch.bend);  // 0..16383
    return pitch;
}

Pitch PitchToPlay(int degree) {
    if (bScaleInstalled) return PitchOfDegree(degree);
    // What InstallDefaultScale would set up, without setting it up.
    const double ratios[2] = {1.0, DefaultScaleStep()};
    return PitchFrom(ratios, 2, IsUnset1o1(d1o1Hz) ? DEFAULT_1O1_HZ : d1o1Hz, degree);
}

int BendToSend(const Pitch &pitch) { return iMpeMembers ? MpeBend(pitch.offset) : pitch.bend; }

}  // namespace mt

extern "C" {

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneDegreePitch(int degree, int *note, int *bend) {
    mt::ExportLock lock;
    if (!lock) return -1;
    const mt::Pitch pitch = mt::PitchToPlay(degree);
    if (note) *note = pitch.note;
    if (bend) *bend = mt::BendToSend(pitch);
    return 1;
}

}  // extern "C"
