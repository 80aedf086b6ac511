#include "mts_retune.h"

#include <smf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "host_error.h"
#include "keyboard_map.h"
#include "midi_file.h"
#include "mts_tuning.h"
#include "tuning.h"

namespace mthost {
namespace {

constexpr int DRUM_CHANNEL = 9;

void AddEvent(smf_track_t *track, int64_t tick, const std::vector<unsigned char> &bytes) {
    smf_event_t *event = smf_event_new_from_pointer(const_cast<unsigned char *>(bytes.data()),
                                                    static_cast<int>(bytes.size()));
    if (!event) throw HostError("cannot build a MIDI event");
    smf_track_add_event_pulses(track, event, static_cast<int>(tick));
}

bool NoteOn(const MidiFileEvent &e) {
    return (e.bytes[0] & 0xF0) == 0x90 && e.bytes.size() > 2 && e.bytes[2] > 0;
}

// A system-exclusive message at tick 0 (a reset, say) must reach the
// synthesizer before the tuning, which a reset would undo.
bool EarlySysex(const MidiFileEvent &e) { return e.tick == 0 && e.bytes[0] == 0xF0; }

void Save(smf_t *smf, const std::string &path) {
    std::string temporary = path + ".XXXXXX";
    std::vector<char> name(temporary.begin(), temporary.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) throw HostError(path + ": cannot write: " + std::strerror(errno));
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    temporary = name.data();
    if (smf_save(smf, temporary.c_str()) != 0) {
        std::remove(temporary.c_str());
        throw HostError(path + ": cannot write the MIDI file");
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        std::remove(temporary.c_str());
        throw HostError(path + ": cannot write: " + std::strerror(error));
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
    const KeyLayout keys = LayOutKeys(request.kbm, request.root, request.hz, ScaleRatios(scale));
    const Tuning tuning = PreviewTuning(scale, keys.hz1o1);
    const MtsTable table = MtsTableForKeys(keys, tuning);

    bool plays[16] = {};
    int notes = 0, wheels = 0;
    for (const MidiFileEvent &e : file.events) {
        if (NoteOn(e)) {
            plays[e.bytes[0] & 0x0F] = true;
            ++notes;
        }
        if ((e.bytes[0] & 0xF0) == 0xE0) ++wheels;
    }
    if (file.endTick > INT32_MAX) throw HostError(request.output + ": the file is too long");

    std::printf("Retuning %s (format %d, %d track%s, %d ticks per quarter note)\n",
                request.input.c_str(), file.format, file.tracks, file.tracks == 1 ? "" : "s",
                file.division);
    const std::string where =
        request.kbm.empty() ? "at key " + std::to_string(request.root) : "from " + request.kbm;
    std::printf("Scale %s; 1/1 = %.3f Hz %s; keys retuned by MTS\n", tuning.description.c_str(),
                tuning.hz1o1, where.c_str());
    WarnOutsideMts(table);

    QuietMidiLibrary quiet;
    std::unique_ptr<smf_t, void (*)(smf_t *)> smf(smf_new(), &DeleteSmf);
    if (!smf || smf_set_ppqn(smf.get(), file.division) != 0)
        throw HostError(request.output + ": cannot set up a MIDI file");
    std::vector<smf_track_t *> tracks;
    for (int t = 0; t < file.tracks; ++t) {
        tracks.push_back(smf_track_new());
        smf_add_track(smf.get(), tracks.back());
    }
    // At tick 0 of the first track: the input's own system-exclusive
    // messages of tick 0, the single-note tuning change for all keys, then
    // tuning program 0 selected on every melodic channel that plays.
    for (const MidiFileEvent &e : file.events)
        if (EarlySysex(e)) AddEvent(tracks[0], 0, e.bytes);
    for (const MidiBytes &m : MtsSingleNoteChanges(table)) AddEvent(tracks[0], 0, m);
    std::string channels;
    for (int c = 0; c < 16; ++c) {
        if (!plays[c] || c == DRUM_CHANNEL) continue;
        for (const MidiBytes &m : MtsSelectTuning(c)) AddEvent(tracks[0], 0, m);
        channels += " " + std::to_string(c);
    }
    for (const MidiFileEvent &e : file.events)
        if (!EarlySysex(e)) AddEvent(tracks[e.track], e.tick, e.bytes);
    for (smf_track_t *track : tracks)
        if (smf_track_add_eot_pulses(track, static_cast<int>(file.endTick)) != 0)
            throw HostError(request.output + ": cannot end a MIDI track");
    if (smf_set_format(smf.get(), file.format) != 0)
        throw HostError(request.output + ": cannot set format " + std::to_string(file.format));
    Save(smf.get(), request.output);

    std::printf("%d notes on their own keys and channels; %d pitch-wheel message%s kept\n", notes,
                wheels, wheels == 1 ? "" : "s");
    const std::string unmapped = DescribeUnmapped(table);
    if (!unmapped.empty()) std::printf("MTS: %s\n", unmapped.c_str());
    std::printf(
        "Wrote %s: format %d, real-time single-note tuning change at tick 0, tuning program 0 "
        "on channels%s\n",
        request.output.c_str(), file.format, channels.empty() ? " (none)" : channels.c_str());
}

}  // namespace mthost
