#include "library/output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "formats/midi_recording.h"
#include "host_error.h"
#include "library/companion_module.h"
#include "library/companion_start.h"
#include "library/end_signals.h"
#include "library/message_listeners.h"
#include "library/mpe_zone.h"
#include "microtune.h"
#include "microtune_ext.h"
#include "output_file/output_file.h"

namespace mthost {
namespace {

constexpr int DEVICE_NAME_SIZE = 1024;
constexpr const char *BUILT_IN_NAME = "QuickTime";
// Shorter renders finish before a progress line would be read.
constexpr double PROGRESS_MIN_SECONDS = 5.0;
// Live waits sleep in slices so that Ctrl-C is noticed promptly.
constexpr double WAIT_SLICE_SECONDS = 0.05;

void RecordMessage(void *recording, int channel, int status, int data1, int data2) {
    static_cast<MidiRecording *>(recording)->Add(status, channel, data1, data2);
}

void MirrorToMembers(void *send, int channel, int status, int data1, int data2) {
    if (!MirroredToMembers(channel, status, data1)) return;
    const int members = ZoneMembers();
    for (int member = 1; member <= members; ++member)
        reinterpret_cast<TembrelSendMidiEventEntry>(send)(status & 0xF0, member, data1, data2);
}

double WallSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

std::vector<std::string> ListDevices() {
    std::vector<std::string> devices;
    const int count = nNumOutDevices();
    for (int i = 0; i < count; ++i) {
        char name[DEVICE_NAME_SIZE];
        devices.push_back(szNameForDevice(i, name, DEVICE_NAME_SIZE));
    }
    return devices;
}

int BuiltInSynthesizer(const std::vector<std::string> &devices) {
    for (size_t i = 0; i < devices.size(); ++i)
        if (devices[i] == BUILT_IN_NAME) return static_cast<int>(i);
    return -1;
}

Output::Output(const OutputRequest &request) {
    recording_ = request.recording;
    // Registered before the output opens, so that the bends and the voice
    // the library sends on opening are recorded too.
    if (recording_) recordingListener_.reset(new ListenToLibrary(&RecordMessage, recording_));
    if (recording_ && request.silent && request.wavPath.empty()) {
        OpenRecorder();
        return;
    }
    const std::string unavailable = BuiltInUnavailable();
    if (request.device < 0 && unavailable.empty()) {
        // The built-in synthesizer needs no list of devices, whose listing
        // would load the MIDI system and probe for a JACK server.
        if (CheckForQTLibrary() == 0)
            throw HostError(std::string("the built-in software synthesizer is not available: ") +
                            MicrotuneLastError());
        deviceName_ = BUILT_IN_NAME;
        builtIn_ = true;
        OpenBuiltInOrShut(request);
        return;
    }
    const std::vector<std::string> devices = ListDevices();
    const int builtIn = BuiltInSynthesizer(devices);
    const int count = static_cast<int>(devices.size());
    device_ = request.device;
    if (!unavailable.empty()) {
        // Without the built-in synthesizer nothing renders, and the first
        // device (the MIDI mapper, where there is one) plays by default.
        if (!request.wavPath.empty() || request.offline) throw HostError(unavailable);
        if (device_ < 0 && count == 0)
            throw HostError("no MIDI output devices (see: microtune devices)");
        if (device_ < 0) device_ = 0;
        if (device_ == builtIn) throw HostError(unavailable);
    }
    if (device_ >= count) {
        throw HostError("device " + std::to_string(device_) + " is out of range: there " +
                        (count == 1 ? "is 1 device" : "are " + std::to_string(count) + " devices") +
                        " (see: microtune devices)");
    }
    deviceName_ = devices[static_cast<size_t>(device_)];
    builtIn_ = device_ == builtIn;
    if (!builtIn_ && (!request.wavPath.empty() || request.offline))
        throw HostError("only the built-in software synthesizer renders a WAV file; device " +
                        std::to_string(device_) + " is " + deviceName_);
    if (!builtIn_ && request.sound.gainDb != 0.0)
        throw HostError("only the built-in software synthesizer takes a --gain; device " +
                        std::to_string(device_) + " is " + deviceName_);

    if (builtIn_) {
        OpenBuiltInOrShut(request);
        return;
    }
    const int result = StartMidiOutForiDev(device_);
    if (result != 1)
        throw HostError("cannot open device " + std::to_string(device_) + " (" + deviceName_ +
                        "): " + MicrotuneLastError());
    open_ = true;
    // Live, Ctrl-C ends a wait and the output closes as usual.
    endSignals_.reset(new EndSignalCatcher);
}

void Output::OpenBuiltInOrShut(const OutputRequest &request) {
    try {
        OpenBuiltIn(request);
    } catch (...) {
        Shut(false);
        throw;
    }
    // Live, Ctrl-C ends a wait and the output closes as usual.
    if (!offline_) endSignals_.reset(new EndSignalCatcher);
}

std::string Output::Where() const {
    if (device_ < 0)
        return "the " + std::string(builtIn_ ? "built-in software synthesizer" : deviceName_);
    return "device " + std::to_string(device_) + ", " + deviceName_ +
           (builtIn_ ? " (built-in software synthesizer)" : "");
}

void Output::OpenBuiltIn(const OutputRequest &request) {
    companion_ = LoadedCompanion();
    if (companion_)
        send_ = reinterpret_cast<TembrelSendMidiEventEntry>(
            CompanionEntry(companion_, TEMBREL_SEND_MIDI_EVENT_ENTRY));
    if (send_ && ZoneMembers())
        zoneListener_.reset(new ListenToLibrary(&MirrorToMembers, reinterpret_cast<void *>(send_)));
    std::string wav = request.wavPath;
    const char *fromEnvironment = std::getenv(TEMBREL_WAV_ENV);
    if (wav.empty() && fromEnvironment && *fromEnvironment) wav = fromEnvironment;
    if (wav.empty() && request.offline) wav = request.fallbackWav;

    if (wav.empty()) {
        // Live first; the companion refuses to start without an audio output.
        const int result = StartCompanion(device_, CompanionStart::LIVE, "", request.sound);
        if (result == 1) {
            open_ = true;
            return;
        }
        StopQT();
        if (request.fallbackWav.empty())
            throw HostError("the built-in software synthesizer did not start: " +
                            WhyBuiltInFails(std::string()));
        wav = request.fallbackWav;
        std::printf("No live audio output: rendering to %s instead.\n", wav.c_str());
    }

    // The companion renders into the name the file rule gives (a temporary
    // file, or the target itself when that is a device or a FIFO); the file
    // takes its own name when the output closes.
    wavFile_.reset(new mtio::OutputFile(wav));
    if (!wavFile_->Ok()) throw HostError(wavFile_->Error());
    // Render into the file, on a clock that only the delay entry moves,
    // unless real time must count.
    const int result = StartCompanion(
        device_,
        request.followRealTime ? CompanionStart::RENDER_IN_REAL_TIME : CompanionStart::RENDER,
        wavFile_->WritePath(), request.sound);
    if (result != 1) {
        const std::string cause = WavError();
        StopQT();
        if (!cause.empty()) {
            wavFile_->Fail(cause);
            throw HostError(wavFile_->Error());
        }
        throw HostError("the built-in software synthesizer cannot render to " + wav + ": " +
                        WhyBuiltInFails(wav));
    }
    open_ = true;
    offline_ = true;
    wavPath_ = wav;
    FindDelayEntry();
}

// The library looks the delay entry up but never calls it; offline
// rendering needs it, from the very instance the library has loaded.
void Output::FindDelayEntry() {
    if (companion_)
        delay_ =
            reinterpret_cast<TembrelDelayEntry>(CompanionEntry(companion_, TEMBREL_DELAY_ENTRY));
    if (!delay_) {
        Shut(false);
        throw HostError(std::string("cannot render offline: no " TEMBREL_DELAY_ENTRY " entry in ") +
                        TEMBREL_MODULE_FILE);
    }
}

// Nothing sounds: the library's recorder route, which loads no synthesizer
// and has the built-in synthesizer's 32 channels.
void Output::OpenRecorder() {
    if (MicrotuneOpenRecordingOutput() != 1)
        throw HostError("cannot record: the library's output is already in use");
    deviceName_ = "recorder";
    open_ = true;
    offline_ = true;
}

Output::~Output() { Shut(false); }

void Output::Wait(double seconds) {
    if (!(seconds > 0.0)) return;
    if (offline_) {
        // The companion's clock when rendering; the library's recorder's otherwise.
        if (delay_)
            delay_(seconds);
        else
            SleepSeconds(seconds);
        elapsed_ += seconds;
        if (recording_ && recording_->TicksPerSecond() > 0.0) recording_->SetSeconds(elapsed_);
        DrawProgress();
        return;
    }
    double left = seconds;
    while (left > 0.0) {
        ThrowIfEndRequested();
        const double slice = left < WAIT_SLICE_SECONDS ? left : WAIT_SLICE_SECONDS;
        SleepSeconds(slice);
        left -= slice;
    }
    elapsed_ += seconds;
    if (recording_ && recording_->TicksPerSecond() > 0.0) recording_->SetSeconds(elapsed_);
}

// What the companion met writing the WAV file, or "".
std::string Output::WavError() const {
    if (!companion_) return std::string();
    auto entry =
        reinterpret_cast<TembrelWavErrorEntry>(CompanionEntry(companion_, TEMBREL_WAV_ERROR_ENTRY));
    const char *cause = entry ? entry() : nullptr;
    return cause ? cause : "";
}

void Output::Close() { Shut(true); }

void Output::Shut(bool keepWav) {
    if (open_) {
        open_ = false;
        ClearProgress();
        StopAllNotesPlayed(0);
        StopMidiOut();
        StopQT();
    }
    std::string wavError;
    if (wavFile_ && keepWav) {
        wavError = WavError();
        if (!wavError.empty())
            wavFile_->Fail(wavError);
        else if (wavFile_->Commit())
            wavFile_.reset();
        if (wavFile_) wavError = wavFile_->Error();
    }
    wavFile_.reset();  // not kept: the temporary file goes
    // Also after a failed open: the listener must not outlive its recording.
    recordingListener_.reset();
    zoneListener_.reset();
    CloseCompanion(companion_);
    companion_ = nullptr;
    delay_ = nullptr;
    send_ = nullptr;
    if (!wavError.empty()) throw HostError(wavError);
}

void Output::ShowProgress(double totalSeconds) {
    progressTotal_ = totalSeconds;
    DrawProgress();
}

void Output::DrawProgress() {
    if (!offline_ || progressTotal_ < PROGRESS_MIN_SECONDS || !isatty(STDERR_FILENO)) return;
    const double now = WallSeconds();
    if (progressShown_ && now - lastDrawn_ < 0.1 && elapsed_ < progressTotal_) return;
    lastDrawn_ = now;
    progressShown_ = true;
    std::fprintf(stderr, "\rrendering %s: %.1f of %.1f s", wavPath_.c_str(), elapsed_,
                 progressTotal_);
    std::fflush(stderr);
}

void Output::ClearProgress() {
    if (!progressShown_) return;
    progressShown_ = false;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
}

}  // namespace mthost
