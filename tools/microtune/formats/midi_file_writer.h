// Writing Standard MIDI Files: each track is serialized into memory as its
// events are added, in time linear in the events, and the file is written
// in one go.
#ifndef MICROTUNE_MIDI_FILE_WRITER_H
#define MICROTUNE_MIDI_FILE_WRITER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace mthost {

class MidiTrackWriter {
public:
    // Events come in tick order; one earlier than the last is written at the
    // last one's tick. Channel messages are written with their status every
    // time (no running status), which every reader reads.
    void Add(int64_t tick, const unsigned char *bytes, size_t size);
    // A system exclusive message as it goes over the wire (F0 ... F7): in a
    // file the F0 is followed by the length of the rest.
    void AddSystemExclusive(int64_t tick, const unsigned char *message, size_t size);
    // The end-of-track event; nothing may follow it.
    void End(int64_t tick);
    const std::vector<unsigned char> &Bytes() const { return bytes_; }

private:
    std::vector<unsigned char> bytes_;
    int64_t last_ = 0;
};

// Writes the header chunk and the tracks; false when the file cannot take
// them (the caller reports errno).
bool WriteMidiFile(std::FILE *file, int format, int division,
                   const std::vector<MidiTrackWriter> &tracks);

}  // namespace mthost

#endif
