// The host's checks of a scale text before the library reads it. The
// library skips what it cannot use (a word, a 0, a division by zero) and
// takes negative ratios as they are; a user who typed them meant something
// else, so the host refuses them, naming the word and its position.
#ifndef MICROTUNE_SCALE_TEXT_H
#define MICROTUNE_SCALE_TEXT_H

#include <string>

namespace mthost {

// What keeps one value from being a pitch when the library reads it
// ("division by zero", "not a number", ...), or an empty text when it is
// one. `asCents`: the value is followed by the keyword "cents".
std::string PitchValueProblem(const std::string &token, bool asCents = false);

// The first problem of a whole scale text, as "word N, 'TOKEN': what", or
// an empty text when every word is a value, an `h` or the keyword "cents".
std::string ScaleTextProblem(const std::string &text);

}  // namespace mthost

#endif
