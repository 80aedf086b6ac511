// Inside the ports module: the relay's inputs on ALSA sequencer and JACK
// ports (alsa_jack_inputs.cpp) and the MTS output port (rtmidi_output.cpp),
// which midi_ports_module.cpp hands to the host through its table. These may
// throw; the table catches.
#ifndef MICROTUNE_ALSA_JACK_PORTS_H
#define MICROTUNE_ALSA_JACK_PORTS_H

#include <memory>
#include <string>
#include <vector>

#include "ports/midi_ports.h"

namespace mthost {
namespace ports {

const char *ApiName(int system);
std::vector<InputPort> ListInputs();
std::string NoInputsReason();

// A JACK server that stops, or a port that goes away (a keyboard unplugged).
class InputWatch {
public:
    explicit InputWatch(const InputPort &port);
    ~InputWatch();
    InputWatch(const InputWatch &) = delete;
    InputWatch &operator=(const InputWatch &) = delete;

    std::string Problem();
    bool ServerStopped() const;

    struct State;

private:
    std::unique_ptr<State> state_;
};

// Throws HostError.
class KeyInput {
public:
    KeyInput(const InputPort &port, InputHandler handler, void *context);
    ~KeyInput();
    KeyInput(const KeyInput &) = delete;
    KeyInput &operator=(const KeyInput &) = delete;

    void Close(bool serverStopped);

    struct State;

private:
    std::unique_ptr<State> state_;
};

class OutputPort {
public:
    // Null when no ALSA or JACK port of this name opens.
    static std::unique_ptr<OutputPort> Open(const std::string &name);
    ~OutputPort();
    bool Send(const unsigned char *bytes, std::size_t size);

    struct State;
    explicit OutputPort(std::unique_ptr<State> state);

private:
    std::unique_ptr<State> state_;
};

}  // namespace ports
}  // namespace mthost

#endif
