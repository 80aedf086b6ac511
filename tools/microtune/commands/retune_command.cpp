// microtune retune: a Standard MIDI File played through the library in any
// tuning, written as the MIDI file the library's messages make and/or
// rendered on the built-in software synthesizer.
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "commands/mts_commands.h"
#include "commands/mts_retune.h"
#include "commands/retune.h"
#include "formats/midi_file.h"
#include "formats/midi_recording.h"
#include "formats/text_file.h"
#include "host_error.h"
#include "keys/key_layout.h"
#include "keys/performer.h"
#include "library/companion_module.h"
#include "library/output.h"
#include "library/tuning.h"
#include "library/voice.h"
#include "microtune.h"
#include "output_file/output_file.h"

namespace mthost {
namespace {

bool KeptMeta(int type) {
    switch (type) {
        case 0x01:
        case 0x02:
        case 0x05:
        case 0x06:
        case 0x07:  // text, copyright, lyric, marker, cue
        case 0x03:
        case 0x04:  // track and instrument name
        case 0x54:  // SMPTE offset
        case 0x51:
        case 0x58:
        case 0x59:  // tempo, time and key signature
            return true;
        default:
            return false;
    }
}

struct Programs {
    std::vector<int> distinct;  // melodic programs in the order they first appear
};

Programs MelodicPrograms(const MidiFile &file) {
    Programs programs;
    std::set<int> seen;
    for (const MidiFileEvent &event : file.events) {
        const int status = event.bytes[0];
        if ((status & 0xF0) != 0xC0 || (status & 0x0F) == DRUM_CHANNEL) continue;
        if (seen.insert(event.bytes[1]).second) programs.distinct.push_back(event.bytes[1]);
    }
    return programs;
}

std::string CarriedOverWarning(const MidiFile &file) {
    return std::to_string(file.statusCarriedOver) + " channel message" +
           (file.statusCarriedOver == 1 ? "" : "s") +
           " take their status from before a meta or system exclusive event (read as players "
           "read them)";
}

std::string ProgramList(const Programs &programs) {
    std::string names;
    for (int program : programs.distinct)
        names += (names.empty() ? "" : ", ") + std::to_string(program) + " " + VoiceName(program);
    return names;
}

// Each input channel is a part with its own programs, unless --voice gives
// every part one voice.
void PrintRetuneHeader(const RetuneOptions &options, const MidiFile &file,
                       const std::string &shownInput, const Tuning &tuning, const Voice &voice,
                       const Programs &programs) {
    std::printf("Retuning %s (format %d, %d track%s, %d ticks per quarter note)\n",
                shownInput.c_str(), file.format, file.tracks, file.tracks == 1 ? "" : "s",
                file.division);
    std::string where = "at key " + std::to_string(options.root);  // the 1/1
    if (!options.kbm.empty()) where = "from " + PrintableName(options.kbm);
    std::printf("Scale %s; 1/1 = %.3f Hz %s; ", tuning.description.c_str(), tuning.hz1o1,
                where.c_str());
    if (options.voice.empty()) {
        std::printf(
            "each input channel a part with its own programs (%s)\n",
            programs.distinct.empty() ? "0 Acoustic Grand Piano" : ProgramList(programs).c_str());
    } else {
        std::printf("voice %d %s for every part\n", voice.number, voice.name.c_str());
        if (!programs.distinct.empty() &&
            (programs.distinct.size() > 1 || programs.distinct[0] != voice.number))
            std::printf("The melodic programs %s play as %d %s\n", ProgramList(programs).c_str(),
                        voice.number, voice.name.c_str());
    }
    std::fflush(stdout);
    if (file.statusCarriedOver) {
        std::fprintf(stderr, "microtune: warning: %s: %s\n", shownInput.c_str(),
                     CarriedOverWarning(file).c_str());
        std::fflush(stderr);
    }
}

std::string Summary(const PerformerCounts &played) {
    std::string summary =
        std::to_string(played.notes) + " notes, " + std::to_string(played.drums) + " drum notes";
    if (played.unmapped)
        summary += "; " + std::to_string(played.unmapped) + " notes on unmapped keys dropped";
    if (played.pitchWheels)
        summary += "; " + std::to_string(played.pitchWheels) +
                   " pitch-wheel messages dropped (the library owns every bend)";
    return summary;
}

}  // namespace

RetuneCounts RetuneFile(const RetuneOptions &options, const RetuneSetup &setup,
                        const std::string &input, const std::string &midiPath, bool brief) {
    const MidiFile file = ReadMidiFile(input);
    const std::string shownInput = PrintableName(input);
    const Programs programs = MelodicPrograms(file);
    Voice voice;
    if (!options.voice.empty()) voice = LookUpVoice(options.voice);
    voice.name = VoiceName(voice.number);

    MidiRecording recording;
    // About one message per event, and the bends: grown once, not doubled.
    if (!midiPath.empty()) recording.Reserve(file.events.size() + file.events.size() / 2 + 1024);
    std::vector<MidiFileEvent> metaEvents;
    // Every part starts on the voice (General MIDI's program 0 unless given).
    SetMidiVoice(voice.number);
    OutputRequest request;
    request.wavPath = options.wav;
    request.sound = options.sound;
    request.offline = !options.wav.empty();
    request.silent = options.wav.empty();
    request.recording = midiPath.empty() ? nullptr : &recording;
    Output output(request);
    const Tuning tuning = InstallTuning(setup.scale, setup.keys.hz1o1);

    if (!brief) PrintRetuneHeader(options, file, shownInput, tuning, voice, programs);
    if (output.Offline() && !options.wav.empty())
        output.ShowProgress(file.events.empty() ? 0.0 : file.events.back().seconds);

    PerformerOptions fileParts;
    fileParts.parts = true;
    fileParts.fixedVoice = !options.voice.empty();
    Performer performer(LibraryExports(), setup.degrees, fileParts);
    for (const MidiFileEvent &event : file.events) {
        recording.SetTick(event.tick);
        output.Wait(event.seconds - output.Elapsed());
        if (event.bytes[0] == 0xFF) {
            if (KeptMeta(event.bytes[1])) metaEvents.push_back(event);
            continue;
        }
        performer.Handle(event.bytes.data(), event.bytes.size());
    }
    recording.SetTick(file.endTick);
    output.Close();

    const PerformerCounts &played = performer.Counts();
    RetuneCounts counts;
    counts.notes = played.notes + played.drums;
    const std::string summary = Summary(played);
    if (!brief) std::printf("%s\n", summary.c_str());
    MidiFileSummary written;
    if (!midiPath.empty())
        written = WriteMidiRecording(midiPath, file.division, metaEvents, recording, file.endTick);
    if (brief) {
        counts.line = "Wrote " + PrintableName(midiPath) + ": " + summary;
        if (file.statusCarriedOver) counts.line += "; warning: " + CarriedOverWarning(file);
        return counts;
    }
    if (!midiPath.empty())
        std::printf("Wrote %s: format 1, %s\n", PrintableName(midiPath).c_str(),
                    DescribeChannels(written).c_str());
    if (!options.wav.empty()) std::printf("Wrote %s\n", PrintableName(output.WavPath()).c_str());
    return counts;
}

void AddRetuneCommand(CLI::App &app) {
    CLI::App *command = app.add_subcommand(
        "retune",
        "Play Standard MIDI Files in another tuning: write the retuned MIDI file (-o) "
        "and/or render it (--wav); several files or a folder go into -o FOLDER/");
    auto options = std::make_shared<RetuneOptions>();
    command
        ->add_option("IN", options->inputs,
                     "The Standard MIDI File to retune; or several, or a folder of them")
        ->required();
    AddScaleOption(*command, options->scale);
    Add1o1Option(*command, options->hz);
    AddRootOption(*command, options->root);
    AddKbmOption(*command, options->kbm);
    AddVoiceOption(*command, options->voice,
                   "each input channel's own programs; a voice here is every part's");
    command
        ->add_option("-o,--output", options->midi,
                     "Write the retuned MIDI file here (-: standard output); with a trailing / "
                     "(or an existing folder), into that folder under the input's name")
        ->type_name("FILE|FOLDER/");
    AddWavOption(*command, options->wav, options->sound,
                 "Render the built-in software synthesizer into this WAV file");
    command->add_option("-j,--jobs", options->jobs, "Retune this many files at once (default 1)")
        ->check(WholeNumber(1, 64));
    AddTuningMethodOption(*command, options->tuning);

    command->callback([options] {
        if (!NamesAFolder(options->midi))
            RefuseOneFileForTwoOutputs("-o", options->midi, "--wav", options->wav);
        // Standard output by any name carries the data alone.
        for (std::string *target : {&options->midi, &options->wav})
            if (!target->empty() && mtio::IsStandardOutput(*target)) {
                *target = "-";
                mtio::KeepStandardOutputForData();
            }
        if (options->tuning == TuningMethod::MTS) {
            if (options->inputs.size() != 1)
                throw HostError("retune --tuning mts takes one input file", 2);
            return RetuneWithMts({options->inputs[0], options->midi, options->scale, options->kbm,
                                  options->hz, options->root, !options->wav.empty(),
                                  !options->voice.empty()});
        }
        if (options->midi.empty() && options->wav.empty())
            throw HostError("retune needs -o OUT.mid, --wav OUT.wav or both", 2);
        bool folder = false;
        const std::vector<std::string> files = ExpandInputs(options->inputs, folder);
        if (files.empty()) throw HostError("no MIDI files (.mid, .midi) in the folder given");
        // Everything is read and checked before anything is written.
        RetuneSetup setup;
        setup.scale = LoadScaleArgument(options->scale);
        setup.keys = LayOutKeys(options->kbm, options->root, options->hz, ScaleRatios(setup.scale));
        setup.degrees = DegreesOfKeys(setup.keys);
        if (files.size() > 1 || folder || NamesAFolder(options->midi)) {
            RetuneMany(*options, setup, files);
            return;
        }
        RetuneFile(*options, setup, files[0], options->midi, false);
    });
}

}  // namespace mthost
