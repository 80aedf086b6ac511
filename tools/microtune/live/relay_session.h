// A running relay: the key logic, the lock that makes the input's callback
// the library's only caller, the latency figures and the verbose lines.
#ifndef MICROTUNE_RELAY_SESSION_H
#define MICROTUNE_RELAY_SESSION_H

#include <array>
#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "keys/performer.h"
#include "library/sent_notes.h"
#include "library/tuning.h"
#include "live/relay_latency.h"
#include "live/relay_lock.h"

namespace mthost {

// A keyboard whose input channels are parts: a split or layered keyboard
// plays its instruments.
// One instrument (an MPE zone): program changes pick the voice.
inline PerformerOptions KeyboardParts(bool parts = true) {
    PerformerOptions options;
    options.restrike = true;
    options.parts = parts;
    return options;
}

struct Session {
    Session(const KeyDegrees &degrees, bool verbose, bool stats, const Tuning &tuning,
            bool parts = true)
        : relay(LibraryExports(), degrees, KeyboardParts(parts)),
          verbose(verbose),
          stats(stats),
          tuning(tuning) {
        if (verbose || stats) latency.Reserve();
        if (verbose) sent.reset(new SentNotes);
        keyNotes.fill(SentNote{-1, -1, false});
    }

    RelayLock libraryMutex;  // held by whoever calls the library
    bool stopping = false;
    int notesCut = 0;  // silenced by the library to free a channel
    Performer relay;
    const bool verbose;
    const bool stats;
    const Tuning tuning;
    Latency latency;
    // What the library sent for the message in hand (verbose only), and the
    // channel and note each key's last press went to.
    std::unique_ptr<SentNotes> sent;
    std::array<SentNote, 128> keyNotes{};

    RelayLock outputMutex;  // standard output
    RelayLock linesMutex;
    std::deque<std::string> lines;  // verbose lines, printed by the main thread

    void Describe(const KeyEvent &event);
    void PrintPendingLines();
};

// Runs on the input's thread for every message, timed from when it
// arrived; the context is the Session (an InputHandler).
void OnKeyMessage(const unsigned char *message, std::size_t size,
                  std::chrono::steady_clock::time_point arrived, void *context);

}  // namespace mthost

#endif
