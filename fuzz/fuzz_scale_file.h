// One reader of tuning files fed arbitrary bytes as a file's contents: the
// read either succeeds with a scale text the library's checker accepts (and
// that the writers turn back into a file the reader takes) or fails with a
// one-line message; nothing is read or written outside its buffers.
#ifndef MICROTUNE_FUZZ_SCALE_FILE_H
#define MICROTUNE_FUZZ_SCALE_FILE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "microtune.h"
#include "microtune_files.h"

namespace fuzz {

inline void Check(bool condition) {
    if (!condition) __builtin_trap();
}

// A message is one line, and a NUL ends it within its buffer.
inline void CheckMessage(const char *message, size_t size) {
    Check(std::memchr(message, '\0', size) != nullptr);
    Check(std::strchr(message, '\n') == nullptr);
}

inline void ReadScale(const uint8_t *data, size_t size, const char *name) {
    // The contents alone in a buffer of their own size: any read past is an overrun.
    std::vector<char> contents(data, data + size);
    MicrotuneScaleFile scale;
    std::vector<char> text(MICROTUNE_SCALE_TEXT_SIZE);
    char error[MICROTUNE_MESSAGE_SIZE];
    const int read = MicrotuneReadScaleMemory(contents.data(), static_cast<int>(size), name,
                                              MICROTUNE_FORMAT_BY_NAME, &scale, text.data(),
                                              static_cast<int>(text.size()), error, sizeof error);
    if (!read) return CheckMessage(error, sizeof error);
    Check(MicrotuneCheckScaleText(text.data(), error, sizeof error) == 1);
    if (scale.full_keyboard) return;
    // Written back, the text reads the same.
    std::vector<char> scl(1 << 20);
    const int length = MicrotuneWriteScala(text.data(), scale.description, scl.data(),
                                           static_cast<int>(scl.size()), error, sizeof error);
    Check(length > 0 && length < static_cast<int>(scl.size()));
    std::vector<char> again(MICROTUNE_SCALE_TEXT_SIZE);
    const int reread =
        MicrotuneReadScaleMemory(scl.data(), length, "again.scl", 0, &scale, again.data(),
                                 static_cast<int>(again.size()), error, sizeof error);
    if (reread != 1 || std::strcmp(again.data(), text.data()) != 0) {
        std::fprintf(stderr, "read back: %s\nwritten:\n%s\n", reread ? again.data() : error,
                     scl.data());
        __builtin_trap();
    }
}

}  // namespace fuzz

#endif
