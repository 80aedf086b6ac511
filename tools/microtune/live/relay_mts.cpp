#include "live/relay_mts.h"

#include <array>
#include <cstdio>
#include <ctime>
#include <deque>

#include "host_error.h"
#include "keys/key_layout.h"
#include "keys/mts_output.h"
#include "keys/mts_tuning.h"
#include "keys/performer.h"
#include "library/end_signals.h"
#include "library/tuning.h"
#include "library/voice.h"
#include "live/relay_inputs.h"
#include "live/relay_lock.h"
#include "live/relay_signals.h"

namespace mthost {
namespace {

// Runs on the input's thread; the main thread waits and prints.
struct PassThrough {
    PassThrough(MidiPortOutput &out, const MtsTable &table, const std::vector<MidiMessage> &data,
                const MtsOptions &mts, bool verbose)
        : out(out), table(table), data(data), mts(mts), verbose(verbose) {}
    MidiPortOutput &out;
    const MtsTable &table;
    const std::vector<MidiMessage> &data;  // the tuning, restated after program changes
    const MtsOptions &mts;
    const bool verbose;
    RelayLock mutex;
    bool stopping = false;
    std::array<std::array<int, 128>, 16> down{};  // note-ons not yet released
    std::array<bool, MTS_KEYS> warned{};          // out-of-range keys already named
    int refused = 0;
    std::deque<std::string> lines, warnings;

    void Send(const MidiMessage &m) {
        if (!out.Send(m)) ++refused;
    }

    void Forward(const MidiMessage &m) {
        std::lock_guard<RelayLock> lock(mutex);
        // Channel messages only: clocks, sensing and system-exclusive
        // messages from the keyboard are no business of the synthesizer's.
        if (stopping || m.empty() || m[0] < 0x80 || m[0] >= 0xF0) return;
        Send(m);
        const int kind = m[0] & 0xF0, channel = m[0] & 0x0F;
        if (kind == 0xC0 && mts.restate && channel != DRUM_CHANNEL) {
            for (const MidiMessage &d : data) Send(d);
            for (const MidiMessage &s : MtsSelectTuning(channel, 0, mts.send.program)) Send(s);
        }
        if ((kind != 0x90 && kind != 0x80) || m.size() < 3) return;
        const int key = m[1] & 0x7F;
        int &count = down[channel][key];
        if (kind == 0x90 && m[2] > 0) {
            ++count;
            if (verbose) Describe(channel, key, m[2]);
            if (channel != DRUM_CHANNEL && !warned[key]) {
                warned[key] = true;
                const std::string warning = OutsideMtsWarning(table, key);
                if (!warning.empty()) warnings.push_back(warning);
            }
        } else if (count > 0) {
            --count;
        }
    }

    void Describe(int channel, int key, int velocity) {
        const MtsKey &k = table.keys[key];
        char line[256];
        if (k.degree)
            std::snprintf(line, sizeof line,
                          "key %d on input channel %d, velocity %d: degree %d, %.3f Hz (its own "
                          "key, retuned)",
                          key, channel, velocity, *k.degree, k.hz);
        else
            std::snprintf(line, sizeof line,
                          "key %d on input channel %d, velocity %d: unmapped, %.3f Hz (12-TET)",
                          key, channel, velocity, k.hz);
        lines.push_back(line);
    }

