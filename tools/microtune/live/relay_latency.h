// The relay's latency figures: how long each message takes from the input
// callback's start to the library call's return.
#ifndef MICROTUNE_RELAY_LATENCY_H
#define MICROTUNE_RELAY_LATENCY_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mthost {

struct Latency {
    // Nanoseconds from the callback's start to the library call's return,
    // kept without allocating while the relay runs.
    static constexpr size_t CAPACITY = 1u << 20;
    std::vector<uint32_t> all, presses;
    void Reserve() {
        all.reserve(CAPACITY);
        presses.reserve(CAPACITY);
    }
    static void Add(std::vector<uint32_t> &samples, uint32_t ns) {
        if (samples.size() < samples.capacity()) samples.push_back(ns);
    }
};

// One line: how many were measured, the median and the worst.
void PrintLatency(const char *what, std::vector<uint32_t> samples);

}  // namespace mthost

#endif
