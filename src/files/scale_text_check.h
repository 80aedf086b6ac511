// Whether the words of a scale text are pitches, as a user means them:
// the library's parser skips what it cannot use and takes negative ratios
// as they are, so a reader or a host checks a text before installing it.
#ifndef MICROTUNE_FILES_SCALE_TEXT_CHECK_H
#define MICROTUNE_FILES_SCALE_TEXT_CHECK_H

#include "files/text_lines.h"

namespace mtfiles {

// What keeps one value from being a pitch ("division by zero", "not a
// number", ...), or null when it is one. `asCents`: the keyword "cents"
// follows it.
const char *PitchValueProblem(Span token, bool asCents = false);

// The library's separators; every other character belongs to a word.
inline bool IsSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\r';
}

// The next word of a text from *at on, or false at the end.
bool NextWord(const char *text, std::size_t *at, Span *word);

bool IsCentsKeyword(Span word);

// A whole word as a decimal number, as the library's parser reads it (no
// hexadecimal, no "inf"), with nothing left over.
bool Number(Span text, double *value);

}  // namespace mtfiles

#endif