    void PrintLines() {
        std::deque<std::string> pending, problems;
        {
            std::lock_guard<RelayLock> lock(mutex);
            pending.swap(lines);
            problems.swap(warnings);
        }
        for (const std::string &line : problems) std::fprintf(stderr, "%s\n", line.c_str());
        for (const std::string &line : pending) std::printf("%s\n", line.c_str());
        if (!pending.empty()) std::fflush(stdout);
    }
};

void OnMessage(const unsigned char *message, std::size_t size,
               std::chrono::steady_clock::time_point, void *context) {
    static_cast<PassThrough *>(context)->Forward(MidiMessage(message, message + size));
}

// The voice first (unless -1: a synthesizer that loads a tuning with each
// patch would forget one sent before it), then the table, then every
// melodic channel set to play it.
std::vector<MidiMessage> TuningSetup(const std::vector<MidiMessage> &data, int program, int voice) {
    std::vector<MidiMessage> setup;
    for (int c = 0; c < MIDI_CHANNELS; ++c)
        if (c != DRUM_CHANNEL && voice >= 0)
            setup.push_back(
                {static_cast<unsigned char>(0xC0 | c), static_cast<unsigned char>(voice)});
    setup.insert(setup.end(), data.begin(), data.end());
    for (int c = 0; c < MIDI_CHANNELS; ++c)
        if (c != DRUM_CHANNEL)
            for (const MidiMessage &m : MtsSelectTuning(c, 0, program)) setup.push_back(m);
    return setup;
}

}  // namespace

void RelayWithMts(const MtsRelayRequest &request) {
    if (request.wav)
        throw HostError(
            "--tuning mts retunes a synthesizer's own keys; --wav records the built-in one with "
            "--tuning bend",
            2);
    if (request.device < 0)
        throw HostError(
            "--tuning mts needs --device naming a MIDI output port (the built-in software "
            "synthesizer is tuned by bends)",
            2);
    const EndSignalCatcher endSignals;  // from the start: a signal now ends it cleanly
    const ScaleArgument scale = LoadScaleArgument(request.scale);
    const KeyLayout keys = LayOutKeys(scale, request.kbm, request.root, request.hz);
    const Tuning tuning = PreviewTuning(scale, keys.hz1o1);
    const MtsTable table = MtsTableForKeys(keys, tuning);
    Voice voice;
    if (!request.voice.empty()) voice = LookUpVoice(request.voice);
    const InputPort port = ResolveInput(request.in);
    MidiPortOutput out(request.device);
    // Range warnings wait for the keys that are played.
    const std::vector<MidiMessage> data =
        MtsTuningMessages(table, tuning.description, request.mts.send);

    for (const MidiMessage &m :
         TuningSetup(data, request.mts.send.program, request.voice.empty() ? -1 : voice.number))
        if (!out.Send(m))
            throw HostError("device " + std::to_string(request.device) + ", " + out.Name() +
                            ", refused the tuning");

    PassThrough pass(out, table, data, request.mts, request.verbose);
    KeyInput input(port, &OnMessage, &pass);
    const std::string where = keys.map.hasReference ? "keys mapped by " + request.kbm
                                                    : "at key " + std::to_string(request.root);
    if (request.verbose) std::printf("Scale: %s\n", scale.reading.c_str());
    std::printf(
        "Relaying %s to device %d, %s; scale %s; 1/1 = %.3f Hz %s; keys retuned by MTS "
        "(Ctrl-C ends)\n",
        port.name.c_str(), request.device, out.Name().c_str(), tuning.description.c_str(),
        tuning.hz1o1, where.c_str());
    if (request.verbose) {
        std::printf(
            "MTS: %s for all 128 keys and tuning program %d on every channel but 10 sent%s; "
            "notes pass through with their own channels and velocities, pitch wheel included\n",
            MtsFormName(request.mts.send.form), request.mts.send.program,
            request.mts.restate ? " (again after each program change)" : "");
        const std::string unmapped = DescribeUnmapped(table);
        if (!unmapped.empty()) std::printf("MTS: %s\n", unmapped.c_str());
    }
    std::fflush(stdout);

    InputWatch watch(port);
    const std::string problem = WaitForEnd(watch, [&pass] { pass.PrintLines(); });

    {
        std::lock_guard<RelayLock> lock(pass.mutex);
        pass.stopping = true;
    }
    input.Close(watch.ServerStopped());
    pass.PrintLines();
    // Keys still held when the relay ends are released, so nothing hangs.
    for (int c = 0; c < 16; ++c)
        for (int key = 0; key < 128; ++key)
            for (; pass.down[c][key] > 0; --pass.down[c][key])
                out.Send({static_cast<unsigned char>(0x80 | c), static_cast<unsigned char>(key),
                          DEFAULT_RELEASE_VELOCITY});
    if (pass.refused > 0)
        std::printf("%d message%s refused by the output\n", pass.refused,
                    pass.refused == 1 ? "" : "s");
    std::fflush(stdout);
    if (!problem.empty()) throw HostError(problem);
}

}  // namespace mthost
