// Windows back-end: the multimedia MIDI output calls, timeGetTime and
// Sleep, module loading, list boxes and combo boxes through SendMessageA,
// and CharUpperA. Also the DLL entry point.
// The multimedia header builds on windows.h, so the order matters.
// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#include <cstring>
#include <cwchar>

#include "platform/platform.h"

namespace mt {
namespace {

// Windows takes device ids as unsigned values in which -1 is the MIDI
// mapper; a negative id is widened with its sign so that -1 stays the
// mapper on 64-bit Windows too.
UINT_PTR CapsDeviceId(int deviceId) {
    return static_cast<UINT_PTR>(static_cast<INT_PTR>(deviceId));
}

struct ControlMessages {
    UINT resetContent;
    UINT addString;
    UINT setCurSel;
    UINT getCurSel;
};

const ControlMessages kListBox = {LB_RESETCONTENT, LB_ADDSTRING, LB_SETCURSEL, LB_GETCURSEL};
const ControlMessages kComboBox = {CB_RESETCONTENT, CB_ADDSTRING, CB_SETCURSEL, CB_GETCURSEL};

const ControlMessages &MessagesFor(ControlKind kind) {
    return kind == CONTROL_COMBO_BOX ? kComboBox : kListBox;
}

HWND Window(MicrotuneControl control) { return control; }

#ifdef _WIN64
// A "_Name@N" standard-call name reduced to "Name", the name that 64-bit
// compilers give the same function. Returns false when entryName has no
// such decoration or does not fit.
bool UndecoratedName(const char *entryName, char *out, size_t size) {
    if (entryName[0] != '_') return false;
    const char *at = std::strrchr(entryName, '@');
    if (!at || at == entryName + 1 || at[1] == '\0') return false;
    for (const char *d = at + 1; *d; ++d)
        if (*d < '0' || *d > '9') return false;
    const size_t length = static_cast<size_t>(at - (entryName + 1));
    if (length >= size) return false;
    std::memcpy(out, entryName + 1, length);
    out[length] = '\0';
    return true;
}
#endif

// A module name without any folder part.
bool BareFileName(const char *name) {
    if (name[0] == '\0') return false;
    for (const char *c = name; *c; ++c)
        if (*c == '\\' || *c == '/' || *c == ':') return false;
    return true;
}

bool Separator(wchar_t c) { return c == L'\\' || c == L'/'; }

// A folder named by full path: a drive letter with its root, or a UNC
// name. Anything else would be resolved against the current directory.
bool FullPathFolder(const wchar_t *folder, size_t length) {
    if (length < 3) return false;
    const wchar_t c = folder[0];
    const bool drive = ((c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z')) &&
                       folder[1] == L':' && Separator(folder[2]);
    const bool unc = folder[0] == L'\\' && folder[1] == L'\\';
    return drive || unc;
}

// Loads folder\fileName when the folder is a full path and the whole path
// fits in MAX_PATH; a longer path is skipped rather than cut. Folders are
// handled as UTF-16, so that one whose name the ANSI code page cannot spell
// is still searched.
HMODULE LoadFromFolder(const wchar_t *folder, size_t length, const wchar_t *fileName) {
    if (!FullPathFolder(folder, length)) return nullptr;
    const bool separated = Separator(folder[length - 1]);
    const size_t nameLength = std::wcslen(fileName);
    const size_t total = length + (separated ? 0 : 1) + nameLength;
    wchar_t path[MAX_PATH];
    if (total >= MAX_PATH) return nullptr;
    std::wmemcpy(path, folder, length);
    size_t used = length;
    if (!separated) path[used++] = L'\\';
    std::wmemcpy(path + used, fileName, nameLength + 1);
    return LoadLibraryW(path);
}

// The folder that holds microtune.dll, without its last separator.
bool OwnFolder(wchar_t *folder, DWORD size) {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&PlatformLoadModule), &self))
        return false;
    const DWORD length = GetModuleFileNameW(self, folder, size);
    if (length == 0 || length >= size) return false;  // failed or cut short
    wchar_t *slash = nullptr;
    for (wchar_t *c = folder; *c; ++c)
        if (Separator(*c)) slash = c;
    if (!slash) return false;
    *slash = L'\0';
    return true;
}

// The LOAD_LIBRARY_SEARCH_ flags came with AddDllDirectory. Where it is
// missing they are not tried at all: a system that ignored them would
// search the current directory again.
bool SafeSearchAvailable() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    return kernel && GetProcAddress(kernel, "AddDllDirectory");
}

// Each folder of PATH in turn; empty and relative entries are skipped.
// PATH is at most 32767 characters, so it always fits.
HMODULE LoadFromPath(const wchar_t *fileName) {
    static wchar_t path[32768];
    const DWORD length = GetEnvironmentVariableW(L"PATH", path, 32768);
    if (length == 0 || length >= 32768) return nullptr;
    const wchar_t *entry = path;
    while (*entry) {
        const wchar_t *end = std::wcschr(entry, L';');
        if (!end) end = entry + std::wcslen(entry);
        if (HMODULE module = LoadFromFolder(entry, static_cast<size_t>(end - entry), fileName))
            return module;
        entry = *end ? end + 1 : end;
    }
    return nullptr;
}

}  // namespace

unsigned PlatformMidiOutCount() { return midiOutGetNumDevs(); }

