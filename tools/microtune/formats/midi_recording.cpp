#include "formats/midi_recording.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>

#include "formats/file_paths.h"
#include "formats/midi_file_writer.h"
#include "formats/text_file.h"
#include "host_error.h"
#include "output_file/output_file.h"

namespace mthost {
namespace {

constexpr int CHANNELS_PER_PORT = 16;
constexpr int LIBRARY_CHANNELS = 32;
constexpr int PERCUSSION_CHANNEL = 9;

// RPN 0 (pitch-bend sensitivity) set to the 2 semitones that the library's
// bends assume, then the null RPN so that later data entry changes nothing.
const unsigned char BEND_RANGE[][2] = {{101, 0}, {100, 0}, {6, 2}, {38, 0}, {101, 127}, {100, 127}};

class Track {
public:
    void Add(int64_t tick, const unsigned char *bytes, size_t length) {
        writer_.Add(tick, bytes, length);
    }
    void AddChannel(int64_t tick, int status, int channel, int data1, int data2) {
        const unsigned char bytes[3] = {static_cast<unsigned char>(status | channel),
                                        static_cast<unsigned char>(data1 & 0x7F),
                                        static_cast<unsigned char>(data2 & 0x7F)};
        const int kind = status & 0xF0;
        Add(tick, bytes, kind == 0xC0 || kind == 0xD0 ? 2 : 3);
    }
    void End(int64_t tick) { writer_.End(tick); }
    MidiTrackWriter &Writer() { return writer_; }

private:
    MidiTrackWriter writer_;
};

// The tempo map and the signatures belong to the first track of a format 1
// file; names, texts and the SMPTE offset stay with the track they came from.
bool ConductorMeta(const MidiFileEvent &event) {
    const int type = event.bytes[1];
    return type == 0x51 || type == 0x58 || type == 0x59;
}

// A recorded message on the file channel that carries it.
struct PlacedMessage {
    int64_t tick;
    int fileChannel;
    unsigned char status, data1, data2;
};

bool IsNoteOn(const RecordedMessage &m) { return m.status == 0x90 && m.data2 > 0; }
bool IsNoteOff(const RecordedMessage &m) { return m.status == 0x80 || m.status == 0x90; }

// Every library channel on a file channel of its own for the whole file,
// when the channels that play fit: only channels that play a note are
// written (the others carry nothing but the bends and voice the library
// gives every channel when it opens or installs a scale). With fewer
// melodic channels than one port holds, channels 16-31 move to free file
// channels 0-15; otherwise channel 25 still moves, since port 1's channel
// 10 plays drums on General MIDI synthesizers.
MidiFileSummary PlaceOnFixedChannels(const std::vector<RecordedMessage> &messages, bool used[],
                                     std::vector<PlacedMessage> &placed) {
    int fileChannel[LIBRARY_CHANNELS];
    MidiFileSummary summary;
    for (int c = 0; c < LIBRARY_CHANNELS; ++c) {
        fileChannel[c] = used[c] ? c : -1;
        if (used[c]) summary.channels.push_back(c);
    }
    const int melodic =
        static_cast<int>(summary.channels.size()) - (used[PERCUSSION_CHANNEL] ? 1 : 0);
    const bool fold = melodic <= CHANNELS_PER_PORT - 1;
    bool taken[LIBRARY_CHANNELS] = {};
    for (int c = 0; c < LIBRARY_CHANNELS; ++c)
        if (used[c] && !(c >= CHANNELS_PER_PORT && fold) &&
            c != PERCUSSION_CHANNEL + CHANNELS_PER_PORT)
            taken[c] = true;
    for (int c = CHANNELS_PER_PORT; c < LIBRARY_CHANNELS; ++c) {
        if (!used[c] || taken[c]) continue;
        for (int f = 0; f < LIBRARY_CHANNELS; ++f)
            if (!taken[f] && f % CHANNELS_PER_PORT != PERCUSSION_CHANNEL) {
                taken[f] = true;
                fileChannel[c] = f;
                summary.moved.push_back({c, f});
                break;
            }
    }
    for (int c = 0; c < LIBRARY_CHANNELS; ++c)
        if (fileChannel[c] >= 0) summary.fileChannels.push_back(fileChannel[c]);
    for (const RecordedMessage &m : messages)
        if (fileChannel[m.channel] >= 0)
            placed.push_back({m.tick, fileChannel[m.channel], m.status, m.data1, m.data2});
    return summary;
}

// More library channels play over the file than one port holds (parts
// spread over the built-in synthesizer's 32 channels): a library channel
// takes a file channel when it starts a note and keeps it while it sounds,
// so no two bends or instruments ever share a file channel while sounding.
// A file channel it takes first gets the library channel's program,
// controllers and bend as they stand. Port 0's channels are taken first
// (the one released longest ago), port 1's only while all of port 0's
// sound; percussion keeps channel 9.
class ChannelFolder {
public:
    explicit ChannelFolder(std::vector<PlacedMessage> &placed) : placed_(placed) {
        for (Channel &c : library_) c.file = -1;
        for (Channel &c : file_) c.file = -1;  // file_[f].file: the library channel on it
        library_[PERCUSSION_CHANNEL].file = PERCUSSION_CHANNEL;
        file_[PERCUSSION_CHANNEL].file = PERCUSSION_CHANNEL;
    }

