// The end signals on Windows: Ctrl-C, Ctrl-Break and the console closing
// arrive through the console control handler, on a thread of their own,
// and are treated as SIGINT and SIGTERM are on POSIX.
#include <windows.h>

#include "library/end_signals.h"
#include "output_file/output_file.h"

namespace mthost {
namespace {

// Ends the process at once, whatever its other threads are doing.
void EndAtOnce() {
    mtio::RemoveTemporaryFiles();
    static const char message[] = "microtune: interrupted\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), message, sizeof message - 1, &written, nullptr);
    TerminateProcess(GetCurrentProcess(), 130);
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (!NoteEndSignal()) EndAtOnce();
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
    // The console closing, logging off, shutting down: Windows ends the
    // process as soon as this returns, so it waits for the clean end (which
    // ends this thread with the process) as long as Windows allows.
    Sleep(4500);
    EndAtOnce();
    return TRUE;
}

}  // namespace

void InstallEndSignalHandler() { SetConsoleCtrlHandler(&OnConsoleEvent, TRUE); }

}  // namespace mthost
