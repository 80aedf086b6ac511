// A sound font's identity for the calibration cache: a hash of the file's
// whole content, so that an edited or replaced font is never mistaken for
// the one that was measured, whatever its path.
#ifndef MICROTUNE_COMPANION_FONT_HASH_H
#define MICROTUNE_COMPANION_FONT_HASH_H

#include <string>

namespace calibration {

// 16 lower-case hex digits, or "" when the file cannot be read.
std::string FontContentHash(const std::string &path);

}  // namespace calibration

#endif