    void Add(const RecordedMessage &m) {
        Channel &from = library_[m.channel];
        if (IsNoteOn(m) && from.file < 0) Take(m.tick, m.channel);
        if (IsNoteOn(m)) ++from.sounding;
        if (IsNoteOff(m) && !IsNoteOn(m) && from.sounding > 0 && --from.sounding == 0 &&
            from.file >= 0)
            file_[from.file].released = m.tick;
        from.Remember(m.status, m.data1, m.data2);
        if (from.file >= 0) Send(m.tick, from.file, m.status, m.data1, m.data2);
    }

    void Describe(MidiFileSummary &summary) const {
        for (int f = 0; f < LIBRARY_CHANNELS; ++f)
            if (file_[f].used) summary.fileChannels.push_back(f);
    }

private:
    // What a channel was last told: program, controllers and bend (-1: nothing).
    struct Channel {
        int file = -1;
        int sounding = 0;
        int64_t released = -1;
        bool used = false;
        int program = -1, bendLsb = -1, bendMsb = -1;
        int controllers[128];
        Channel() { std::fill(std::begin(controllers), std::end(controllers), -1); }
        void Remember(int status, int data1, int data2) {
            if (status == 0xC0) program = data1;
            if (status == 0xB0) controllers[data1 & 0x7F] = data2;
            if (status == 0xE0) bendLsb = data1, bendMsb = data2;
        }
    };

    void Send(int64_t tick, int f, int status, int data1, int data2) {
        file_[f].used = true;
        file_[f].Remember(status, data1, data2);
        placed_.push_back({tick, f, static_cast<unsigned char>(status),
                           static_cast<unsigned char>(data1), static_cast<unsigned char>(data2)});
    }

    void Take(int64_t tick, int library) {
        int best = -1;
        for (int f = 0; f < LIBRARY_CHANNELS; ++f) {
            if (f % CHANNELS_PER_PORT == PERCUSSION_CHANNEL) continue;
            const int holder = file_[f].file;
            if (holder >= 0 && library_[holder].sounding > 0) continue;
            const bool earlier = best < 0 || (f < CHANNELS_PER_PORT) > (best < CHANNELS_PER_PORT) ||
                                 ((f < CHANNELS_PER_PORT) == (best < CHANNELS_PER_PORT) &&
                                  file_[f].released < file_[best].released);
            if (earlier) best = f;
        }
        // Every other file channel sounds: port 1's drum channel, as before.
        if (best < 0) best = PERCUSSION_CHANNEL + CHANNELS_PER_PORT;
        if (file_[best].file >= 0) library_[file_[best].file].file = -1;
        file_[best].file = library;
        Channel &from = library_[library];
        from.file = best;
        const Channel &to = file_[best];
        if (from.program >= 0 && from.program != to.program)
            Send(tick, best, 0xC0, from.program, 0);
        for (int c = 0; c < 128; ++c)
            if (from.controllers[c] >= 0 && from.controllers[c] != to.controllers[c])
                Send(tick, best, 0xB0, c, from.controllers[c]);
        if (from.bendLsb >= 0 && (from.bendLsb != to.bendLsb || from.bendMsb != to.bendMsb))
            Send(tick, best, 0xE0, from.bendLsb, from.bendMsb);
    }

