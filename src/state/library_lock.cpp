#include "state/library_lock.h"

namespace mt {

std::atomic<uintptr_t> lockOwner{0};
bool bInMessageTap;

}  // namespace mt
