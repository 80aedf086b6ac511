// The keys of a command: a keyboard map applied to an installed scale,
// giving each MIDI key its degree and the 1/1 that puts the map's reference
// key at its frequency, by the library's key table (library/tuning_files.h
// has the map itself).
#ifndef MICROTUNE_KEYS_KEY_LAYOUT_H
#define MICROTUNE_KEYS_KEY_LAYOUT_H

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "library/tuning.h"
#include "library/tuning_files.h"

namespace mthost {

// The scale's size for a table as the library installs it (entry 0 the 1/1,
// the last entry the period): the number of degrees per period, count - 1.
// A table of one step that divides 2/1 evenly, such as the library's default
// {1, 2^(1/12)} or a scale text "63.158", is an equal temperament and counts
// its steps per 2/1 (12, 19), as its Scala file would. A table with no period
// (the 1/1 alone, or a linear series) has size 0.
int ScaleSize(const std::vector<double> &installedRatios);

// The degree a key plays, or nullopt when it is silent (outside the map's
// keys or an x entry). An octave degree of 0 moves by scaleSize.
std::optional<int> DegreeForKey(const KeyboardMap &map, int key, int scaleSize);

// The 1/1 in Hz that makes the reference key sound at the reference
// frequency: referenceHz / ratio(degree of the reference key), with the
// ratio by the library's own degree rule. Throws HostError naming the file
// when the map has no reference, when the reference key is silent, or when
// the map moves by the scale's size and the scale has none.
double OneOneForMap(const KeyboardMap &map, const std::vector<double> &installedRatios,
                    int scaleSize);

// The keys of a command: a .kbm file (the 1/1 from its reference), or
// linear from the root key with the 1/1 given apart.
struct KeyLayout {
    KeyboardMap map;
    int scaleSize = 0;
    double hz1o1 = 0.0;  // 0: the library's default
    std::string file;    // the .kbm read (an installed one found by bare name), or ""
};

// kbmPath empty: linear from rootKey with hz as the 1/1. Otherwise the file,
// checked against the scale's table (see OneOneForMap).
KeyLayout LayOutKeys(const std::string &kbmPath, int rootKey, double hz,
                     const std::vector<double> &installedRatios);

// The same for a scale argument: a .tun is a whole keyboard (key k plays
// degree k from the 1/1 of the file's key 0), which --kbm, --root and --1o1
// cannot move (a usage error); an .ascl's reference pitch is the 1/1 unless
// the map or --1o1 gives one.
KeyLayout LayOutKeys(const ScaleArgument &scale, const std::string &kbmPath, int rootKey,
                     double hz);

// Throws HostError unless every retuned key of the map sounds at a finite,
// positive frequency.
void CheckKeyFrequencies(const KeyLayout &layout, const std::vector<double> &installedRatios);

// The degree each MIDI key plays; nullopt: the key is silent.
using KeyDegrees = std::array<std::optional<int>, 128>;

KeyDegrees DegreesOfKeys(const KeyLayout &layout);
// Key k plays degree k - rootKey.
KeyDegrees LinearKeyDegrees(int rootKey);

}  // namespace mthost

#endif
