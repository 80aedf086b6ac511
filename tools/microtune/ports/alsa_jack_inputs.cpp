// The relay's inputs on Linux: ALSA sequencer ports through RtMidi's
// callback, and JACK ports, whose process thread only queues
// (jack_key_input.h).
#include <jack/jack.h>
#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <atomic>
#include <new>

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

namespace {

struct Watch {
    InputPort port;
    jack_client_t *jack = nullptr;
    int checks = 0;
    std::unique_ptr<RtMidiIn> alsa;
};

struct Input {
    InputHandler handler = nullptr;
    void *context = nullptr;
    std::unique_ptr<RtMidiIn> alsa;
    std::unique_ptr<JackKeyInput> jack;

    // RtMidi's ALSA input thread, for every message.
    static void OnAlsaMessage(double, std::vector<unsigned char> *message, void *self) {
        const Input &in = *static_cast<Input *>(self);
        if (message)
            in.handler(message->data(), message->size(), std::chrono::steady_clock::now(),
                       in.context);
    }

    // Throws HostError.
    void OpenAlsa(const InputPort &port) {
        alsa = NewInput(RtMidi::LINUX_ALSA);
        if (!alsa)
            throw HostError(std::string("cannot open MIDI input ") + port.name + ": " +
                            ApiName(port.system) + " is not available");
        try {
            unsigned index = port.index;
            const unsigned count = alsa->getPortCount();
            for (unsigned i = 0; i < count; ++i) {
                if (alsa->getPortName(i) == port.name) {
                    index = i;
                    break;
                }
            }
            if (index >= count) throw HostError("MIDI input " + port.name + " has gone away");
            // System exclusive, clock and active sensing carry no keys.
            alsa->ignoreTypes(true, true, true);
            alsa->setCallback(&Input::OnAlsaMessage, this);
            alsa->openPort(index, PORT_NAME);
        } catch (const HostError &) {
            throw;
        } catch (const std::exception &e) {
            throw HostError("cannot open MIDI input " + port.name + ": " + e.what());
        }
        if (!alsa->isPortOpen()) throw HostError("cannot open MIDI input " + port.name);
    }
};

}  // namespace

void *OpenWatch(const InputPort &port) {
    Watch *watch = new (std::nothrow) Watch;
    if (!watch) return nullptr;
    watch->port = port;
    if (IsJack(port)) {
        jack_client_t *client = jack_client_open("microtune-watch", JackNoStartServer, nullptr);
        if (!client) return watch;
        jack_on_shutdown(client, &OnJackShutdown, nullptr);
        if (jack_activate(client) != 0) {
            jack_client_close(client);
            return watch;
        }
        watch->jack = client;
    } else {
        watch->alsa = NewInput(RtMidi::LINUX_ALSA);
    }
    return watch;
}

void CloseWatch(void *handle) {
    Watch *watch = static_cast<Watch *>(handle);
    if (!watch) return;
    // A client of a server that has gone cannot be closed cleanly; it is left.
    if (watch->jack && !jackShutDown) jack_client_close(watch->jack);
    delete watch;
}

bool WatchServerStopped(void *handle) {
    const Watch *watch = static_cast<Watch *>(handle);
    return watch && IsJack(watch->port) && jackShutDown;
}

std::string WatchProblem(void *handle) {
    if (!handle) return std::string();
    Watch &w = *static_cast<Watch *>(handle);
    const std::string gone = "MIDI input " + w.port.name + " has gone away";
    if (IsJack(w.port)) {
        // A server that is killed sends no shutdown notice: every few checks
        // a new client must still be able to connect.
        if (!jackShutDown && ++w.checks % 4 == 0 && !JackServerRunning()) jackShutDown = true;
        if (jackShutDown) return "the JACK server has stopped";
        if (w.jack && !jack_port_by_name(w.jack, w.port.name.c_str())) return gone;
        return std::string();
    }
    if (!w.alsa) return std::string();
    try {
        const unsigned count = w.alsa->getPortCount();
        for (unsigned i = 0; i < count; ++i)
            if (w.alsa->getPortName(i) == w.port.name) return std::string();
    } catch (...) {
        return std::string();
    }
    return gone;
}

void *OpenInput(const InputPort &port, InputHandler handler, void *context, std::string &error) {
    try {
        std::unique_ptr<Input> input(new Input);
        input->handler = handler;
        input->context = context;
        if (IsJack(port))
            input->jack.reset(new JackKeyInput(port.name, handler, context));
        else
            input->OpenAlsa(port);
        return input.release();
    } catch (const std::exception &e) {
        error = e.what();
    } catch (...) {
        error = "cannot open MIDI input " + port.name;
    }
    return nullptr;
}

void CloseInput(void *handle, bool serverStopped) {
    Input *input = static_cast<Input *>(handle);
    if (!input) return;
    if (input->jack) {
        if (serverStopped)
            input->jack->Abandon();
        else
            input->jack->Close();
    } else if (input->alsa && serverStopped) {
        // Its client cannot be closed without the server; the process ends soon.
        input->alsa.release();
    } else if (input->alsa) {
        try {
            input->alsa->closePort();
        } catch (...) {
        }
        input->alsa.reset();
    }
    // With its server gone, the input is left with whatever it still holds.
    if (!serverStopped) delete input;
}

}  // namespace ports
}  // namespace mthost
