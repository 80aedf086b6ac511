// microtune bend-test: the library's audible check that a device bends by
// 2 semitones.
#include <cstdio>

#include "commands/commands.h"
#include "library/output.h"
#include "microtune.h"

namespace mthost {

void AddBendTestCommand(CLI::App &app) {
    CLI::App *command = app.add_subcommand(
        "bend-test",
        "Play the pitch-bend-range test: two tones that match only on a 2-semitone range");
    struct Options {
        int device = -1;
        std::string wav;
        SoundSettings sound;
    };
    auto options = std::make_shared<Options>();
    AddDeviceOption(*command, options->device);
    AddWavOption(*command, options->wav, options->sound,
                 "Render the built-in software synthesizer into this WAV file (default: live, or "
                 "bend-test.wav without an audio output)");
    command->callback([options] {
        OutputRequest request;
        request.device = options->device;
        request.wavPath = options->wav;
        request.sound = options->sound;
        request.fallbackWav = "bend-test.wav";
        request.followRealTime = true;  // the test paces itself with real sleeps
        Output output(request);
        std::printf("Pitch-bend-range test on %s\n", output.Where().c_str());
        std::printf(
            "Two tones follow: note 62 bent 2 semitones down, then note 58 bent 2 "
            "semitones up.\nThe same pitch twice (middle C) means the device bends by "
            "2 semitones, as microtune needs;\na higher second tone means a wider range, a "
            "lower one a narrower range.\n");
        std::fflush(stdout);
        TestPitchBendRange();
        output.Wait(0.5);  // the second tone's release
        output.Close();
        if (output.Offline()) std::printf("Wrote %s\n", output.WavPath().c_str());
    });
}

}  // namespace mthost
