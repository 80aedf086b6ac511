#include "ports/midi_systems.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <algorithm>
#include <vector>

namespace mthost {
namespace ports {
namespace {

void SilentAlsa(const char *, int, const char *, int, const char *, ...) {}
void SilentJack(const char *) {}

}  // namespace

void SilenceMidiSystems() {
    snd_lib_error_set_handler(&SilentAlsa);
    jack_set_error_function(&SilentJack);
    jack_set_info_function(&SilentJack);
}

void SilentRtMidi(RtMidiError::Type, const std::string &, void *) {}

bool JackServerRunning() {
    jack_client_t *client = jack_client_open("microtune-probe", JackNoStartServer, nullptr);
    if (!client) return false;
    jack_client_close(client);
    return true;
}

bool ApiUsable(RtMidi::Api api, bool forOutput) {
    std::vector<RtMidi::Api> compiled;
    RtMidi::getCompiledApi(compiled);
    if (std::find(compiled.begin(), compiled.end(), api) == compiled.end()) return false;
    if (api == RtMidi::UNIX_JACK) return JackServerRunning();
    if (api != RtMidi::LINUX_ALSA) return false;
    snd_seq_t *seq = nullptr;
    if (snd_seq_open(&seq, "default", forOutput ? SND_SEQ_OPEN_OUTPUT : SND_SEQ_OPEN_INPUT, 0) < 0)
        return false;
    snd_seq_close(seq);
    return true;
}

}  // namespace ports
}  // namespace mthost