unsigned PlatformMidiOutName(int deviceId, char name[DEVICE_NAME_SIZE]) {
    std::memset(name, 0, DEVICE_NAME_SIZE);
    MIDIOUTCAPSA caps;
    std::memset(&caps, 0, sizeof caps);
    const MMRESULT result = midiOutGetDevCapsA(CapsDeviceId(deviceId), &caps, sizeof caps);
    if (result != MMSYSERR_NOERROR) return result;
    // szPname is a fixed field that a driver may fill to the last byte.
    size_t length = 0;
    while (length < sizeof caps.szPname && caps.szPname[length] != '\0') ++length;
    if (length > static_cast<size_t>(DEVICE_NAME_SIZE - 1)) length = DEVICE_NAME_SIZE - 1;
    std::memcpy(name, caps.szPname, length);
    return MMSYSERR_NOERROR;
}

unsigned PlatformMidiOutOpen(MidiOutHandle *handle, int deviceId) {
    HMIDIOUT opened = nullptr;
    const MMRESULT result = midiOutOpen(&opened, static_cast<UINT>(deviceId), 0, 0, CALLBACK_NULL);
    if (result == MMSYSERR_NOERROR) *handle = opened;
    return result;
}

unsigned PlatformMidiOutShortMsg(MidiOutHandle handle, uint32_t message) {
    return midiOutShortMsg(static_cast<HMIDIOUT>(handle), message);
}

unsigned PlatformMidiOutClose(MidiOutHandle handle) {
    return midiOutClose(static_cast<HMIDIOUT>(handle));
}

uint32_t PlatformMilliseconds() { return timeGetTime(); }

void PlatformSleep(uint32_t milliseconds) { Sleep(milliseconds); }

namespace {
// Slim and statically initialised: no set-up at load, nothing to free.
SRWLOCK libraryLock = SRWLOCK_INIT;
}  // namespace

void PlatformLock() { AcquireSRWLockExclusive(&libraryLock); }
void PlatformUnlock() { ReleaseSRWLockExclusive(&libraryLock); }
// Thread ids are never 0 on Windows.
uintptr_t PlatformThreadId() { return static_cast<uintptr_t>(GetCurrentThreadId()); }

// Companion modules are looked for in folders named by full path only: a
// bare LoadLibraryA would also search the current directory, where any
// folder a user opens files from could plant a module that runs in the
// host. The order: beside microtune.dll, then the host's folder, System32
// and folders the host added, then each folder of PATH.
ModuleHandle PlatformLoadModule(const char *fileName) {
    if (!fileName || !BareFileName(fileName)) return nullptr;
    wchar_t name[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, fileName, -1, name, MAX_PATH))
        return nullptr;
    wchar_t folder[MAX_PATH];
    if (OwnFolder(folder, MAX_PATH)) {
        if (HMODULE module = LoadFromFolder(folder, std::wcslen(folder), name)) return module;
    }
    if (SafeSearchAvailable()) {
        // Fails with ERROR_INVALID_PARAMETER where the flags are still
        // unknown; the full-path steps then stand alone.
        if (HMODULE module =
                LoadLibraryExA(fileName, nullptr,
                               LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32 |
                                   LOAD_LIBRARY_SEARCH_USER_DIRS))
            return module;
    }
    return LoadFromPath(name);
}

// On 32-bit Windows the decorated name is the exported name. 64-bit
// compilers do not decorate, so a companion built for x64 may export
// either form: the decorated name is tried first, then the plain one.
void *PlatformFindEntry(ModuleHandle module, const char *entryName) {
    if (!module || !entryName) return nullptr;
    HMODULE hModule = static_cast<HMODULE>(module);
    FARPROC entry = GetProcAddress(hModule, entryName);
#ifdef _WIN64
    char plain[256];
    if (!entry && UndecoratedName(entryName, plain, sizeof plain))
        entry = GetProcAddress(hModule, plain);
#endif
    return reinterpret_cast<void *>(entry);
}

void PlatformFreeModule(ModuleHandle module) {
    if (module) FreeLibrary(static_cast<HMODULE>(module));
}

void PlatformControlSetRedraw(MicrotuneControl control, ControlKind, int on) {
    SendMessageA(Window(control), WM_SETREDRAW, on ? TRUE : FALSE, 0);
}

void PlatformControlResetContent(MicrotuneControl control, ControlKind kind) {
    SendMessageA(Window(control), MessagesFor(kind).resetContent, 0, 0);
}

void PlatformControlAddString(MicrotuneControl control, ControlKind kind, const char *text) {
    SendMessageA(Window(control), MessagesFor(kind).addString, 0, reinterpret_cast<LPARAM>(text));
}

int PlatformControlSetCurSel(MicrotuneControl control, ControlKind kind, int index) {
    return static_cast<int>(
        SendMessageA(Window(control), MessagesFor(kind).setCurSel, static_cast<WPARAM>(index), 0));
}

int PlatformControlGetCurSel(MicrotuneControl control, ControlKind kind) {
    return static_cast<int>(SendMessageA(Window(control), MessagesFor(kind).getCurSel, 0, 0));
}

char PlatformCharUpper(char c) {
    char text[2] = {c, '\0'};
    CharUpperA(text);
    return text[0];
}

}  // namespace mt

// Nothing is set up or torn down here: all state is static and nothing is
// closed or unloaded when the library is detached.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
