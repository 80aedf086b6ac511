// Inside the ports module: the members of its table (midi_ports.h says what
// each does), for the relay's inputs on ALSA sequencer and JACK ports
// (alsa_jack_inputs.cpp) and the MTS output port (rtmidi_output.cpp). They
// catch what RtMidi, ALSA and JACK throw; only running out of memory would
// reach the host, as it would anywhere in it.
#ifndef MICROTUNE_ALSA_JACK_PORTS_H
#define MICROTUNE_ALSA_JACK_PORTS_H

#include <string>
#include <vector>

#include "ports/midi_ports.h"

namespace mthost {
namespace ports {

const char *ApiName(int system);
std::vector<InputPort> ListInputs();
std::string NoInputsReason();
void *OpenWatch(const InputPort &port);
std::string WatchProblem(void *watch);
bool WatchServerStopped(void *watch);
void CloseWatch(void *watch);
void *OpenInput(const InputPort &port, InputHandler handler, void *context, std::string &error);
void CloseInput(void *input, bool serverStopped);

void *OpenOutput(const std::string &name);
bool Send(void *output, const unsigned char *bytes, std::size_t size);
void CloseOutput(void *output);

}  // namespace ports
}  // namespace mthost

#endif
