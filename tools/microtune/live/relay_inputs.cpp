#include "live/relay_inputs.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <cctype>

#include "formats/names.h"
#include "host_error.h"

namespace mthost {
namespace {

// ALSA, JACK and RtMidi print their errors by default; the relay reports
// its own errors in one line each.
void SilentAlsa(const char *, int, const char *, int, const char *, ...) {}
void SilentJack(const char *) {}
void SilentRtMidi(RtMidiError::Type, const std::string &, void *) {}

void SilenceMidiSystems() {
    snd_lib_error_set_handler(&SilentAlsa);
    jack_set_error_function(&SilentJack);
    jack_set_info_function(&SilentJack);
}

// RtMidi prints an error before it throws from a constructor, so each
// system is probed first: the ALSA sequencer must open (there is none
// without /dev/snd), and a JACK server must already run (none is started).
bool AlsaSequencerAvailable() {
    snd_seq_t *seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, 0) < 0) return false;
    snd_seq_close(seq);
    return true;
}

bool JackServerRunning() {
    jack_client_t *client = jack_client_open("microtune-probe", JackNoStartServer, nullptr);
    if (!client) return false;
    jack_client_close(client);
    return true;
}

const RtMidi::Api INPUT_APIS[] = {RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK};
constexpr const char *CLIENT_NAME = "microtune-relay";
constexpr const char *PORT_NAME = "in";

bool ApiUsable(RtMidi::Api api) {
    std::vector<RtMidi::Api> compiled;
    RtMidi::getCompiledApi(compiled);
    if (std::find(compiled.begin(), compiled.end(), api) == compiled.end()) return false;
    if (api == RtMidi::LINUX_ALSA) return AlsaSequencerAvailable();
    if (api == RtMidi::UNIX_JACK) return JackServerRunning();
    return false;
}

std::unique_ptr<RtMidiIn> NewInput(RtMidi::Api api) {
    if (!ApiUsable(api)) return nullptr;
    try {
        std::unique_ptr<RtMidiIn> input(new RtMidiIn(api, CLIENT_NAME));
        input->setErrorCallback(&SilentRtMidi, nullptr);
        return input;
    } catch (...) {
        return nullptr;
    }
}

std::string ListForError(const std::vector<InputPort> &ports, const std::vector<size_t> &which) {
    std::string text;
    for (size_t i : which)
        text += (text.empty() ? "" : ", ") + std::to_string(i) + " " + ports[i].name;
    return text;
}

}  // namespace

const char *ApiName(RtMidi::Api api) { return api == RtMidi::UNIX_JACK ? "JACK" : "ALSA"; }

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
    const bool alsa = ApiUsable(RtMidi::LINUX_ALSA), jack = ApiUsable(RtMidi::UNIX_JACK);
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

// Set from JACK's own thread when the server goes.
std::atomic<bool> jackShutDown{false};
void OnJackShutdown(void *) { jackShutDown = true; }

}  // namespace

InputWatch::InputWatch(const InputPort &port) : port_(port) {
    if (port.api == RtMidi::UNIX_JACK) {
        jack_client_t *client = jack_client_open("microtune-watch", JackNoStartServer, nullptr);
        if (!client) return;
        jack_on_shutdown(client, &OnJackShutdown, nullptr);
        if (jack_activate(client) != 0) {
            jack_client_close(client);
            return;
        }
        jack_ = client;
    } else {
        alsa_ = NewInput(RtMidi::LINUX_ALSA);
    }
}

InputWatch::~InputWatch() {
    // A client of a server that has gone cannot be closed cleanly; it is left.
    if (jack_ && !jackShutDown) jack_client_close(static_cast<jack_client_t *>(jack_));
}

bool InputWatch::ServerStopped() const { return port_.api == RtMidi::UNIX_JACK && jackShutDown; }

std::string InputWatch::Problem() {
    const std::string gone = "MIDI input " + port_.name + " has gone away";
    if (port_.api == RtMidi::UNIX_JACK) {
        // A server that is killed sends no shutdown notice: every few checks
        // a new client must still be able to connect.
        if (!jackShutDown && ++checks_ % 4 == 0) {
            jack_client_t *probe = jack_client_open("microtune-probe", JackNoStartServer, nullptr);
            if (probe)
                jack_client_close(probe);
            else
                jackShutDown = true;
        }
        if (jackShutDown) return "the JACK server has stopped";
        if (jack_ && !jack_port_by_name(static_cast<jack_client_t *>(jack_), port_.name.c_str()))
            return gone;
        return std::string();
    }
    if (!alsa_) return std::string();
    try {
        const unsigned count = alsa_->getPortCount();
        for (unsigned i = 0; i < count; ++i)
            if (alsa_->getPortName(i) == port_.name) return std::string();
    } catch (...) {
        return std::string();
    }
    return gone;
}

InputPort ResolveInput(const std::string &port) {
    const std::vector<InputPort> ports = ListInputs();
    if (ports.empty()) throw HostError(NoInputsReason());
    const bool number =
        !port.empty() && port.size() < 10 && std::all_of(port.begin(), port.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c));
        });
    if (number) {
        const size_t index = static_cast<size_t>(std::stoul(port));
        if (index < ports.size()) return ports[index];
        throw HostError(
            "MIDI input " + port + " is out of range: there " +
            (ports.size() == 1 ? "is 1 input" : "are " + std::to_string(ports.size()) + " inputs") +
            " (see: microtune relay --list-inputs)");
    }
    std::vector<std::string> names;
    for (const InputPort &input : ports) names.push_back(input.name);
    const std::vector<size_t> matches = MatchingNames(names, port);
    if (matches.size() == 1) return ports[matches[0]];
    if (matches.empty())
        throw HostError("no MIDI input matches '" + port +
                        "' (see: microtune relay --list-inputs)");
    throw HostError("'" + port + "' matches several MIDI inputs (" + ListForError(ports, matches) +
                    "): give its number or more of its name");
}

std::unique_ptr<RtMidiIn> OpenInput(const InputPort &port, RtMidiIn::RtMidiCallback callback,
                                    void *context) {
    std::unique_ptr<RtMidiIn> input = NewInput(port.api);
    if (!input)
        throw HostError(std::string("cannot open MIDI input ") + port.name + ": " +
                        ApiName(port.api) + " is not available");
    try {
        unsigned index = port.index;
        const unsigned count = input->getPortCount();
        for (unsigned i = 0; i < count; ++i) {
            if (input->getPortName(i) == port.name) {
                index = i;
                break;
            }
        }
        if (index >= count) throw HostError("MIDI input " + port.name + " has gone away");
        // System exclusive, clock and active sensing carry no keys.
        input->ignoreTypes(true, true, true);
        input->setCallback(callback, context);
        input->openPort(index, PORT_NAME);
    } catch (const HostError &) {
        throw;
    } catch (const std::exception &e) {
        throw HostError("cannot open MIDI input " + port.name + ": " + e.what());
    }
    if (!input->isPortOpen()) throw HostError("cannot open MIDI input " + port.name);
    return input;
}

}  // namespace mthost
