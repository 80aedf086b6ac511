#include "state/last_error.h"

#include <cstdarg>
#include <cstdio>

#include "microtune_ext.h"

namespace mt {
namespace {

// Plain arrays need no construction or destruction per thread.
thread_local char lastError[LAST_ERROR_SIZE];
thread_local unsigned lastErrorCount;

}  // namespace

void SetLastError(const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(lastError, sizeof lastError, format, arguments);
    va_end(arguments);
    ++lastErrorCount;
}

unsigned LastErrorCount() { return lastErrorCount; }

}  // namespace mt

extern "C" {

// No lock: the text is the calling thread's own.
MICROTUNE_EXPORT const char *MICROTUNE_CAPI MicrotuneLastError(void) { return mt::lastError; }

}  // extern "C"
