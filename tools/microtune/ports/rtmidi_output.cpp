// MIDI Tuning Standard messages to an ALSA sequencer or JACK port, through RtMidi.
#include <rtmidi/RtMidi.h>

#include <memory>

#include "ports/alsa_jack_ports.h"
#include "ports/midi_systems.h"

namespace mthost {
namespace ports {

void *OpenOutput(const std::string &name) {
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
                return out.release();
            }
        } catch (...) {
        }
    }
    return nullptr;
}

bool Send(void *output, const unsigned char *bytes, std::size_t size) {
    try {
        static_cast<RtMidiOut *>(output)->sendMessage(bytes, size);
        return true;
    } catch (...) {
        return false;
    }
}

void CloseOutput(void *output) {
    RtMidiOut *out = static_cast<RtMidiOut *>(output);
    try {
        if (out) out->closePort();
    } catch (...) {
    }
    delete out;
}

}  // namespace ports
}  // namespace mthost
