// The MIDI device module: output ports through RtMidi, ALSA sequencer ports
// first, then JACK ports when a JACK server runs. RtMidi, ALSA and JACK never
// print and never start a JACK server; no exception leaves this file.
#include "platform/midi_devices.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <rtmidi/RtMidi.h>
#include <time.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

using mt::MMSYSERR_ALLOCATED_CODE;
using mt::MMSYSERR_BADDEVICEID_CODE;
using mt::MMSYSERR_ERROR_CODE;
using mt::MMSYSERR_INVALHANDLE_CODE;
using mt::MMSYSERR_NODRIVER_CODE;
using mt::MMSYSERR_NOERROR_CODE;

// RtMidi, ALSA and JACK print their errors by default; the library prints
// nothing, so they are all silenced before first use. RtMidi's text is kept
// as the reason of a failed open.
void SilentAlsaHandler(const char *, int, const char *, int, const char *, ...) {}
void SilentJackHandler(const char *) {}
void KeepRtMidiError(RtMidiError::Type, const std::string &text, void *kept) {
    *static_cast<std::string *>(kept) = text;
}

void SilenceSystemLibraries() {
    static bool done = false;
    if (done) return;
    done = true;
    snd_lib_error_set_handler(&SilentAlsaHandler);
    jack_set_error_function(&SilentJackHandler);
    jack_set_info_function(&SilentJackHandler);
}

// A JACK server is asked for only if one already runs: RtMidi would report
// its absence on standard error, and nothing here may start one.
bool JackServerRunning() {
    jack_client_t *client = jack_client_open("microtune-probe", JackNoStartServer, nullptr);
    if (!client) return false;
    jack_client_close(client);
    return true;
}

// Likewise RtMidi reports a missing ALSA sequencer on standard error before
// any error callback can be installed, so the sequencer is tried first.
bool AlsaSequencerAvailable() {
    snd_seq_t *seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, 0) < 0) return false;
    snd_seq_close(seq);
    return true;
}

struct Output {
    std::unique_ptr<RtMidiOut> out;
    RtMidi::Api api = RtMidi::UNSPECIFIED;
    std::string error;  // RtMidi's last complaint
    timespec lastSend{};
};

// A client of the API, or null with the reason in `reason`.
std::unique_ptr<Output> NewOutput(RtMidi::Api api, std::string &reason) {
    SilenceSystemLibraries();
    if (api == RtMidi::UNIX_JACK && !JackServerRunning()) {
        reason = "no JACK server runs";
        return nullptr;
    }
    if (api == RtMidi::LINUX_ALSA && !AlsaSequencerAvailable()) {
        reason = "the ALSA sequencer (/dev/snd/seq) cannot be opened";
        return nullptr;
    }
    try {
        std::unique_ptr<Output> output(new Output);
        output->out.reset(new RtMidiOut(api, "microtune"));
        output->out->setErrorCallback(&KeepRtMidiError, &output->error);
        output->api = api;
        return output;
    } catch (const std::exception &error) {
        reason = error.what();
    } catch (...) {
        reason = "RtMidi failed";
    }
    return nullptr;
}

struct Port {
    RtMidi::Api api;
    unsigned index;
    std::string name;
};

std::vector<Port> ports;

bool ApiCompiled(RtMidi::Api api) {
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    for (RtMidi::Api a : apis)
        if (a == api) return true;
    return false;
}

unsigned Count() {
    try {
        ports.clear();
        for (RtMidi::Api api : {RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK}) {
            if (!ApiCompiled(api)) continue;
            std::string ignored;
            std::unique_ptr<Output> output = NewOutput(api, ignored);
            if (!output) continue;
            const unsigned n = output->out->getPortCount();
            for (unsigned i = 0; i < n; ++i) ports.push_back({api, i, output->out->getPortName(i)});
        }
    } catch (...) {
    }
    return static_cast<unsigned>(ports.size());
}

