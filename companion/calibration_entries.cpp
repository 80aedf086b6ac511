// The calibration entries of the module, for `microtune calibrate`: the host
// reaches FluidSynth only through them, so that it starts without loading
// any audio library.
#include <cstring>
#include <new>
#include <string>
#include <type_traits>

#include "calibration_cache.h"
#include "font_hash.h"
#include "program_calibration.h"
#include "tembrel_abi.h"

#define TEMBREL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct CalibratorHandle {
    explicit CalibratorHandle(const char *font)
        : calibrator(font),
          hash(calibration::FontContentHash(font)),
          cache(calibration::CacheDirectory()) {}
    calibration::Calibrator calibrator;
    std::string hash, cache;
};

}  // namespace

TEMBREL_EXPORT void *Tembrel_CalibratorOpen(const char *fontPath) {
    if (!fontPath) return nullptr;
    calibration::SilenceFluidSynth();
    auto *handle = new (std::nothrow) CalibratorHandle(fontPath);
    if (handle && (handle->hash.empty() || !handle->calibrator.Loaded())) {
        delete handle;
        return nullptr;
    }
    return handle;
}

TEMBREL_EXPORT const char *Tembrel_CalibratorFontHash(void *calibrator) {
    return calibrator ? static_cast<CalibratorHandle *>(calibrator)->hash.c_str() : "";
}

TEMBREL_EXPORT const char *Tembrel_CalibratorCacheDirectory(void *calibrator) {
    return calibrator ? static_cast<CalibratorHandle *>(calibrator)->cache.c_str() : "";
}

TEMBREL_EXPORT int Tembrel_CalibrateProgram(void *calibrator, int bank, int program,
                                            TembrelProgramCalibration *out) {
    if (!calibrator || !out) return TEMBREL_NOT_IN_FONT;
    auto *handle = static_cast<CalibratorHandle *>(calibrator);
    calibration::ProgramCalibration result;
    if (!handle->calibrator.Calibrate(bank, program, result)) return TEMBREL_NOT_IN_FONT;
    for (int key = 0; key < TEMBREL_KEYS; ++key) {
        out->state[key] = static_cast<char>(result.keys[key].state);
        out->cents[key] = result.keys[key].cents;
        out->correction[key] = result.Correction(key);
    }
    out->seconds = result.seconds;
    return calibration::SaveCalibration(handle->cache, handle->hash, result) ? TEMBREL_CALIBRATED
                                                                             : TEMBREL_NOT_SAVED;
}

TEMBREL_EXPORT void Tembrel_CalibratorClose(void *calibrator) {
    delete static_cast<CalibratorHandle *>(calibrator);
}

// The entries as the contract declares them.
static_assert(std::is_same<decltype(&Tembrel_CalibratorOpen), TembrelCalibratorOpenEntry>::value,
              "");
static_assert(
    std::is_same<decltype(&Tembrel_CalibratorFontHash), TembrelCalibratorFontHashEntry>::value, "");
static_assert(
    std::is_same<decltype(&Tembrel_CalibratorCacheDirectory), TembrelCalibratorCacheEntry>::value,
    "");
static_assert(
    std::is_same<decltype(&Tembrel_CalibrateProgram), TembrelCalibrateProgramEntry>::value, "");
static_assert(std::is_same<decltype(&Tembrel_CalibratorClose), TembrelCalibratorCloseEntry>::value,
              "");
