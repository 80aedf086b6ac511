// The host's MIDI file reader on arbitrary bytes: the structure checks and
// the host reader. Every refusal must be a HostError, and what is read must
// hold together: events in tick and time order, none past the end.
// An input that starts as a MIDI file does ("MThd") is the whole file, so
// that a corpus of real files fuzzes headers, formats, several tracks and
// their merge; any other input becomes the events of one track in a valid
// header, so that the search reaches the event reader quickly.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "formats/midi_file.h"
#include "host_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<unsigned char> file;
    if (size < 4 || std::memcmp(data, "MThd", 4) != 0) {
        // Format 1, one track, 480 ticks per quarter note; the track's length.
        static const char header[] = "MThd\0\0\0\6\0\1\0\1\1\xE0MTrk";
        file.assign(header, header + sizeof header - 1);
        for (int shift = 24; shift >= 0; shift -= 8)
            file.push_back(static_cast<unsigned char>(size >> shift));
    }
    file.insert(file.end(), data, data + size);
    try {
        const mthost::MidiFile midi = mthost::ParseMidiFile("fuzz.mid", file.data(), file.size());
        for (size_t i = 0; i < midi.events.size(); ++i) {
            const mthost::MidiFileEvent &event = midi.events[i];
            if (event.bytes.empty() || event.tick < 0 || event.tick > midi.endTick ||
                event.track < 0 || event.track >= midi.tracks)
                __builtin_trap();
            if (i > 0 && (event.tick < midi.events[i - 1].tick ||
                          event.seconds < midi.events[i - 1].seconds))
                __builtin_trap();
        }
    } catch (const mthost::HostError &) {
    }
    return 0;
}
