// The relay's inputs on Linux: ALSA sequencer ports through RtMidi's
// callback, and JACK ports, whose process thread only queues
// (jack_key_input.h).
#include <jack/jack.h>
#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <atomic>

#include "host_error.h"
#include "ports/alsa_jack_ports.h"
#include "ports/jack_key_input.h"
#include "ports/midi_systems.h"

namespace mthost {
namespace ports {
namespace {

const RtMidi::Api INPUT_APIS[] = {RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK};
constexpr const char *CLIENT_NAME = "microtune-relay";
constexpr const char *PORT_NAME = "in";

std::unique_ptr<RtMidiIn> NewInput(RtMidi::Api api) {
    if (!ApiUsable(api, false)) return nullptr;
    try {
        std::unique_ptr<RtMidiIn> input(new RtMidiIn(api, CLIENT_NAME));
        input->setErrorCallback(&SilentRtMidi, nullptr);
        return input;
    } catch (...) {
        return nullptr;
    }
}

bool IsJack(const InputPort &port) { return port.system == RtMidi::UNIX_JACK; }

// Set from JACK's own thread when the server goes.
std::atomic<bool> jackShutDown{false};
void OnJackShutdown(void *) { jackShutDown = true; }

}  // namespace

const char *ApiName(int system) { return system == RtMidi::UNIX_JACK ? "JACK" : "ALSA"; }

std::vector<InputPort> ListInputs() {
    SilenceMidiSystems();
    std::vector<InputPort> ports;
    for (RtMidi::Api api : INPUT_APIS) {
        std::unique_ptr<RtMidiIn> input = NewInput(api);
        if (!input) continue;
        try {
            const unsigned count = input->getPortCount();
            for (unsigned i = 0; i < count; ++i) ports.push_back({api, i, input->getPortName(i)});
        } catch (...) {
        }
    }
    return ports;
}

std::string NoInputsReason() {
    SilenceMidiSystems();
    const bool alsa = ApiUsable(RtMidi::LINUX_ALSA, false),
               jack = ApiUsable(RtMidi::UNIX_JACK, false);
    if (alsa && jack)
        return "no MIDI inputs: neither the ALSA sequencer nor the JACK server has a port to read "
               "from";
    if (alsa) return "no MIDI inputs: the ALSA sequencer has no port to read from (no JACK server)";
    if (jack)
        return "no MIDI inputs: the JACK server runs but has no MIDI ports yet (no ALSA "
               "sequencer)";
    return "no MIDI inputs: no ALSA sequencer and no JACK server running";
}

struct InputWatch::State {
    InputPort port;
    jack_client_t *jack = nullptr;
    int checks = 0;
    std::unique_ptr<RtMidiIn> alsa;
};

InputWatch::InputWatch(const InputPort &port) : state_(new State) {
    state_->port = port;
    if (IsJack(port)) {
        jack_client_t *client = jack_client_open("microtune-watch", JackNoStartServer, nullptr);
        if (!client) return;
        jack_on_shutdown(client, &OnJackShutdown, nullptr);
        if (jack_activate(client) != 0) {
            jack_client_close(client);
            return;
        }
        state_->jack = client;
    } else {
        state_->alsa = NewInput(RtMidi::LINUX_ALSA);
    }
}

InputWatch::~InputWatch() {
    // A client of a server that has gone cannot be closed cleanly; it is left.
    if (state_->jack && !jackShutDown) jack_client_close(state_->jack);
}

bool InputWatch::ServerStopped() const { return IsJack(state_->port) && jackShutDown; }

std::string InputWatch::Problem() {
    State &s = *state_;
    const std::string gone = "MIDI input " + s.port.name + " has gone away";
    if (IsJack(s.port)) {
        // A server that is killed sends no shutdown notice: every few checks
        // a new client must still be able to connect.
        if (!jackShutDown && ++s.checks % 4 == 0 && !JackServerRunning()) jackShutDown = true;
        if (jackShutDown) return "the JACK server has stopped";
        if (s.jack && !jack_port_by_name(s.jack, s.port.name.c_str())) return gone;
        return std::string();
    }
    if (!s.alsa) return std::string();
    try {
        const unsigned count = s.alsa->getPortCount();
        for (unsigned i = 0; i < count; ++i)
            if (s.alsa->getPortName(i) == s.port.name) return std::string();
    } catch (...) {
        return std::string();
    }
    return gone;
}

struct KeyInput::State {
    InputHandler handler = nullptr;
    void *context = nullptr;
    std::unique_ptr<RtMidiIn> alsa;
    std::unique_ptr<JackKeyInput> jack;

    // RtMidi's ALSA input thread, for every message.
    static void OnAlsaMessage(double, std::vector<unsigned char> *message, void *self) {
        const State &s = *static_cast<State *>(self);
        if (message)
            s.handler(message->data(), message->size(), std::chrono::steady_clock::now(),
                      s.context);
    }
};

KeyInput::KeyInput(const InputPort &port, InputHandler handler, void *context) : state_(new State) {
    State &s = *state_;
    s.handler = handler;
    s.context = context;
    if (IsJack(port)) {
        s.jack.reset(new JackKeyInput(port.name, handler, context));
        return;
    }
    s.alsa = NewInput(RtMidi::LINUX_ALSA);
    if (!s.alsa)
        throw HostError(std::string("cannot open MIDI input ") + port.name + ": " +
                        ApiName(port.system) + " is not available");
    try {
        unsigned index = port.index;
        const unsigned count = s.alsa->getPortCount();
        for (unsigned i = 0; i < count; ++i) {
            if (s.alsa->getPortName(i) == port.name) {
                index = i;
                break;
            }
        }
        if (index >= count) throw HostError("MIDI input " + port.name + " has gone away");
        // System exclusive, clock and active sensing carry no keys.
        s.alsa->ignoreTypes(true, true, true);
        s.alsa->setCallback(&State::OnAlsaMessage, &s);
        s.alsa->openPort(index, PORT_NAME);
    } catch (const HostError &) {
        throw;
    } catch (const std::exception &e) {
        throw HostError("cannot open MIDI input " + port.name + ": " + e.what());
    }
    if (!s.alsa->isPortOpen()) throw HostError("cannot open MIDI input " + port.name);
}

KeyInput::~KeyInput() {
    if (state_) Close(false);
}

void KeyInput::Close(bool serverStopped) {
    if (!state_) return;
    State &s = *state_;
    if (s.jack) {
        if (serverStopped)
            s.jack->Abandon();
        else
            s.jack->Close();
    } else if (s.alsa && serverStopped) {
        // Its client cannot be closed without the server; the process ends soon.
        s.alsa.release();
    } else if (s.alsa) {
        try {
            s.alsa->closePort();
        } catch (...) {
        }
        s.alsa.reset();
    }
    if (serverStopped)
        state_.release();  // with whatever it still holds
    else
        state_.reset();
}

}  // namespace ports
}  // namespace mthost
