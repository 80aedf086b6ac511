// Filling a host's list boxes and combo boxes with output devices and
// voices, and reading and setting their selections. The helpers only record
// a choice: none opens a device or sends a MIDI message.
#include <cstdint>

#include "microtune.h"
#include "platform/platform.h"
#include "state/library_lock.h"
#include "state/state.h"
#include "voices/voice_catalogue.h"

namespace mt {

namespace {

// Notification codes the read-back helpers act on: LBN_SELCHANGE for list
// boxes, CBN_SELENDOK for combo boxes (a combo box's CBN_SELCHANGE also
// fires while the user is only browsing the drop-down).
constexpr unsigned LIST_SELECTION_CODE = 1;
constexpr unsigned COMBO_SELECTION_CODE = 9;

// Room for one device name as the fill fetches it.
constexpr int DEVICE_NAME_BUFFER = 1024;

char szDeviceNameForControl[DEVICE_NAME_BUFFER];

int FillControlWithDevices(MicrotuneControl hwnd, ControlKind kind) {
    // The DeviceList is counted afresh even when there is no control.
    const int n = nNumOutDevices();
    if (!hwnd) return 0;
    PlatformControlSetRedraw(hwnd, kind, 0);
    PlatformControlResetContent(hwnd, kind);
    for (int i = 0; i < n; ++i) {
        const char *name = szNameForDevice(i, szDeviceNameForControl, DEVICE_NAME_BUFFER);
        PlatformControlAddString(hwnd, kind, name ? name : szDeviceNameForControl);
    }
    PlatformControlSetCurSel(hwnd, kind, iSelectedDevice);
    PlatformControlSetRedraw(hwnd, kind, 1);
    return iSelectedDevice;
}

int FillControlWithVoices(MicrotuneControl hwnd, ControlKind kind) {
    if (!hwnd) return 0;
    PlatformControlSetRedraw(hwnd, kind, 0);
    PlatformControlResetContent(hwnd, kind);
    for (int k = 0; k < NUM_MIDI_VOICES; ++k)
        PlatformControlAddString(hwnd, kind, VoiceNameTable[k]);
    PlatformControlSetCurSel(hwnd, kind, iCurrentVoice);
    PlatformControlSetRedraw(hwnd, kind, 1);
    return iCurrentVoice;
}

bool IsSelectionNotification(MicrotuneWParam wParam, ControlKind kind) {
    const unsigned code = (static_cast<uint32_t>(wParam) >> 16) & 0xFFFFu;
    return code == (kind == CONTROL_LIST_BOX ? LIST_SELECTION_CODE : COMBO_SELECTION_CODE);
}

// Stores the control's selection in 'remembered' when wParam carries the
// kind's selection notification; returns the remembered value either way.
int ReadBackSelection(MicrotuneControl hwnd, MicrotuneWParam wParam, ControlKind kind,
                      int &remembered) {
    if (IsSelectionNotification(wParam, kind)) remembered = PlatformControlGetCurSel(hwnd, kind);
    return remembered;
}

int SelectVoice(MicrotuneControl hwnd, ControlKind kind, int index) {
    iCurrentVoice = PlatformControlSetCurSel(hwnd, kind, index);
    return iCurrentVoice;
}

}  // namespace

}  // namespace mt

extern "C" {

MICROTUNE_EXPORT int MICROTUNE_API FillListWithMidiOutDevices(MicrotuneControl hwnd) {
    mt::ExportLock lock;
    if (!lock) return 0;
    return mt::FillControlWithDevices(hwnd, mt::CONTROL_LIST_BOX);
}

MICROTUNE_EXPORT int MICROTUNE_API FillComboWithMidiOutDevices(MicrotuneControl hwnd) {
    mt::ExportLock lock;
    if (!lock) return 0;
    return mt::FillControlWithDevices(hwnd, mt::CONTROL_COMBO_BOX);
}

MICROTUNE_EXPORT int MICROTUNE_API GetListSelMidiOutDevice(MicrotuneControl hwnd,
                                                           MicrotuneWParam wParam) {
    mt::ExportLock lock;
    if (!lock) return 0;
    return mt::ReadBackSelection(hwnd, wParam, mt::CONTROL_LIST_BOX, mt::iSelectedDevice);
}

MICROTUNE_EXPORT int MICROTUNE_API GetComboSelMidiOutDevice(MicrotuneControl hwnd,
                                                            MicrotuneWParam wParam) {
    mt::ExportLock lock;
    if (!lock) return 0;
    return mt::ReadBackSelection(hwnd, wParam, mt::CONTROL_COMBO_BOX, mt::iSelectedDevice);
}

MICROTUNE_EXPORT int MICROTUNE_API SetListSelMidiOutDevice(MicrotuneControl hwnd, int index) {
    mt::ExportLock lock;
    if (!lock) return 0;
    return mt::PlatformControlSetCurSel(hwnd, mt::CONTROL_LIST_BOX, index);
}

MICROTUNE_EXPORT int MICROTUNE_API SetComboSelMidiOutDevice(MicrotuneControl hwnd, int index) {
    mt::ExportLock lock;
    if (!lock) return 0;
    return mt::PlatformControlSetCurSel(hwnd, mt::CONTROL_COMBO_BOX, index);
}

MICROTUNE_EXPORT int MICROTUNE_API FillListWithMidiVoices(MicrotuneControl hwnd) {
    mt::ExportLock lock;
    if (!lock) return 0;
    return mt::FillControlWithVoices(hwnd, mt::CONTROL_LIST_BOX);
}

MICROTUNE_EXPORT int MICROTUNE_API FillComboWithMidiVoices(MicrotuneControl hwnd) {
    mt::ExportLock lock;
    if (!lock) return 0;
    return mt::FillControlWithVoices(hwnd, mt::CONTROL_COMBO_BOX);
}

MICROTUNE_EXPORT int MICROTUNE_API GetListSelMidiVoice(MicrotuneControl hwnd,
                                                       MicrotuneWParam wParam) {
    mt::ExportLock lock;
    if (!lock) return 0;
    return mt::ReadBackSelection(hwnd, wParam, mt::CONTROL_LIST_BOX, mt::iCurrentVoice);
}

MICROTUNE_EXPORT int MICROTUNE_API GetComboSelMidiVoice(MicrotuneControl hwnd,
                                                        MicrotuneWParam wParam) {
    mt::ExportLock lock;
    if (!lock) return 0;
    return mt::ReadBackSelection(hwnd, wParam, mt::CONTROL_COMBO_BOX, mt::iCurrentVoice);
}

MICROTUNE_EXPORT int MICROTUNE_API SetListSelMidiVoice(MicrotuneControl hwnd, int index) {
    mt::ExportLock lock;
    if (!lock) return 0;
    return mt::SelectVoice(hwnd, mt::CONTROL_LIST_BOX, index);
}

MICROTUNE_EXPORT int MICROTUNE_API SetComboSelMidiVoice(MicrotuneControl hwnd, int index) {
    mt::ExportLock lock;
    if (!lock) return 0;
    return mt::SelectVoice(hwnd, mt::CONTROL_COMBO_BOX, index);
}

}  // extern "C"
