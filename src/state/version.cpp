// The version a host sees at run time: the project's, set by the build.
#include "microtune_ext.h"

#ifndef MICROTUNE_VERSION
#error "MICROTUNE_VERSION comes from the build"
#endif

extern "C" {

MICROTUNE_EXPORT const char *MICROTUNE_CAPI MicrotuneVersion(void) { return MICROTUNE_VERSION; }

}  // extern "C"
