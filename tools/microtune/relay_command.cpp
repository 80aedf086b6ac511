// microtune relay: play any tuning from a MIDI keyboard. Key k on a MIDI
// input port plays scale degree k - root through the library, on any of its
// devices or on the built-in software synthesizer.
//
// The library is called from one thread at a time. After setup, the input
// port's callback is its only caller, under a mutex that the main thread
// takes only to hand over at shutdown. Calling the library straight from the
// callback keeps the relay's own latency to the cost of the library call.
#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <jack/jack.h>
#include <rtmidi/RtMidi.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "commands.h"
#include "host_error.h"
#include "microtune.h"
#include "output.h"
#include "relay.h"
#include "tuning.h"
#include "voice.h"

namespace mthost {
namespace {

// ---- MIDI inputs -----------------------------------------------------------

// ALSA, JACK and RtMidi print their errors by default; the relay reports
// its own errors in one line each.
void SilentAlsa(const char *, int, const char *, int, const char *, ...) {}
void SilentJack(const char *) {}
void SilentRtMidi(RtMidiError::Type, const std::string &, void *) {}

void SilenceMidiSystems() {
    snd_lib_error_set_handler(&SilentAlsa);
    jack_set_error_function(&SilentJack);
    jack_set_info_function(&SilentJack);
}

// RtMidi prints an error before it throws from a constructor, so each
// system is probed first: the ALSA sequencer must open (there is none
// without /dev/snd), and a JACK server must already run (none is started).
bool AlsaSequencerAvailable() {
    snd_seq_t *seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, 0) < 0) return false;
    snd_seq_close(seq);
    return true;
}

bool JackServerRunning() {
    jack_client_t *client = jack_client_open("microtune-probe", JackNoStartServer, nullptr);
    if (!client) return false;
    jack_client_close(client);
    return true;
}

const RtMidi::Api INPUT_APIS[] = {RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK};
constexpr const char *CLIENT_NAME = "microtune-relay";
constexpr const char *PORT_NAME = "in";

bool ApiUsable(RtMidi::Api api) {
    std::vector<RtMidi::Api> compiled;
    RtMidi::getCompiledApi(compiled);
    if (std::find(compiled.begin(), compiled.end(), api) == compiled.end()) return false;
    if (api == RtMidi::LINUX_ALSA) return AlsaSequencerAvailable();
    if (api == RtMidi::UNIX_JACK) return JackServerRunning();
    return false;
}

std::unique_ptr<RtMidiIn> NewInput(RtMidi::Api api) {
    if (!ApiUsable(api)) return nullptr;
    try {
        std::unique_ptr<RtMidiIn> input(new RtMidiIn(api, CLIENT_NAME));
        input->setErrorCallback(&SilentRtMidi, nullptr);
        return input;
    } catch (...) {
        return nullptr;
    }
}

struct InputPort {
    RtMidi::Api api;
    unsigned index;
    std::string name;
};

const char *ApiName(RtMidi::Api api) { return api == RtMidi::UNIX_JACK ? "JACK" : "ALSA"; }

// ALSA sequencer ports first, then JACK ports, as the library orders its
// outputs.
std::vector<InputPort> ListInputs() {
    SilenceMidiSystems();
    std::vector<InputPort> ports;
    for (RtMidi::Api api : INPUT_APIS) {
        std::unique_ptr<RtMidiIn> input = NewInput(api);
        if (!input) continue;
        try {
            const unsigned count = input->getPortCount();
            for (unsigned i = 0; i < count; ++i) ports.push_back({api, i, input->getPortName(i)});
        } catch (...) {
        }
    }
    return ports;
}

