// Notes played by frequency rather than by degree, stopped and glided by
// the handle they were given.
#ifndef MICROTUNE_FREQUENCY_NOTES_H
#define MICROTUNE_FREQUENCY_NOTES_H

namespace mt {

// Whether a frequency note that asked for a channel of its own holds the
// channel: no other note may join it.
bool ChannelHeldAlone(int channel);

}  // namespace mt

#endif
