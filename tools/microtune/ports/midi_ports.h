// The host's own MIDI ports: the inputs the relay reads and the output port
// MIDI Tuning Standard messages go to. On Linux they are RtMidi's, and
// through it ALSA's and JACK's, kept in a module of their own
// (libmicrotune-ports.so) that the host loads the first time a port is
// listed or opened: `scale`, `keys`, `convert` and `retune` start without
// them. This is the module's contract; no exception crosses it.
#ifndef MICROTUNE_MIDI_PORTS_H
#define MICROTUNE_MIDI_PORTS_H

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace mthost {

struct InputPort {
    int system;  // which of the platform's MIDI systems: ApiName says
    unsigned index;
    std::string name;
};

// One complete channel message from an input, on a thread of the input's,
// with the time it arrived.
using InputHandler = void (*)(const unsigned char *message, std::size_t size,
                              std::chrono::steady_clock::time_point arrived, void *context);

#define MICROTUNE_PORTS_MODULE "libmicrotune-ports.so"
#define MICROTUNE_PORTS_ENTRY "MicrotuneHostPorts"
// Raised when a member changes meaning; the host refuses another.
#define MICROTUNE_PORTS_VERSION 1

// Handles are the module's own; each is closed once. Where an `error` is
// asked for, a failure leaves the host's one-line message there.
struct MidiPortsTable {
    int version;

    // Inputs, as relay_inputs.h describes them.
    std::vector<InputPort> (*listInputs)();
    std::string (*noInputsReason)();
    const char *(*apiName)(int system);

    // A watch on an input's port and its server; never null.
    void *(*openWatch)(const InputPort &port);
    std::string (*watchProblem)(void *watch);
    bool (*watchServerStopped)(void *watch);
    void (*closeWatch)(void *watch);

    void *(*openInput)(const InputPort &port, InputHandler handler, void *context,
                       std::string &error);
    // With its server gone, what cannot be closed is left to the process's end.
    void (*closeInput)(void *input, bool serverStopped);

    // The output port of this name, or null when it cannot be opened.
    void *(*openOutput)(const std::string &name);
    bool (*send)(void *output, const unsigned char *bytes, std::size_t size);
    void (*closeOutput)(void *output);
};

extern "C" {
typedef const MidiPortsTable *(*MidiPortsEntry)();
}

// The module's table, loaded on first use and kept loaded (its threads may
// outlive any one port); HostError when it cannot be had.
const MidiPortsTable &MidiPorts();

}  // namespace mthost

#endif
