// POSIX back-end: MIDI output through RtMidi (ALSA sequencer ports first,
// then JACK ports), dlopen for the companion, the monotonic clock,
// nanosleep, and list controls bound to MicrotuneListControl callbacks.
#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <jack/jack.h>
#include <pthread.h>
#include <rtmidi/RtMidi.h>
#include <time.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/list_control_binding.h"
#include "platform/platform.h"

namespace mt {
namespace {

// RtMidi, ALSA and JACK print their errors by default; the library prints
// nothing, so they are all silenced before first use.
void SilentAlsaHandler(const char *, int, const char *, int, const char *, ...) {}
void SilentJackHandler(const char *) {}
void SilentRtMidiError(RtMidiError::Type, const std::string &, void *) {}

void SilenceSystemLibraries() {
    static bool done = false;
    if (done) return;
    done = true;
    snd_lib_error_set_handler(&SilentAlsaHandler);
    jack_set_error_function(&SilentJackHandler);
    jack_set_info_function(&SilentJackHandler);
}

// A JACK server is asked for only if one already runs: RtMidi would report
// its absence on standard error, and nothing here may start one.
bool JackServerRunning() {
    jack_client_t *client = jack_client_open("microtune-probe", JackNoStartServer, nullptr);
    if (!client) return false;
    jack_client_close(client);
    return true;
}

// Likewise RtMidi reports a missing ALSA sequencer on standard error before
// any error callback can be installed, so the sequencer is tried first.
bool AlsaSequencerAvailable() {
    snd_seq_t *seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, 0) < 0) return false;
    snd_seq_close(seq);
    return true;
}

std::unique_ptr<RtMidiOut> NewOutput(RtMidi::Api api) {
    SilenceSystemLibraries();
    if (api == RtMidi::UNIX_JACK && !JackServerRunning()) return nullptr;
    if (api == RtMidi::LINUX_ALSA && !AlsaSequencerAvailable()) return nullptr;
    try {
        std::unique_ptr<RtMidiOut> out(new RtMidiOut(api, "microtune"));
        out->setErrorCallback(&SilentRtMidiError, nullptr);
        return out;
    } catch (...) {
        return nullptr;
    }
}

struct Port {
    RtMidi::Api api;
    unsigned index;
    std::string name;
};

const RtMidi::Api kApis[] = {RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK};

std::vector<Port> &Ports() {
    static std::vector<Port> ports;
    return ports;
}

bool ApiCompiled(RtMidi::Api api) {
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    for (RtMidi::Api a : apis)
        if (a == api) return true;
    return false;
}

std::vector<Port> ListPorts() {
    std::vector<Port> ports;
    for (RtMidi::Api api : kApis) {
        if (!ApiCompiled(api)) continue;
        std::unique_ptr<RtMidiOut> out = NewOutput(api);
        if (!out) continue;
        try {
            const unsigned n = out->getPortCount();
            for (unsigned i = 0; i < n; ++i) ports.push_back({api, i, out->getPortName(i)});
        } catch (...) {
        }
    }
    return ports;
}

struct OpenOutput {
    std::unique_ptr<RtMidiOut> out;
    RtMidi::Api api;
    timespec lastSend{};
};

// How long a closing JACK port stays after its last message.
constexpr uint32_t CLOSE_WAIT_MS = 100;

uint32_t MillisecondsSince(const timespec &then) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const int64_t ms = (now.tv_sec - then.tv_sec) * 1000 + (now.tv_nsec - then.tv_nsec) / 1000000;
    return ms < 0 ? 0u : static_cast<uint32_t>(ms);
}

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

}  // namespace

unsigned PlatformMidiOutCount() {
    Ports() = ListPorts();
    return static_cast<unsigned>(Ports().size());
}

unsigned PlatformMidiOutName(int deviceId, char name[DEVICE_NAME_SIZE]) {
    std::memset(name, 0, DEVICE_NAME_SIZE);
    // There is no MIDI mapper here; its probe fails like a bad device id.
    if (deviceId < 0 || deviceId >= static_cast<int>(Ports().size()))
        return MMSYSERR_BADDEVICEID_CODE;
    std::strncpy(name, Ports()[deviceId].name.c_str(), DEVICE_NAME_SIZE - 1);
    return MMSYSERR_NOERROR_CODE;
}

