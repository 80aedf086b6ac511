#include "live/relay_latency.h"

#include <algorithm>
#include <cstdio>

#include "formats/names.h"

namespace mthost {

void PrintLatency(const char *what, std::vector<uint32_t> samples) {
    if (samples.empty()) {
        std::printf("Latency of %s: none measured\n", what);
        return;
    }
    const double worst = *std::max_element(samples.begin(), samples.end());
    std::printf("Latency of %s: %zu measured, median %.1f us, worst %.1f us\n", what,
                samples.size(), Median(samples) / 1000.0, worst / 1000.0);
}

}  // namespace mthost
