// The fake back-end's scripting and recording interface, for unit tests.
// It records every platform operation in order and answers like the real
// calls, error codes included.
#ifndef MICROTUNE_FAKE_H
#define MICROTUNE_FAKE_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "microtune.h"

namespace fake {

enum class EventKind {
    ShortMsg,             // handle, value = packed message
    Open,                 // value = device id (as unsigned), handle = new handle or null
    Close,                // handle
    Sleep,                // value = milliseconds
    Load,                 // text = file name, handle = module or null
    FindEntry,            // text = entry name, handle = module
    Free,                 // text = module file name, handle = module
    CompanionInitialise,  // the companion's initialise entry ran
    CompanionCleanUp,     // the companion's clean-up entry ran
    CompanionDelay,       // the companion's delay entry ran
    CompanionSend,        // args = status, channel, data1, data2
    ControlSetRedraw,     // handle = control, args[0] = kind, value = on
    ControlResetContent,  // handle = control, args[0] = kind
    ControlAddString,     // handle = control, args[0] = kind, text
    ControlSetCurSel,     // handle = control, args[0] = kind, value = index (as unsigned)
    ControlGetCurSel,     // handle = control, args[0] = kind
};

struct Event {
    EventKind kind;
    const void *handle = nullptr;
    uint32_t value = 0;
    std::array<int, 4> args{};
    std::string text;
};

// A scripted Windows MIDI output device.
struct Device {
    std::string name;
    unsigned capsResult = 0;  // result of the capabilities query
    unsigned openResult = 0;  // result of opening it
};

// Scripted companion modules.
struct Modules {
    bool qtJavaNative = false;  // the first library loads
    bool tembrelLib = false;    // the second library loads
    bool cleanUp = true;        // entry points present
    bool initialise = true;
    bool delay = true;
    bool send = true;
    int initialiseResult = 1;
    const char *startError = nullptr;  // the companion's reason entry, when not null
};

// Back to no devices, no mapper, no modules, clock 0 and an empty log.
void Reset();

void SetMapper(bool present, unsigned openResult = 0);
void SetDevices(const std::vector<Device> &devices);
// Result of every short message sent from now on (0 = success).
void SetShortMsgResult(unsigned result);
void SetModules(const Modules &modules);

// The clock that PlatformMilliseconds reads; sleeping advances it.
void SetClock(uint32_t milliseconds);
uint32_t Clock();

const std::vector<Event> &Events();
void ClearEvents();
// The packed short messages in order, without handles.
std::vector<uint32_t> ShortMessages();
// The companion's send entry calls in order: status, channel, data1, data2.
std::vector<std::array<int, 4>> CompanionSends();

// The library lock: how often it was taken since Reset, whether any thread
// holds it now, and how many sleeps happened while it was held.
long LockAcquisitions();
bool LockHeld();
int SleepsUnderLock();

// Handles that the fake's open and load hand out.
const void *HandleOfDevice(int deviceId);
const void *QTJavaNativeModule();
const void *TembrelLibModule();

#ifndef _WIN32
// A list control that behaves like a list box: it keeps its items and
// selection; selecting an index outside the items answers -1 (and -1
// itself clears the selection).
class ListControl {
public:
    ListControl();
    MicrotuneListControl *control() { return &binding_; }
    std::vector<std::string> items;
    int selected = -1;
    std::vector<int> redraws;  // every redraw argument, in order

private:
    MicrotuneListControl binding_;
};
#endif

}  // namespace fake

#endif
