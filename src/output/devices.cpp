// The DeviceList (mapper, MIDI outputs, companion synthesizer), naming,
// opening and closing the output, and the two timing services.
#include <cstring>

#include "microtune.h"
#include "microtune_ext.h"
#include "notes/mpe_zone.h"
#include "notes/parts.h"
#include "output/channel_messages.h"
#include "state/last_error.h"
#include "state/library_lock.h"
#include "state/state.h"

namespace mt {
namespace {

const char kMapperName[] = "Standard Device - Midi Mapper";
const char kQuickTimeName[] = "QuickTime";
const char kNoDriverName[] = "(driver not installed)";
const char kNotAvailableName[] = "(not available)";

// The platform device id behind a DeviceList index.
int DeviceIdForIndex(int iDev) { return bMapperPresent ? iDev - 1 : iDev; }

// What every route's open ends with: an MPE zone's configuration first,
// centred bends, part 0's voice, and every channel released at the open.
void FinishOpening() {
    if (iMpeMembers) ConfigureMpeZone();  // with the voice, on the manager
    ResetChannelBends();
    if (!iMpeMembers) SendVoiceToAllChannels(iCurrentVoice);
    ChannelsOpenedForPartZero();
    dwStartTime = LibraryMilliseconds();
    const int channels = ChannelsInUse();
    for (int channel = 0; channel < channels; ++channel) dwReleaseTime[channel] = dwStartTime;
}

// The reason of a failed open, unless the back-end gave its own.
void NoteOpenFailure(unsigned reasonsBefore, int deviceId, unsigned result) {
    if (LastErrorCount() != reasonsBefore) return;
    switch (result) {
        case MMSYSERR_BADDEVICEID_CODE:
            SetLastError("there is no MIDI output %d", deviceId);
            break;
        case MMSYSERR_ALLOCATED_CODE:
            SetLastError("MIDI output %d is in use", deviceId);
            break;
        case MMSYSERR_NODRIVER_CODE:
            SetLastError("MIDI output %d has no driver", deviceId);
            break;
        default:
            SetLastError("MIDI output %d did not open (error %u)", deviceId, result);
            break;
    }
}

}  // namespace
}  // namespace mt

