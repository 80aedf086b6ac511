#include "live/relay_signals.h"

#include <ctime>

#include "live/relay_inputs.h"
#include "live/relay_session.h"

namespace mthost {

sigset_t EndSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

std::string WaitForEnd(Session &session, InputWatch &watch) {
    const sigset_t signals = EndSignals();
    timespec slice{0, 20 * 1000 * 1000};
    // The input is looked at every quarter of a second.
    constexpr int SLICES_PER_CHECK = 12;
    for (int slices = 1; sigtimedwait(&signals, nullptr, &slice) < 0; ++slices) {
        session.PrintPendingLines();
        if (slices % SLICES_PER_CHECK != 0) continue;
        const std::string problem = watch.Problem();
        if (!problem.empty()) return problem;
    }
    return std::string();
}

}  // namespace mthost
