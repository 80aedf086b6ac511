#include "library/companion_module.h"

#include <dlfcn.h>

#include <vector>

namespace mthost {
namespace {

// Where the library looks for its own modules, in its order.
std::vector<std::string> Candidates(const char *file) {
    std::vector<std::string> paths;
    const std::string directory = LibraryDirectory();
    if (!directory.empty()) {
        paths.push_back(directory + "/" + file);
        paths.push_back(directory + "/microtune/" + file);
    }
    paths.push_back(file);
    return paths;
}

}  // namespace

std::string LibraryDirectory() {
    Dl_info info;
    void *symbol = dlsym(RTLD_DEFAULT, "nNumOutDevices");
    if (!symbol || dladdr(symbol, &info) == 0 || !info.dli_fname) return std::string();
    const std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

void *LoadedCompanion() {
    for (const std::string &path : Candidates(TEMBREL_MODULE_FILE))
        if (void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD)) return module;
    return nullptr;
}

void *CompanionEntry(void *module, const char *name) {
    return module ? dlsym(module, name) : nullptr;
}

void CloseCompanion(void *module) {
    if (module) dlclose(module);
}

void *OpenModuleBesideLibrary(const char *file, std::string &why) {
    why.clear();
    for (const std::string &path : Candidates(file)) {
        if (void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
        if (why.empty()) {
            const char *error = dlerror();
            why = error ? error : "not found";
        }
    }
    return nullptr;
}

void *OpenCompanion(std::string &why) { return OpenModuleBesideLibrary(TEMBREL_MODULE_FILE, why); }

}  // namespace mthost
