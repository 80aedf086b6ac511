#include "midi_file.h"

#include <glib.h>
#include <smf.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "host_error.h"

namespace mthost {
namespace {

// libsmf counts ticks in int; the limit also keeps every delta time, even
// merged over dropped events, within a four-byte number.
constexpr int64_t MAX_TRACK_TICKS = 0x0FFFFFFF;

uint32_t Big32(const unsigned char *p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
int Big16(const unsigned char *p) { return (p[0] << 8) | p[1]; }

class Checker {
public:
    Checker(const std::string &name, int track, const unsigned char *data, size_t size)
        : name_(name), track_(track), data_(data), size_(size) {}

    // Walks every event of the track and appends the track to the clean
    // copy up to its end-of-track event, in the plainest form: without
    // system exclusive messages (nothing here plays them, and libsmf cannot
    // read continuation packets) and without running status.
    void Check(std::vector<unsigned char> &clean) {
        int runningStatus = 0;
        int64_t tick = 0;
        uint32_t delta = 0;  // since the last event kept
        size_t metaData = 0;
        while (true) {
            if (pos_ >= size_) Fail("ends without an end-of-track event");
            const uint32_t eventDelta = ReadNumber("delta time");
            tick += eventDelta;
            delta += eventDelta;
            if (tick > MAX_TRACK_TICKS)
                Fail("is too long (more than " + std::to_string(MAX_TRACK_TICKS) + " ticks)");
            const size_t start = pos_;
            int status = Byte("event");
            if (status < 0x80) {
                if (!runningStatus) Fail("has a data byte without a status", start);
                status = runningStatus;
                --pos_;
            }
            if (status < 0xF0) {
                runningStatus = status;
                const int kind = status & 0xF0;
                const int count = kind == 0xC0 || kind == 0xD0 ? 1 : 2;
                for (int i = 0; i < count; ++i)
                    if (Byte("channel message") >= 0x80)
                        Fail("has a channel message cut short by a status byte", start);
            } else if (status == 0xFF) {
                const int type = Byte("meta event");
                if (type >= 0x80) Fail("has a meta event of type above 127", start);
                const uint32_t length = ReadNumber("meta event length");
                CheckMetaLength(type, length, start);
                metaData = pos_;
                Skip(length, "meta event");
                if (type == 0x51 && (data_[pos_ - 3] | data_[pos_ - 2] | data_[pos_ - 1]) == 0)
                    Fail("has a tempo of 0 microseconds per quarter note", start);
            } else if (status == 0xF0 || status == 0xF7) {
                runningStatus = 0;  // a system exclusive message cancels it
                const uint32_t length = ReadNumber("system exclusive length");
                Skip(length, "system exclusive message");
                continue;
            } else {
                Fail("has a status byte " + Hex(status) + " that a file cannot hold", start);
            }
            WriteNumber(clean, delta);
            delta = 0;
            if (status != 0xFF) {
                // Every status written out: libsmf mistakes running status
                // after a meta event for more meta data.
                clean.push_back(static_cast<unsigned char>(status));
                clean.insert(clean.end(), data_ + (data_[start] & 0x80 ? start + 1 : start),
                             data_ + pos_);
                continue;
            }
            // Lengths written anew in their shortest form, which is all
            // that libsmf reads correctly.
            const uint32_t length = static_cast<uint32_t>(pos_ - metaData);
            clean.push_back(0xFF);
            clean.push_back(data_[start + 1]);
            WriteNumber(clean, length);
            clean.insert(clean.end(), data_ + metaData, data_ + pos_);
            if (data_[start + 1] == 0x2F) return;
        }
    }

private:
    [[noreturn]] void Fail(const std::string &what, size_t at = SIZE_MAX) const {
        const size_t where = at == SIZE_MAX ? pos_ : at;
        throw HostError(name_ + ": track " + std::to_string(track_ + 1) + " " + what + " (byte " +
                        std::to_string(where) + " of the track)");
    }

    static void WriteNumber(std::vector<unsigned char> &out, uint32_t value) {
        unsigned char bytes[4];
        int n = 0;
        do {
            bytes[n++] = static_cast<unsigned char>(value & 0x7F);
            value >>= 7;
        } while (value && n < 4);
        while (n > 1) out.push_back(static_cast<unsigned char>(bytes[--n] | 0x80));
        out.push_back(bytes[0]);
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

    // Events whose contents the library interprets must have their length.
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

void QuietLog(const gchar *, GLogLevelFlags, const gchar *, gpointer) {}
const char *const SMF_LOG_DOMAINS[] = {nullptr, "libsmf"};

}  // namespace

QuietMidiLibrary::QuietMidiLibrary() {
    for (int i = 0; i < 2; ++i)
        handlers_[i] = g_log_set_handler(
            SMF_LOG_DOMAINS[i], static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL),
            &QuietLog, nullptr);
}

QuietMidiLibrary::~QuietMidiLibrary() {
    for (int i = 0; i < 2; ++i) g_log_remove_handler(SMF_LOG_DOMAINS[i], handlers_[i]);
}

void DeleteSmf(smf_t *smf) {
    if (!smf) return;
    // Each event would be looked up and taken out of its track one by one;
    // they are freed here, and the tracks emptied, first.
    for (int t = 1; t <= smf->number_of_tracks; ++t) {
        smf_track_t *track = smf_get_track_by_number(smf, t);
        if (!track || !track->events_array) continue;
        for (guint i = 0; i < track->events_array->len; ++i) {
            smf_event_t *event =
                static_cast<smf_event_t *>(g_ptr_array_index(track->events_array, i));
            free(event->midi_buffer);
            free(event);
        }
        g_ptr_array_set_size(track->events_array, 0);
        track->number_of_events = 0;
    }
    smf_delete(smf);
}

MidiFile ParseMidiFile(const std::string &name, const unsigned char *data, size_t size) {
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

    // A clean copy for the library: the header and the tracks up to their
    // end-of-track events, without other chunks.
    std::vector<unsigned char> clean(data, data + 14);
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
        const unsigned char *body = data + pos + 8;
        if (std::memcmp(data + pos, "MTrk", 4) == 0) {
            const size_t headerAt = clean.size();
            const unsigned char header[8] = {'M', 'T', 'r', 'k', 0, 0, 0, 0};
            clean.insert(clean.end(), header, header + 8);
            Checker(name, tracks, body, length).Check(clean);
            const size_t used = clean.size() - headerAt - 8;
            for (int k = 0; k < 4; ++k)
                clean[headerAt + 4 + k] = static_cast<unsigned char>(used >> (24 - 8 * k));
            ++tracks;
        }
        pos += 8 + length;
    }
    file.tracks = tracks;

    // libsmf reports through GLib's log; errors are ours to word.
    const guint handler =
        g_log_set_handler(nullptr, static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL),
                          &QuietLog, nullptr);
    smf_t *smf = smf_load_from_memory(clean.data(), static_cast<int>(clean.size()));
    g_log_remove_handler(nullptr, handler);
    if (!smf) fail("libsmf could not read the file");
    std::unique_ptr<smf_t, void (*)(smf_t *)> owner(smf, &DeleteSmf);

    smf_rewind(smf);
    while (smf_event_t *event = smf_get_next_event(smf)) {
        if (event->time_pulses > file.endTick) file.endTick = event->time_pulses;
        if (smf_event_is_eot(event)) continue;
        MidiFileEvent copy;
        copy.tick = event->time_pulses;
        copy.seconds = event->time_seconds;
        copy.track = event->track_number - 1;
        copy.bytes.assign(event->midi_buffer, event->midi_buffer + event->midi_buffer_length);
        file.events.push_back(std::move(copy));
    }
    return file;
}

MidiFile ReadMidiFile(const std::string &path) {
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) throw HostError(path + ": cannot open: " + std::strerror(errno));
    std::unique_ptr<FILE, int (*)(FILE *)> owner(f, &std::fclose);
    std::vector<unsigned char> data;
    unsigned char block[65536];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) {
        data.insert(data.end(), block, block + n);
        // Reading stops just past the cap, so a huge file costs nothing.
        if (data.size() > MAX_MIDI_FILE_BYTES) break;
    }
    if (std::ferror(f)) throw HostError(path + ": cannot read: " + std::strerror(errno));
    return ParseMidiFile(path, data.data(), data.size());
}

}  // namespace mthost
