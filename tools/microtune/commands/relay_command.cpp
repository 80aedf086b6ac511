// microtune relay: play any tuning from a MIDI keyboard. Key k on a MIDI
// input port plays scale degree k - root, or the degree a keyboard map gives
// it, through the library, on any of its devices or on the built-in software
// synthesizer.
//
// The library is called from one thread at a time. After setup, the input
// port's callback is its only caller, under a mutex that the main thread
// takes only to hand over at shutdown. Calling the library straight from the
// callback keeps the relay's own latency to the cost of the library call.
#include <cctype>
#include <cstdio>
#include <memory>
#include <string>

#include "commands/commands.h"
#include "commands/mpe_commands.h"
#include "commands/mts_commands.h"
#include "host_error.h"
#include "keys/key_layout.h"
#include "library/end_signals.h"
#include "library/output.h"
#include "library/tuning.h"
#include "library/voice.h"
#include "live/relay_inputs.h"
#include "live/relay_latency.h"
#include "live/relay_mts.h"
#include "live/relay_session.h"
#include "live/relay_signals.h"
#include "microtune.h"

namespace mthost {
namespace {

struct Options {
    std::string in;
    bool listInputs = false;
    int device = -1;
    std::string scale;
    double hz = 0.0;
    int root = 60;
    std::string kbm;
    std::string voice;
    std::string wav;
    SoundSettings sound;
    bool verbose = false;
    bool stats = false;
    TuningMethod tuning = TuningMethod::BEND;
    MpeRequest mpe;
    MtsOptions mts;
};

void ListInputsCommand() {
    const std::vector<InputPort> ports = ListInputs();
    if (ports.empty()) {
        std::string reason = NoInputsReason();
        reason[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(reason[0])));
        std::printf("%s.\n", reason.c_str());
    }
    for (size_t i = 0; i < ports.size(); ++i)
        std::printf("%3zu  %s  (%s)\n", i, ports[i].name.c_str(), ApiName(ports[i]));
}

std::string WhereTheKeysAre(const KeyLayout &keys, int root) {
    char where[256];
    if (keys.map.hasReference)
        std::snprintf(where, sizeof where, "keys mapped by %s, key %d at %.3f Hz",
                      keys.file.c_str(), keys.map.referenceKey, keys.map.referenceHz);
    else
        std::snprintf(where, sizeof where, "at key %d", root);
    return where;
}

void PrintFigures(const Options &options, const Session &session) {
    if (options.verbose || options.stats) {
        PrintLatency("key presses", session.latency.presses);
        PrintLatency("all messages that reached the library", session.latency.all);
    }
    if (options.verbose || options.stats || session.notesCut > 0)
        std::printf(
            "Notes cut to free a channel (more differently bent notes held than "
            "channels): %d\n",
            session.notesCut);
}

void Relay(const Options &options, const MpeZone &zone) {
    const EndSignalCatcher endSignals;  // from the start: a signal now ends it cleanly
    // Everything the user typed is checked before anything sounds.
    const ScaleArgument scale = LoadScaleArgument(options.scale);
    const KeyLayout keys = LayOutKeys(scale, options.kbm, options.root, options.hz);
    const KeyDegrees degrees = DegreesOfKeys(keys);
    Voice voice;
    voice.name = VoiceName(0);
    if (!options.voice.empty()) voice = LookUpVoice(options.voice);
    const InputPort port = ResolveInput(options.in);

    SetMidiVoice(voice.number);  // remembered, and sent when the output opens
    if (zone.members) UseMpeZone(zone);
    OutputRequest request;
    request.device = options.device;
    request.wavPath = options.wav;
    request.sound = options.sound;
    request.followRealTime = true;  // keys arrive in real time
    Output output(request);
    const Tuning tuning = InstallTuning(scale, keys.hz1o1);

    // An MPE zone plays one instrument: the input channels are no parts.
    Session session(degrees, options.verbose, options.stats, tuning, zone.members == 0);
    KeyInput input(port, &OnKeyMessage, &session);
    const std::string where = WhereTheKeysAre(keys, options.root);
    if (options.verbose) std::printf("Scale: %s\n", scale.reading.c_str());
    std::printf(
        "Relaying %s to %s; scale %s; 1/1 = %.3f Hz %s; voice %d %s%s%s"
        " (Ctrl-C ends)\n",
        port.name.c_str(), output.Where().c_str(), tuning.description.c_str(), tuning.hz1o1,
        where.c_str(), voice.number, voice.name.c_str(), output.Offline() ? ", recording to " : "",
        output.Offline() ? output.WavPath().c_str() : "");
    if (zone.members) std::printf("%s\n", DescribeMpeZone(zone).c_str());
    std::fflush(stdout);
    if (zone.members && output.BuiltIn())
        WarnOfDrumMember(zone, "the built-in software synthesizer");

    InputWatch watch(port);
    const std::string problem = WaitForEnd(watch, [&session] { session.PrintPendingLines(); });

    {
        // The callback gives up the library; with the input closed it
        // cannot come back.
        std::lock_guard<RelayLock> lock(session.libraryMutex);
        session.stopping = true;
    }
    input.Close(watch.ServerStopped());
    session.PrintPendingLines();
    session.relay.StopEverything();
    output.Close();  // closes the device, stops the companion, finishes the WAV
    if (output.Offline()) std::printf("Wrote %s\n", output.WavPath().c_str());
    PrintFigures(options, session);
    std::fflush(stdout);
    if (!problem.empty()) throw HostError(problem);
}

}  // namespace

void AddRelayCommand(CLI::App &app) {
    CLI::App *command = app.add_subcommand(
        "relay",
        "Play a tuning from a MIDI keyboard: key k plays scale degree k - root, or as a .kbm "
        "keyboard map says");
    auto options = std::make_shared<Options>();
    CLI::Option *in = command->add_option(
        "--in", options->in, "MIDI input port: a number from --list-inputs or a part of its name");
    CLI::Option *list =
        command->add_flag("--list-inputs", options->listInputs, "List the MIDI input ports");
    in->excludes(list);
    AddDeviceOption(*command, options->device);
    AddScaleOption(*command, options->scale);
    Add1o1Option(*command, options->hz);
    AddRootOption(*command, options->root);
    AddKbmOption(*command, options->kbm);
    AddVoiceOption(*command, options->voice, "0, Acoustic Grand Piano");
    AddWavOption(*command, options->wav, options->sound,
                 "Record the built-in software synthesizer into this WAV file until the relay "
                 "ends (default: play live)");
    command->add_flag("-v,--verbose", options->verbose,
                      "Print a line per key: degree, MIDI note, channel and bend");
    AddTuningMethodOption(*command, options->tuning);
    AddMpeOptions(*command, options->mpe);
    AddMtsOptions(*command, options->mts, false);
    // Latency figures at the end without the per-key lines (for tests).
    command->add_flag("--stats", options->stats)->group("");
    command->callback([options, command] {
        RefuseMtsOptionsForBends(*command, options->tuning);
        const MpeZone zone = ZoneOfOptions(*command, options->tuning, options->mpe);
        if (options->listInputs) {
            ListInputsCommand();
            return;
        }
        if (options->in.empty())
            throw HostError("relay needs --in PORT (see: microtune relay --list-inputs)", 2);
        if (options->tuning == TuningMethod::MTS)
            return RelayWithMts({options->in, options->device, options->scale, options->kbm,
                                 options->hz, options->root, options->voice, !options->wav.empty(),
                                 options->verbose, options->mts});
        Relay(*options, zone);
    });
}

}  // namespace mthost
