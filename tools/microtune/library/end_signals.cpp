#include "library/end_signals.h"

#include <atomic>

#include "host_error.h"

namespace mthost {
namespace {

std::atomic<int> catchers{0};
std::atomic<bool> requested{false};

}  // namespace

bool NoteEndSignal() { return catchers.load() != 0 && !requested.exchange(true); }

EndSignalCatcher::EndSignalCatcher() { ++catchers; }
EndSignalCatcher::~EndSignalCatcher() { --catchers; }

bool EndRequested() { return requested.load(); }

void ThrowIfEndRequested() {
    if (EndRequested()) throw HostError("interrupted", 130);
}

}  // namespace mthost
