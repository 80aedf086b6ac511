// FindMidiVoice with any text and a name buffer of exactly the given size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "microtune.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // First two bytes: the buffer size, 1..300. The rest: the text.
    if (size < 2) return 0;
    const int len = 1 + ((data[0] << 8) | data[1]) % 300;
    data += 2;
    size -= 2;

    std::vector<char> text(data, data + size);
    text.push_back('\0');
    std::vector<char> name(static_cast<size_t>(len));

    const int voice = FindMidiVoice(text.data(), name.data(), len);
    if (voice < 0 || voice > 127) std::abort();
    if (name[len - 1] != '\0') std::abort();

    // The name handed back is the voice's name cut to the buffer.
    std::vector<char> expected(static_cast<size_t>(len));
    GetMidiVoiceName(voice, expected.data(), len);
    if (std::memcmp(expected.data(), name.data(), static_cast<size_t>(len)) != 0) std::abort();
    return 0;
}