extern "C" {

MICROTUNE_EXPORT int MICROTUNE_API nNumOutDevices(void) {
    mt::ExportLock lock;
    if (!lock) return 0;
    using namespace mt;
    nDevicesInList = 0;
    char name[DEVICE_NAME_SIZE];
    if (PlatformMidiOutName(MIDI_MAPPER_ID, name) == MMSYSERR_NOERROR_CODE) {
        nDevicesInList = 1;
        bMapperPresent = true;
    }
    nDevicesInList += static_cast<int>(PlatformMidiOutCount());
    if (CheckForQTLibrary() != 0) {
        iQTDevice = nDevicesInList;
        nDevicesInList += 1;
    }
    bDevicesCounted = true;
    return nDevicesInList;
}

MICROTUNE_EXPORT char *MICROTUNE_API szNameForDevice(int iDev, char *buffer, int nLen) {
    mt::ExportLock lock;
    if (!lock) return nullptr;
    using namespace mt;
    if (!buffer || nLen < 1) return buffer;
    if (!bDevicesCounted) nNumOutDevices();
    buffer[0] = '\0';

    char capsName[DEVICE_NAME_SIZE];
    const char *name = nullptr;
    if (iDev == 0 && bMapperPresent) {
        name = kMapperName;
    } else if (iDev == iQTDevice) {
        name = kQuickTimeName;
    } else if (iDev < nDevicesInList) {
        const unsigned result = PlatformMidiOutName(DeviceIdForIndex(iDev), capsName);
        if (result == MMSYSERR_NOERROR_CODE)
            name = capsName;
        else if (result == MMSYSERR_NODRIVER_CODE)
            name = kNoDriverName;
        else
            name = kNotAvailableName;
    }
    if (name) std::strncpy(buffer, name, static_cast<size_t>(nLen - 1));
    buffer[nLen - 1] = '\0';
    return buffer;
}

MICROTUNE_EXPORT int MICROTUNE_API OpenMidiOut(int deviceId) {
    mt::ExportLock lock;
    if (!lock) return 0;
    using namespace mt;
    if (bMidiOutOpen) {
        SetLastError("an output is already open");
        return 2;
    }
    if (!bQTActive) {
        MidiOutHandle opened = nullptr;
        const unsigned reasonsBefore = LastErrorCount();
        const unsigned result = PlatformMidiOutOpen(&opened, deviceId);
        if (result != MMSYSERR_NOERROR_CODE) {
            NoteOpenFailure(reasonsBefore, deviceId, result);
            return 0;
        }
        hMidiOut = opened;
    }
    bMidiOutOpen = 1;
    if (!bQTActive && !iMpeMembers) SetPitchBendRangeAllChannels();
    FinishOpening();
    return 1;
}

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneOpenRecordingOutput(void) {
    mt::ExportLock lock;
    if (!lock) return -1;
    using namespace mt;
    if (bMidiOutOpen) return 2;
    if (bQTActive) return 0;
    bRecordingOutput = 1;
    dRecordingSeconds = 0.0;
    bMidiOutOpen = 1;
    // Like the companion's route: its channels keep the 2-semitone range.
    FinishOpening();
    return 1;
}

MICROTUNE_EXPORT int MICROTUNE_API StartMidiOutForiDev(int iDev) {
    mt::ExportLock lock;
    if (!lock) return 0;
    using namespace mt;
    if (!bDevicesCounted) nNumOutDevices();
    if (iDev == iQTDevice && StartQT() == 0) return 0;
    iSelectedDevice = iDev;
    return OpenMidiOut(DeviceIdForIndex(iDev));
}

MICROTUNE_EXPORT int MICROTUNE_API StartMidiOut(void) {
    mt::ExportLock lock;
    if (!lock) return 0;
    return StartMidiOutForiDev(mt::iSelectedDevice);
}

MICROTUNE_EXPORT int MICROTUNE_API CloseMidiOut(void) {
    mt::ExportLock lock;
    if (!lock) return 0;
    using namespace mt;
    if (!bMidiOutOpen) return 0;
    // A zone's members are left silent and centred, for whatever plays next.
    if (iMpeMembers) EndMpeNotes(127);
    if (hMidiOut) PlatformMidiOutClose(hMidiOut);
    hMidiOut = nullptr;
    bMidiOutOpen = 0;
    bRecordingOutput = 0;
    ResetChannelBends();
    return 1;
}

MICROTUNE_EXPORT int MICROTUNE_API StopMidiOut(void) {
    mt::ExportLock lock;
    if (!lock) return 0;
    return mt::bMidiOutOpen ? CloseMidiOut() : 0;
}

MICROTUNE_EXPORT double MICROTUNE_API dSecsSinceStartMidiOut(void) {
    mt::ExportLock lock;
    if (!lock) return 0.0;
    // Unsigned difference first, so a wrap of the millisecond counter is harmless.
    const uint32_t elapsed = mt::LibraryMilliseconds() - mt::dwStartTime;
    return static_cast<double>(elapsed) * 0.001;
}

MICROTUNE_EXPORT void MICROTUNE_API SleepSeconds(double seconds) {
    if (!(seconds > 0.0) || mt::CalledFromMessageTap()) return;
    {
        mt::ExportLock lock;
        // The recorder's time is the recording's: it moves on at once.
        if (mt::bRecordingOutput) {
            mt::dRecordingSeconds += seconds;
            return;
        }
    }
    // No lock while sleeping: other threads go on playing.
    const double milliseconds = seconds * 1000.0;
    // 0xFFFFFFFF would mean "forever" to the platform's sleep.
    const uint32_t capped =
        milliseconds < 4294967295.0 ? static_cast<uint32_t>(milliseconds) : 0xFFFFFFFEu;
    mt::PlatformSleep(capped);
}

}  // extern "C"
