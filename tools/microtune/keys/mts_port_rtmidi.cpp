// MIDI Tuning Standard messages to an ALSA sequencer or JACK port, through RtMidi.
#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <rtmidi/RtMidi.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host_error.h"
#include "keys/mts_output.h"

namespace mthost {
namespace {

void SilentAlsa(const char *, int, const char *, int, const char *, ...) {}
void SilentJack(const char *) {}
void SilentRtMidi(RtMidiError::Type, const std::string &, void *) {}

// RtMidi reports a missing ALSA sequencer or JACK server on standard error
// before it throws, so each system is probed first; no JACK server is started.
bool Usable(RtMidi::Api api) {
    std::vector<RtMidi::Api> compiled;
    RtMidi::getCompiledApi(compiled);
    if (std::find(compiled.begin(), compiled.end(), api) == compiled.end()) return false;
    if (api == RtMidi::LINUX_ALSA) {
        snd_seq_t *seq = nullptr;
        if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, 0) < 0) return false;
        snd_seq_close(seq);
        return true;
    }
    jack_client_t *client = jack_client_open("microtune-probe", JackNoStartServer, nullptr);
    if (!client) return false;
    jack_client_close(client);
    return true;
}

}  // namespace

struct MidiPortOutput::Port {
    std::unique_ptr<RtMidiOut> out;
};

MidiPortOutput::MidiPortOutput(int device) {
    name_ = CheckDevice(device);
    snd_lib_error_set_handler(&SilentAlsa);
    jack_set_error_function(&SilentJack);
    jack_set_info_function(&SilentJack);
    // The library lists ALSA ports first, then JACK ports; the port is
    // found by its name, as ports come and go.
    for (RtMidi::Api api : {RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK}) {
        if (!Usable(api)) continue;
        try {
            std::unique_ptr<RtMidiOut> out(new RtMidiOut(api, "microtune-mts"));
            out->setErrorCallback(&SilentRtMidi, nullptr);
            for (unsigned i = 0; i < out->getPortCount(); ++i) {
                if (out->getPortName(i) != name_) continue;
                out->openPort(i, "out");
                if (!out->isPortOpen()) break;
                port_.reset(new Port{std::move(out)});
                return;
            }
        } catch (...) {
        }
    }
    throw HostError("cannot open device " + std::to_string(device) + ", " + name_);
}

MidiPortOutput::~MidiPortOutput() {
    try {
        if (port_) port_->out->closePort();
    } catch (...) {
    }
}

bool MidiPortOutput::Send(const MidiMessage &message) {
    try {
        port_->out->sendMessage(&message);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace mthost
