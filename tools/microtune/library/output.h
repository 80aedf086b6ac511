// The output a subcommand plays on: a device of the library's list, or the
// built-in software synthesizer (the list's "QuickTime" entry, the
// companion library), live or rendered offline into a WAV file.
#ifndef MICROTUNE_OUTPUT_H
#define MICROTUNE_OUTPUT_H

#include <memory>
#include <string>
#include <vector>

#include "library/companion_module.h"
#include "library/companion_start.h"

namespace mtio {
class OutputFile;
}

namespace mthost {

class MidiRecording;
class EndSignalCatcher;
class ListenToLibrary;

// The device list as the library numbers and names it.
std::vector<std::string> ListDevices();

// The list index of the built-in software synthesizer, or -1.
int BuiltInSynthesizer(const std::vector<std::string> &devices);

struct OutputRequest {
    int device = -1;          // list index; -1: the built-in software synthesizer
    std::string wavPath;      // render the built-in synthesizer into this file
    std::string fallbackWav;  // rendered into when it has no live audio output
    SoundSettings sound;
    bool offline = false;  // always render (into wavPath)
    // Rendering follows the real time that passes between calls as well as
    // Wait: for the library's own timed exports (TestPitchBendRange).
    bool followRealTime = false;
    // No sound, only the recording (without wavPath): the library's
    // recorder route, no synthesizer loaded; starts at once, never waits.
    bool silent = false;
    // Records every message the library sends, from opening to closing; a
    // recording on the clock follows Wait.
    MidiRecording *recording = nullptr;
};

class Output {
public:
    // Opens the output the request names; throws HostError when it cannot.
    explicit Output(const OutputRequest &request);
    ~Output();
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;

    // Lets time pass: while rendering offline the synthesizer's clock moves
    // on at once, otherwise the caller sleeps. Ctrl-C ends a live wait with
    // HostError (status 130).
    void Wait(double seconds);

    // Stops every note, closes the output and stops the companion, whose
    // clean-up renders the release tail and finishes the WAV file, which
    // then takes its name; throws HostError when the WAV file could not be
    // written.
    void Close();

    // -1 on the built-in synthesizer when no device was named: it is found
    // without listing the devices.
    int Device() const { return device_; }
    const std::string &DeviceName() const { return deviceName_; }
    // "device 2, NAME" or "the built-in software synthesizer", for messages.
    std::string Where() const;
    bool BuiltIn() const { return builtIn_; }
    bool Offline() const { return offline_; }
    const std::string &WavPath() const { return wavPath_; }
    double Elapsed() const { return elapsed_; }

    // A progress line on a terminal while a render of this many seconds
    // runs; ClearProgress before printing anything else.
    void ShowProgress(double totalSeconds);
    void ClearProgress();

private:
    void OpenBuiltIn(const OutputRequest &request);
    void OpenBuiltInOrShut(const OutputRequest &request);
    void FindDelayEntry();
    void OpenRecorder();
    void DrawProgress();
    // Closes; the WAV file takes its name only when kept.
    void Shut(bool keepWav);
    std::string WavError() const;

    int device_ = -1;
    std::string deviceName_;
    bool builtIn_ = false;
    bool offline_ = false;
    bool open_ = false;
    std::string wavPath_;
    std::unique_ptr<mtio::OutputFile> wavFile_;
    void *companion_ = nullptr;
    TembrelDelayEntry delay_ = nullptr;
    TembrelSendMidiEventEntry send_ = nullptr;
    MidiRecording *recording_ = nullptr;
    double elapsed_ = 0.0;
    double progressTotal_ = 0.0;
    bool progressShown_ = false;
    double lastDrawn_ = -1.0;
    std::unique_ptr<EndSignalCatcher> endSignals_;
    std::unique_ptr<ListenToLibrary> recordingListener_;
    // The built-in synthesizer knows no MPE zone: the manager's voice and
    // controllers go to the members too.
    std::unique_ptr<ListenToLibrary> zoneListener_;
};

}  // namespace mthost

#endif
