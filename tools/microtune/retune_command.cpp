// microtune retune: a Standard MIDI File played through the library in any
// tuning, written as the MIDI file the library's messages make and/or
// rendered on the built-in software synthesizer.
#include <array>
#include <cstdio>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "commands.h"
#include "host_error.h"
#include "keyboard_map.h"
#include "microtune.h"
#include "midi_file.h"
#include "midi_recording.h"
#include "output.h"
#include "output_file.h"
#include "tuning.h"
#include "voice.h"

namespace mthost {
namespace {

constexpr int DRUM_CHANNEL = 9;  // input channel 10
constexpr int RELEASE_VELOCITY = 64;
constexpr int SUSTAIN = 64;

bool KeptMeta(int type) {
    switch (type) {
        case 0x01:
        case 0x02:
        case 0x05:
        case 0x06:
        case 0x07:  // text, copyright, lyric, marker, cue
        case 0x51:
        case 0x58:
        case 0x59:  // tempo, time and key signature
            return true;
        default:
            return false;
    }
}

// Controllers of melodic channels that every melodic output channel follows.
bool SharedController(int controller) {
    return controller == 1 || controller == 7 || controller == 10 || controller == 11;
}

// The keys of the file, turned into degrees and played through the library.
// Every note-on is its own library note; a note-off stops the oldest row of
// its degree, which is the earliest of overlapping repeats. The sustain
// pedal of an input channel holds that channel's releases, sent in order
// when it lifts.
class Performer {
public:
    using Degrees = std::array<std::optional<int>, 128>;
    Performer(Output &output, const Degrees &degrees) : output_(output), degrees_(degrees) {}

    void Handle(const std::vector<unsigned char> &bytes) {
        const int status = bytes[0];
        if (status >= 0xF0) return;
        const int channel = status & 0x0F;
        const int data1 = bytes.size() > 1 ? bytes[1] : 0;
        const int data2 = bytes.size() > 2 ? bytes[2] : 0;
        switch (status & 0xF0) {
            case 0x90:
                if (data2 > 0) {
                    NoteOn(channel, data1, data2);
                    break;
                }
                NoteOff(channel, data1, RELEASE_VELOCITY);
                break;
            case 0x80:
                NoteOff(channel, data1, data2);
                break;
            case 0xE0:
                ++pitchWheels;
                break;
            case 0xB0:
                if (channel == DRUM_CHANNEL) break;
                if (data1 == SUSTAIN) Pedal(channel, data2 >= 64);
                if (data1 == 120 || data1 == 123) StopChannel(channel);
                if (SharedController(data1)) output_.SendToMelodicChannels(0xB0, data1, data2);
                break;
            default:
                break;
        }
    }

    std::optional<int> DegreeForKey(int key) const { return degrees_[key & 0x7F]; }

    int notes = 0, drums = 0, unmapped = 0, pitchWheels = 0;

private:
    void NoteOn(int channel, int key, int velocity) {
        if (channel == DRUM_CHANNEL) {
            PlayNonMelodicPercussion(key, velocity);
            ++drums;
            return;
        }
        const std::optional<int> degree = DegreeForKey(key);
        if (!degree) {
            ++unmapped;
            return;
        }
        PlayScaleDegree(*degree, velocity);
        ++down_[channel][key];
        ++notes;
    }

    void NoteOff(int channel, int key, int velocity) {
        if (channel == DRUM_CHANNEL) {
            StopNonMelodicPercussion(key, velocity);
            return;
        }
        // Nothing to stop: an unmapped key, or a stray note-off.
        if (down_[channel][key] == 0) return;
        --down_[channel][key];
        if (pedal_[channel]) {
            held_[channel].push_back({key, velocity});
            return;
        }
        StopScaleDegree(*DegreeForKey(key), velocity);
    }

    void Pedal(int channel, bool down) {
        pedal_[channel] = down;
        if (down) return;
        for (const Release &release : held_[channel])
            StopScaleDegree(*DegreeForKey(release.key), release.velocity);
        held_[channel].clear();
    }

    // All notes off and all sound off: whatever the channel started ends.
    void StopChannel(int channel) {
        Pedal(channel, false);
        for (int key = 0; key < 128; ++key)
            for (; down_[channel][key] > 0; --down_[channel][key])
                StopScaleDegree(*DegreeForKey(key), RELEASE_VELOCITY);
    }

