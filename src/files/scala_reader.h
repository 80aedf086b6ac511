// Scala .scl files and Ableton's .ascl (Scala with "! @ABL" directives in
// its comments): a description line, a note count, then one pitch per line
// (cents when the value has a '.', else a ratio a/b or a whole number),
// read into a scale text.
#ifndef MICROTUNE_FILES_SCALA_READER_H
#define MICROTUNE_FILES_SCALA_READER_H

#include "files/text_lines.h"
#include "microtune_files.h"

namespace mtfiles {

// A scale holds 1023 entries, the 1/1 among them.
constexpr int MAX_PITCHES = 1022;

bool ReadScala(TextLines &lines, Failure &failure, bool ascl, MicrotuneScaleFile *scale,
               TextSink &text);

// Keeps as much of a text as fits in size - 1 bytes, cut where a UTF-8
// character begins.
void CopyWholeCharacters(Span text, char *sink, std::size_t size);

}  // namespace mtfiles

#endif
