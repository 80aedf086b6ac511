#include "relay_signals.h"

#include <ctime>

#include "relay_session.h"

namespace mthost {

sigset_t EndSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

void WaitForEnd(Session &session) {
    const sigset_t signals = EndSignals();
    timespec slice{0, 20 * 1000 * 1000};
    while (sigtimedwait(&signals, nullptr, &slice) < 0) session.PrintPendingLines();
}

}  // namespace mthost
