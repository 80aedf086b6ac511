// The one lock behind every export. An export takes it on entry and keeps
// it to the end, so each call sees and leaves a consistent state; exports
// that call other exports take it once. Nothing sleeps or waits for input
// while holding it.
#ifndef MICROTUNE_LIBRARY_LOCK_H
#define MICROTUNE_LIBRARY_LOCK_H

#include <atomic>
#include <cstdint>

#include "platform/platform.h"

namespace mt {

#pragma GCC visibility push(hidden)  // as the state (state/state.h)
// The thread that holds the lock, or 0. Written only by that thread.
extern std::atomic<uintptr_t> lockOwner;
// True while the message tap runs; read and written under the lock.
extern bool bInMessageTap;
#pragma GCC visibility pop

// True for a call made by the message tap (from inside a send), which
// must return at once without effect.
inline bool CalledFromMessageTap() {
    return lockOwner.load(std::memory_order_relaxed) == PlatformThreadId() && bInMessageTap;
}

class ExportLock {
public:
    ExportLock() {
        const uintptr_t self = PlatformThreadId();
        // Only this thread can have stored its own id, so the relaxed read
        // answers exactly whether it holds the lock already.
        if (lockOwner.load(std::memory_order_relaxed) == self) {
            nested_ = true;
            return;
        }
        PlatformLock();
        lockOwner.store(self, std::memory_order_relaxed);
    }
    ~ExportLock() {
        if (nested_) return;
        lockOwner.store(0, std::memory_order_relaxed);
        PlatformUnlock();
    }
    ExportLock(const ExportLock &) = delete;
    ExportLock &operator=(const ExportLock &) = delete;

    // False when the message tap made the call.
    explicit operator bool() const { return !(nested_ && bInMessageTap); }

private:
    bool nested_ = false;
};

}  // namespace mt

#endif
