#include "live/relay_session.h"

#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "library/voice.h"

namespace mthost {
namespace {

std::string Format(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char *format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

bool CallsLibrary(const KeyEvent &event) {
    switch (event.kind) {
        case KeyEvent::KEY_DOWN:
        case KeyEvent::KEY_UP:
        case KeyEvent::VOICE:
        case KeyEvent::ALL_OFF:
            return true;
        case KeyEvent::PEDAL_UP:
            return event.released > 0;
        default:
            return false;
    }
}

}  // namespace

// One line per message the relay acted on; a key press also names the
// library's choice of note, channel and bend. Runs after the latency is
// taken, with the library mutex held.
void Session::Describe(const KeyEvent &event) {
    std::string line;
    switch (event.kind) {
        case KeyEvent::KEY_DOWN: {
            SentNote note;
            const double hz = tuning.hz1o1 * RatioOfDegree(tuning.ratios, event.degree);
            line = Format("key %d on input channel %d, velocity %d: degree %d, %.3f Hz", event.key,
                          event.inputChannel, event.value, event.degree, hz);
            if (sent->LastNoteOn(&note)) {
                line += Format(", MIDI note %d, channel %d, bend %+.2f cents", note.note,
                               note.channel, BendCentsOfDegree(event.degree));
                keyNotes[event.key] = note;
            } else {
                line += ", not in play (the library's table is full)";
            }
            if (event.cut > 0) {
                // The keys still held whose notes the library silenced for this one.
                std::string keys;
                int found = 0;
                for (int key = 0; key < 128; ++key) {
                    if (key == event.key || !relay.Sounding(key) ||
                        !sent->NoteOffSent(keyNotes[key].channel, keyNotes[key].note))
                        continue;
                    keys += Format("%s%d", keys.empty() ? "" : ", ", key);
                    ++found;
                }
                line += Format(
                    "; %d note%s cut to free a channel (more differently bent notes "
                    "than channels)%s%s",
                    event.cut, event.cut == 1 ? "" : "s",
                    found == 0   ? ""
                    : found == 1 ? ": key "
                                 : ": keys ",
                    keys.c_str());
            }
            break;
        }
        case KeyEvent::KEY_SILENT:
            line = Format("key %d on input channel %d: unmapped, silent", event.key,
                          event.inputChannel);
            break;
        case KeyEvent::KEY_UP:
            line = Format("key %d off: degree %d stopped", event.key, event.degree);
            break;
        case KeyEvent::KEY_HELD:
            line = Format("key %d off: degree %d held by the pedal", event.key, event.degree);
            break;
        case KeyEvent::PEDAL_DOWN:
            line = "pedal down";
            break;
        case KeyEvent::PEDAL_UP:
            line = Format("pedal up: %d held degree%s stopped", event.released,
                          event.released == 1 ? "" : "s");
            break;
        case KeyEvent::VOICE:
            line = Format("voice %d %s on input channel %d", event.value,
                          VoiceName(event.value).c_str(), event.inputChannel);
            break;
        case KeyEvent::ALL_OFF:
            line =
                Format("%s: every note stopped",
                       event.value == ALL_SOUND_OFF_CONTROLLER ? "all sound off" : "all notes off");
            break;
        default:
            return;
    }
    std::lock_guard<RelayLock> lock(linesMutex);
    lines.push_back(line);
}

void Session::PrintPendingLines() {
    std::deque<std::string> pending;
    {
        std::lock_guard<RelayLock> lock(linesMutex);
        pending.swap(lines);
    }
    if (pending.empty()) return;
    std::lock_guard<RelayLock> lock(outputMutex);
    for (const std::string &line : pending) std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void OnKeyMessage(const unsigned char *message, std::size_t size,
                  std::chrono::steady_clock::time_point start, void *context) {
    Session &session = *static_cast<Session *>(context);
    std::lock_guard<RelayLock> lock(session.libraryMutex);
    if (session.stopping) return;
    if (session.sent) session.sent->Clear();
    const KeyEvent event = session.relay.Handle(message, size);
    session.notesCut += event.cut;
    if (!session.verbose && !session.stats) return;
    if (CallsLibrary(event)) {
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
        const uint32_t sample = ns > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(ns);
        Latency::Add(session.latency.all, sample);
        if (event.kind == KeyEvent::KEY_DOWN) Latency::Add(session.latency.presses, sample);
    }
    if (session.verbose) session.Describe(event);
}

}  // namespace mthost
