// The pitch of a scale degree under the installed scale and 1/1.
#ifndef MICROTUNE_DEGREE_PITCH_H
#define MICROTUNE_DEGREE_PITCH_H

namespace mt {

struct Pitch {
    double ratio;   // from RatioForScaleDegree
    int note;       // MIDI note of d1o1Hz * ratio
    int bend;       // 14-bit bend of d1o1Hz * ratio on a 2-semitone range
    double offset;  // semitones from note to d1o1Hz * ratio, for a zone's wider range
};

// The degree's ratio, note, bend and offset, exactly as computed afresh; remembered
// for the degrees of DegreePitches until the scale table or the 1/1 changes.
Pitch PitchOfDegree(int degree);

// What PlayScaleDegree would play for the degree, changing nothing: the
// default scale and 1/1 stand in for those not yet installed.
Pitch PitchToPlay(int degree);

// The 14-bit bend a note of the pitch is sent with: the 2-semitone bend, or
// in an MPE zone the offset on the members' range.
int BendToSend(const Pitch &pitch);

}  // namespace mt

#endif
