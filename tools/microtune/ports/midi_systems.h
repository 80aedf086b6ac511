// Inside the ports module: what the inputs and the output port share about
// the MIDI systems under RtMidi. ALSA, JACK and RtMidi print their errors by
// default, and RtMidi prints one before it throws from a constructor; the
// host reports its own errors in one line each, so the systems are silenced
// and each is probed before RtMidi is asked for it.
#ifndef MICROTUNE_MIDI_SYSTEMS_H
#define MICROTUNE_MIDI_SYSTEMS_H

#include <rtmidi/RtMidi.h>

#include <string>

namespace mthost {
namespace ports {

void SilenceMidiSystems();
// An error callback for every RtMidi object.
void SilentRtMidi(RtMidiError::Type, const std::string &, void *);

// Whether RtMidi has the system and it runs here: the ALSA sequencer opens
// for input or output (there is none without /dev/snd), or a JACK server
// already runs (none is started).
bool ApiUsable(RtMidi::Api api, bool forOutput);
bool JackServerRunning();

}  // namespace ports
}  // namespace mthost

#endif
