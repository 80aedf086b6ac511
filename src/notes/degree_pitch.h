// The pitch of a scale degree under the installed scale and 1/1.
#ifndef MICROTUNE_DEGREE_PITCH_H
#define MICROTUNE_DEGREE_PITCH_H

#include <cstdint>
#include <cstring>

#include "state/state.h"

namespace mt {

struct Pitch {
    double ratio;   // from RatioForScaleDegree
    int note;       // MIDI note of d1o1Hz * ratio
    int bend;       // 14-bit bend of d1o1Hz * ratio on a 2-semitone range
    double offset;  // semitones from note to d1o1Hz * ratio, for a zone's wider range
};

// PitchOfDegree for a degree it does not remember: computed afresh, and
// remembered when the degree is near the 1/1.
Pitch PitchOfDegreeAfresh(int degree);

// The degree's ratio, note, bend and offset, exactly as computed afresh; remembered
// for the degrees of DegreePitches until the scale table or the 1/1 changes.
// Inline, so that a degree played again costs a few loads where it is played.
inline Pitch PitchOfDegree(int degree) {
    // Unsigned, so that one comparison rejects both sides of the window.
    const uint32_t index =
        static_cast<uint32_t>(degree) - static_cast<uint32_t>(DEGREE_PITCH_LOWEST);
    // The 1/1 is one double that anything may set: its bits are compared
    // here rather than every writer trusted to report it.
    if (index < static_cast<uint32_t>(DEGREE_PITCH_COUNT) &&
        std::memcmp(&d1o1Hz, &dDegreePitches1o1Hz, sizeof d1o1Hz) == 0) {
        const DegreePitch &entry = DegreePitches[index];
        if (entry.stamp == nTuningVersion)
            return {entry.ratio, entry.note, entry.bend, entry.offset};
    }
    return PitchOfDegreeAfresh(degree);
}

// What PlayScaleDegree would play for the degree, changing nothing: the
// default scale and 1/1 stand in for those not yet installed.
Pitch PitchToPlay(int degree);

// The 14-bit bend a note of the pitch is sent with: the 2-semitone bend, or
// in an MPE zone the offset on the members' range.
int BendToSend(const Pitch &pitch);

}  // namespace mt

#endif
