// The host's MIDI file reader on arbitrary bytes: the structure checks and
// the host reader. Every refusal must be a HostError.
// When the first byte is odd, the rest is wrapped in a valid header and one
// track chunk of the right length, so that the search reaches the events
// quickly; otherwise the bytes are the whole file.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/midi_file.h"
#include "host_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<unsigned char> file;
    if (size > 0 && (data[0] & 1)) {
        const size_t track = size - 1;
        const unsigned char header[] = {'M',
                                        'T',
                                        'h',
                                        'd',
                                        0,
                                        0,
                                        0,
                                        6,
                                        0,
                                        1,
                                        0,
                                        1,
                                        0x01,
                                        0xE0,
                                        'M',
                                        'T',
                                        'r',
                                        'k',
                                        static_cast<unsigned char>(track >> 24),
                                        static_cast<unsigned char>(track >> 16),
                                        static_cast<unsigned char>(track >> 8),
                                        static_cast<unsigned char>(track)};
        file.assign(header, header + sizeof header);
        file.insert(file.end(), data + 1, data + size);
    } else {
        file.assign(data, data + size);
    }
    try {
        const mthost::MidiFile midi = mthost::ParseMidiFile("fuzz.mid", file.data(), file.size());
        for (const mthost::MidiFileEvent &event : midi.events)
            if (event.bytes.empty() || event.tick < 0 || event.tick > midi.endTick)
                __builtin_trap();
    } catch (const mthost::HostError &) {
    }
    return 0;
}
