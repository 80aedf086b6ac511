// The relay's JACK input: JACK's process callback only copies each MIDI
// event into a lock-free ring buffer; a worker thread reads the bytes as a
// MIDI stream and makes the library calls. A burst costs latency, never
// input, as long as the ring holds it, and the callback stays bounded
// whatever the library and the output do.
#ifndef MICROTUNE_JACK_KEY_INPUT_H
#define MICROTUNE_JACK_KEY_INPUT_H

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

namespace mthost {

class JackKeyInput {
public:
    // One complete channel message, on the worker thread, with the time its
    // event reached the process callback.
    using Handler = void (*)(const unsigned char *message, std::size_t size,
                             std::chrono::steady_clock::time_point arrived, void *context);

    // Connects a port of its own to the named output port; throws HostError.
    JackKeyInput(const std::string &source, Handler handler, void *context);
    ~JackKeyInput();
    JackKeyInput(const JackKeyInput &) = delete;
    JackKeyInput &operator=(const JackKeyInput &) = delete;

    // Stops taking input; everything already queued is handled before this
    // returns.
    void Close();
    // For a server that has gone: the client cannot be closed; the worker
    // is stopped and the rest left to the process's end.
    void Abandon();

    // Events the ring could not hold (a figure for the statistics).
    std::size_t Dropped() const;

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace mthost

#endif
