// The scale text tokenizer used by GetScaleFromText.
#ifndef MICROTUNE_SCALE_TEXT_H
#define MICROTUNE_SCALE_TEXT_H

namespace mt {

constexpr int MAX_PARSED_ENTRIES = 1023;
constexpr int SCALE_TOKEN_SIZE = 128;

// Moves position to the next token and returns 1, or sets it to -1 and
// returns 0 when there is none.
int FindNextScaleToken(const char *text, int *position);

// Copies the token at text[start] into buffer (at most size - 1 characters
// and a NUL); returns the number of characters taken.
int CopyScaleToken(char *buffer, const char *text, int start, int size);

}  // namespace mt

#endif
