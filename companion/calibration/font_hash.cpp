#include "font_hash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace calibration {
namespace {

constexpr uint64_t PRIME1 = 0x9E3779B185EBCA87ull;
constexpr uint64_t PRIME2 = 0xC2B2AE3D27D4EB4Full;

uint64_t Rotate(uint64_t x, int bits) { return (x << bits) | (x >> (64 - bits)); }

uint64_t Mix(uint64_t lane, uint64_t word) { return Rotate(lane + word * PRIME2, 31) * PRIME1; }

// Four independent lanes of multiply-rotate over 8-byte words: a font of a
// hundred megabytes hashes in a few tens of milliseconds. Not for security;
// only to tell fonts apart.
struct Hasher {
    uint64_t lanes[4] = {PRIME1 + PRIME2, PRIME2, 0, 0 - PRIME1};
    uint64_t size = 0;

    // Whole 32-byte blocks only, except at the very end.
    void Blocks(const unsigned char *data, size_t count) {
        for (size_t at = 0; at + 32 <= count; at += 32)
            for (int l = 0; l < 4; ++l) {
                uint64_t word;
                std::memcpy(&word, data + at + 8 * l, 8);
                lanes[l] = Mix(lanes[l], word);
            }
        size += count;
    }
    uint64_t Finish(const unsigned char *tail, size_t count) {
        size += count;
        uint64_t h = Rotate(lanes[0], 1) + Rotate(lanes[1], 7) + Rotate(lanes[2], 12) +
                     Rotate(lanes[3], 18) + size;
        for (size_t at = 0; at < count; ++at) h = Rotate(h ^ (tail[at] * PRIME1), 11) * PRIME2;
        h ^= h >> 33;
        h *= PRIME2;
        h ^= h >> 29;
        return h;
    }
};

}  // namespace

std::string FontContentHash(const std::string &path) {
    // Read, not mapped: a file cut short while it is read cannot crash us.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "";
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return "";
    }
    std::vector<unsigned char> buffer(1 << 20);
    Hasher hasher;
    size_t held = 0;
    for (;;) {
        const ssize_t got = read(fd, buffer.data() + held, buffer.size() - held);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            close(fd);
            return "";
        }
        held += static_cast<size_t>(got);
        if (got == 0 || held == buffer.size()) {
            const size_t whole = got == 0 ? held / 32 * 32 : held;
            hasher.Blocks(buffer.data(), whole);
            std::memmove(buffer.data(), buffer.data() + whole, held - whole);
            held -= whole;
            if (got == 0) break;
        }
    }
    close(fd);
    char text[17];
    std::snprintf(text, sizeof text, "%016llx",
                  static_cast<unsigned long long>(hasher.Finish(buffer.data(), held)));
    return text;
}

}  // namespace calibration
