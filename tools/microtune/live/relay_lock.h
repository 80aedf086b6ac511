// The relay's locks, held by whoever calls the library or prints: a
// std::mutex, and on Windows, whose MinGW C++ library has no std::mutex, a
// slim reader/writer lock with the same face (for std::lock_guard).
#ifndef MICROTUNE_LIVE_RELAY_LOCK_H
#define MICROTUNE_LIVE_RELAY_LOCK_H

#include <mutex>

#ifdef _WIN32
#include <windows.h>
#endif

namespace mthost {

#ifdef _WIN32
class RelayLock {
public:
    RelayLock() = default;
    RelayLock(const RelayLock &) = delete;
    RelayLock &operator=(const RelayLock &) = delete;
    void lock() { AcquireSRWLockExclusive(&lock_); }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};
#else
using RelayLock = std::mutex;
#endif

}  // namespace mthost

#endif
