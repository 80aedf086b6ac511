// File format, line by line (a file that differs in anything is ignored):
//   microtune key calibration <version>
//   font <hash> bank <bank> program <program>
//   key <k> <state> <cents>        for k = 0..127, state as in KeyState
//   check <hash of everything above>
// The version changes whenever the way keys are measured changes.
#include "calibration_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "output_file/output_file.h"

namespace calibration {
namespace {

constexpr int FORMAT_VERSION = 1;
constexpr long MAX_FILE_BYTES = 16384;

uint64_t TextHash(const std::string &text) {
    uint64_t h = 1469598103934665603ull;  // FNV-1a
    for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
    return h;
}

std::string FileName(const std::string &directory, const std::string &fontHash, int bank,
                     int program) {
    return directory + "/" + fontHash + "-" + std::to_string(bank) + "-" + std::to_string(program) +
           ".cal";
}

std::string Header(const std::string &fontHash, int bank, int program) {
    return "microtune key calibration " + std::to_string(FORMAT_VERSION) + "\nfont " + fontHash +
           " bank " + std::to_string(bank) + " program " + std::to_string(program) + "\n";
}

bool ValidState(char c) {
    return c == static_cast<char>(KeyState::Corrected) ||
           c == static_cast<char>(KeyState::Unpitched) || c == static_cast<char>(KeyState::Wild) ||
           c == static_cast<char>(KeyState::Silent);
}

// Every folder on the way, as mkdir -p; user-only, as caches are.
bool MakeDirectories(const std::string &path) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != '/') continue;
        const std::string part = path.substr(0, at);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::string CacheDirectory() {
    const char *xdg = std::getenv("XDG_CACHE_HOME");
    // A relative XDG path is invalid and to be ignored.
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/microtune";
    const char *home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.cache/microtune";
    return "";
}

bool LoadCalibration(const std::string &directory, const std::string &fontHash, int bank,
                     int program, ProgramCalibration &out) {
    if (directory.empty() || fontHash.empty()) return false;
    // Never waits: a FIFO or a device at the name is no entry, as a corrupt
    // file is not.
    const int fd = open(FileName(directory, fontHash, bank, program).c_str(),
                        O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return false;
    }
    std::string text;
    char chunk[4096];
    ssize_t got;
    while ((got = read(fd, chunk, sizeof chunk)) > 0 &&
           text.size() <= static_cast<size_t>(MAX_FILE_BYTES))
        text.append(chunk, static_cast<size_t>(got));
    close(fd);
    if (text.size() > static_cast<size_t>(MAX_FILE_BYTES)) return false;

    const size_t checkAt = text.rfind("check ");
    if (checkAt == std::string::npos || (checkAt > 0 && text[checkAt - 1] != '\n')) return false;
    char expected[32];
    std::snprintf(expected, sizeof expected, "check %016llx\n",
                  static_cast<unsigned long long>(TextHash(text.substr(0, checkAt))));
    if (text.compare(checkAt, std::string::npos, expected) != 0) return false;

    const std::string header = Header(fontHash, bank, program);
    if (text.compare(0, header.size(), header) != 0) return false;
    ProgramCalibration read;
    read.bank = bank;
    read.program = program;
    std::istringstream lines(text.substr(header.size(), checkAt - header.size()));
    std::string line;
    for (int key = 0; key < KEYS; ++key) {
        if (!std::getline(lines, line)) return false;
        int k = -1;
        char state = 0;
        double cents = 0.0;
        int used = 0;
        if (std::sscanf(line.c_str(), "key %d %c %lf%n", &k, &state, &cents, &used) != 3 ||
            static_cast<size_t>(used) != line.size() || k != key || !ValidState(state) ||
            !std::isfinite(cents) || std::fabs(cents) > 1200.0)
            return false;
        read.keys[key].state = static_cast<KeyState>(state);
        read.keys[key].cents = cents;
        if (read.keys[key].state == KeyState::Corrected && std::fabs(cents) > MAX_CORRECTION_CENTS)
            return false;
    }
    if (std::getline(lines, line)) return false;  // more keys than there are
    out = read;
    return true;
}

bool SaveCalibration(const std::string &directory, const std::string &fontHash,
                     const ProgramCalibration &calibration) {
    if (directory.empty() || fontHash.empty() || !MakeDirectories(directory)) return false;
    std::string text = Header(fontHash, calibration.bank, calibration.program);
    for (int key = 0; key < KEYS; ++key) {
        char line[64];
        std::snprintf(line, sizeof line, "key %d %c %.4f\n", key,
                      static_cast<char>(calibration.keys[key].state), calibration.keys[key].cents);
        text += line;
    }
    char check[32];
    std::snprintf(check, sizeof check, "check %016llx\n",
                  static_cast<unsigned long long>(TextHash(text)));
    text += check;

    // Written aside and renamed into place: a reader never sees half a file.
    mtio::OutputFile file(FileName(directory, fontHash, calibration.bank, calibration.program));
    // Anything but a regular file at the name is left alone.
    return file.Ok() && !file.Direct() && file.Write(text.data(), text.size()) && file.Commit();
}

}  // namespace calibration
