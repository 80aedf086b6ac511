// Reading Standard MIDI Files (formats 0 and 1, metrical division). Every
// chunk and event is checked as it is read, in one pass over the file, and
// the events of all tracks are merged in tick order with their times in
// seconds from the tempo map. Memory is a few dozen bytes per event: a
// million-note file fits in well under 200 MB.
#ifndef MICROTUNE_MIDI_FILE_H
#define MICROTUNE_MIDI_FILE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mthost {

// The one size rule for MIDI files, read and written: larger files are
// refused before they are read, and never written (so that every file the
// host writes, a retuned file retuned again, can be read back). Real MIDI
// files are a few hundred kilobytes; this holds over ten million notes (a
// note-on and its note-off take 6 bytes or more, 8 as the host writes them).
// An event takes 40 bytes of memory and 2 bytes of the file at least (4 as
// the host writes them): reading a file of this size takes about 1.4 GB at
// most, and 0.75 GB for a file the host wrote.
constexpr size_t MAX_MIDI_FILE_BYTES = 64u << 20;

// The bytes of one event, status first. A channel message is held in
// place (its status may have come from running status); a meta event
// points into the file's contents, which its MidiFile keeps.
class MidiBytes {
public:
    MidiBytes() = default;
    MidiBytes(const unsigned char *bytes, size_t size);  // copies up to 3 bytes, else points
    const unsigned char *data() const { return pointer_ ? pointer_ : local_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    unsigned char operator[](size_t i) const { return data()[i]; }
    const unsigned char *begin() const { return data(); }
    const unsigned char *end() const { return data() + size_; }

private:
    const unsigned char *pointer_ = nullptr;
    uint32_t size_ = 0;
    unsigned char local_[3] = {};
};

struct MidiFileEvent {
    int64_t tick = 0;
    double seconds = 0.0;  // from the tempo map
    int track = 0;         // 0-based
    MidiBytes bytes;       // running status resolved
};

struct MidiFile {
    int format = 0;
    int division = 0;  // ticks per quarter note
    int tracks = 0;
    int64_t endTick = 0;                // the last end-of-track event
    std::vector<MidiFileEvent> events;  // in tick order over all tracks; at equal ticks, by track
    // Channel messages whose status was carried over a meta event or a
    // system exclusive message, against the file rules but as players
    // read them.
    int64_t statusCarriedOver = 0;
    std::shared_ptr<const std::vector<unsigned char>> contents;  // what meta events point into
};

// Both throw HostError with one line "NAME: what is wrong".
MidiFile ReadMidiFile(const std::string &path);
MidiFile ParseMidiFile(const std::string &name, const unsigned char *data, size_t size);
MidiFile ParseMidiFile(const std::string &name,
                       std::shared_ptr<const std::vector<unsigned char>> contents);

}  // namespace mthost

#endif
