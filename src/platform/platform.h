// The platform seam. The core reaches MIDI output, time, modules, list
// controls and character upper-casing only through these functions. Exactly
// one back-end defines them in each build: win32.cpp, posix.cpp, or fake.cpp
// for the unit tests. Result codes are those of the Windows multimedia API
// on every platform, because they reach hosts through the exports.
#ifndef MICROTUNE_PLATFORM_H
#define MICROTUNE_PLATFORM_H

#include <cstdint>

#include "microtune.h"

#if defined(_WIN32) && !defined(_WIN64)
#define MT_STDCALL __stdcall
#else
#define MT_STDCALL
#endif

namespace mt {

typedef void *MidiOutHandle;
typedef void *ModuleHandle;

enum : unsigned {
    MMSYSERR_NOERROR_CODE = 0,
    MMSYSERR_ERROR_CODE = 1,
    MMSYSERR_BADDEVICEID_CODE = 2,
    MMSYSERR_ALLOCATED_CODE = 4,
    MMSYSERR_INVALHANDLE_CODE = 5,
    MMSYSERR_NODRIVER_CODE = 6,
};

// Device id of the MIDI mapper.
constexpr int MIDI_MAPPER_ID = -1;
// Room for a device's product name, terminator included. Windows names
// are at most 31 characters; RtMidi port names can be longer.
constexpr int DEVICE_NAME_SIZE = 256;

// MIDI output (midiOutGetNumDevs, midiOutGetDevCapsA, midiOutOpen,
// midiOutShortMsg, midiOutClose).
unsigned PlatformMidiOutCount();
// Writes the device's product name (terminated, at most DEVICE_NAME_SIZE
// bytes) on success; result 0 or an error code.
unsigned PlatformMidiOutName(int deviceId, char name[DEVICE_NAME_SIZE]);
unsigned PlatformMidiOutOpen(MidiOutHandle *handle, int deviceId);
unsigned PlatformMidiOutShortMsg(MidiOutHandle handle, uint32_t message);
unsigned PlatformMidiOutClose(MidiOutHandle handle);

// Time (timeGetTime, Sleep).
uint32_t PlatformMilliseconds();
void PlatformSleep(uint32_t milliseconds);

// Modules (LoadLibraryExA, GetProcAddress, FreeLibrary). Names are the
// Windows file names and decorated entry names; other platforms map them.
// A module is looked for by full path only, never in the current directory.
ModuleHandle PlatformLoadModule(const char *fileName);
void *PlatformFindEntry(ModuleHandle module, const char *entryName);
void PlatformFreeModule(ModuleHandle module);

// The five list-control operations (SendMessageA with LB_/CB_ messages).
enum ControlKind { CONTROL_LIST_BOX = 0, CONTROL_COMBO_BOX = 1 };
void PlatformControlSetRedraw(MicrotuneControl control, ControlKind kind, int on);
void PlatformControlResetContent(MicrotuneControl control, ControlKind kind);
void PlatformControlAddString(MicrotuneControl control, ControlKind kind, const char *text);
int PlatformControlSetCurSel(MicrotuneControl control, ControlKind kind, int index);
int PlatformControlGetCurSel(MicrotuneControl control, ControlKind kind);

// The library lock (an SRW lock on Windows, a mutex elsewhere): every export
// holds it while it touches the library's state. Not recursive; the core
// tells its own nested calls apart by PlatformThreadId.
void PlatformLock();
void PlatformUnlock();
// The calling thread's identity, never 0.
uintptr_t PlatformThreadId();

// Upper-cases one 8-bit character (CharUpperA on a one-character string).
char PlatformCharUpper(char c);

}  // namespace mt

#endif
