// microtune bend-test: the library's audible check that a device bends by
// 2 semitones.
#include <cstdio>

#include "commands/commands.h"
#include "commands/mpe_commands.h"
#include "library/output.h"
#include "microtune.h"

namespace mthost {

void AddBendTestCommand(CLI::App &app) {
    CLI::App *command = app.add_subcommand(
        "bend-test",
        "Play the pitch-bend-range test: two tones that match only on a 2-semitone range "
        "(with --tuning mpe: on the MPE zone's range)");
    struct Options {
        int device = -1;
        std::string wav;
        SoundSettings sound;
        TuningMethod tuning = TuningMethod::BEND;
        MpeRequest mpe;
    };
    auto options = std::make_shared<Options>();
    AddDeviceOption(*command, options->device);
    AddWavOption(*command, options->wav, options->sound,
                 "Render the built-in software synthesizer into this WAV file (default: live, or "
                 "bend-test.wav without an audio output)");
    AddTuningMethodOption(*command, options->tuning, false);
    AddMpeOptions(*command, options->mpe);
    command->callback([options, command] {
        const MpeZone zone = ZoneOfOptions(*command, options->tuning, options->mpe);
        if (zone.members) UseMpeZone(zone);  // configured as the output opens
        OutputRequest request;
        request.device = options->device;
        request.wavPath = options->wav;
        request.sound = options->sound;
        request.fallbackWav = "bend-test.wav";
        request.followRealTime = true;  // the test paces itself with real sleeps
        Output output(request);
        std::printf("Pitch-bend-range test on %s\n", output.Where().c_str());
        if (zone.members) {
            const int s = zone.semitones < 12 ? zone.semitones : 12;
            std::printf("%s\n", DescribeMpeZone(zone).c_str());
            std::fflush(stdout);
            if (zone.members && output.BuiltIn())
                WarnOfDrumMember(zone, "the built-in software synthesizer");
            std::printf(
                "Two tones follow: note %d on MIDI channel 2 bent %d semitone%s down, then note "
                "%d on MIDI channel %d bent %d up.\nThe same pitch twice (middle C) means the "
                "synthesizer bends its MPE members by %d semitones, as set;\na higher second "
                "tone means a wider range, a lower one a narrower range (a synthesizer not in "
                "MPE mode, or set to another bend range).\n",
                60 + s, s, s == 1 ? "" : "s", 60 - s, zone.members > 1 ? 3 : 2, s, zone.semitones);
        } else {
            std::printf(
                "Two tones follow: note 62 bent 2 semitones down, then note 58 bent 2 "
                "semitones up.\nThe same pitch twice (middle C) means the device bends by "
                "2 semitones, as microtune needs;\na higher second tone means a wider range, a "
                "lower one a narrower range.\n");
        }
        std::fflush(stdout);
        TestPitchBendRange();
        output.Wait(0.5);  // the second tone's release
        output.Close();
        if (output.Offline()) std::printf("Wrote %s\n", output.WavPath().c_str());
    });
}

}  // namespace mthost
