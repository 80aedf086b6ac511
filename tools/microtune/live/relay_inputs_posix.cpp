// The relay's inputs on Linux, in the MIDI ports module (ports/), which is
// loaded only when the relay lists or opens one.
#include "host_error.h"
#include "live/relay_inputs.h"

namespace mthost {

const char *ApiName(const InputPort &port) { return MidiPorts().apiName(port.system); }

std::vector<InputPort> ListInputs() { return MidiPorts().listInputs(); }

std::string NoInputsReason() { return MidiPorts().noInputsReason(); }

struct InputWatch::State {
    void *watch = nullptr;
};

InputWatch::InputWatch(const InputPort &port) : state_(new State) {
    state_->watch = MidiPorts().openWatch(port);
}

InputWatch::~InputWatch() { MidiPorts().closeWatch(state_->watch); }

std::string InputWatch::Problem() { return MidiPorts().watchProblem(state_->watch); }

bool InputWatch::ServerStopped() const { return MidiPorts().watchServerStopped(state_->watch); }

struct KeyInput::State {
    void *input = nullptr;
};

KeyInput::KeyInput(const InputPort &port, InputHandler handler, void *context) : state_(new State) {
    std::string error;
    state_->input = MidiPorts().openInput(port, handler, context, error);
    if (!state_->input) throw HostError(error);
}

KeyInput::~KeyInput() { Close(false); }

void KeyInput::Close(bool serverStopped) {
    if (!state_) return;
    MidiPorts().closeInput(state_->input, serverStopped);
    state_.reset();
}

}  // namespace mthost
