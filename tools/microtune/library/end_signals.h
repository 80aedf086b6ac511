// How every subcommand ends on Ctrl-C or SIGTERM (on Windows, Ctrl-C,
// Ctrl-Break or the console closing): one handler for the whole process,
// installed before any subcommand runs.
//   - Normally a signal ends the process at once, the safe way: the
//     temporary files of unfinished outputs are removed, "microtune:
//     interrupted" is said, and the status is 130 (a render, a file being
//     written, start-up).
//   - While an EndSignalCatcher exists (live playing, the relay), a signal is
//     only noted: the command sees EndRequested(), stops its notes, closes
//     its files and ends by itself.
//   - A second signal always ends the process at once, should a clean end
//     hang.
// The handler only touches atomic flags and async-signal-safe calls, so it
// may run on any thread, the library's, JACK's and the synthesizer's
// included.
#ifndef MICROTUNE_LIBRARY_END_SIGNALS_H
#define MICROTUNE_LIBRARY_END_SIGNALS_H

namespace mthost {

void InstallEndSignalHandler();

class EndSignalCatcher {
public:
    EndSignalCatcher();
    ~EndSignalCatcher();
    EndSignalCatcher(const EndSignalCatcher &) = delete;
    EndSignalCatcher &operator=(const EndSignalCatcher &) = delete;
};

// Whether Ctrl-C or SIGTERM came while a catcher was in place.
bool EndRequested();

// HostError "interrupted" (status 130) once an end was requested.
void ThrowIfEndRequested();

// For the platform's handler (end_signals_posix.cpp, end_signals_win32.cpp):
// true when the signal that just came is only noted; false when the process
// must end at once.
bool NoteEndSignal();

}  // namespace mthost

#endif
