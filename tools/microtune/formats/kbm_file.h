// Keyboard maps as files say them: which MIDI key plays which scale degree,
// and which key sounds at which frequency. Either linear with a root (key k
// plays degree k - root, the 1/1 given apart) or read from a Scala .kbm file:
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
//
// The scale's size is the number of degrees in one period of the installed
// table (ScaleSize below), so a map written for a 12-note scale works on
// any 12-note scale whatever its period.
#ifndef MICROTUNE_FORMATS_KBM_FILE_H
#define MICROTUNE_FORMATS_KBM_FILE_H

#include <optional>
#include <string>
#include <vector>

namespace mthost {

// A pattern longer than a scale can be serves no purpose.
constexpr int MAX_KBM_SIZE = 1024;

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

}  // namespace mthost

#endif
