// Scala keyboard maps (.kbm): one value per line, comments from '!'.
#ifndef MICROTUNE_FILES_KBM_READER_H
#define MICROTUNE_FILES_KBM_READER_H

#include "files/text_lines.h"
#include "microtune_files.h"

namespace mtfiles {

// What a .kbm reference frequency may be: from MIDI key 0 in 12-TET to the
// top of what MIDI keys can be tuned to, the ends the key table clamps to,
// written as the file writes them.
constexpr double LOWEST_REFERENCE_HZ = 8.1757;
constexpr double HIGHEST_REFERENCE_HZ = 13289.66;

bool ReadKbm(TextLines &lines, Failure &failure, MicrotuneKeyboardMap *map);

}  // namespace mtfiles

#endif
