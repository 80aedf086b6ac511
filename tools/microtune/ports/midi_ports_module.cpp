// The ports module's one entry: its table, each member catching whatever
// RtMidi, ALSA, JACK or the allocator throw, so that nothing crosses into
// the host.
#include <exception>

#include "ports/alsa_jack_ports.h"
#include "ports/midi_ports.h"

namespace mthost {
namespace ports {
namespace {

std::string Why(const char *what) { return what && *what ? what : "unknown error"; }

std::vector<InputPort> ListInputsCaught() {
    try {
        return ListInputs();
    } catch (...) {
        return {};
    }
}

std::string NoInputsReasonCaught() {
    try {
        return NoInputsReason();
    } catch (const std::exception &e) {
        return Why(e.what());
    }
}

void *OpenWatch(const InputPort &port) {
    try {
        return new InputWatch(port);
    } catch (...) {
        return nullptr;
    }
}

std::string WatchProblem(void *watch) {
    try {
        return watch ? static_cast<InputWatch *>(watch)->Problem() : std::string();
    } catch (...) {
        return std::string();
    }
}

bool WatchServerStopped(void *watch) {
    return watch && static_cast<InputWatch *>(watch)->ServerStopped();
}

void CloseWatch(void *watch) { delete static_cast<InputWatch *>(watch); }

void *OpenInput(const InputPort &port, InputHandler handler, void *context, std::string &error) {
    try {
        return new KeyInput(port, handler, context);
    } catch (const std::exception &e) {
        error = Why(e.what());
    } catch (...) {
        error = Why(nullptr);
    }
    return nullptr;
}

void CloseInput(void *input, bool serverStopped) {
    KeyInput *key = static_cast<KeyInput *>(input);
    if (!key) return;
    try {
        key->Close(serverStopped);
    } catch (...) {
    }
    delete key;
}

void *OpenOutput(const std::string &name) {
    try {
        return OutputPort::Open(name).release();
    } catch (...) {
        return nullptr;
    }
}

bool Send(void *output, const unsigned char *bytes, std::size_t size) {
    return output && static_cast<OutputPort *>(output)->Send(bytes, size);
}

void CloseOutput(void *output) { delete static_cast<OutputPort *>(output); }

const MidiPortsTable TABLE = {MICROTUNE_PORTS_VERSION,
                              &ListInputsCaught,
                              &NoInputsReasonCaught,
                              &ApiName,
                              &OpenWatch,
                              &WatchProblem,
                              &WatchServerStopped,
                              &CloseWatch,
                              &OpenInput,
                              &CloseInput,
                              &OpenOutput,
                              &Send,
                              &CloseOutput};

}  // namespace
}  // namespace ports
}  // namespace mthost

extern "C" __attribute__((visibility("default"))) const mthost::MidiPortsTable *
MicrotuneHostPorts() {
    return &mthost::ports::TABLE;
}
