// Why the last failing call of a thread failed, for MicrotuneLastError: one
// text per thread, in static thread storage, replaced by each failure.
#ifndef MICROTUNE_LAST_ERROR_H
#define MICROTUNE_LAST_ERROR_H

namespace mt {

// Room for a reason, terminator included; longer ones are cut.
constexpr int LAST_ERROR_SIZE = 512;

// Replaces this thread's reason (printf-style).
void SetLastError(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Counts this thread's reasons, so that a caller can tell whether a call it
// made gave one of its own before giving a general one.
unsigned LastErrorCount();

}  // namespace mt

#endif
