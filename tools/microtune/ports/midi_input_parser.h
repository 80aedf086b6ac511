// MIDI input as a stream of bytes, turned into channel messages the way a
// receiver must read it: running status; real-time bytes (clock, active
// sensing) ignored wherever they fall; a system exclusive message ends at
// F7 or at the next status byte other than a real-time one, so that one
// whose F7 was lost cannot swallow the notes after it.
#ifndef MICROTUNE_MIDI_INPUT_PARSER_H
#define MICROTUNE_MIDI_INPUT_PARSER_H

#include <cstddef>

namespace mthost {

class MidiInputParser {
public:
    // Calls emit(const unsigned char *message, size_t size) for every
    // complete channel message in the bytes; messages may span calls.
    template <class Emit>
    void Feed(const unsigned char *bytes, std::size_t size, Emit &&emit) {
        for (std::size_t i = 0; i < size; ++i) {
            const unsigned char b = bytes[i];
            if (b >= 0xF8) continue;
            if (b >= 0x80) {
                sysex_ = b == 0xF0;
                // System common messages end running status; their data
                // bytes fall through as strays.
                status_ = b < 0xF0 ? b : 0;
                have_ = 0;
                continue;
            }
            if (sysex_ || status_ == 0) continue;
            message_[1 + have_++] = b;
            const int kind = status_ & 0xF0;
            if (have_ < (kind == 0xC0 || kind == 0xD0 ? 1 : 2)) continue;
            message_[0] = status_;
            emit(static_cast<const unsigned char *>(message_), static_cast<std::size_t>(1 + have_));
            have_ = 0;
        }
    }

private:
    unsigned char status_ = 0;  // running status; 0: none
    unsigned char message_[3] = {};
    int have_ = 0;  // data bytes of the message so far
    bool sysex_ = false;
};

}  // namespace mthost

#endif
