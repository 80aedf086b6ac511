// The calibration cache on disk: one small text file per font and program
// under $XDG_CACHE_HOME/microtune/ (default ~/.cache/microtune/), so that a
// program is measured once per font, ever.
#ifndef MICROTUNE_COMPANION_CALIBRATION_CACHE_H
#define MICROTUNE_COMPANION_CALIBRATION_CACHE_H

#include <string>

#include "program_calibration.h"

namespace calibration {

// The cache folder from the environment, or "" when there is no home.
std::string CacheDirectory();

// Reads the calibration of a program of the font with this content hash.
// False for a missing, corrupt or foreign file, which is then ignored.
bool LoadCalibration(const std::string &directory, const std::string &fontHash, int bank,
                     int program, ProgramCalibration &out);

// Writes it, creating the folder; false when the folder is not writable
// (the caller keeps its calibration in memory).
bool SaveCalibration(const std::string &directory, const std::string &fontHash,
                     const ProgramCalibration &calibration);

}  // namespace calibration

#endif
