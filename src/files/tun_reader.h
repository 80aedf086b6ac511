// AnaMark tuning files (.tun): the frequency of each of the 128 MIDI keys,
// in cents above a base frequency. [Tuning] gives cents above MIDI key 0 in
// 12-TET (8.1758 Hz); [Exact Tuning] gives its own basefreq and takes
// precedence key by key; a key neither gives keeps 12-TET. Comments start
// with ';'. Sections of the second version that most programs ignore
// ([Scale Begin], [Info], [Editor Specifics]) are passed over, [Info]'s Name
// kept as the description; a functional tuning is refused.
#ifndef MICROTUNE_FILES_TUN_READER_H
#define MICROTUNE_FILES_TUN_READER_H

#include "files/text_lines.h"
#include "microtune_files.h"

namespace mtfiles {

// MIDI key 0 in 12-TET from A 440: the base of [Tuning] and of the writer.
constexpr double TUN_BASE_HZ = 8.1757989156437073;

// The scale text is the 127 keys above key 0 in cents from key 0, which is
// the 1/1: key k plays degree k.
bool ReadTun(TextLines &lines, Failure &failure, MicrotuneScaleFile *scale, TextSink &text);

}  // namespace mtfiles

#endif
