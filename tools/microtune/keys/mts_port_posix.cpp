// MIDI Tuning Standard messages to an ALSA sequencer or JACK port, through
// the MIDI ports module (ports/), loaded only when a port is opened.
#include "host_error.h"
#include "keys/mts_output.h"
#include "ports/midi_ports.h"

namespace mthost {

struct MidiPortOutput::Port {
    void *output = nullptr;
};

MidiPortOutput::MidiPortOutput(int device) {
    name_ = CheckDevice(device);
    void *output = MidiPorts().openOutput(name_);
    if (!output) throw HostError("cannot open device " + std::to_string(device) + ", " + name_);
    port_.reset(new Port{output});
}

MidiPortOutput::~MidiPortOutput() {
    if (port_) MidiPorts().closeOutput(port_->output);
}

bool MidiPortOutput::Send(const MidiMessage &message) {
    return MidiPorts().send(port_->output, message.data(), message.size());
}

}  // namespace mthost
