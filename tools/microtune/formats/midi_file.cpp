#include "formats/midi_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "formats/file_paths.h"
#include "formats/text_file.h"
#include "host_error.h"

namespace mthost {
namespace {

// The limit keeps every delta time, even merged over dropped events, within
// a four-byte number.
constexpr int64_t MAX_TRACK_TICKS = 0x0FFFFFFF;
constexpr int DEFAULT_TEMPO = 500000;  // microseconds per quarter note

uint32_t Big32(const unsigned char *p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
int Big16(const unsigned char *p) { return (p[0] << 8) | p[1]; }

// One track: checks every event and appends those the host keeps (channel
// messages and meta events other than end of track) to `events`, in order.
// System exclusive messages are checked and skipped: nothing here plays them.
class TrackReader {
public:
    TrackReader(const std::string &name, int track, const unsigned char *data, size_t size)
        : name_(name), track_(track), data_(data), size_(size) {}

    // Returns the tick of the end-of-track event.
    int64_t Read(std::vector<MidiFileEvent> &events, int64_t &carriedOver) {
        int runningStatus = 0;
        bool systemSince = false;  // a meta or system exclusive event since the status
        int64_t tick = 0;
        while (true) {
            if (pos_ >= size_) Fail("ends without an end-of-track event");
            tick += ReadNumber("delta time");
            if (tick > MAX_TRACK_TICKS)
                Fail("is too long (more than " + std::to_string(MAX_TRACK_TICKS) + " ticks)");
            const size_t start = pos_;
            int status = Byte("event");
            if (status < 0x80) {
                if (!runningStatus) Fail("has a data byte without a status", start);
                // The rules end running status at a meta or system exclusive
                // event; players carry it over both alike, and so does this.
                if (systemSince) ++carriedOver;
                status = runningStatus;
                --pos_;
            }
            if (status < 0xF0) {
                runningStatus = status;
                systemSince = false;
                const int kind = status & 0xF0;
                const int count = kind == 0xC0 || kind == 0xD0 ? 1 : 2;
                unsigned char message[3] = {static_cast<unsigned char>(status), 0, 0};
                for (int i = 0; i < count; ++i) {
                    const int byte = Byte("channel message");
                    if (byte >= 0x80)
                        Fail("has a channel message cut short by a status byte", start);
                    message[1 + i] = static_cast<unsigned char>(byte);
                }
                Add(events, tick, message, static_cast<size_t>(1 + count));
            } else if (status == 0xFF) {
                systemSince = true;
                const int type = Byte("meta event");
                if (type >= 0x80) Fail("has a meta event of type above 127", start);
                const uint32_t length = ReadNumber("meta event length");
                CheckMetaLength(type, length, start);
                Skip(length, "meta event");
                if (type == 0x51 && (data_[pos_ - 3] | data_[pos_ - 2] | data_[pos_ - 1]) == 0)
                    Fail("has a tempo of 0 microseconds per quarter note", start);
                if (type == 0x2F) return tick;
                Add(events, tick, data_ + start, pos_ - start);
            } else if (status == 0xF0 || status == 0xF7) {
                systemSince = true;
                const uint32_t length = ReadNumber("system exclusive length");
                Skip(length, "system exclusive message");
            } else {
                Fail("has a status byte " + Hex(status) + " that a file cannot hold", start);
            }
        }
    }

private:
    void Add(std::vector<MidiFileEvent> &events, int64_t tick, const unsigned char *bytes,
             size_t size) const {
        MidiFileEvent event;
        event.tick = tick;
        // Until the tempo map stamps the seconds, the place in the file,
        // which the merge of the tracks keeps at equal ticks.
        event.seconds = static_cast<double>(events.size());
        event.track = track_;
        event.bytes = MidiBytes(bytes, size);
        events.push_back(event);
    }

    [[noreturn]] void Fail(const std::string &what, size_t at = SIZE_MAX) const {
        const size_t where = at == SIZE_MAX ? pos_ : at;
        throw HostError(name_ + ": track " + std::to_string(track_ + 1) + " " + what + " (byte " +
                        std::to_string(where) + " of the track)");
    }

    static std::string Hex(int value) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
        return text;
    }

    int Byte(const char *what) {
        if (pos_ >= size_) Fail(std::string("is cut off inside a ") + what);
        return data_[pos_++];
    }

    // A variable-length quantity of at most four bytes.
    uint32_t ReadNumber(const char *what) {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const int byte = Byte(what);
            value = (value << 7) | (byte & 0x7F);
            if (!(byte & 0x80)) return value;
        }
        Fail(std::string("has a ") + what + " longer than four bytes");
    }

    void Skip(uint32_t length, const char *what) {
        if (length > size_ - pos_) Fail(std::string("has a ") + what + " longer than the track");
        pos_ += length;
    }

    // Events whose contents are interpreted must have their length.
    void CheckMetaLength(int type, uint32_t length, size_t start) const {
        int expected = -1;
        switch (type) {
            case 0x2F:
                expected = 0;
                break;  // end of track
            case 0x51:
                expected = 3;
                break;  // tempo
            case 0x58:
                expected = 4;
                break;  // time signature
            case 0x59:
                expected = 2;
                break;  // key signature
            case 0x20:
            case 0x21:
                expected = 1;
                break;  // channel and port prefix
            case 0x54:
                expected = 5;
                break;  // SMPTE offset
            default:
                break;
        }
        if (expected >= 0 && length != static_cast<uint32_t>(expected))
            Fail("has a meta event " + Hex(type) + " of length " + std::to_string(length) +
                     " (expected " + std::to_string(expected) + ")",
                 start);
    }

