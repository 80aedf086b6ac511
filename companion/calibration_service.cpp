#include "calibration_service.h"

#include <dlfcn.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "calibration_cache.h"
#include "font_hash.h"
#include "key_tuning.h"
#include "program_calibration.h"

namespace calibration {
namespace {

constexpr int CHANNELS = 32;
constexpr int PERCUSSION_CHANNEL = 9;
constexpr int FIRST_PERCUSSION_BANK = 128;

using Preset = std::pair<int, int>;  // bank, program
const Preset NO_PRESET{-1, -1};

struct Service {
    std::mutex mutex;
    std::condition_variable changed;
    fluid_synth_t *synth = nullptr;
    std::string fontPath;
    bool offline = false;
    std::map<Preset, bool> done;  // true: a key tuning is installed for it
    std::deque<Preset> queue;
    Preset channelPreset[CHANNELS];
    bool stopping = false;
    std::atomic<bool> cancel{false};
    std::thread worker;

    // The worker's own, touched by no other thread.
    std::string fontHash;
    bool hashed = false;
    std::unique_ptr<Calibrator> calibrator;
};

Service *S = nullptr;

// The read-only calibrations installed with the companion, found from the
// folder this module was loaded from, so that an installed tree may be
// moved anywhere; "" when the build does not install any.
std::string SystemCalibrationDirectory() {
#ifdef MICROTUNE_SYSTEM_CALIBRATION_FROM_MODULE
    Dl_info info;
    if (dladdr(reinterpret_cast<void *>(&SystemCalibrationDirectory), &info) == 0 ||
        !info.dli_fname)
        return "";
    char *resolved = realpath(info.dli_fname, nullptr);
    if (!resolved) return "";
    std::string path = resolved;
    free(resolved);
    const size_t slash = path.rfind('/');
    if (path[0] != '/' || slash == std::string::npos) return "";
    return path.substr(0, slash + 1) + MICROTUNE_SYSTEM_CALIBRATION_FROM_MODULE;
#else
    return "";
#endif
}

// The worker's part: from the cache, else measured and cached. False when
// the program cannot be calibrated (then it plays as the font has it).
bool Obtain(Service &s, const Preset &preset, ProgramCalibration &result) {
    if (!s.hashed) {
        s.fontHash = FontContentHash(s.fontPath);
        s.hashed = true;
    }
    const std::string directory = CacheDirectory();
    if (LoadCalibration(directory, s.fontHash, preset.first, preset.second, result)) return true;
    static const std::string installed = SystemCalibrationDirectory();
    if (LoadCalibration(installed, s.fontHash, preset.first, preset.second, result)) return true;
    if (!s.calibrator) s.calibrator.reset(new Calibrator(s.fontPath));
    if (!s.calibrator->Calibrate(preset.first, preset.second, result, &s.cancel)) return false;
    // An unwritable cache leaves the result in memory only.
    SaveCalibration(directory, s.fontHash, result);
    return true;
}

void Work(Service &s) {
    std::unique_lock<std::mutex> lock(s.mutex);
    for (;;) {
        s.changed.wait(lock, [&] { return s.stopping || !s.queue.empty(); });
        if (s.stopping) return;
        const Preset preset = s.queue.front();
        lock.unlock();
        ProgramCalibration result;
        const bool calibrated = Obtain(s, preset, result);
        lock.lock();
        s.queue.pop_front();
        if (s.stopping) return;
        if (calibrated) {
            InstallKeyTuning(s.synth, result);
            for (int channel = 0; channel < CHANNELS; ++channel)
                if (s.channelPreset[channel] == preset)
                    SelectKeyTuning(s.synth, channel, preset.first, preset.second);
        }
        s.done[preset] = calibrated;
        s.changed.notify_all();
    }
}

}  // namespace

void StartCalibration(fluid_synth_t *synth, const std::string &fontPath, bool offline) {
    StopCalibration();
    const char *setting = std::getenv(TEMBREL_CALIBRATE_ENV);
    if (setting && std::strcmp(setting, "0") == 0) return;
    S = new Service;
    S->synth = synth;
    S->fontPath = fontPath;
    S->offline = offline;
    for (Preset &preset : S->channelPreset) preset = NO_PRESET;
    Service &s = *S;
    S->worker = std::thread([&s] { Work(s); });
}

void ProgramChanged(int channel) {
    if (!S || channel < 0 || channel >= CHANNELS || channel == PERCUSSION_CHANNEL) return;
    Service &s = *S;
    fluid_preset_t *sounding = fluid_synth_get_channel_preset(s.synth, channel);
    const Preset preset =
        sounding ? Preset(fluid_preset_get_banknum(sounding), fluid_preset_get_num(sounding))
                 : NO_PRESET;
    std::unique_lock<std::mutex> lock(s.mutex);
    s.channelPreset[channel] = preset;
    if (preset == NO_PRESET || preset.first >= FIRST_PERCUSSION_BANK) {
        ClearKeyTuning(s.synth, channel);
        return;
    }
    const auto known = s.done.find(preset);
    if (known != s.done.end()) {
        if (known->second)
            SelectKeyTuning(s.synth, channel, preset.first, preset.second);
        else
            ClearKeyTuning(s.synth, channel);
        return;
    }
    // Until the worker has it, the channel plays as the font has it.
    ClearKeyTuning(s.synth, channel);
    bool queued = false;
    for (const Preset &waiting : s.queue) queued = queued || waiting == preset;
    if (!queued) {
        s.queue.push_back(preset);
        s.changed.notify_all();
    }
    if (s.offline) s.changed.wait(lock, [&] { return s.stopping || s.done.count(preset) != 0; });
}

void StopCalibration() {
    if (!S) return;
    {
        std::lock_guard<std::mutex> lock(S->mutex);
        S->stopping = true;
        S->cancel = true;
        S->changed.notify_all();
    }
    if (S->worker.joinable()) S->worker.join();
    delete S;
    S = nullptr;
}

}  // namespace calibration
