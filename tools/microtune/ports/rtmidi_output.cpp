// MIDI Tuning Standard messages to an ALSA sequencer or JACK port, through RtMidi.
#include <rtmidi/RtMidi.h>

#include "ports/alsa_jack_ports.h"
#include "ports/midi_systems.h"

namespace mthost {
namespace ports {

struct OutputPort::State {
    std::unique_ptr<RtMidiOut> out;
};

OutputPort::OutputPort(std::unique_ptr<State> state) : state_(std::move(state)) {}

std::unique_ptr<OutputPort> OutputPort::Open(const std::string &name) {
    SilenceMidiSystems();
    // The library lists ALSA ports first, then JACK ports; the port is
    // found by its name, as ports come and go.
    for (RtMidi::Api api : {RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK}) {
        if (!ApiUsable(api, true)) continue;
        try {
            std::unique_ptr<RtMidiOut> out(new RtMidiOut(api, "microtune-mts"));
            out->setErrorCallback(&SilentRtMidi, nullptr);
            for (unsigned i = 0; i < out->getPortCount(); ++i) {
                if (out->getPortName(i) != name) continue;
                out->openPort(i, "out");
                if (!out->isPortOpen()) break;
                return std::unique_ptr<OutputPort>(
                    new OutputPort(std::unique_ptr<State>(new State{std::move(out)})));
            }
        } catch (...) {
        }
    }
    return nullptr;
}

OutputPort::~OutputPort() {
    try {
        state_->out->closePort();
    } catch (...) {
    }
}

bool OutputPort::Send(const unsigned char *bytes, std::size_t size) {
    try {
        state_->out->sendMessage(bytes, size);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace ports
}  // namespace mthost