    const std::string &name_;
    int track_;
    const unsigned char *data_;
    size_t size_;
    size_t pos_ = 0;
};

// Seconds of every event from the tempo map (tempo changes of any track
// apply from their tick on), in one pass over the merged events.
void StampSeconds(MidiFile &file) {
    double secondsPerTick = DEFAULT_TEMPO * 1e-6 / file.division;
    int64_t lastTick = 0;
    double seconds = 0.0;
    for (MidiFileEvent &event : file.events) {
        seconds += static_cast<double>(event.tick - lastTick) * secondsPerTick;
        lastTick = event.tick;
        event.seconds = seconds;
        const MidiBytes &b = event.bytes;
        if (b[0] == 0xFF && b[1] == 0x51) {
            const int tempo = (b[b.size() - 3] << 16) | (b[b.size() - 2] << 8) | b[b.size() - 1];
            secondsPerTick = tempo * 1e-6 / file.division;
        }
    }
}

}  // namespace

MidiBytes::MidiBytes(const unsigned char *bytes, size_t size) : size_(static_cast<uint32_t>(size)) {
    if (size <= sizeof local_)
        std::memcpy(local_, bytes, size);
    else
        pointer_ = bytes;
}

MidiFile ParseMidiFile(const std::string &name,
                       std::shared_ptr<const std::vector<unsigned char>> contents) {
    const unsigned char *data = contents->data();
    const size_t size = contents->size();
    auto fail = [&name](const std::string &what) { throw HostError(name + ": " + what); };
    if (size == 0) fail("the file is empty");
    if (size > MAX_MIDI_FILE_BYTES)
        fail("the file is larger than " + std::to_string(MAX_MIDI_FILE_BYTES >> 20) +
             " MiB, too large for a MIDI file");
    if (size < 8 || std::memcmp(data, "MThd", 4) != 0)
        fail("not a MIDI file (it does not start with an MThd header)");
    const uint32_t headerLength = Big32(data + 4);
    if (headerLength != 6)
        fail("the MThd header has length " + std::to_string(headerLength) + " (expected 6)");
    if (size < 14) fail("the file ends inside the MThd header");
    MidiFile file;
    file.contents = contents;
    file.format = Big16(data + 8);
    const int declaredTracks = Big16(data + 10);
    const int division = Big16(data + 12);
    if (file.format == 2) fail("format 2 (independent patterns) is not supported");
    if (file.format > 2) fail("unknown format " + std::to_string(file.format));
    if (declaredTracks == 0) fail("the header declares no tracks");
    if (file.format == 0 && declaredTracks != 1)
        fail("format 0 with " + std::to_string(declaredTracks) + " tracks (expected 1)");
    if (division & 0x8000)
        fail(
            "SMPTE time division (frames per second) is not supported; only ticks per quarter "
            "note");
    if (division == 0) fail("the division is 0 ticks per quarter note");
    file.division = division;

    // An event takes at least two bytes of the file (a delta time and a
    // byte of running-status data), so this is all the room it can need;
    // what it does not use is never touched, so it costs no memory.
    file.events.reserve(size / 2);
    size_t pos = 14;
    int tracks = 0;
    while (tracks < declaredTracks) {
        if (size - pos < 8)
            fail("the header declares " + std::to_string(declaredTracks) +
                 " tracks, the file holds " + std::to_string(tracks));
        const uint32_t length = Big32(data + pos + 4);
        if (length > size - pos - 8)
            fail("chunk at byte " + std::to_string(pos) + " claims " + std::to_string(length) +
                 " bytes, only " + std::to_string(size - pos - 8) + " follow");
        // Chunks of other kinds are skipped, as the rules ask.
        if (std::memcmp(data + pos, "MTrk", 4) == 0) {
            const int64_t end = TrackReader(name, tracks, data + pos + 8, length)
                                    .Read(file.events, file.statusCarriedOver);
            file.endTick = std::max(file.endTick, end);
            ++tracks;
        }
        pos += 8 + length;
    }
    file.tracks = tracks;

    // Merged in tick order, equal ticks in the order of the file (so by
    // track), in place: a stable sort would take a second copy.
    if (tracks > 1)
        std::sort(file.events.begin(), file.events.end(),
                  [](const MidiFileEvent &a, const MidiFileEvent &b) {
                      return a.tick != b.tick ? a.tick < b.tick : a.seconds < b.seconds;
                  });
    StampSeconds(file);
    return file;
}

MidiFile ParseMidiFile(const std::string &name, const unsigned char *data, size_t size) {
    return ParseMidiFile(name,
                         std::make_shared<const std::vector<unsigned char>>(data, data + size));
}

MidiFile ReadMidiFile(const std::string &path) {
    const std::string name = PrintableName(path);
    FILE *f = OpenFile(path, "rb");
    if (!f) throw HostError(name + ": cannot open: " + std::strerror(errno));
    auto data = std::make_shared<std::vector<unsigned char>>();
    std::error_code ignored;
    const auto size = std::filesystem::file_size(PathOf(path), ignored);
    if (!ignored && size <= MAX_MIDI_FILE_BYTES) data->reserve(static_cast<size_t>(size));
    unsigned char block[65536];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) {
        data->insert(data->end(), block, block + n);
        // Reading stops just past the cap, so a huge file costs nothing.
        if (data->size() > MAX_MIDI_FILE_BYTES) break;
    }
    const bool failed = std::ferror(f);
    const int error = errno;
    std::fclose(f);
    if (failed) throw HostError(name + ": cannot read: " + std::strerror(error));
    return ParseMidiFile(name, data);
}

}  // namespace mthost
