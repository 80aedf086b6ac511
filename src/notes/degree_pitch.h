// The pitch of a scale degree under the installed scale and 1/1.
#ifndef MICROTUNE_DEGREE_PITCH_H
#define MICROTUNE_DEGREE_PITCH_H

namespace mt {

struct Pitch {
    double ratio;  // from RatioForScaleDegree
    int note;      // MIDI note of d1o1Hz * ratio
    int bend;      // 14-bit bend of d1o1Hz * ratio
};

// The degree's ratio, note and bend, exactly as computed afresh; remembered
// for the degrees of DegreePitches until the scale table or the 1/1 changes.
Pitch PitchOfDegree(int degree);

// What PlayScaleDegree would play for the degree, changing nothing: the
// default scale and 1/1 stand in for those not yet installed.
Pitch PitchToPlay(int degree);

}  // namespace mt

#endif
