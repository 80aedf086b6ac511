// The end signals on POSIX: SIGINT and SIGTERM.
#include <unistd.h>

#include <csignal>

#include "library/end_signals.h"
#include "output_file/output_file.h"

namespace mthost {
namespace {

void EndAtOnce() {
    mtio::RemoveTemporaryFiles();
    static const char message[] = "microtune: interrupted\n";
    const ssize_t ignored = write(STDERR_FILENO, message, sizeof message - 1);
    (void)ignored;
    _exit(130);
}

void OnEndSignal(int) {
    if (!NoteEndSignal()) EndAtOnce();
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

}  // namespace mthost