unsigned Name(int index, char *name, size_t size) {
    if (index < 0 || index >= static_cast<int>(ports.size())) return MMSYSERR_BADDEVICEID_CODE;
    std::snprintf(name, size, "%s", ports[static_cast<size_t>(index)].name.c_str());
    return MMSYSERR_NOERROR_CODE;
}

unsigned Fail(unsigned code, const std::string &text, char *reason, size_t size) {
    std::snprintf(reason, size, "%s", text.c_str());
    return code;
}

unsigned Open(int index, void **handle, char *reason, size_t size) {
    if (index < 0 || index >= static_cast<int>(ports.size()))
        return Fail(MMSYSERR_BADDEVICEID_CODE,
                    "there is no MIDI output " + std::to_string(index) + " (" +
                        std::to_string(ports.size()) + " listed)",
                    reason, size);
    const Port port = ports[static_cast<size_t>(index)];
    std::string why;
    std::unique_ptr<Output> output = NewOutput(port.api, why);
    if (!output) return Fail(MMSYSERR_NODRIVER_CODE, port.name + ": " + why, reason, size);
    try {
        // Ports come and go: find the port by name again, by index otherwise.
        unsigned at = port.index;
        const unsigned n = output->out->getPortCount();
        for (unsigned i = 0; i < n; ++i) {
            if (output->out->getPortName(i) == port.name) {
                at = i;
                break;
            }
        }
        if (at >= n)
            return Fail(MMSYSERR_BADDEVICEID_CODE, port.name + ": the port is gone", reason, size);
        output->out->openPort(at, "microtune");
        if (!output->out->isPortOpen())
            return Fail(
                MMSYSERR_ALLOCATED_CODE,
                port.name + ": " + (output->error.empty() ? "the port refused" : output->error),
                reason, size);
        *handle = output.release();
        return MMSYSERR_NOERROR_CODE;
    } catch (const std::exception &error) {
        return Fail(MMSYSERR_ERROR_CODE, port.name + ": " + error.what(), reason, size);
    } catch (...) {
        return Fail(MMSYSERR_ERROR_CODE, port.name + ": RtMidi failed", reason, size);
    }
}

unsigned Send(void *handle, const unsigned char *bytes, size_t length) {
    if (!handle) return MMSYSERR_INVALHANDLE_CODE;
    Output *output = static_cast<Output *>(handle);
    try {
        output->out->sendMessage(bytes, length);
        clock_gettime(CLOCK_MONOTONIC, &output->lastSend);
        return MMSYSERR_NOERROR_CODE;
    } catch (...) {
        return MMSYSERR_ERROR_CODE;
    }
}

// How long a closing JACK port stays after its last message.
constexpr int64_t CLOSE_WAIT_NS = 100000000;

unsigned Close(void *handle) {
    if (!handle) return MMSYSERR_INVALHANDLE_CODE;
    Output *output = static_cast<Output *>(handle);
    // A JACK port's messages wait in RtMidi's buffer for the server's next
    // cycle and reach the receiver in a later one; unregistering the port
    // sooner loses the last note-offs. RtMidi does not show its buffer, and
    // a server that is not scheduled in real time runs its cycles late, so
    // the port stays for a bounded time after the last message.
    if (output->api == RtMidi::UNIX_JACK) {
        timespec until = output->lastSend;
        const int64_t ns = until.tv_nsec + CLOSE_WAIT_NS;
        until.tv_sec += static_cast<time_t>(ns / 1000000000);
        until.tv_nsec = static_cast<long>(ns % 1000000000);
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
        }
    }
    try {
        output->out->closePort();
    } catch (...) {
    }
    delete output;
    return MMSYSERR_NOERROR_CODE;
}

const MicrotuneDevicesTable kTable = {
    MICROTUNE_DEVICES_VERSION, &Count, &Name, &Open, &Send, &Close};

}  // namespace

extern "C" __attribute__((visibility("default"))) const MicrotuneDevicesTable *MicrotuneDevices() {
    return &kTable;
}
