#include "library/message_listeners.h"

#include "host_error.h"
#include "microtune_ext.h"

namespace mthost {
namespace {

struct Listener {
    MessageListener listener;
    void *context;
};

// A handful at most (a recording and a command's report); the tap reads
// them under the library's lock, set and cleared between library calls.
constexpr int MAX_LISTENERS = 4;
Listener listeners[MAX_LISTENERS];

void MICROTUNE_CAPI Tap(void *, int channel, int status, int data1, int data2) {
    for (const Listener &l : listeners)
        if (l.listener) l.listener(l.context, channel, status, data1, data2);
}

bool AnyListener() {
    for (const Listener &l : listeners)
        if (l.listener) return true;
    return false;
}

}  // namespace

ListenToLibrary::ListenToLibrary(MessageListener listener, void *context) {
    for (int i = 0; i < MAX_LISTENERS; ++i)
        if (!listeners[i].listener) {
            slot_ = i;
            break;
        }
    if (slot_ < 0) throw HostError("too many listeners to the library's messages");
    const bool first = !AnyListener();
    listeners[slot_] = {listener, context};
    if (first) MicrotuneSetMessageTap(&Tap, nullptr);
}

ListenToLibrary::~ListenToLibrary() {
    listeners[slot_] = {nullptr, nullptr};
    if (!AnyListener()) MicrotuneSetMessageTap(nullptr, nullptr);
}

}  // namespace mthost
