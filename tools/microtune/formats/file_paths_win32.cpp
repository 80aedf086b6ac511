// File names on Windows: the host's UTF-8 names become the UTF-16 names of
// the wide file calls, so that no name depends on the ANSI code page.
#include <windows.h>

#include <vector>

#include "formats/file_paths.h"

namespace mthost {

std::filesystem::path PathOf(const std::string &name) { return std::filesystem::u8path(name); }

std::string NameOf(const std::filesystem::path &path) { return path.u8string(); }

std::FILE *OpenFile(const std::string &name, const char *mode) {
    const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(PathOf(name).c_str(), wideMode.c_str());
}

std::filesystem::path ProgramFile() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return std::filesystem::path();
        if (n < buffer.size()) return std::filesystem::path(std::wstring(buffer.data(), n));
        buffer.resize(buffer.size() * 2);
    }
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool EndsInSeparator(const std::string &name) { return !name.empty() && IsSeparator(name.back()); }

bool HasFolderPart(const std::string &name) {
    return name.find_first_of("/\\:") != std::string::npos;
}

}  // namespace mthost
