#include "commands/mts_retune.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

#include "formats/midi_file.h"
#include "formats/midi_file_writer.h"
#include "formats/midi_recording.h"
#include "host_error.h"
#include "keys/key_layout.h"
#include "keys/mts_tuning.h"
#include "keys/performer.h"
#include "library/tuning.h"

namespace mthost {
namespace {

// A MIDI cable carries 31,250 bits a second, 10 of them per byte (start
// and stop bits included).
constexpr double CABLE_BYTES_PER_SECOND = 31250.0 / 10.0;
constexpr int DEFAULT_TEMPO = 500000;  // microseconds per quarter note

int Kind(const MidiFileEvent &e) { return e.bytes[0] & 0xF0; }

bool NoteOn(const MidiFileEvent &e) {
    return Kind(e) == 0x90 && e.bytes.size() > 2 && e.bytes[2] > 0;
}

// Notes stay with the music; what sets up the channels and the tempo at
// tick 0 stays at tick 0, so that the lead passes at the file's own tempo
// and a tuning restated after a program change there is ahead of the music.
bool SetUp(const MidiFileEvent &e) {
    return e.tick == 0 &&
           (e.bytes[0] >= 0xF0 || (Kind(e) != 0x80 && Kind(e) != 0x90 && Kind(e) != 0xA0));
}

int TempoAtTickZero(const MidiFile &file) {
    int tempo = DEFAULT_TEMPO;
    for (const MidiFileEvent &e : file.events) {
        if (e.tick > 0) break;
        const MidiBytes &b = e.bytes;
        if (b.size() >= 6 && b[0] == 0xFF && b[1] == 0x51)
            tempo = (b[b.size() - 3] << 16) | (b[b.size() - 2] << 8) | b[b.size() - 1];
    }
    return tempo;
}

size_t Bytes(const std::vector<MidiMessage> &messages) {
    size_t bytes = 0;
    for (const MidiMessage &m : messages) bytes += m.size();
    return bytes;
}

void Add(MidiTrackWriter &track, int64_t tick, const std::vector<MidiMessage> &messages) {
    for (const MidiMessage &m : messages) {
        if (m[0] == 0xF0)
            track.AddSystemExclusive(tick, m.data(), m.size());
        else
            track.Add(tick, m.data(), m.size());
    }
}

}  // namespace

void RetuneWithMts(const MtsRetuneRequest &request) {
    if (request.output.empty()) throw HostError("retune --tuning mts needs -o OUT.mid", 2);
    if (request.wav)
        throw HostError(
            "--tuning mts writes a MIDI file for a synthesizer that retunes its keys; "
            "--wav renders with --tuning bend",
            2);
    if (request.voice)
        throw HostError("--voice does not go with --tuning mts: the file keeps its own programs",
                        2);
    const MidiFile file = ReadMidiFile(request.input);
    const ScaleArgument scale = LoadScaleArgument(request.scale);
    const KeyLayout keys = LayOutKeys(scale, request.kbm, request.root, request.hz);
    const Tuning tuning = PreviewTuning(scale, keys.hz1o1);
    const MtsTable table = MtsTableForKeys(keys, tuning);
    const MtsSend &send = request.mts.send;

    // Melodic channels that play select the tuning; their keys are the ones
    // whose range matters (channel 10's drums are not retuned).
    bool plays[MIDI_CHANNELS] = {};
    std::array<bool, MTS_KEYS> played{};
    int notes = 0, wheels = 0;
    for (const MidiFileEvent &e : file.events) {
        if (NoteOn(e)) {
            ++notes;
            const int channel = e.bytes[0] & 0x0F;
            if (channel == DRUM_CHANNEL) continue;
            plays[channel] = true;
            played[e.bytes[1] & 0x7F] = true;
        }
        if (Kind(e) == 0xE0) ++wheels;
    }

    std::printf("Retuning %s (format %d, %d track%s, %d ticks per quarter note)\n",
                request.input.c_str(), file.format, file.tracks, file.tracks == 1 ? "" : "s",
                file.division);
    const std::string where =
        request.kbm.empty() ? "at key " + std::to_string(request.root) : "from " + request.kbm;
    std::printf("Scale %s; 1/1 = %.3f Hz %s; keys retuned by MTS\n", tuning.description.c_str(),
                tuning.hz1o1, where.c_str());
    WarnOutsideMts(table, &played);

    const std::vector<MidiMessage> data = MtsTuningMessages(table, tuning.description, send);
    // The tuning as one channel gets it again after a program change.
    auto restated = [&](int channel) {
        std::vector<MidiMessage> messages = data;
        for (const MidiMessage &m : MtsSelectTuning(channel, 0, send.program))
            messages.push_back(m);
        return messages;
    };
    auto restates = [&](const MidiFileEvent &e) {
        return request.mts.restate && Kind(e) == 0xC0 && plays[e.bytes[0] & 0x0F];
    };

    // At tick 0 of the first track: the tuning, then its program selected
    // on every melodic channel that plays. (The reader keeps no system
    // exclusive messages of the input.)
    std::vector<MidiMessage> head = data;
    std::string channels;
    for (int c = 0; c < MIDI_CHANNELS; ++c) {
        if (!plays[c]) continue;
        for (const MidiMessage &m : MtsSelectTuning(c, 0, send.program)) head.push_back(m);
        channels += " " + std::to_string(c);
    }
    size_t bytesAtZero = Bytes(head);
    for (const MidiFileEvent &e : file.events)
        if (SetUp(e) && restates(e)) bytesAtZero += Bytes(restated(e.bytes[0] & 0x0F));

    // The music moves later by the lead: given in beats, or the time the
    // tuning at tick 0 takes on a cable at the tempo of tick 0. Rounded up
    // to whole ticks.
    const bool defaultLead = request.mts.leadBeats < 0;
    const double seconds = bytesAtZero / CABLE_BYTES_PER_SECOND;
    const double beats =
        defaultLead ? seconds * 1e6 / TempoAtTickZero(file) : request.mts.leadBeats;
    const int64_t lead = static_cast<int64_t>(std::ceil(beats * file.division - 1e-9));

    std::vector<MidiTrackWriter> tracks(static_cast<size_t>(file.tracks));
    Add(tracks[0], 0, head);
    int restatements = 0;
    for (const MidiFileEvent &e : file.events) {
        MidiTrackWriter &track = tracks[static_cast<size_t>(e.track)];
        const int64_t tick = SetUp(e) ? 0 : e.tick + lead;
        track.Add(tick, e.bytes.data(), e.bytes.size());
        if (!restates(e)) continue;
        Add(track, tick, restated(e.bytes[0] & 0x0F));
        ++restatements;
    }
    for (MidiTrackWriter &track : tracks) track.End(file.endTick + lead);
    SaveMidiFile(request.output, file.format, file.division, tracks);

    std::printf("%d notes on their own keys and channels; %d pitch-wheel message%s kept\n", notes,
                wheels, wheels == 1 ? "" : "s");
    const std::string unmapped = DescribeUnmapped(table);
    if (!unmapped.empty()) std::printf("MTS: %s\n", unmapped.c_str());
    char leadText[160];
    if (defaultLead)
        std::snprintf(leadText, sizeof leadText,
                      "%.3f s, what %zu bytes of tuning take at 31,250 baud", seconds, bytesAtZero);
    else
        std::snprintf(leadText, sizeof leadText, "%g beat%s", beats, beats == 1 ? "" : "s");
    std::string restatement;
    if (request.mts.restate)
        restatement = "; restated after " + std::to_string(restatements) + " program change" +
                      (restatements == 1 ? "" : "s");
    const std::string device =
        send.device == MTS_ALL_DEVICES ? "" : ", device ID " + std::to_string(send.device);
    std::printf(
        "Wrote %s: format %d, MTS %s at tick 0%s, tuning program %d on channels%s; the music "
        "%lld ticks later (%s)%s\n",
        request.output.c_str(), file.format, MtsFormName(send.form), device.c_str(), send.program,
        channels.empty() ? " (none)" : channels.c_str(), static_cast<long long>(lead), leadText,
        restatement.c_str());
}

}  // namespace mthost
