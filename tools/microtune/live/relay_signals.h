// How the relay ends: SIGINT and SIGTERM are blocked in every thread, the
// library's, JACK's and the synthesizer's included, and taken by the main
// thread alone.
#ifndef MICROTUNE_RELAY_SIGNALS_H
#define MICROTUNE_RELAY_SIGNALS_H

#include <signal.h>

#include <string>

namespace mthost {

struct Session;
class InputWatch;

// SIGINT and SIGTERM. Block them before any thread starts, so that every
// thread inherits the mask.
sigset_t EndSignals();

// Prints the session's verbose lines as they come until an end signal, or
// until `watch` reports a problem with the input, which it returns.
std::string WaitForEnd(Session &session, InputWatch &watch);

}  // namespace mthost

#endif