    struct Release {
        int key, velocity;
    };
    Output &output_;
    const Degrees &degrees_;
    std::array<std::array<int, 128>, 16> down_{};
    std::array<bool, 16> pedal_{};
    std::array<std::vector<Release>, 16> held_;
};

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

}  // namespace

void AddRetuneCommand(CLI::App &app) {
    CLI::App *command = app.add_subcommand(
        "retune",
        "Play a Standard MIDI File in another tuning: write the retuned MIDI file (-o) "
        "and/or render it (--wav)");
    struct Options {
        std::string input;
        std::string scale;
        std::string kbm;
        double hz = 0.0;
        int root = 60;
        std::string voice;
        std::string midi;
        std::string wav;
    };
    auto options = std::make_shared<Options>();
    command->add_option("IN", options->input, "The Standard MIDI File to retune")->required();
    AddScaleOption(*command, options->scale);
    Add1o1Option(*command, options->hz);
    AddRootOption(*command, options->root);
    AddKbmOption(*command, options->kbm);
    AddVoiceOption(*command, options->voice, "the file's first melodic program");
    command
        ->add_option("-o,--output", options->midi,
                     "Write the retuned MIDI file here (-: standard output)")
        ->type_name("FILE");
    AddWavOption(*command, options->wav,
                 "Render the built-in software synthesizer into this WAV file");

    command->callback([options] {
        if (options->midi.empty() && options->wav.empty())
            throw HostError("retune needs -o OUT.mid, --wav OUT.wav or both", 2);
        // Standard output by any name carries the data alone.
        for (std::string *target : {&options->midi, &options->wav})
            if (!target->empty() && mtio::IsStandardOutput(*target)) {
                *target = "-";
                mtio::KeepStandardOutputForData();
            }
        // Everything is read and checked before anything is written.
        const MidiFile file = ReadMidiFile(options->input);
        const ScaleArgument scale = LoadScaleArgument(options->scale);
        const KeyLayout keys =
            LayOutKeys(options->kbm, options->root, options->hz, ScaleRatios(scale));
        Performer::Degrees degrees;
        for (int key = 0; key < 128; ++key)
            degrees[key] = DegreeForKey(keys.map, key, keys.scaleSize);
        const Programs programs = MelodicPrograms(file);
        Voice voice;
        if (!options->voice.empty())
            voice = LookUpVoice(options->voice);
        else
            voice.number = programs.distinct.empty() ? 0 : programs.distinct[0];
        voice.name = VoiceName(voice.number);

        MidiRecording recording;
        std::vector<MidiFileEvent> metaEvents;
        SetMidiVoice(voice.number);
        OutputRequest request;
        request.wavPath = options->wav;
        request.offline = !options->wav.empty();
        request.silent = options->wav.empty();
        request.recording = options->midi.empty() ? nullptr : &recording;
        Output output(request);
        const Tuning tuning = InstallTuning(scale, keys.hz1o1);

        std::printf("Retuning %s (format %d, %d track%s, %d ticks per quarter note)\n",
                    options->input.c_str(), file.format, file.tracks, file.tracks == 1 ? "" : "s",
                    file.division);
        std::string where = "at key " + std::to_string(options->root);  // the 1/1
        if (!options->kbm.empty()) where = "from " + options->kbm;
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
        if (output.Offline() && !options->wav.empty())
            output.ShowProgress(file.events.empty() ? 0.0 : file.events.back().seconds);

        Performer performer(output, degrees);
        for (const MidiFileEvent &event : file.events) {
            recording.SetTick(event.tick);
            output.Wait(event.seconds - output.Elapsed());
            if (event.bytes[0] == 0xFF) {
                if (KeptMeta(event.bytes[1])) metaEvents.push_back(event);
                continue;
            }
            performer.Handle(event.bytes);
        }
        recording.SetTick(file.endTick);
        output.Close();

        std::printf("%d notes, %d drum notes", performer.notes, performer.drums);
        if (performer.unmapped)
            std::printf("; %d notes on unmapped keys dropped", performer.unmapped);
        if (performer.pitchWheels)
            std::printf("; %d pitch-wheel messages dropped (the library owns every bend)",
                        performer.pitchWheels);
        std::printf("\n");
        if (!options->midi.empty()) {
            const MidiFileSummary summary = WriteMidiRecording(options->midi, file.division,
                                                               metaEvents, recording, file.endTick);
            std::printf("Wrote %s: format 1, %s\n", options->midi.c_str(),
                        DescribeChannels(summary).c_str());
        }
        if (!options->wav.empty()) std::printf("Wrote %s\n", output.WavPath().c_str());
    });
}

}  // namespace mthost
