#include "library/end_signals.h"

#include <unistd.h>

#include <atomic>
#include <csignal>

#include "host_error.h"
#include "output_file/output_file.h"

namespace mthost {
namespace {

std::atomic<int> catchers{0};
std::atomic<bool> requested{false};

void EndAtOnce() {
    mtio::RemoveTemporaryFiles();
    static const char message[] = "microtune: interrupted\n";
    const ssize_t ignored = write(STDERR_FILENO, message, sizeof message - 1);
    (void)ignored;
    _exit(130);
}

void OnEndSignal(int) {
    if (catchers.load() == 0 || requested.exchange(true)) EndAtOnce();
}

}  // namespace

void InstallEndSignalHandler() {
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls on other threads go on as if nothing came.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

EndSignalCatcher::EndSignalCatcher() { ++catchers; }
EndSignalCatcher::~EndSignalCatcher() { --catchers; }

bool EndRequested() { return requested.load(); }

void ThrowIfEndRequested() {
    if (EndRequested()) throw HostError("interrupted", 130);
}

}  // namespace mthost
