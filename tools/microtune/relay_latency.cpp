#include "relay_latency.h"

#include <algorithm>
#include <cstdio>

namespace mthost {

void PrintLatency(const char *what, std::vector<uint32_t> samples) {
    if (samples.empty()) {
        std::printf("Latency of %s: none measured\n", what);
        return;
    }
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    const double median =
        n % 2 ? samples[n / 2] : 0.5 * (samples[n / 2 - 1] + double(samples[n / 2]));
    std::printf("Latency of %s: %zu measured, median %.1f us, worst %.1f us\n", what, n,
                median / 1000.0, samples.back() / 1000.0);
}

}  // namespace mthost
