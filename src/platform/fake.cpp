// Fake back-end for the unit tests: scripted devices, clock, modules and
// controls; every operation recorded in order.
#include "platform/fake.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/list_control_binding.h"
#include "platform/platform.h"

namespace fake {
namespace {

struct Script {
    bool mapper = false;
    unsigned mapperOpenResult = 0;
    std::vector<Device> devices;
    unsigned shortMsgResult = 0;
    Modules modules;
    uint32_t clock = 0;
    std::vector<Event> events;
};

Script &S() {
    static Script script;
    return script;
}

// The library lock: a real mutex, so that tests may call from several
// threads, which also checks how the core uses it.
struct LockRecord {
    std::mutex mutex;
    std::atomic<uintptr_t> holder{0};  // read by any thread, written by the holder
    long acquisitions = 0;             // written under the mutex
    int sleepsUnderLock = 0;           // written under the mutex
};

LockRecord &L() {
    static LockRecord record;
    return record;
}

uintptr_t Holder() { return L().holder.load(std::memory_order_relaxed); }

[[noreturn]] void LockFault(const char *what) {
    std::fprintf(stderr, "fake back-end: %s\n", what);
    std::abort();
}

// Distinct, never dereferenced handle values.
char deviceHandles[64];
char mapperHandle;
char qtJavaNativeModule;
char tembrelLibModule;

Event &Record(EventKind kind, const void *handle = nullptr, uint32_t value = 0) {
    Event event;
    event.kind = kind;
    event.handle = handle;
    event.value = value;
    S().events.push_back(event);
    return S().events.back();
}

void MT_STDCALL FakeCleanUp() { Record(EventKind::CompanionCleanUp); }
int MT_STDCALL FakeInitialise() {
    Record(EventKind::CompanionInitialise);
    return S().modules.initialiseResult;
}
void MT_STDCALL FakeDelay(double) { Record(EventKind::CompanionDelay); }
const char *MT_STDCALL FakeStartError() { return S().modules.startError; }
void MT_STDCALL FakeSend(int status, int channel, int data1, int data2) {
    Record(EventKind::CompanionSend).args = {status, channel, data1, data2};
}

}  // namespace

void Reset() {
    S() = Script{};
    L().acquisitions = 0;
    L().sleepsUnderLock = 0;
}

long LockAcquisitions() { return L().acquisitions; }
bool LockHeld() { return Holder() != 0; }
int SleepsUnderLock() { return L().sleepsUnderLock; }

void SetMapper(bool present, unsigned openResult) {
    S().mapper = present;
    S().mapperOpenResult = openResult;
}
void SetDevices(const std::vector<Device> &devices) { S().devices = devices; }
void SetShortMsgResult(unsigned result) { S().shortMsgResult = result; }
void SetModules(const Modules &modules) { S().modules = modules; }
void SetClock(uint32_t milliseconds) { S().clock = milliseconds; }
uint32_t Clock() { return S().clock; }

const std::vector<Event> &Events() { return S().events; }
void ClearEvents() { S().events.clear(); }

std::vector<uint32_t> ShortMessages() {
    std::vector<uint32_t> messages;
    for (const Event &event : S().events)
        if (event.kind == EventKind::ShortMsg) messages.push_back(event.value);
    return messages;
}

std::vector<std::array<int, 4>> CompanionSends() {
    std::vector<std::array<int, 4>> sends;
    for (const Event &event : S().events)
        if (event.kind == EventKind::CompanionSend) sends.push_back(event.args);
    return sends;
}

const void *HandleOfDevice(int deviceId) {
    if (deviceId == mt::MIDI_MAPPER_ID) return &mapperHandle;
    if (deviceId < 0 || deviceId >= static_cast<int>(sizeof deviceHandles)) return nullptr;
    return &deviceHandles[deviceId];
}
const void *QTJavaNativeModule() { return &qtJavaNativeModule; }
const void *TembrelLibModule() { return &tembrelLibModule; }

#ifndef _WIN32
ListControl::ListControl() {
    binding_.context = this;
    binding_.set_redraw = [](void *context, int on) {
        static_cast<ListControl *>(context)->redraws.push_back(on);
    };
    binding_.reset_content = [](void *context) {
        auto *self = static_cast<ListControl *>(context);
        self->items.clear();
        self->selected = -1;
    };
    binding_.add_string = [](void *context, const char *text) {
        static_cast<ListControl *>(context)->items.emplace_back(text ? text : "");
    };
    binding_.set_cur_sel = [](void *context, int index) {
        auto *self = static_cast<ListControl *>(context);
        // Like a real list box: -1 clears the selection, any other index
        // outside the items is refused and keeps it.
        if (index < 0 || index >= static_cast<int>(self->items.size())) {
            if (index == -1) self->selected = -1;
            return -1;
        }
        self->selected = index;
        return index;
    };
    binding_.get_cur_sel = [](void *context) {
        return static_cast<ListControl *>(context)->selected;
    };
}
#endif

}  // namespace fake

