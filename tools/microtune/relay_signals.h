// How the relay ends: SIGINT and SIGTERM are blocked in every thread, the
// library's, JACK's and the synthesizer's included, and taken by the main
// thread alone.
#ifndef MICROTUNE_RELAY_SIGNALS_H
#define MICROTUNE_RELAY_SIGNALS_H

#include <signal.h>

namespace mthost {

struct Session;

// SIGINT and SIGTERM. Block them before any thread starts, so that every
// thread inherits the mask.
sigset_t EndSignals();

// Prints the session's verbose lines as they come until an end signal.
void WaitForEnd(Session &session);

}  // namespace mthost

#endif
