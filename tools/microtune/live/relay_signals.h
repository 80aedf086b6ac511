// How a relay ends: Ctrl-C or SIGTERM (library/end_signals.h), or a problem
// with its input port.
#ifndef MICROTUNE_LIVE_RELAY_SIGNALS_H
#define MICROTUNE_LIVE_RELAY_SIGNALS_H

#include <functional>
#include <string>

namespace mthost {

class InputWatch;

// Calls `everySlice` (printing the relay's lines) every 20 ms until an end
// signal, or until `watch` reports a problem with the input, which it
// returns. The relay holds an EndSignalCatcher from its start, before any
// thread runs, so that a signal at any moment ends it cleanly; a second one
// ends the process at once.
std::string WaitForEnd(InputWatch &watch, const std::function<void()> &everySlice);

}  // namespace mthost

#endif
