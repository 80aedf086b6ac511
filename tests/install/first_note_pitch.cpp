// Plays the first note of a program on the built-in synthesizer of an
// installed microtune, renders it, and prints how far its pitch is from the
// frequency meant, in cents, and how long opening the device took (where a
// program without a calibration would be measured first).
// Usage: first_note_pitch FONT VOICE HZ WAV
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "audio_analysis.h"
#include "microtune.h"

int main(int argc, char **argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: first_note_pitch FONT VOICE HZ WAV\n");
        return 2;
    }
    const int voice = std::atoi(argv[2]);
    const double hz = std::atof(argv[3]);
    setenv("MICROTUNE_SOUNDFONT", argv[1], 1);
    setenv("MICROTUNE_SYNTH_WAV", argv[4], 1);
    const int device = nNumOutDevices() - 1;  // the built-in synthesizer
    SetMidiVoice(voice);
    const auto start = std::chrono::steady_clock::now();
    if (StartMidiOutForiDev(device) != 1) {
        std::fprintf(stderr, "first_note_pitch: cannot open the built-in synthesizer\n");
        return 1;
    }
    const double opening =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    Set1o1(hz);
    PlayScaleDegree(0, 100);
    SleepSeconds(1.5);
    StopAllNotesPlayed(0);
    StopMidiOut();
    StopQT();
    const audio::Audio rendered = audio::ReadWav(argv[4]);
    if (rendered.Seconds() < 1.4) {
        std::fprintf(stderr, "first_note_pitch: %s: nothing rendered\n", argv[4]);
        return 1;
    }
    const double measured = audio::Spectrum(rendered, 0.3, 1.3).Centroid(hz, 5.0);
    std::printf("%.3f %.3f\n", audio::Cents(measured / hz), opening);
    return 0;
}
