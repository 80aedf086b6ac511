// microtune retune: a Standard MIDI File played through the library in any
// tuning, written as the MIDI file the library's messages make and/or
// rendered on the built-in software synthesizer.
#include <dlfcn.h>

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

#include "commands/batch.h"
#include "commands/commands.h"
#include "commands/mts_commands.h"
#include "commands/mts_retune.h"
#include "formats/midi_file.h"
#include "formats/midi_recording.h"
#include "formats/output_file.h"
#include "formats/text_file.h"
#include "host_error.h"
#include "keys/key_layout.h"
#include "keys/performer.h"
#include "library/companion_module.h"
#include "library/output.h"
#include "library/tuning.h"
#include "library/voice.h"
#include "microtune.h"

namespace mthost {
namespace {

namespace fs = std::filesystem;

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

// Every melodic output channel follows the file's volume, pan and expression.
void ShareController(void *output, int controller, int value) {
    static_cast<Output *>(output)->SendToMelodicChannels(0xB0, controller, value);
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

struct RetuneOptions {
    std::vector<std::string> inputs;
    std::string scale;
    std::string kbm;
    double hz = 0.0;
    int root = 60;
    std::string voice;
    std::string midi;
    std::string wav;
    int jobs = 1;
    TuningMethod tuning = TuningMethod::BEND;
};

// What every file of a run shares, read and checked once.
struct RetuneSetup {
    ScaleArgument scale;
    KeyLayout keys;
    KeyDegrees degrees;
};

std::string CarriedOverWarning(const MidiFile &file) {
    return std::to_string(file.statusCarriedOver) + " channel message" +
           (file.statusCarriedOver == 1 ? "" : "s") +
           " take their status from before a meta or system exclusive event (read as players "
           "read them)";
}

struct RetuneCounts {
    int notes = 0;
    std::string line;  // the one-line report of a file in a run of several
};

// Retunes one file. `brief`: nothing printed, the report comes back as one
// line (a run of several files).
RetuneCounts RetuneFile(const RetuneOptions &options, const RetuneSetup &setup,
                        const std::string &input, const std::string &midiPath, bool brief) {
    const MidiFile file = ReadMidiFile(input);
    const std::string shownInput = PrintableName(input);
    const Programs programs = MelodicPrograms(file);
    Voice voice;
    if (!options.voice.empty())
        voice = LookUpVoice(options.voice);
    else
        voice.number = programs.distinct.empty() ? 0 : programs.distinct[0];
    voice.name = VoiceName(voice.number);

    MidiRecording recording;
    // About one message per event, and the bends: grown once, not doubled.
    if (!midiPath.empty()) recording.Reserve(file.events.size() + file.events.size() / 2 + 1024);
    std::vector<MidiFileEvent> metaEvents;
    SetMidiVoice(voice.number);
    OutputRequest request;
    request.wavPath = options.wav;
    request.offline = !options.wav.empty();
    request.silent = options.wav.empty();
    request.recording = midiPath.empty() ? nullptr : &recording;
    Output output(request);
    const Tuning tuning = InstallTuning(setup.scale, setup.keys.hz1o1);

    if (!brief) {
        std::printf("Retuning %s (format %d, %d track%s, %d ticks per quarter note)\n",
                    shownInput.c_str(), file.format, file.tracks, file.tracks == 1 ? "" : "s",
                    file.division);
        std::string where = "at key " + std::to_string(options.root);  // the 1/1
        if (!options.kbm.empty()) where = "from " + PrintableName(options.kbm);
        std::printf("Scale %s; 1/1 = %.3f Hz %s; voice %d %s\n", tuning.description.c_str(),
                    tuning.hz1o1, where.c_str(), voice.number, voice.name.c_str());
        if (programs.distinct.size() > 1) {
            std::string names;
            for (int program : programs.distinct)
                names += (names.empty() ? "" : ", ") + std::to_string(program) + " " +
                         VoiceName(program);
            std::printf("The melodic programs %s play as one voice, %d %s\n", names.c_str(),
                        voice.number, voice.name.c_str());
        }
        std::fflush(stdout);
        if (file.statusCarriedOver) {
            std::fprintf(stderr, "microtune: warning: %s: %s\n", shownInput.c_str(),
                         CarriedOverWarning(file).c_str());
            std::fflush(stderr);
        }
    }
    if (output.Offline() && !options.wav.empty())
        output.ShowProgress(file.events.empty() ? 0.0 : file.events.back().seconds);

    PerformerOptions fileParts;
    fileParts.shareController = &ShareController;
    fileParts.context = &output;
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
    std::string summary =
        std::to_string(played.notes) + " notes, " + std::to_string(played.drums) + " drum notes";
    if (played.unmapped)
        summary += "; " + std::to_string(played.unmapped) + " notes on unmapped keys dropped";
    if (played.pitchWheels)
        summary += "; " + std::to_string(played.pitchWheels) +
                   " pitch-wheel messages dropped (the library owns every bend)";
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

bool IsMidiFileName(const std::string &name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return false;
    std::string extension = name.substr(dot + 1);
    for (char &c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == "mid" || extension == "midi" || extension == "smf";
}

// The files to retune: each argument, a folder standing for its MIDI files
// (by name, in name order; not its sub-folders).
std::vector<std::string> ExpandInputs(const std::vector<std::string> &arguments, bool &folder) {
    std::vector<std::string> files;
    folder = false;
    for (const std::string &argument : arguments) {
        std::error_code error;
        if (!fs::is_directory(argument, error)) {
            files.push_back(argument);
            continue;
        }
        folder = true;
        std::vector<std::string> found;
        for (fs::directory_iterator it(argument, error), end; !error && it != end;
             it.increment(error)) {
            std::error_code ignored;
            if (it->is_regular_file(ignored) && IsMidiFileName(it->path().filename().string()))
                found.push_back(it->path().string());
        }
        if (error)
            throw HostError("cannot read the folder " + PrintableName(argument) + ": " +
                            error.message());
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
    }
    return files;
}

bool NamesAFolder(const std::string &path) {
    std::error_code ignored;
    return (!path.empty() && path.back() == '/') || fs::is_directory(path, ignored);
}

// Several files: each into the folder under its own name, one process each.
void RetuneMany(const RetuneOptions &options, const RetuneSetup &setup,
                const std::vector<std::string> &files) {
    if (!options.wav.empty())
        throw HostError("--wav renders one file; several files need -o FOLDER/ alone", 2);
    if (options.midi.empty() || !NamesAFolder(options.midi))
        throw HostError("several files need -o FOLDER/ (a folder to write each result into)", 2);
    std::error_code error;
    fs::create_directories(options.midi, error);
    if (!fs::is_directory(options.midi, error))
        throw HostError("cannot make the folder " + PrintableName(options.midi));
    // Two inputs of one name would overwrite each other's result, and an
    // input in the output folder would be replaced by its own result.
    std::vector<std::string> outputs(files.size()), clash(files.size());
    std::map<std::string, size_t> byName;
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string name = fs::path(files[i]).filename().string();
        outputs[i] = (fs::path(options.midi) / name).string();
        const auto seen = byName.emplace(name, i);
        std::error_code ignored;
        if (!seen.second)
            clash[i] = "has the same name as " + PrintableName(files[seen.first->second]) +
                       ", whose result is " + PrintableName(outputs[i]);
        else if (fs::equivalent(files[i], outputs[i], ignored))
            clash[i] = "is in the output folder: its result would replace it";
    }
    // Loaded once here, each process finds the companion already in place.
    std::string why;
    void *companion = OpenCompanion(why);

    long long notes = 0;
    size_t refused = 0;
    RunBatch(
        files.size(), options.jobs,
        [&](size_t i) {
            if (!clash[i].empty()) throw HostError(PrintableName(files[i]) + ": " + clash[i]);
            const RetuneCounts counts = RetuneFile(options, setup, files[i], outputs[i], true);
            return BatchResult{true, counts.notes, counts.line};
        },
        [&](size_t, const BatchResult &result) {
            if (result.ok) {
                notes += result.count;
                std::printf("%s\n", result.text.c_str());
                std::fflush(stdout);
                return;
            }
            ++refused;
            std::fflush(stdout);
            std::fprintf(stderr, "microtune: %s\n", result.text.c_str());
            std::fflush(stderr);
        });
    if (companion) dlclose(companion);
    std::printf("%zu file%s, %lld notes retuned, %zu refused\n", files.size(),
                files.size() == 1 ? "" : "s", notes, refused);
    if (refused)
        throw HostError(std::to_string(refused) + " of " + std::to_string(files.size()) +
                        " files could not be retuned");
}

}  // namespace

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
    AddVoiceOption(*command, options->voice, "the file's first melodic program");
    command
        ->add_option("-o,--output", options->midi,
                     "Write the retuned MIDI file here (-: standard output); with a trailing / "
                     "(or an existing folder), into that folder under the input's name")
        ->type_name("FILE|FOLDER/");
    AddWavOption(*command, options->wav,
                 "Render the built-in software synthesizer into this WAV file");
    command->add_option("-j,--jobs", options->jobs, "Retune this many files at once (default 1)")
        ->check(WholeNumber(1, 64));
    AddTuningMethodOption(*command, options->tuning);

    command->callback([options] {
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
