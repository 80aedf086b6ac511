// microtune play: a sequence of degrees, chords and rests, one step each,
// in any scale, on any device or on the built-in software synthesizer.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "commands/commands.h"
#include "commands/mpe_commands.h"
#include "formats/midi_recording.h"
#include "host_error.h"
#include "library/output.h"
#include "library/sent_notes.h"
#include "library/tuning.h"
#include "library/voice.h"
#include "microtune.h"

namespace mthost {
namespace {

struct Step {
    std::string token;
    std::vector<int> degrees;  // empty: a rest
};

int ParseDegree(const std::string &text, const std::string &token) {
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    const bool digitsOnly = !text.empty() && end == text.c_str() + text.size() &&
                            text.find_first_of("0123456789") != std::string::npos &&
                            text.find_first_of(" \t") == std::string::npos;
    if (!digitsOnly)
        throw HostError(
            "bad token '" + token + "': expected a degree (7, -3), a chord (0,4,7) or a rest (.)",
            2);
    // The library cannot negate the most negative int.
    if (errno == ERANGE || value > INT_MAX || value <= INT_MIN)
        throw HostError("degree " + text + " is out of range", 2);
    return static_cast<int>(value);
}

Step ParseStep(const std::string &token) {
    Step step;
    step.token = token;
    if (token == ".") return step;
    size_t start = 0;
    while (true) {
        const size_t comma = token.find(',', start);
        step.degrees.push_back(ParseDegree(token.substr(start, comma - start), token));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return step;
}

// Where the library put a degree: the note-on its tap saw while the
// degree was played.
struct Placed {
    int degree;
    bool sent;
    SentNote note;
};

// One line per step: what each degree plays, and where the library put it.
void PrintStep(const Step &step, const Tuning &tuning, const std::vector<Placed> &placed) {
    std::printf("%-10s", step.token.c_str());
    if (step.degrees.empty()) std::printf(" rest");
    for (size_t i = 0; i < placed.size(); ++i) {
        const int degree = placed[i].degree;
        std::printf("%s degree %d %.3f Hz", i ? ";" : "", degree,
                    tuning.hz1o1 * RatioOfDegree(tuning.ratios, degree));
        if (placed[i].sent)
            std::printf(" note %d channel %d bend %+.2f cents", placed[i].note.note,
                        placed[i].note.channel, BendCentsOfDegree(degree));
    }
    std::printf("\n");
}

struct Options {
    std::string scale;
    double hz = 0.0;
    std::string voice;
    int device = -1;
    std::string wav;
    std::string mid;
    SoundSettings sound;
    double step = 0.5;
    int velocity = 100;
    bool verbose = false;
    bool listing = false;
    std::vector<std::string> tokens;
    TuningMethod tuning = TuningMethod::BEND;
    MpeRequest mpe;
};

void Play(const Options &options, const MpeZone &zone) {
    // Everything the user typed is checked before anything sounds.
    RefuseOneFileForTwoOutputs("--wav", options.wav, "--mid", options.mid);
    std::vector<Step> steps;
    std::vector<int> degrees;
    for (const std::string &token : options.tokens) {
        steps.push_back(ParseStep(token));
        degrees.insert(degrees.end(), steps.back().degrees.begin(), steps.back().degrees.end());
    }
    const ScaleArgument scale = LoadScaleArgument(options.scale);
    CheckDegrees(PreviewTuning(scale, options.hz), degrees);
    Voice voice;
    voice.name = VoiceName(0);
    if (!options.voice.empty()) voice = LookUpVoice(options.voice);

    SetMidiVoice(voice.number);  // remembered, and sent when the output opens
    if (zone.members) UseMpeZone(zone);
    OutputRequest request;
    request.device = options.device;
    request.wavPath = options.wav;
    request.sound = options.sound;
    request.fallbackWav = "microtune.wav";
    MidiRecording recording(CLOCK_TICKS_PER_SECOND);
    if (!options.mid.empty()) request.recording = &recording;
    Output output(request);
    const Tuning tuning = InstallTuning(scale, options.hz);
    std::unique_ptr<SentNotes> sent;
    if (options.verbose) sent.reset(new SentNotes);

    const double total = options.step * static_cast<double>(steps.size());
    if (options.verbose) std::printf("Scale: %s\n", scale.reading.c_str());
    std::printf("Playing %zu step%s of %g s (%g s) on %s\n", steps.size(),
                steps.size() == 1 ? "" : "s", options.step, total, output.Where().c_str());
    std::printf("Voice %d %s; scale %s; 1/1 = %.3f Hz\n", voice.number, voice.name.c_str(),
                tuning.description.c_str(), tuning.hz1o1);
    if (zone.members) std::printf("%s\n", DescribeMpeZone(zone).c_str());
    std::fflush(stdout);
    if (zone.members && output.BuiltIn())
        WarnOfDrumMember(zone, "the built-in software synthesizer");
    if (output.Offline()) std::printf("Rendering to %s\n", output.WavPath().c_str());
    std::fflush(stdout);
    if (!options.verbose && !options.listing) output.ShowProgress(total);

    for (const Step &step : steps) {
        std::vector<Placed> placed;
        for (int degree : step.degrees) {
            if (sent) sent->Clear();
            PlayScaleDegree(degree, options.velocity);
            Placed place{degree, false, {}};
            if (sent) place.sent = sent->LastNoteOn(&place.note);
            placed.push_back(place);
        }
        if (sent) PrintStep(step, tuning, placed);
        if (options.listing && !step.degrees.empty()) PrintNotesInPlay();
        std::fflush(stdout);
        output.Wait(options.step);
        for (int degree : step.degrees) StopScaleDegree(degree, 64);
    }
    output.Close();
    if (output.Offline()) std::printf("Wrote %s\n", output.WavPath().c_str());
    if (!options.mid.empty()) WriteRecordingOnClock(options.mid, recording, zone.members);
}

}  // namespace

void AddPlayCommand(CLI::App &app) {
    CLI::App *command = app.add_subcommand("play",
                                           "Play a sequence of scale degrees: a degree (7, -3), a "
                                           "chord (0,4,7) or a rest (.) per step");
    auto options = std::make_shared<Options>();
    AddScaleOption(*command, options->scale);
    Add1o1Option(*command, options->hz);
    AddVoiceOption(*command, options->voice, "0, Acoustic Grand Piano");
    AddDeviceOption(*command, options->device);
    AddWavOption(*command, options->wav, options->sound,
                 "Render the built-in software synthesizer offline into this WAV file (default: "
                 "live, or microtune.wav without an audio output)");
    AddMidOption(*command, options->mid);
    command->add_option("--step", options->step, "Seconds per step, 0.001 to 3600 (default: 0.5)")
        ->type_name("SECONDS")
        ->check(FiniteNumber(0.001, 3600.0, "s"));
    command->add_option("--velocity", options->velocity, "Note velocity, 1 to 127 (default: 100)")
        ->type_name("V")
        ->check(WholeNumber(1, 127));
    command->add_flag("-v,--verbose", options->verbose,
                      "Say how --scale was read, then print a line per step: each degree's "
                      "frequency, MIDI note, channel and bend");
    command->add_flag("--listing", options->listing,
                      "Print the library's own listing of the notes in play at each step");
    command
        ->add_option("TOKEN", options->tokens,
                     "Degrees, chords of degrees joined by commas, or rests (.)")
        ->type_name("TOKEN")
        ->required();

    AddTuningMethodOption(*command, options->tuning, false);
    AddMpeOptions(*command, options->mpe);

    command->callback([options, command] {
        Play(*options, ZoneOfOptions(*command, options->tuning, options->mpe));
    });
}

}  // namespace mthost
