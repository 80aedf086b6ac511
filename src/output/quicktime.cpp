// The companion synthesizer backend: loading and unloading the QuickTime
// library and the companion library, looking up the companion's four entry
// points, and the flag that switches output to 32 channels and to the
// companion's send entry.
#include "microtune.h"
#include "platform/platform.h"
#include "state/last_error.h"
#include "state/library_lock.h"
#include "state/state.h"

namespace mt {

namespace {

template <typename Fn>
Fn LookUp(const char *entryName) {
    return reinterpret_cast<Fn>(PlatformFindEntry(hTembrelLib, entryName));
}

// A module that did not load, in the back-end's words when it has some.
ModuleHandle LoadCompanionModule(const char *fileName) {
    const unsigned reasonsBefore = LastErrorCount();
    ModuleHandle module = PlatformLoadModule(fileName);
    if (!module && LastErrorCount() == reasonsBefore)
        SetLastError("the companion synthesizer's module %s cannot be loaded", fileName);
    return module;
}

// The companion's own reason for a failed start, from its optional entry.
typedef const char *(*TembrelStartErrorFn)();
void NoteFailedStart() {
    const TembrelStartErrorFn startError = LookUp<TembrelStartErrorFn>("_Tembrel_StartError@0");
    const char *reason = startError ? startError() : nullptr;
    if (reason && *reason)
        SetLastError("%s", reason);
    else
        SetLastError("the companion synthesizer did not start");
}

}  // namespace

}  // namespace mt

extern "C" {

MICROTUNE_EXPORT int MICROTUNE_API CheckForQTLibrary(void) {
    mt::ExportLock lock;
    if (!lock) return 0;
    using namespace mt;
    if (!hQTJavaNative) {
        hQTJavaNative = LoadCompanionModule("QTJavaNative.dll");
        if (!hQTJavaNative) return 0;
    }
    if (!hTembrelLib) {
        // On failure the QuickTime library stays loaded; only StopQT unloads.
        hTembrelLib = LoadCompanionModule("TembrelLib.dll");
        if (!hTembrelLib) return 0;
    }
    // Every lookup replaces the stored address, a missing entry included.
    QTEntryPoints.CleanUp = LookUp<TembrelCleanUpFn>("_Tembrel_CleanUp_SME@0");
    QTEntryPoints.Initialise = LookUp<TembrelInitialiseFn>("_Tembrel_Initialise_SME@0");
    QTEntryPoints.Delay = LookUp<TembrelDelayFn>("_Tembrel_Delay@8");
    QTEntryPoints.SendMidiEvent = LookUp<TembrelSendFn>("_Tembrel_SendMidiEvent@16");
    return 1;
}

MICROTUNE_EXPORT void MICROTUNE_API StopQT(void) {
    mt::ExportLock lock;
    if (!lock) return;
    using namespace mt;
    if (!bQTActive) return;
    if (QTEntryPoints.CleanUp) QTEntryPoints.CleanUp();
    if (hQTJavaNative) PlatformFreeModule(hQTJavaNative);
    if (hTembrelLib) PlatformFreeModule(hTembrelLib);
    hQTJavaNative = nullptr;
    hTembrelLib = nullptr;
    bQTActive = 0;
}

MICROTUNE_EXPORT int MICROTUNE_API StartQT(void) {
    mt::ExportLock lock;
    if (!lock) return 0;
    using namespace mt;
    if (!CheckForQTLibrary()) {
        StopQT();
        return 0;
    }
    // Active before the synthesizer is asked to start, and whatever it
    // answers: a failed start still leaves the backend in charge of output.
    bQTActive = 1;
    // A companion without an initialise entry cannot report that it is
    // ready, so the start counts as failed.
    if (!QTEntryPoints.Initialise) {
        SetLastError("the companion synthesizer has no entry _Tembrel_Initialise_SME@0");
        return 0;
    }
    const int started = QTEntryPoints.Initialise();
    if (started == 0) NoteFailedStart();
    return started;
}

}  // extern "C"
