// Reading Standard MIDI Files (formats 0 and 1, metrical division) with
// libsmf. The chunk structure and every event are checked here first, so
// that the library only ever sees well-formed input.
#ifndef MICROTUNE_MIDI_FILE_H
#define MICROTUNE_MIDI_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct smf_struct;  // libsmf's file

namespace mthost {

// Larger files are refused before they are read: real MIDI files are a few
// hundred kilobytes, and every event becomes a library object.
constexpr size_t MAX_MIDI_FILE_BYTES = 16u << 20;

struct MidiFileEvent {
    int64_t tick = 0;
    double seconds = 0.0;              // from the tempo map
    int track = 0;                     // 0-based
    std::vector<unsigned char> bytes;  // status first; running status resolved
};

struct MidiFile {
    int format = 0;
    int division = 0;  // ticks per quarter note
    int tracks = 0;
    int64_t endTick = 0;                // the last end-of-track event
    std::vector<MidiFileEvent> events;  // in tick order over all tracks
};

// Keeps libsmf's GLib log quiet while it lives: the host words its own
// errors.
class QuietMidiLibrary {
public:
    QuietMidiLibrary();
    ~QuietMidiLibrary();
    QuietMidiLibrary(const QuietMidiLibrary &) = delete;
    QuietMidiLibrary &operator=(const QuietMidiLibrary &) = delete;

private:
    unsigned handlers_[2];
};

// Frees a libsmf file in linear time (smf_delete alone takes time that grows
// with the square of the events per track).
void DeleteSmf(::smf_struct *smf);

// Both throw HostError with one line "NAME: what is wrong".
MidiFile ReadMidiFile(const std::string &path);
MidiFile ParseMidiFile(const std::string &name, const unsigned char *data, size_t size);

}  // namespace mthost

#endif