    std::vector<PlacedMessage> &placed_;
    Channel library_[LIBRARY_CHANNELS];
    Channel file_[LIBRARY_CHANNELS];
};

// An MPE zone: every channel of the zone, and the drum channel when it
// plays outside the zone, on its own file channel. General MIDI players
// know no zone: the manager's voice and part controllers go to every
// member as well, so that they play the zone's instrument there too.
MidiFileSummary PlaceZone(const std::vector<RecordedMessage> &messages, int members,
                          std::vector<PlacedMessage> &placed) {
    bool drums = false;
    for (const RecordedMessage &m : messages)
        if (IsNoteOn(m) && m.channel == PERCUSSION_CHANNEL) drums = true;
    auto kept = [members, drums](int c) {
        return c <= members || (drums && c == PERCUSSION_CHANNEL);
    };
    MidiFileSummary summary;
    summary.zoneMembers = members;
    for (int c = 0; c < CHANNELS_PER_PORT; ++c)
        if (kept(c)) summary.channels.push_back(c);
    summary.fileChannels = summary.channels;
    for (const RecordedMessage &m : messages) {
        if (!kept(m.channel)) continue;
        placed.push_back({m.tick, m.channel, m.status, m.data1, m.data2});
        if (MirroredToMembers(m.channel, m.status, m.data1))
            for (int member = 1; member <= members; ++member)
                placed.push_back({m.tick, member, m.status, m.data1, m.data2});
    }
    return summary;
}

MidiFileSummary PlaceMessages(const std::vector<RecordedMessage> &messages,
                              std::vector<PlacedMessage> &placed) {
    bool used[LIBRARY_CHANNELS] = {};
    for (const RecordedMessage &m : messages)
        if (IsNoteOn(m)) used[m.channel] = true;
    int melodicUsed = 0;
    for (int c = 0; c < LIBRARY_CHANNELS; ++c)
        if (used[c] && c != PERCUSSION_CHANNEL) ++melodicUsed;
    if (melodicUsed < CHANNELS_PER_PORT) return PlaceOnFixedChannels(messages, used, placed);
    MidiFileSummary summary;
    for (int c = 0; c < LIBRARY_CHANNELS; ++c)
        if (used[c]) summary.channels.push_back(c);
    summary.folded = true;
    ChannelFolder folder(placed);
    for (const RecordedMessage &m : messages) folder.Add(m);
    folder.Describe(summary);
    return summary;
}

}  // namespace

void MidiRecording::SetSeconds(double seconds) {
    tick_ = static_cast<int64_t>(std::llround(seconds * ticksPerSecond_));
}

void MidiRecording::Add(int status, int channel, int data1, int data2) {
    if (channel < 0 || channel >= LIBRARY_CHANNELS) return;  // no file channel can hold it
    // Data bytes as the wire carries them: 7 bits, values clamped the way
    // the library clamps them, the voice of a program change masked.
    auto clamp = [](int v) { return static_cast<unsigned char>(v < 0 ? 0 : v > 127 ? 127 : v); };
    const int kind = status & 0xF0;
    RecordedMessage message;
    message.tick = tick_;
    message.status = static_cast<unsigned char>(kind);
    message.channel = static_cast<unsigned char>(channel);
    message.data1 = kind == 0xC0 || kind == 0xE0 ? data1 & 0x7F : clamp(data1);
    message.data2 = kind == 0xE0 ? data2 & 0x7F : clamp(data2);
    messages_.push_back(message);
}

MidiFileSummary WriteMidiRecording(const std::string &path, int division,
                                   const std::vector<MidiFileEvent> &metaEvents,
                                   const MidiRecording &recording, int64_t endTick,
                                   int zoneMembers) {
    std::vector<PlacedMessage> placed;
    placed.reserve(recording.Messages().size());
    MidiFileSummary summary = zoneMembers > 0 ? PlaceZone(recording.Messages(), zoneMembers, placed)
                                              : PlaceMessages(recording.Messages(), placed);
    for (int f : summary.fileChannels) {
        if (f >= CHANNELS_PER_PORT) summary.upperTrack = true;
        if (f == PERCUSSION_CHANNEL + CHANNELS_PER_PORT) summary.drumClash = true;
    }
    for (const PlacedMessage &m : placed) endTick = std::max(endTick, m.tick);
    for (const MidiFileEvent &e : metaEvents) endTick = std::max(endTick, e.tick);
    if (endTick > INT32_MAX)
        throw HostError(PrintableName(path) + ": the recording is too long for a MIDI file");

    // Track 0 holds port 0's channels and the conductor's events; then one
    // track for each further input track with names or texts; then port 1.
    int metaTracks = 1;
    for (const MidiFileEvent &e : metaEvents)
        if (!ConductorMeta(e)) metaTracks = std::max(metaTracks, e.track + 1);
    std::vector<Track> tracks(static_cast<size_t>(metaTracks + (summary.upperTrack ? 1 : 0)));
    Track &lower = tracks.front();
    Track *upper = summary.upperTrack ? &tracks.back() : nullptr;
    if (upper) {
        const unsigned char port[] = {0xFF, 0x21, 0x01, 0x01};
        upper->Add(0, port, sizeof port);
    }
    // A zone's recording starts with its own configuration and ranges.
    if (zoneMembers == 0)
        for (int f : summary.fileChannels) {
            Track &track = f < CHANNELS_PER_PORT ? lower : *upper;
            for (const auto &rpn : BEND_RANGE)
                track.AddChannel(0, 0xB0, f % CHANNELS_PER_PORT, rpn[0], rpn[1]);
        }
    auto addMeta = [&tracks](const MidiFileEvent &e) {
        Track &track = ConductorMeta(e) ? tracks.front() : tracks[static_cast<size_t>(e.track)];
        track.Add(e.tick, e.bytes.data(), e.bytes.size());
    };
    // Meta events first at equal ticks, so a tempo change applies to the
    // notes at its own tick.
    size_t meta = 0;
    for (const PlacedMessage &m : placed) {
        for (; meta < metaEvents.size() && metaEvents[meta].tick <= m.tick; ++meta)
            addMeta(metaEvents[meta]);
        Track &track = m.fileChannel < CHANNELS_PER_PORT ? lower : *upper;
        track.AddChannel(m.tick, m.status, m.fileChannel % CHANNELS_PER_PORT, m.data1, m.data2);
    }
    for (; meta < metaEvents.size(); ++meta) addMeta(metaEvents[meta]);
    std::vector<MidiTrackWriter> writers;
    writers.reserve(tracks.size());
    for (Track &track : tracks) {
        track.End(endTick);
        writers.push_back(std::move(track.Writer()));
    }

    SaveMidiFile(path, 1, division, writers);
    return summary;
}

void SaveMidiFile(const std::string &path, int format, int division,
                  const std::vector<MidiTrackWriter> &tracks) {
    size_t size = 14;
    for (const MidiTrackWriter &track : tracks) size += 8 + track.Bytes().size();
    if (size > MAX_MIDI_FILE_BYTES)
        throw HostError("cannot write " + PrintableName(path) + ": the MIDI file would be " +
                        std::to_string(size) + " bytes, more than the " +
                        std::to_string(MAX_MIDI_FILE_BYTES >> 20) + " MiB that microtune reads");
    // Written as every output file is (output_file/output_file.h).
    mtio::OutputFile file(path);
    if (!file.Ok()) throw HostError(file.Error());
    errno = 0;
    std::FILE *out = OpenFile(file.WritePath(), "wb");
    bool written = out && WriteMidiFile(out, format, division, tracks);
    if (out && std::fclose(out) != 0) written = false;
    if (!written) {
        file.Fail(errno ? std::strerror(errno) : "the file could not be written");
        throw HostError(file.Error());
    }
    if (!file.Commit()) throw HostError(file.Error());
}

bool MirroredToMembers(int channel, int status, int data1) {
    if (channel != 0) return false;
    if ((status & 0xF0) == 0xC0) return true;
    if ((status & 0xF0) != 0xB0) return false;
    for (int controller : {1, 7, 10, 11, 91, 93})
        if (data1 == controller) return true;
    return false;
}

std::string DescribeChannels(const MidiFileSummary &summary) {
    std::string text = "channels";
    for (int channel : summary.channels) text += " " + std::to_string(channel);
    if (summary.zoneMembers > 0)
        text += " (an MPE zone: manager 0, members 1-" + std::to_string(summary.zoneMembers) +
                ", each note on a member of its own; configuration at tick 0)";
    if (!summary.moved.empty()) {
        text += "; moved to file channels";
        for (const auto &move : summary.moved)
            text += " " + std::to_string(move.first) + "->" + std::to_string(move.second);
    }
    if (summary.folded) {
        text += "; folded onto file channels";
        for (int f : summary.fileChannels) text += " " + std::to_string(f);
        text += summary.upperTrack ? " (more sounded at once than one port holds)" : " of one port";
    }
    if (summary.upperTrack) text += "; file channels 16-31 in a second track on MIDI port 1";
    if (summary.drumClash)
        text += " (channel 25 is its channel 10, which General MIDI synthesizers play as drums)";
    return text;
}

void WriteRecordingOnClock(const std::string &path, const MidiRecording &recording,
                           int zoneMembers) {
    static const unsigned char tempoBytes[] = {
        0xFF,
        0x51,
        0x03,
        static_cast<unsigned char>(CLOCK_TEMPO_MICROSECONDS >> 16),
        static_cast<unsigned char>(CLOCK_TEMPO_MICROSECONDS >> 8),
        static_cast<unsigned char>(CLOCK_TEMPO_MICROSECONDS)};
    MidiFileEvent tempo;
    tempo.bytes = MidiBytes(tempoBytes, sizeof tempoBytes);
    const MidiFileSummary summary =
        WriteMidiRecording(path, CLOCK_DIVISION, {tempo}, recording, recording.Tick(), zoneMembers);
    std::printf("Wrote %s: %s\n", PrintableName(path).c_str(), DescribeChannels(summary).c_str());
}

}  // namespace mthost
