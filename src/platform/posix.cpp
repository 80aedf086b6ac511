// POSIX back-end: MIDI output through the device module (RtMidi, loaded
// the first time devices are listed or opened), dlopen for the companion,
// the monotonic clock, nanosleep, and list controls bound to
// MicrotuneListControl callbacks.
#include <dlfcn.h>
#include <pthread.h>
#include <strings.h>
#include <time.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/list_control_binding.h"
#include "platform/midi_devices.h"
#include "platform/platform.h"
#include "state/last_error.h"

namespace mt {
namespace {

// Status bytes that carry one data byte; every other channel message two.
size_t MessageLength(unsigned status) {
    switch (status & 0xF0) {
        case 0xC0:
        case 0xD0:
            return 2;
        case 0xF0:
            if (status == 0xF1 || status == 0xF3) return 2;
            if (status == 0xF2) return 3;
            return 1;
        default:
            return 3;
    }
}

// The folder of libmicrotune.so as an absolute path, resolved once at load:
// a library loaded by a relative path is named relatively, and that name
// would later be resolved against whatever the current directory is by
// then. Empty when no absolute folder can be had.
std::string ModuleDirectoryAtLoad() {
    Dl_info info;
    if (dladdr(reinterpret_cast<void *>(&PlatformLoadModule), &info) == 0 || !info.dli_fname)
        return std::string();
    char *resolved = realpath(info.dli_fname, nullptr);
    std::string path = resolved ? resolved : info.dli_fname;
    free(resolved);
    const size_t slash = path.rfind('/');
    if (path[0] != '/' || slash == std::string::npos) return std::string();
    return path.substr(0, slash);
}

const std::string kModuleDirectory = ModuleDirectoryAtLoad();

// A module of ours, by file name: beside libmicrotune.so by absolute path,
// then in its microtune/ subfolder (where an installed system keeps the
// companion and the device module, out of the loader's own folders), then
// by the dynamic loader's search for a bare name, which does not look in
// the current directory. On failure the reason names the last place tried.
void *LoadOwnModule(const std::string &soName) {
    const std::string &dir = kModuleDirectory;
    if (!dir.empty()) {
        for (const char *folder : {"/", "/microtune/"}) {
            const std::string path = dir + folder + soName;
            if (void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
        }
    }
    if (void *module = dlopen(soName.c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
    const char *why = dlerror();
    SetLastError(
        "%s is not beside libmicrotune.so (%s), in its microtune/ folder or on the "
        "loader's path: %s",
        soName.c_str(), dir.empty() ? "folder unknown" : dir.c_str(), why ? why : "");
    return nullptr;
}

// The device module's table, loaded on first use and kept: null when it
// cannot be had, with the reason noted each time it is asked for.
const MicrotuneDevicesTable *Devices() {
    static const MicrotuneDevicesTable *table = nullptr;
    if (table) return table;
    void *module = LoadOwnModule(MICROTUNE_DEVICES_MODULE);
    if (!module) return nullptr;
    const auto entry =
        reinterpret_cast<MicrotuneDevicesTableEntry>(dlsym(module, MICROTUNE_DEVICES_ENTRY));
    const MicrotuneDevicesTable *found = entry ? entry() : nullptr;
    if (!found || found->version != MICROTUNE_DEVICES_VERSION) {
        SetLastError("%s is not the device module of this library", MICROTUNE_DEVICES_MODULE);
        dlclose(module);
        return nullptr;
    }
    table = found;
    return table;
}

}  // namespace

unsigned PlatformMidiOutCount() {
    const MicrotuneDevicesTable *devices = Devices();
    return devices ? devices->count() : 0u;
}

unsigned PlatformMidiOutName(int deviceId, char name[DEVICE_NAME_SIZE]) {
    std::memset(name, 0, DEVICE_NAME_SIZE);
    // There is no MIDI mapper here; its probe fails like a bad device id
    // and loads nothing.
    if (deviceId < 0) return MMSYSERR_BADDEVICEID_CODE;
    const MicrotuneDevicesTable *devices = Devices();
    return devices ? devices->name(deviceId, name, DEVICE_NAME_SIZE) : MMSYSERR_BADDEVICEID_CODE;
}

unsigned PlatformMidiOutOpen(MidiOutHandle *handle, int deviceId) {
    if (deviceId < 0) return MMSYSERR_BADDEVICEID_CODE;
    const MicrotuneDevicesTable *devices = Devices();
    if (!devices) return MMSYSERR_NODRIVER_CODE;
    char reason[LAST_ERROR_SIZE] = "";
    const unsigned result = devices->open(deviceId, handle, reason, sizeof reason);
    if (result != MMSYSERR_NOERROR_CODE && reason[0]) SetLastError("%s", reason);
    return result;
}

unsigned PlatformMidiOutShortMsg(MidiOutHandle handle, uint32_t message) {
    if (!handle) return MMSYSERR_INVALHANDLE_CODE;
    const unsigned char bytes[3] = {static_cast<unsigned char>(message & 0xFF),
                                    static_cast<unsigned char>((message >> 8) & 0xFF),
                                    static_cast<unsigned char>((message >> 16) & 0xFF)};
    // An open handle means the module is loaded.
    return Devices()->send(handle, bytes, MessageLength(bytes[0]));
}

unsigned PlatformMidiOutClose(MidiOutHandle handle) {
    if (!handle) return MMSYSERR_INVALHANDLE_CODE;
    return Devices()->close(handle);
}

uint32_t PlatformMilliseconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms =
        static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

void PlatformSleep(uint32_t milliseconds) {
    timespec request;
    request.tv_sec = static_cast<time_t>(milliseconds / 1000u);
    request.tv_nsec = static_cast<long>(milliseconds % 1000u) * 1000000L;
    while (nanosleep(&request, &request) != 0 && errno == EINTR) {
    }
}

// "Name.dll" is looked up as "libName.so" (see LoadOwnModule). A name with a
// folder part would be resolved against the current directory, so it is
// refused.
ModuleHandle PlatformLoadModule(const char *fileName) {
    if (!fileName || std::strchr(fileName, '/')) return nullptr;
    std::string base = fileName;
    const size_t dot = base.rfind('.');
    if (dot != std::string::npos && strcasecmp(base.c_str() + dot, ".dll") == 0)
        base = base.substr(0, dot);
    return LoadOwnModule("lib" + base + ".so");
}

// A decorated standard-call name "_Name@N" is looked up as "Name".
void *PlatformFindEntry(ModuleHandle module, const char *entryName) {
    if (!module || !entryName) return nullptr;
    std::string name = entryName;
    const size_t at = name.rfind('@');
    if (name.size() > 1 && name[0] == '_' && at != std::string::npos && at > 1)
        name = name.substr(1, at - 1);
    return dlsym(module, name.c_str());
}

void PlatformFreeModule(ModuleHandle module) {
    if (module) dlclose(module);
}

void PlatformControlSetRedraw(MicrotuneControl control, ControlKind, int on) {
    BoundSetRedraw(control, on);
}
void PlatformControlResetContent(MicrotuneControl control, ControlKind) {
    BoundResetContent(control);
}
void PlatformControlAddString(MicrotuneControl control, ControlKind, const char *text) {
    BoundAddString(control, text);
}
int PlatformControlSetCurSel(MicrotuneControl control, ControlKind, int index) {
    return BoundSetCurSel(control, index);
}
int PlatformControlGetCurSel(MicrotuneControl control, ControlKind) {
    return BoundGetCurSel(control);
}

namespace {
pthread_mutex_t libraryLock = PTHREAD_MUTEX_INITIALIZER;
}  // namespace

void PlatformLock() { pthread_mutex_lock(&libraryLock); }
void PlatformUnlock() { pthread_mutex_unlock(&libraryLock); }
// glibc's pthread_t is the address of the thread's descriptor: never 0.
uintptr_t PlatformThreadId() { return static_cast<uintptr_t>(pthread_self()); }

char PlatformCharUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace mt
