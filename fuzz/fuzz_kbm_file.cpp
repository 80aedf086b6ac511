// The .kbm reader from memory: a map it takes gives a key table for a
// 12-TET scale or a one-line message, and is written back as a map that
// reads the same.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_scale_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<char> contents(data, data + size);
    MicrotuneKeyboardMap map, again;
    char error[MICROTUNE_MESSAGE_SIZE];
    if (!MicrotuneReadKeyboardMapMemory(contents.data(), static_cast<int>(size), "fuzz.kbm", &map,
                                        error, sizeof error)) {
        fuzz::CheckMessage(error, sizeof error);
        return 0;
    }
    fuzz::Check(map.size >= 0 && map.size <= MICROTUNE_MAX_MAP_SIZE);
    fuzz::Check(map.reference_hz >= 8.0 && map.reference_hz <= 13300.0);
    const double ratios[] = {1.0, 1.0594630943592953};
    MicrotuneKeyTable table;
    if (MicrotuneMakeKeyTable(ratios, 2, &map, "fuzz.kbm", 0.0, &table, error, sizeof error) != 1) {
        fuzz::CheckMessage(error, sizeof error);
        return 0;
    }
    std::vector<char> kbm(1 << 16);
    const int length = MicrotuneWriteKeyboardMap(&map, &table, kbm.data(),
                                                 static_cast<int>(kbm.size()), error, sizeof error);
    fuzz::Check(length > 0 && length < static_cast<int>(kbm.size()));
    fuzz::Check(MicrotuneReadKeyboardMapMemory(kbm.data(), length, "again.kbm", &again, error,
                                               sizeof error) == 1);
    fuzz::Check(again.size == map.size && again.middle_key == map.middle_key &&
                std::memcmp(again.mapping, map.mapping, sizeof(int) * map.size) == 0);
    return 0;
}
