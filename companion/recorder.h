// Recording what the companion is sent: a host registers a callback and
// receives every message of the send entry, as sent, before it is played.
#ifndef TEMBREL_RECORDER_H
#define TEMBREL_RECORDER_H

namespace tembrel {

// Passes one message of the send entry to the registered callback, if any.
void RecordMidiEvent(int status, int channel, int data1, int data2);

// MICROTUNE_SYNTH_OUTPUT=none: no audio at all, for a host that only
// records (no font is loaded, so the synthesizer starts at once).
bool NullOutputRequested();

}  // namespace tembrel

#endif
