// Playing, bending and stopping scale degrees and percussion.
#ifndef MICROTUNE_PLAY_STOP_H
#define MICROTUNE_PLAY_STOP_H

namespace mt {

int DoBendForScaleDegreeFlags(int flags, int degree);

}  // namespace mt

#endif
