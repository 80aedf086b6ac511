// Scale texts from arbitrary bytes. The ratio array is exactly as large as
// the fourth argument allows, so any write past the bound is an overrun;
// then the parsed table is asked for the ratios of degrees from the input.
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "microtune.h"
#include "tuning/scale_table.h"

namespace {

struct Input {
    const uint8_t *data;
    size_t size;

    int32_t Take32() {
        uint32_t value = 0;
        for (int i = 0; i < 4 && size > 0; ++i, ++data, --size) value |= uint32_t(*data) << (8 * i);
        return static_cast<int32_t>(value);
    }
    uint8_t Take8() {
        if (size == 0) return 0;
        --size;
        return *data++;
    }
};

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Input input{data, size};

    // Small fourth arguments half of the time, any int otherwise.
    const uint8_t mode = input.Take8();
    const int32_t raw = input.Take32();
    const int maxEntries = (mode & 1) ? static_cast<int16_t>(raw & 0xffff) : raw;
    int degrees[4];
    const int nDegrees = mode >> 6;
    for (int i = 0; i < nDegrees; ++i) degrees[i] = input.Take32();

    char *text = static_cast<char *>(std::malloc(input.size + 1));
    std::memcpy(text, input.data, input.size);
    text[input.size] = '\0';

    const int room = (maxEntries >= 1 && maxEntries <= 1022) ? maxEntries : 1023;
    double *ratios = static_cast<double *>(std::malloc(sizeof(double) * room));
    for (int i = 0; i < room; ++i) ratios[i] = std::numeric_limits<double>::quiet_NaN();
    int count = -1;
    GetScaleFromText(ratios, &count, text, maxEntries);

    Check(count >= 0 && count <= room);
    // Every entry below the count was written by this parse, and only
    // finite values are written.
    for (int i = 0; i < count; ++i) Check(std::isfinite(ratios[i]));
    const char *kept = GetszMostRecentScale();
    const size_t keptLength = std::strlen(kept);
    Check(keptLength <= 1023 && std::strncmp(kept, text, keptLength) == 0);

    const int fixed[] = {0, 1, -1, INT_MAX, INT_MIN};
    for (int degree : fixed) Check(!std::isnan(mt::RatioForScaleDegree(ratios, count, degree)));
    for (int i = 0; i < nDegrees; ++i)
        Check(!std::isnan(mt::RatioForScaleDegree(ratios, count, degrees[i])));

    std::free(ratios);
    std::free(text);
    return 0;
}
