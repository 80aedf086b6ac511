// The relay's inputs on Windows: the MIDI input devices of winmm. Their
// callback (midiInOpen) may call next to nothing, so it only queues each
// short message; a worker thread of the input's hands them on. A burst
// costs latency, never input, as long as the queue holds it.
#include <windows.h>  // with mmsystem.h

#include <vector>

#include "host_error.h"
#include "live/relay_inputs.h"

namespace mthost {
namespace {

// Seconds of the densest input a MIDI cable carries.
constexpr size_t QUEUE_MESSAGES = 1u << 16;

std::string InputName(UINT id) {
    MIDIINCAPSA caps;
    if (midiInGetDevCapsA(id, &caps, sizeof caps) != MMSYSERR_NOERROR) return std::string();
    return caps.szPname;
}

// The device id that bears this name now, or false.
bool FindInput(const std::string &name, UINT *id) {
    const UINT count = midiInGetNumDevs();
    for (UINT i = 0; i < count; ++i) {
        if (InputName(i) == name) {
            *id = i;
            return true;
        }
    }
    return false;
}

// The data bytes that follow a channel status byte.
size_t DataBytes(unsigned char status) {
    const int kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

}  // namespace

const char *ApiName(const InputPort &) { return "Windows"; }

std::vector<InputPort> ListInputs() {
    std::vector<InputPort> ports;
    const UINT count = midiInGetNumDevs();
    for (UINT i = 0; i < count; ++i) {
        const std::string name = InputName(i);
        if (!name.empty()) ports.push_back({0, i, name});
    }
    return ports;
}

std::string NoInputsReason() { return "no MIDI inputs: Windows lists no MIDI input device"; }

struct InputWatch::State {
    InputPort port;
};

InputWatch::InputWatch(const InputPort &port) : state_(new State{port}) {}
InputWatch::~InputWatch() = default;
bool InputWatch::ServerStopped() const { return false; }

std::string InputWatch::Problem() {
    UINT id = 0;
    if (FindInput(state_->port.name, &id)) return std::string();
    return "MIDI input " + state_->port.name + " has gone away";
}

struct KeyInput::State {
    struct Queued {
        DWORD message;
        std::chrono::steady_clock::time_point arrived;
    };

    InputHandler handler = nullptr;
    void *context = nullptr;
    HMIDIIN in = nullptr;
    HANDLE wake = nullptr;
    HANDLE worker = nullptr;
    CRITICAL_SECTION lock;
    std::vector<Queued> queue = std::vector<Queued>(QUEUE_MESSAGES);
    size_t head = 0, count = 0;  // under lock
    bool stopping = false;       // under lock

    // winmm's thread: only queues.
    static void CALLBACK OnInput(HMIDIIN, UINT kind, DWORD_PTR self, DWORD_PTR message, DWORD_PTR) {
        if (kind != MIM_DATA) return;
        State &s = *reinterpret_cast<State *>(self);
        const auto now = std::chrono::steady_clock::now();
        EnterCriticalSection(&s.lock);
        if (s.count < s.queue.size()) {
            s.queue[(s.head + s.count) % s.queue.size()] = {static_cast<DWORD>(message), now};
            ++s.count;
        }
        LeaveCriticalSection(&s.lock);
        SetEvent(s.wake);
    }

    bool Take(Queued *next, bool *stop) {
        EnterCriticalSection(&lock);
        const bool any = count > 0;
        if (any) {
            *next = queue[head];
            head = (head + 1) % queue.size();
            --count;
        }
        *stop = stopping;
        LeaveCriticalSection(&lock);
        return any;
    }

    // Channel messages go on; real-time and system messages carry no keys.
    void Hand(const Queued &queued) {
        const unsigned char bytes[3] = {static_cast<unsigned char>(queued.message & 0xFF),
                                        static_cast<unsigned char>((queued.message >> 8) & 0x7F),
                                        static_cast<unsigned char>((queued.message >> 16) & 0x7F)};
        if (bytes[0] < 0x80 || bytes[0] >= 0xF0) return;
        handler(bytes, 1 + DataBytes(bytes[0]), queued.arrived, context);
    }

    static DWORD WINAPI Work(void *self) {
        State &s = *static_cast<State *>(self);
        for (;;) {
            WaitForSingleObject(s.wake, INFINITE);
            Queued next;
            bool stop = false;
            while (s.Take(&next, &stop)) s.Hand(next);
            if (stop) return 0;
        }
    }
};

KeyInput::KeyInput(const InputPort &port, InputHandler handler, void *context) : state_(new State) {
    State &s = *state_;
    s.handler = handler;
    s.context = context;
    InitializeCriticalSection(&s.lock);
    s.wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    UINT id = 0;
    if (!FindInput(port.name, &id)) {
        Close(false);
        throw HostError("MIDI input " + port.name + " has gone away");
    }
    s.worker = s.wake ? CreateThread(nullptr, 0, &State::Work, &s, 0, nullptr) : nullptr;
    if (!s.worker ||
        midiInOpen(&s.in, id, reinterpret_cast<DWORD_PTR>(&State::OnInput),
                   reinterpret_cast<DWORD_PTR>(&s), CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
        s.in = nullptr;
        Close(false);
        throw HostError("cannot open MIDI input " + port.name);
    }
    if (midiInStart(s.in) != MMSYSERR_NOERROR) {
        Close(false);
        throw HostError("cannot start MIDI input " + port.name);
    }
}

KeyInput::~KeyInput() { Close(false); }

void KeyInput::Close(bool) {
    if (!state_) return;
    State &s = *state_;
    // No callback comes once the device is closed; then the worker hands
    // on what is left in the queue.
    if (s.in) {
        midiInStop(s.in);
        midiInReset(s.in);
        midiInClose(s.in);
    }
    if (s.worker) {
        EnterCriticalSection(&s.lock);
        s.stopping = true;
        LeaveCriticalSection(&s.lock);
        SetEvent(s.wake);
        WaitForSingleObject(s.worker, INFINITE);
        CloseHandle(s.worker);
    }
    if (s.wake) CloseHandle(s.wake);
    DeleteCriticalSection(&s.lock);
    state_.reset();
}

}  // namespace mthost