std::string Lower(std::string s) {
    for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string ListForError(const std::vector<InputPort> &ports, const std::vector<size_t> &which) {
    std::string text;
    for (size_t i : which)
        text += (text.empty() ? "" : ", ") + std::to_string(i) + " " + ports[i].name;
    return text;
}

// PORT is a number from --list-inputs or a part of a port's name (any case).
// A part that several names contain must match one of them exactly.
InputPort ResolveInput(const std::string &port) {
    const std::vector<InputPort> ports = ListInputs();
    if (ports.empty())
        throw HostError(
            "no MIDI inputs: neither the ALSA sequencer nor a JACK server is available");
    const bool number =
        !port.empty() && port.size() < 10 && std::all_of(port.begin(), port.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c));
        });
    if (number) {
        const size_t index = static_cast<size_t>(std::stoul(port));
        if (index < ports.size()) return ports[index];
        throw HostError(
            "MIDI input " + port + " is out of range: there " +
            (ports.size() == 1 ? "is 1 input" : "are " + std::to_string(ports.size()) + " inputs") +
            " (see: microtune relay --list-inputs)");
    }
    std::vector<size_t> matches, exact;
    for (size_t i = 0; i < ports.size(); ++i) {
        if (Lower(ports[i].name).find(Lower(port)) != std::string::npos) matches.push_back(i);
        if (ports[i].name == port) exact.push_back(i);
    }
    if (matches.size() == 1) return ports[matches[0]];
    if (exact.size() == 1) return ports[exact[0]];
    if (matches.empty())
        throw HostError("no MIDI input matches '" + port +
                        "' (see: microtune relay --list-inputs)");
    throw HostError("'" + port + "' matches several MIDI inputs (" + ListForError(ports, matches) +
                    "): give its number or more of its name");
}

// Opens the port found by ResolveInput; ports come and go, so it is found by
// name again.
std::unique_ptr<RtMidiIn> OpenInput(const InputPort &port, RtMidiIn::RtMidiCallback callback,
                                    void *context) {
    std::unique_ptr<RtMidiIn> input = NewInput(port.api);
    if (!input)
        throw HostError(std::string("cannot open MIDI input ") + port.name + ": " +
                        ApiName(port.api) + " is not available");
    try {
        unsigned index = port.index;
        const unsigned count = input->getPortCount();
        for (unsigned i = 0; i < count; ++i) {
            if (input->getPortName(i) == port.name) {
                index = i;
                break;
            }
        }
        if (index >= count) throw HostError("MIDI input " + port.name + " has gone away");
        // System exclusive, clock and active sensing carry no keys.
        input->ignoreTypes(true, true, true);
        input->setCallback(callback, context);
        input->openPort(index, PORT_NAME);
    } catch (const HostError &) {
        throw;
    } catch (const std::exception &e) {
        throw HostError("cannot open MIDI input " + port.name + ": " + e.what());
    }
    if (!input->isPortOpen()) throw HostError("cannot open MIDI input " + port.name);
    return input;
}

// ---- Verbose listing -------------------------------------------------------

// The channel a note went to is known only to the library; its notes-in-play
// listing says it. The listing goes to standard output, so for a moment the
// relay points standard output at a memory file and reads it back.
class ListingReader {
public:
    ListingReader() {
        file_ = memfd_create("microtune-listing", MFD_CLOEXEC);
        saved_ = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    }
    ~ListingReader() {
        if (file_ >= 0) close(file_);
        if (saved_ >= 0) close(saved_);
    }
    ListingReader(const ListingReader &) = delete;
    ListingReader &operator=(const ListingReader &) = delete;

    // Call with standard output otherwise idle (the relay's output mutex).
    std::string Read() {
        if (file_ < 0 || saved_ < 0) return std::string();
        std::fflush(stdout);
        if (ftruncate(file_, 0) != 0 || dup2(file_, STDOUT_FILENO) < 0) return std::string();
        PrintNotesInPlay();
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        std::string text;
        char buffer[4096];
        off_t offset = 0;
        ssize_t n;
        while ((n = pread(file_, buffer, sizeof buffer, offset)) > 0) {
            text.append(buffer, static_cast<size_t>(n));
            offset += n;
        }
        return text;
    }

private:
    int file_ = -1;
    int saved_ = -1;
};

// ---- The relay session -----------------------------------------------------

struct Latency {
    // Nanoseconds from the callback's start to the library call's return,
    // kept without allocating while the relay runs.
    static constexpr size_t CAPACITY = 1u << 20;
    std::vector<uint32_t> all, presses;
    void Reserve() {
        all.reserve(CAPACITY);
        presses.reserve(CAPACITY);
    }
    static void Add(std::vector<uint32_t> &samples, uint32_t ns) {
        if (samples.size() < samples.capacity()) samples.push_back(ns);
    }
};

void PrintLatency(const char *what, std::vector<uint32_t> samples) {
    if (samples.empty()) {
        std::printf("Latency of %s: none measured\n", what);
        return;
    }
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    const double median =
        n % 2 ? samples[n / 2] : 0.5 * (samples[n / 2 - 1] + double(samples[n / 2]));
    std::printf("Latency of %s: %zu measured, median %.1f us, worst %.1f us\n", what, n,
                median / 1000.0, samples.back() / 1000.0);
}

