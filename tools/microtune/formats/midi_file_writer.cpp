#include "formats/midi_file_writer.h"

namespace mthost {
namespace {

void PutNumber(std::vector<unsigned char> &out, uint32_t value) {
    unsigned char bytes[5];
    int n = 0;
    do {
        bytes[n++] = static_cast<unsigned char>(value & 0x7F);
        value >>= 7;
    } while (value);
    while (n > 1) out.push_back(static_cast<unsigned char>(bytes[--n] | 0x80));
    out.push_back(bytes[0]);
}

void PutBig(unsigned char *out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out[i] = static_cast<unsigned char>(value >> (8 * (bytes - 1 - i)));
}

}  // namespace

void MidiTrackWriter::Add(int64_t tick, const unsigned char *bytes, size_t size) {
    if (tick < last_) tick = last_;
    PutNumber(bytes_, static_cast<uint32_t>(tick - last_));
    last_ = tick;
    bytes_.insert(bytes_.end(), bytes, bytes + size);
}

void MidiTrackWriter::AddSystemExclusive(int64_t tick, const unsigned char *message, size_t size) {
    if (size == 0) return;
    if (tick < last_) tick = last_;
    PutNumber(bytes_, static_cast<uint32_t>(tick - last_));
    last_ = tick;
    bytes_.push_back(0xF0);
    PutNumber(bytes_, static_cast<uint32_t>(size - 1));
    bytes_.insert(bytes_.end(), message + 1, message + size);
}

void MidiTrackWriter::End(int64_t tick) {
    const unsigned char end[] = {0xFF, 0x2F, 0x00};
    Add(tick, end, sizeof end);
}

bool WriteMidiFile(std::FILE *file, int format, int division,
                   const std::vector<MidiTrackWriter> &tracks) {
    unsigned char header[14] = {'M', 'T', 'h', 'd'};
    PutBig(header + 4, 6, 4);
    PutBig(header + 8, static_cast<uint32_t>(format), 2);
    PutBig(header + 10, static_cast<uint32_t>(tracks.size()), 2);
    PutBig(header + 12, static_cast<uint32_t>(division), 2);
    if (std::fwrite(header, 1, sizeof header, file) != sizeof header) return false;
    for (const MidiTrackWriter &track : tracks) {
        unsigned char chunk[8] = {'M', 'T', 'r', 'k'};
        PutBig(chunk + 4, static_cast<uint32_t>(track.Bytes().size()), 4);
        if (std::fwrite(chunk, 1, sizeof chunk, file) != sizeof chunk) return false;
        if (std::fwrite(track.Bytes().data(), 1, track.Bytes().size(), file) !=
            track.Bytes().size())
            return false;
    }
    return std::fflush(file) == 0;
}

}  // namespace mthost
