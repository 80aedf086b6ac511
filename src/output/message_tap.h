// The host's message tap: every channel message on its way out.
#ifndef MICROTUNE_MESSAGE_TAP_H
#define MICROTUNE_MESSAGE_TAP_H

#include "microtune_ext.h"

namespace mt {

#pragma GCC visibility push(hidden)  // as the state (state/state.h)
extern MicrotuneMessageTap messageTap;
extern void *messageTapContext;
#pragma GCC visibility pop

void CallMessageTap(int status, int channel, int data1, int data2);

// Passes one message that is about to be sent to the tap, if there is one.
inline void TapMessage(int status, int channel, int data1, int data2) {
    if (messageTap) CallMessageTap(status, channel, data1, data2);
}

}  // namespace mt

#endif