struct Session {
    Session(int root, bool verbose, bool stats, const Tuning &tuning)
        : relay(LibraryExports(), root), verbose(verbose), stats(stats), tuning(tuning) {
        if (verbose || stats) latency.Reserve();
        if (verbose) listing.reset(new ListingReader);
    }

    std::mutex libraryMutex;  // held by whoever calls the library
    bool stopping = false;
    KeyRelay relay;
    const bool verbose;
    const bool stats;
    const Tuning tuning;
    Latency latency;
    std::unique_ptr<ListingReader> listing;

    std::mutex outputMutex;  // standard output: lines printed, listings read
    std::mutex linesMutex;
    std::deque<std::string> lines;  // verbose lines, printed by the main thread

    void Describe(const RelayEvent &event);
    void PrintPendingLines();
};

std::string Format(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char *format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

// One line per message the relay acted on; a key press also names the
// library's choice of note, channel and bend. Runs after the latency is
// taken, with the library mutex held.
void Session::Describe(const RelayEvent &event) {
    std::string line;
    switch (event.kind) {
        case RelayEvent::KEY_DOWN: {
            ListedNote note;
            std::string text;
            {
                std::lock_guard<std::mutex> lock(outputMutex);
                text = listing->Read();
            }
            const double hz = tuning.hz1o1 * RatioOfDegree(tuning.ratios, event.degree);
            line = Format("key %d on input channel %d, velocity %d: degree %d, %.3f Hz", event.key,
                          event.inputChannel, event.value, event.degree, hz);
            if (FindDegreeInListing(text, event.degree, &note))
                line += Format(", MIDI note %d, channel %d, bend %+.2f cents", note.note,
                               note.channel, note.bendCents);
            else
                line += ", not in play (the library's table is full)";
            break;
        }
        case RelayEvent::KEY_UP:
            line = Format("key %d off: degree %d stopped", event.key, event.degree);
            break;
        case RelayEvent::KEY_HELD:
            line = Format("key %d off: degree %d held by the pedal", event.key, event.degree);
            break;
        case RelayEvent::PEDAL_DOWN:
            line = "pedal down";
            break;
        case RelayEvent::PEDAL_UP:
            line = Format("pedal up: %d held degree%s stopped", event.released,
                          event.released == 1 ? "" : "s");
            break;
        case RelayEvent::VOICE:
            line = Format("voice %d %s", event.value, VoiceName(event.value).c_str());
            break;
        case RelayEvent::ALL_OFF:
            line =
                Format("%s: every note stopped",
                       event.value == ALL_SOUND_OFF_CONTROLLER ? "all sound off" : "all notes off");
            break;
        default:
            return;
    }
    std::lock_guard<std::mutex> lock(linesMutex);
    lines.push_back(line);
}

void Session::PrintPendingLines() {
    std::deque<std::string> pending;
    {
        std::lock_guard<std::mutex> lock(linesMutex);
        pending.swap(lines);
    }
    if (pending.empty()) return;
    std::lock_guard<std::mutex> lock(outputMutex);
    for (const std::string &line : pending) std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

bool CallsLibrary(const RelayEvent &event) {
    switch (event.kind) {
        case RelayEvent::KEY_DOWN:
        case RelayEvent::KEY_UP:
        case RelayEvent::VOICE:
        case RelayEvent::ALL_OFF:
            return true;
        case RelayEvent::PEDAL_UP:
            return event.released > 0;
        default:
            return false;
    }
}

// Runs on the input's own thread (JACK's process thread, or RtMidi's ALSA
// thread) for every message.
void OnMessage(double, std::vector<unsigned char> *message, void *context) {
    const auto start = std::chrono::steady_clock::now();
    Session &session = *static_cast<Session *>(context);
    std::lock_guard<std::mutex> lock(session.libraryMutex);
    if (session.stopping || !message) return;
    const RelayEvent event = session.relay.Handle(message->data(), message->size());
    if (!session.verbose && !session.stats) return;
    if (CallsLibrary(event)) {
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
        const uint32_t sample = ns > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(ns);
        Latency::Add(session.latency.all, sample);
        if (event.kind == RelayEvent::KEY_DOWN) Latency::Add(session.latency.presses, sample);
    }
    if (session.verbose) session.Describe(event);
}

// SIGINT and SIGTERM are blocked in every thread, the library's, JACK's and
// the synthesizer's included, and taken here by the main thread alone.
sigset_t EndSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

void WaitForEnd(Session &session) {
    const sigset_t signals = EndSignals();
    timespec slice{0, 20 * 1000 * 1000};
    while (sigtimedwait(&signals, nullptr, &slice) < 0) session.PrintPendingLines();
}

// ---- The command -----------------------------------------------------------

struct Options {
    std::string in;
    bool listInputs = false;
    int device = -1;
    std::string scale;
    double hz = 0.0;
    int root = 60;
    std::string voice;
    std::string wav;
    bool verbose = false;
    bool stats = false;
};

void ListInputsCommand() {
    const std::vector<InputPort> ports = ListInputs();
    if (ports.empty()) std::printf("No MIDI inputs (no ALSA sequencer, no JACK server running).\n");
    for (size_t i = 0; i < ports.size(); ++i)
        std::printf("%3zu  %s  (%s)\n", i, ports[i].name.c_str(), ApiName(ports[i].api));
}

void Relay(const Options &options) {
    // Before any thread starts, so that every thread inherits the mask.
    const sigset_t signals = EndSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    // Everything the user typed is checked before anything sounds.
    const ScaleArgument scale = LoadScaleArgument(options.scale);
    Voice voice;
    voice.name = VoiceName(0);
    if (!options.voice.empty()) voice = LookUpVoice(options.voice);
    const InputPort port = ResolveInput(options.in);

    SetMidiVoice(voice.number);  // remembered, and sent when the output opens
    OutputRequest request;
    request.device = options.device;
    request.wavPath = options.wav;
    request.followRealTime = true;  // keys arrive in real time
    Output output(request);
    const Tuning tuning = InstallTuning(scale, options.hz);

    Session session(options.root, options.verbose, options.stats, tuning);
    std::unique_ptr<RtMidiIn> input = OpenInput(port, &OnMessage, &session);

    std::printf(
        "Relaying %s to device %d, %s%s; scale %s; 1/1 = %.3f Hz at key %d; voice %d %s%s%s"
        " (Ctrl-C ends)\n",
        port.name.c_str(), output.Device(), output.DeviceName().c_str(),
        output.BuiltIn() ? " (built-in software synthesizer)" : "", tuning.description.c_str(),
        tuning.hz1o1, options.root, voice.number, voice.name.c_str(),
        output.Offline() ? ", recording to " : "",
        output.Offline() ? output.WavPath().c_str() : "");
    std::fflush(stdout);

    WaitForEnd(session);
    // A second Ctrl-C ends the relay at once, should the clean end hang.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);

    // The callback gives up the library; with the input closed it cannot come back.
    {
        std::lock_guard<std::mutex> lock(session.libraryMutex);
        session.stopping = true;
    }
    try {
        input->closePort();
    } catch (...) {
    }
    input.reset();
    session.PrintPendingLines();
    session.relay.StopEverything();
    output.Close();  // closes the device, stops the companion, finishes the WAV
    if (output.Offline()) std::printf("Wrote %s\n", output.WavPath().c_str());
    if (options.verbose || options.stats) {
        PrintLatency("key presses", session.latency.presses);
        PrintLatency("all messages that reached the library", session.latency.all);
    }
    std::fflush(stdout);
}

}  // namespace

void AddRelayCommand(CLI::App &app) {
    CLI::App *command = app.add_subcommand(
        "relay", "Play a tuning from a MIDI keyboard: key k plays scale degree k - root");
    auto options = std::make_shared<Options>();
    CLI::Option *in = command->add_option(
        "--in", options->in, "MIDI input port: a number from --list-inputs or a part of its name");
    CLI::Option *list =
        command->add_flag("--list-inputs", options->listInputs, "List the MIDI input ports");
    in->excludes(list);
    AddDeviceOption(*command, options->device);
    AddScaleOption(*command, options->scale);
    Add1o1Option(*command, options->hz);
    command->add_option("--root", options->root, "The key that plays the 1/1 (default 60)")
        ->check(CLI::Range(0, 127));
    command->add_option("--voice", options->voice, "General MIDI voice: a number or a name");
    command->add_option("--wav", options->wav,
                        "Record the built-in software synthesizer into this WAV file until the "
                        "relay ends");
    command->add_flag("-v,--verbose", options->verbose,
                      "Print a line per key: degree, MIDI note, channel and bend");
    // Latency figures at the end without the per-key lines (for tests).
    command->add_flag("--stats", options->stats)->group("");
    command->callback([options] {
        if (options->listInputs) {
            ListInputsCommand();
            return;
        }
        if (options->in.empty())
            throw HostError("relay needs --in PORT (see: microtune relay --list-inputs)");
        Relay(*options);
    });
}

}  // namespace mthost
