// microtune demo: four tunings side by side, then two instruments at once,
// rendered offline into a WAV file by the built-in software synthesizer in a
// few seconds.
#include <cmath>
#include <cstdio>

#include "commands/commands.h"
#include "formats/midi_recording.h"
#include "library/output.h"
#include "library/sent_notes.h"
#include "library/tuning.h"
#include "library/voice.h"
#include "microtune.h"
#include "microtune_ext.h"

namespace mthost {
namespace {

constexpr double NOTE_SECONDS = 0.35;
constexpr double PHRASE_NOTE_SECONDS = 0.25;
constexpr double CHORD_SECONDS = 2.0;
constexpr double GAP_SECONDS = 0.6;  // lets the release die away before retuning
constexpr int VELOCITY = 96;

struct Section {
    const char *title;
    const char *scale;  // empty: the library's twelve-tone equal temperament
    std::vector<int> phrase;
    std::vector<int> chord;
};

const char JUST_MAJOR[] = "9/8 5/4 4/3 3/2 5/3 15/8 2/1";

const std::vector<Section> &Sections() {
    static const std::vector<Section> sections = {
        {"Twelve-tone equal temperament: the major triad C E G", "", {}, {0, 4, 7}},
        {"Just intonation: the major triad 4:5:6", JUST_MAJOR, {}, {0, 2, 4}},
        {"The harmonic seventh chord 4:5:6:7", "5/4 3/2 7/4 2/1", {}, {0, 1, 2, 3}},
        {"Bohlen-Pierce, 13 steps to the 3/1 (no octave): a phrase, then the triad 3:5:7",
         "27/25 25/21 9/7 7/5 75/49 5/3 9/5 49/25 15/7 7/3 63/25 25/9 3/1",
         {0, 2, 3, 4, 6, 7, 9, 10, 12, 13},
         {0, 6, 10}},
    };
    return sections;
}

void PrintDegrees(const char *what, const std::vector<int> &degrees, const Tuning &tuning) {
    std::printf("   %s", what);
    for (int degree : degrees) std::printf(" %d", degree);
    std::printf(":");
    for (int degree : degrees)
        std::printf(" %.3f", tuning.hz1o1 * RatioOfDegree(tuning.ratios, degree));
    std::printf(" Hz\n");
}

// The two instruments of the last section, each a part of the library's.
constexpr int CHORD_PART = 1;
constexpr int LINE_PART = 2;
const std::vector<int> PARTS_CHORD = {-7, -5, -3, 0};  // 4:5:6:8 below the 1/1
const std::vector<int> PARTS_LINE = {4, 3, 2, 1, 2, 4, 7};

// Part 0 is the classic interface's: the four tunings play it as any
// classic host does.
void Play(int part, int degree) {
    if (part == 0)
        PlayScaleDegree(degree, VELOCITY);
    else
        MicrotunePlayPartDegree(part, degree, VELOCITY);
}
void Stop(int part, int degree) {
    if (part == 0)
        StopScaleDegree(degree, 64);
    else
        MicrotuneStopPartDegree(part, degree, 64);
}

void PrintTableHeader() {
    std::printf("   %4s %6s %10s %9s %10s %5s %8s %6s\n", "part", "degree", "ratio", "cents", "Hz",
                "note", "channel", "bend");
}

// Plays a degree and shows what sounds, as the library sent it: its note
// and channel from its tap, the bend from its degree query.
void PlayAndShow(int part, int degree, const Tuning &tuning) {
    SentNotes sent;
    Play(part, degree);
    const double ratio = RatioOfDegree(tuning.ratios, degree);
    std::printf("   %4d %6d %10.6f %9.3f %10.3f", part, degree, ratio, 1200.0 * std::log2(ratio),
                tuning.hz1o1 * ratio);
    SentNote note;
    const int bend = BendOfDegree(degree);
    if (sent.LastNoteOn(&note))
        std::printf(" %5d %8d %6d (%+.2f cents)\n", note.note, note.channel, bend, BendCents(bend));
    else
        std::printf("  not in play\n");
}

void PlayChord(int part, const std::vector<int> &degrees, const Tuning &tuning) {
    PrintTableHeader();
    for (int degree : degrees) PlayAndShow(part, degree, tuning);
}

void PlayOneByOne(Output &output, const std::vector<int> &degrees, double seconds) {
    for (int degree : degrees) {
        Play(0, degree);
        output.Wait(seconds);
        Stop(0, degree);
    }
}

// A chord held on strings, panned left, while a flute plays a line above
// it, panned right: each note on its own instrument and exact pitch.
void PlayTwoParts(Output &output, const Tuning &tuning) {
    MicrotuneSetPartVoice(CHORD_PART, 48);  // String Ensemble 1
    MicrotuneSetPartController(CHORD_PART, 10, 40);
    MicrotuneSetPartVoice(LINE_PART, 73);  // Flute
    MicrotuneSetPartController(LINE_PART, 10, 88);
    std::printf("   part %d: %d %s, panned left; part %d: %d %s, panned right\n", CHORD_PART, 48,
                VoiceName(48).c_str(), LINE_PART, 73, VoiceName(73).c_str());
    PlayChord(CHORD_PART, PARTS_CHORD, tuning);
    for (int degree : PARTS_LINE) {
        PlayAndShow(LINE_PART, degree, tuning);
        std::fflush(stdout);
        output.Wait(NOTE_SECONDS);
        Stop(LINE_PART, degree);
    }
    output.Wait(NOTE_SECONDS);
    for (int degree : PARTS_CHORD) Stop(CHORD_PART, degree);
}

}  // namespace

void AddDemoCommand(CLI::App &app) {
    CLI::App *command = app.add_subcommand(
        "demo",
        "Render four tunings (12-TET, just 4:5:6, harmonic 4:5:6:7, Bohlen-Pierce) and two "
        "instruments at once into demo.wav");
    struct Options {
        std::string wav = "demo.wav";
        std::string voice = "Reed Organ";
        std::string mid;
        SoundSettings sound;
        bool listing = false;
    };
    auto options = std::make_shared<Options>();
    AddWavOption(*command, options->wav, options->sound,
                 "The WAV file to write (default: demo.wav)");
    AddVoiceOption(*command, options->voice, "20, Reed Organ");
    AddMidOption(*command, options->mid);
    command->add_flag("--listing", options->listing,
                      "Also print the library's own listing of the notes in play at each chord");

    command->callback([options] {
        RefuseOneFileForTwoOutputs("--wav", options->wav, "--mid", options->mid);
        const Voice voice = LookUpVoice(options->voice);
        SetMidiVoice(voice.number);
        OutputRequest request;
        request.wavPath = options->wav;
        request.sound = options->sound;
        request.offline = true;
        MidiRecording recording(CLOCK_TICKS_PER_SECOND);
        if (!options->mid.empty()) request.recording = &recording;
        Output output(request);
        std::printf(
            "microtune demo: voice %d %s on the built-in software synthesizer, "
            "rendering to %s\n",
            voice.number, voice.name.c_str(), output.WavPath().c_str());

        int number = 0;
        for (const Section &section : Sections()) {
            const Tuning tuning = InstallTuning({section.scale, "", ""}, 0.0);
            std::printf("\n%d. %s\n", ++number, section.title);
            std::printf("   scale: %s; 1/1 = %.3f Hz\n",
                        *section.scale ? section.scale : "the library's default (12-TET)",
                        tuning.hz1o1);
            if (!section.phrase.empty()) {
                PrintDegrees("phrase, degrees", section.phrase, tuning);
                PlayOneByOne(output, section.phrase, PHRASE_NOTE_SECONDS);
            }
            std::printf("   one by one, then together:\n");
            std::fflush(stdout);
            PlayOneByOne(output, section.chord, NOTE_SECONDS);
            PlayChord(0, section.chord, tuning);
            if (options->listing) PrintNotesInPlay();  // while the chord sounds
            std::fflush(stdout);
            output.Wait(CHORD_SECONDS);
            for (int degree : section.chord) Stop(0, degree);
            output.Wait(GAP_SECONDS);
        }
        const Tuning just = InstallTuning({JUST_MAJOR, "", ""}, 0.0);
        std::printf("\n%d. Two instruments at once: a just chord on strings, a line on the flute\n",
                    ++number);
        std::printf("   scale: %s; 1/1 = %.3f Hz\n", JUST_MAJOR, just.hz1o1);
        PlayTwoParts(output, just);
        std::fflush(stdout);
        output.Wait(GAP_SECONDS);
        const double seconds = output.Elapsed();
        output.Close();
        std::printf("\nWrote %s: %.2f s and the release.\n", output.WavPath().c_str(), seconds);
        if (!options->mid.empty()) WriteRecordingOnClock(options->mid, recording);
    });
}

}  // namespace mthost
