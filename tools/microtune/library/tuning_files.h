// Tuning files through the library's reader (microtune_files.h): scales
// from .scl, .ascl and .tun files, keyboard maps from .kbm files, and the
// check of a scale text, with the library's messages as HostError.
//
// A keyboard map says which MIDI key plays which scale degree, and which key
// sounds at which frequency. Either linear with a root (key k plays degree
// k - root, the 1/1 given apart) or read from a Scala .kbm file:
//
//   ! comments anywhere
//   12       size of the mapping pattern (0: linear, key i plays degree i)
//   0        first MIDI key to retune (keys outside are silent)
//   127      last MIDI key to retune
//   60       middle key, where degree 0 of the pattern is mapped
//   69       reference key
//   440.0    frequency of the reference key in Hz
//   12       formal octave degree: the degree one pattern repeat moves by
//            (0: the scale's size)
//   0        then one line per pattern entry: a degree, or x for a
//   x        silent key; missing entries are silent
//
// For a key k in [first, last] with i = k - middle: size 0 plays degree i;
// otherwise block = floor(i / size), j = i - block * size, and the key plays
// block * octaveDegree + mapping[j].
#ifndef MICROTUNE_LIBRARY_TUNING_FILES_H
#define MICROTUNE_LIBRARY_TUNING_FILES_H

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "microtune_files.h"

namespace mthost {

// A pattern longer than a scale can be serves no purpose.
constexpr int MAX_KBM_SIZE = MICROTUNE_MAX_MAP_SIZE;

struct KeyboardMap {
    int size = 0;  // 0: linear
    int firstKey = 0, lastKey = 127;
    int middleKey = 60;
    int referenceKey = 60;
    double referenceHz = 0.0;
    int octaveDegree = 0;                     // 0: the scale's size
    std::vector<std::optional<int>> mapping;  // size entries; nullopt: silent
    bool hasReference = false;                // false: the 1/1 comes from elsewhere (--1o1)
    std::string fileName;                     // for errors; empty for a linear map
    int referenceLine = 0;                    // the line of the reference key in the file
};

// Key k plays degree k - rootKey, every key from 0 to 127.
KeyboardMap LinearKeyboardMap(int rootKey);

// Parses the contents of a .kbm file. A malformed file throws HostError with
// "fileName:line: what is wrong".
KeyboardMap ParseKbm(const std::string &contents, const std::string &fileName);

// Reads and parses a .kbm file; an unreadable file throws HostError.
KeyboardMap ReadKbmFile(const std::string &path);

// The map as the library takes it.
MicrotuneKeyboardMap LibraryMap(const KeyboardMap &map);
// And back; fileName empty for a map of no file.
KeyboardMap HostMap(const MicrotuneKeyboardMap &map, const std::string &fileName);

struct ScaleFile {
    int format = MICROTUNE_FORMAT_BY_NAME;  // none: a scale text
    std::string description;
    std::string scaleText;      // what SetMidiScale installs
    double oneOneHz = 0.0;      // the 1/1 the file sets; 0: none
    bool fullKeyboard = false;  // a .tun: key k plays degree k
    std::string noteNames;      // .ascl's, one per line
    int referenceOctave = 4;    // .ascl's
    std::array<double, MICROTUNE_KEYS> keyHz{};
};

// Reads a scale file, its format by its extension (.tun, .ascl, anything
// else Scala). A malformed file throws HostError "fileName:line: what".
ScaleFile ReadScaleFile(const std::string &path);
ScaleFile ParseScaleFile(const std::string &contents, const std::string &fileName);

// The first problem of a scale text, as "word N, 'TOKEN': what", or an
// empty text when every word is a value, a lone `h` or the keyword "cents".
std::string ScaleTextProblem(const std::string &text);

}  // namespace mthost

#endif