unsigned PlatformMidiOutOpen(MidiOutHandle *handle, int deviceId) {
    if (deviceId < 0 || deviceId >= static_cast<int>(Ports().size()))
        return MMSYSERR_BADDEVICEID_CODE;
    const Port port = Ports()[deviceId];
    std::unique_ptr<RtMidiOut> out = NewOutput(port.api);
    if (!out) return MMSYSERR_NODRIVER_CODE;
    try {
        // Ports come and go: find the port by name again, by index otherwise.
        unsigned index = port.index;
        const unsigned n = out->getPortCount();
        for (unsigned i = 0; i < n; ++i) {
            if (out->getPortName(i) == port.name) {
                index = i;
                break;
            }
        }
        if (index >= n) return MMSYSERR_BADDEVICEID_CODE;
        out->openPort(index, "microtune");
        if (!out->isPortOpen()) return MMSYSERR_ALLOCATED_CODE;
        OpenOutput *opened = new OpenOutput;
        opened->out = std::move(out);
        opened->api = port.api;
        *handle = opened;
        return MMSYSERR_NOERROR_CODE;
    } catch (...) {
        return MMSYSERR_ERROR_CODE;
    }
}

unsigned PlatformMidiOutShortMsg(MidiOutHandle handle, uint32_t message) {
    if (!handle) return MMSYSERR_INVALHANDLE_CODE;
    const unsigned char bytes[3] = {static_cast<unsigned char>(message & 0xFF),
                                    static_cast<unsigned char>((message >> 8) & 0xFF),
                                    static_cast<unsigned char>((message >> 16) & 0xFF)};
    try {
        OpenOutput *opened = static_cast<OpenOutput *>(handle);
        opened->out->sendMessage(bytes, MessageLength(bytes[0]));
        clock_gettime(CLOCK_MONOTONIC, &opened->lastSend);
        return MMSYSERR_NOERROR_CODE;
    } catch (...) {
        return MMSYSERR_ERROR_CODE;
    }
}

unsigned PlatformMidiOutClose(MidiOutHandle handle) {
    if (!handle) return MMSYSERR_INVALHANDLE_CODE;
    OpenOutput *opened = static_cast<OpenOutput *>(handle);
    // A JACK port's messages wait in RtMidi's buffer for the server's next
    // cycle and reach the receiver in a later one; unregistering the port
    // sooner loses the last note-offs. RtMidi does not show its buffer, and
    // a server that is not scheduled in real time runs its cycles late, so
    // the port stays for a bounded time after the last message.
    if (opened->api == RtMidi::UNIX_JACK) {
        const uint32_t since = MillisecondsSince(opened->lastSend);
        if (since < CLOSE_WAIT_MS) PlatformSleep(CLOSE_WAIT_MS - since);
    }
    try {
        opened->out->closePort();
    } catch (...) {
    }
    delete opened;
    return MMSYSERR_NOERROR_CODE;
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

// "Name.dll" is looked up as "libName.so", first beside libmicrotune.so by
// absolute path, then in its microtune/ subfolder (where an installed system
// keeps the companion, out of the loader's own folders), then by the dynamic
// loader's search for a bare name, which does not look in the current
// directory. A name with a folder part would be resolved against the current
// directory, so it is refused.
ModuleHandle PlatformLoadModule(const char *fileName) {
    if (!fileName || std::strchr(fileName, '/')) return nullptr;
    std::string base = fileName;
    const size_t dot = base.rfind('.');
    if (dot != std::string::npos && strcasecmp(base.c_str() + dot, ".dll") == 0)
        base = base.substr(0, dot);
    const std::string soName = "lib" + base + ".so";
    const std::string &dir = kModuleDirectory;
    if (!dir.empty()) {
        for (const char *folder : {"/", "/microtune/"}) {
            const std::string path = dir + folder + soName;
            if (void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
        }
    }
    return dlopen(soName.c_str(), RTLD_NOW | RTLD_LOCAL);
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
