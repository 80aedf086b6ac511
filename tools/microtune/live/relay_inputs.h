// The relay's MIDI input ports: ALSA sequencer and JACK ports, found by
// number or by a part of their name, and opened with RtMidi.
#ifndef MICROTUNE_RELAY_INPUTS_H
#define MICROTUNE_RELAY_INPUTS_H

#include <rtmidi/RtMidi.h>

#include <memory>
#include <string>
#include <vector>

namespace mthost {

struct InputPort {
    RtMidi::Api api;
    unsigned index;
    std::string name;
};

// "ALSA" or "JACK".
const char *ApiName(RtMidi::Api api);

// ALSA sequencer ports first, then JACK ports, as the library orders its
// outputs.
std::vector<InputPort> ListInputs();

// What is true when ListInputs finds nothing: which systems run, and that
// they have no port to read from.
std::string NoInputsReason();

// PORT is a number from --list-inputs or a part of a port's name (any case).
// A part that several names contain must match one of them exactly.
InputPort ResolveInput(const std::string &port);

// Watches the port the relay reads, from a client of its own: a JACK server
// that stops, or a port that goes away (a keyboard unplugged).
class InputWatch {
public:
    explicit InputWatch(const InputPort &port);
    ~InputWatch();
    InputWatch(const InputWatch &) = delete;
    InputWatch &operator=(const InputWatch &) = delete;

    // What happened to the port, or an empty text while it is there.
    std::string Problem();
    bool ServerStopped() const;

private:
    InputPort port_;
    void *jack_ = nullptr;  // jack_client_t
    int checks_ = 0;
    std::unique_ptr<RtMidiIn> alsa_;
};

// Opens the port found by ResolveInput; ports come and go, so it is found by
// name again.
std::unique_ptr<RtMidiIn> OpenInput(const InputPort &port, RtMidiIn::RtMidiCallback callback,
                                    void *context);

}  // namespace mthost

#endif
