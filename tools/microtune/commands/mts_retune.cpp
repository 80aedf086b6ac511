#include "commands/mts_retune.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
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

bool NoteOn(const MidiFileEvent &e) {
    return (e.bytes[0] & 0xF0) == 0x90 && e.bytes.size() > 2 && e.bytes[2] > 0;
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

    std::printf("Retuning %s (format %d, %d track%s, %d ticks per quarter note)\n",
                request.input.c_str(), file.format, file.tracks, file.tracks == 1 ? "" : "s",
                file.division);
    const std::string where =
        request.kbm.empty() ? "at key " + std::to_string(request.root) : "from " + request.kbm;
    std::printf("Scale %s; 1/1 = %.3f Hz %s; keys retuned by MTS\n", tuning.description.c_str(),
                tuning.hz1o1, where.c_str());
    WarnOutsideMts(table);

    std::vector<MidiTrackWriter> tracks(static_cast<size_t>(file.tracks));
    // At tick 0 of the first track: the single-note tuning change for all
    // keys, then tuning program 0 selected on every melodic channel that
    // plays. (The reader keeps no system exclusive messages of the input.)
    for (const MidiMessage &m : MtsSingleNoteChanges(table))
        tracks[0].AddSystemExclusive(0, m.data(), m.size());
    std::string channels;
    for (int c = 0; c < 16; ++c) {
        if (!plays[c] || c == DRUM_CHANNEL) continue;
        for (const MidiMessage &m : MtsSelectTuning(c)) tracks[0].Add(0, m.data(), m.size());
        channels += " " + std::to_string(c);
    }
    for (const MidiFileEvent &e : file.events)
        tracks[static_cast<size_t>(e.track)].Add(e.tick, e.bytes.data(), e.bytes.size());
    for (MidiTrackWriter &track : tracks) track.End(file.endTick);
    SaveMidiFile(request.output, file.format, file.division, tracks);

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
