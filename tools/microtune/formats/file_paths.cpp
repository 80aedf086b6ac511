// File names on POSIX systems: bytes, taken as they are.
#include "formats/file_paths.h"

namespace mthost {

std::filesystem::path PathOf(const std::string &name) { return std::filesystem::path(name); }

std::string NameOf(const std::filesystem::path &path) { return path.string(); }

std::FILE *OpenFile(const std::string &name, const char *mode) {
    return std::fopen(name.c_str(), mode);
}

std::filesystem::path ProgramFile() {
    std::error_code failed;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", failed);
    return failed || !program.is_absolute() ? std::filesystem::path() : program;
}

bool IsSeparator(char c) { return c == '/'; }

bool EndsInSeparator(const std::string &name) { return !name.empty() && IsSeparator(name.back()); }

bool HasFolderPart(const std::string &name) { return name.find('/') != std::string::npos; }

}  // namespace mthost
