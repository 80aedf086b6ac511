#include "live/relay_signals.h"

#include <chrono>
#include <thread>

#include "library/end_signals.h"
#include "live/relay_inputs.h"

namespace mthost {

std::string WaitForEnd(InputWatch &watch, const std::function<void()> &everySlice) {
    // The input is looked at every quarter of a second.
    constexpr int SLICES_PER_CHECK = 12;
    for (int slices = 1; !EndRequested(); ++slices) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        everySlice();
        if (slices % SLICES_PER_CHECK != 0) continue;
        const std::string problem = watch.Problem();
        if (!problem.empty()) return problem;
    }
    return std::string();
}

}  // namespace mthost