namespace mt {

using fake::Event;
using fake::EventKind;
using fake::S;

unsigned PlatformMidiOutCount() { return static_cast<unsigned>(S().devices.size()); }

unsigned PlatformMidiOutName(int deviceId, char name[DEVICE_NAME_SIZE]) {
    std::memset(name, 0, DEVICE_NAME_SIZE);
    if (deviceId == MIDI_MAPPER_ID) {
        if (!S().mapper) return MMSYSERR_BADDEVICEID_CODE;
        std::strncpy(name, "Microsoft MIDI Mapper", DEVICE_NAME_SIZE - 1);
        return MMSYSERR_NOERROR_CODE;
    }
    if (deviceId < 0 || deviceId >= static_cast<int>(S().devices.size()))
        return MMSYSERR_BADDEVICEID_CODE;
    const fake::Device &device = S().devices[deviceId];
    if (device.capsResult != 0) return device.capsResult;
    std::strncpy(name, device.name.c_str(), DEVICE_NAME_SIZE - 1);
    return MMSYSERR_NOERROR_CODE;
}

unsigned PlatformMidiOutOpen(MidiOutHandle *handle, int deviceId) {
    unsigned result;
    if (deviceId == MIDI_MAPPER_ID)
        result = S().mapper ? S().mapperOpenResult : MMSYSERR_BADDEVICEID_CODE;
    else if (deviceId < 0 || deviceId >= static_cast<int>(S().devices.size()))
        result = MMSYSERR_BADDEVICEID_CODE;
    else
        result = S().devices[deviceId].openResult;
    const void *opened = result == 0 ? fake::HandleOfDevice(deviceId) : nullptr;
    if (result == 0) *handle = const_cast<void *>(opened);
    fake::Record(EventKind::Open, opened, static_cast<uint32_t>(deviceId));
    return result;
}

unsigned PlatformMidiOutShortMsg(MidiOutHandle handle, uint32_t message) {
    fake::Record(EventKind::ShortMsg, handle, message);
    return handle ? S().shortMsgResult : MMSYSERR_INVALHANDLE_CODE;
}

unsigned PlatformMidiOutClose(MidiOutHandle handle) {
    fake::Record(EventKind::Close, handle);
    return handle ? MMSYSERR_NOERROR_CODE : MMSYSERR_INVALHANDLE_CODE;
}

uint32_t PlatformMilliseconds() { return S().clock; }

void PlatformSleep(uint32_t milliseconds) {
    // Sleeping is done without the library lock; the record is kept under it.
    const bool underLock = fake::Holder() == PlatformThreadId();
    if (underLock) ++fake::L().sleepsUnderLock;
    if (!underLock) PlatformLock();
    fake::Record(EventKind::Sleep, nullptr, milliseconds);
    S().clock += milliseconds;
    if (!underLock) PlatformUnlock();
}

void PlatformLock() {
    fake::LockRecord &lock = fake::L();
    const uintptr_t self = PlatformThreadId();
    if (fake::Holder() == self) fake::LockFault("library lock taken twice by one thread");
    lock.mutex.lock();
    lock.holder.store(self, std::memory_order_relaxed);
    ++lock.acquisitions;
}

void PlatformUnlock() {
    fake::LockRecord &lock = fake::L();
    if (fake::Holder() != PlatformThreadId())
        fake::LockFault("library lock released by a thread that does not hold it");
    lock.holder.store(0, std::memory_order_relaxed);
    lock.mutex.unlock();
}

uintptr_t PlatformThreadId() {
    thread_local char marker;
    return reinterpret_cast<uintptr_t>(&marker);
}

ModuleHandle PlatformLoadModule(const char *fileName) {
    const std::string name = fileName ? fileName : "";
    const void *module = nullptr;
    if (name == "QTJavaNative.dll" && S().modules.qtJavaNative)
        module = fake::QTJavaNativeModule();
    else if (name == "TembrelLib.dll" && S().modules.tembrelLib)
        module = fake::TembrelLibModule();
    fake::Record(EventKind::Load, module).text = name;
    return const_cast<void *>(module);
}

void *PlatformFindEntry(ModuleHandle module, const char *entryName) {
    const std::string name = entryName ? entryName : "";
    fake::Record(EventKind::FindEntry, module).text = name;
    if (module != fake::TembrelLibModule()) return nullptr;
    const fake::Modules &m = S().modules;
    if (name == "_Tembrel_CleanUp_SME@0" && m.cleanUp)
        return reinterpret_cast<void *>(&fake::FakeCleanUp);
    if (name == "_Tembrel_Initialise_SME@0" && m.initialise)
        return reinterpret_cast<void *>(&fake::FakeInitialise);
    if (name == "_Tembrel_Delay@8" && m.delay) return reinterpret_cast<void *>(&fake::FakeDelay);
    if (name == "_Tembrel_StartError@0" && m.startError)
        return reinterpret_cast<void *>(&fake::FakeStartError);
    if (name == "_Tembrel_SendMidiEvent@16" && m.send)
        return reinterpret_cast<void *>(&fake::FakeSend);
    return nullptr;
}

void PlatformFreeModule(ModuleHandle module) {
    std::string name;
    if (module == fake::QTJavaNativeModule())
        name = "QTJavaNative.dll";
    else if (module == fake::TembrelLibModule())
        name = "TembrelLib.dll";
    fake::Record(EventKind::Free, module).text = name;
}

#ifndef _WIN32
void PlatformControlSetRedraw(MicrotuneControl control, ControlKind kind, int on) {
    fake::Record(EventKind::ControlSetRedraw, control, static_cast<uint32_t>(on)).args[0] = kind;
    BoundSetRedraw(control, on);
}
void PlatformControlResetContent(MicrotuneControl control, ControlKind kind) {
    fake::Record(EventKind::ControlResetContent, control).args[0] = kind;
    BoundResetContent(control);
}
void PlatformControlAddString(MicrotuneControl control, ControlKind kind, const char *text) {
    Event &event = fake::Record(EventKind::ControlAddString, control);
    event.args[0] = kind;
    event.text = text ? text : "";
    BoundAddString(control, text);
}
int PlatformControlSetCurSel(MicrotuneControl control, ControlKind kind, int index) {
    fake::Record(EventKind::ControlSetCurSel, control, static_cast<uint32_t>(index)).args[0] = kind;
    return BoundSetCurSel(control, index);
}
int PlatformControlGetCurSel(MicrotuneControl control, ControlKind kind) {
    fake::Record(EventKind::ControlGetCurSel, control).args[0] = kind;
    return BoundGetCurSel(control);
}
#endif

char PlatformCharUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace mt
