// Playing, bending and stopping scale degrees and percussion.
#ifndef MICROTUNE_PLAY_STOP_H
#define MICROTUNE_PLAY_STOP_H

namespace mt {

// PlayScaleDegree and StopScaleDegree for a part (part 0 is theirs). Until
// parts are in use, the classic channel rule places the note.
int PlayDegreeOfPart(int part, int degree, int velocity);
int StopDegreeOfPart(int part, int degree, int velocity);

int DoBendForScaleDegreeFlags(int flags, int degree);

}  // namespace mt

#endif
