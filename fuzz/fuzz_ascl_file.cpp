// The .ascl reader from memory (fuzz_scale_file.h).
#include "fuzz_scale_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::ReadScale(data, size, "fuzz.ascl");
    return 0;
}
