// The relay's MIDI input ports, on every system: listed, found by number or
// by a part of their name, watched, and opened. Linux reads ALSA sequencer
// and JACK ports through the MIDI ports module (relay_inputs_posix.cpp,
// ports/), Windows its MIDI inputs (relay_inputs_winmm.cpp).
#ifndef MICROTUNE_RELAY_INPUTS_H
#define MICROTUNE_RELAY_INPUTS_H

#include <memory>
#include <string>
#include <vector>

#include "ports/midi_ports.h"

namespace mthost {

// "ALSA", "JACK" or "Windows".
const char *ApiName(const InputPort &port);

// In the order the library lists outputs: ALSA sequencer ports, then JACK
// ports; on Windows, the MIDI inputs by device id.
std::vector<InputPort> ListInputs();

// What is true when ListInputs finds nothing: which systems run, and that
// they have no port to read from.
std::string NoInputsReason();

// PORT is a number from --list-inputs or a part of a port's name (any case).
// A part that several names contain must match one of them exactly.
InputPort ResolveInput(const std::string &port);

// Watches the port the relay reads: a JACK server that stops, or a port
// that goes away (a keyboard unplugged).
class InputWatch {
public:
    explicit InputWatch(const InputPort &port);
    ~InputWatch();
    InputWatch(const InputWatch &) = delete;
    InputWatch &operator=(const InputWatch &) = delete;

    // What happened to the port, or an empty text while it is there.
    std::string Problem();
    bool ServerStopped() const;

    struct State;

private:
    std::unique_ptr<State> state_;
};

// The port found by ResolveInput, open; ports come and go, so it is found
// by name again. Throws HostError.
class KeyInput {
public:
    KeyInput(const InputPort &port, InputHandler handler, void *context);
    ~KeyInput();
    KeyInput(const KeyInput &) = delete;
    KeyInput &operator=(const KeyInput &) = delete;

    // Stops taking input; a message in hand is handled before this returns.
    // With its server gone (serverStopped), what cannot be closed is left
    // to the process's end.
    void Close(bool serverStopped);

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace mthost

#endif
