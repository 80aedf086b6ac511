// The message tap: the host sees each channel message as it leaves, on the
// sending thread, and may not call back into the library meanwhile.
#include "output/message_tap.h"

#include "state/library_lock.h"

namespace mt {

MicrotuneMessageTap messageTap;
void *messageTapContext;

void CallMessageTap(int status, int channel, int data1, int data2) {
    // The lock is held and not recursive: calls from the tap are turned
    // away rather than left to deadlock.
    bInMessageTap = true;
    messageTap(messageTapContext, channel, (status & 0xF0) | (channel & 0x0F), data1, data2);
    bInMessageTap = false;
}

}  // namespace mt

extern "C" {

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneSetMessageTap(MicrotuneMessageTap tap, void *context) {
    mt::ExportLock lock;
    if (!lock) return -1;
    mt::messageTap = tap;
    mt::messageTapContext = tap ? context : nullptr;
    return 1;
}

}  // extern "C"
