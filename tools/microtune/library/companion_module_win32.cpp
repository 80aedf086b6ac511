// Windows has no built-in software synthesizer (its companion is built for
// Linux only): the host never loads one, whatever the library finds.
#include <windows.h>

#include "formats/file_paths.h"
#include "library/companion_module.h"
#include "library/companion_start.h"
#include "microtune.h"

namespace mthost {

std::string LibraryDirectory() {
    HMODULE library = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&nNumOutDevices), &library))
        return std::string();
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(library, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return std::string();
    return NameOf(std::filesystem::path(std::wstring(path, n)).parent_path());
}

void *LoadedCompanion() { return nullptr; }

void *OpenCompanion(std::string &why) {
    why = BuiltInUnavailable();
    return nullptr;
}

void *CompanionEntry(void *, const char *) { return nullptr; }

void CloseCompanion(void *) {}

}  // namespace mthost
