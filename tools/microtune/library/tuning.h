// Scale arguments (a scale text or a .scl, .ascl or .tun file) and
// installing a tuning through the library, with the installed table read
// back for listings.
#ifndef MICROTUNE_TUNING_H
#define MICROTUNE_TUNING_H

#include <string>
#include <vector>

#include "library/tuning_files.h"

namespace mthost {

// The library's 1/1 when none is set: MIDI note 60 in 12-TET from A 440.
constexpr double DEFAULT_1O1_HZ = 261.6255653005986;

struct ScaleArgument {
    std::string text;         // scale text for SetMidiScale; empty: 12-TET
    std::string description;  // what the listing calls it
    std::string reading;      // how the argument was read, for -v
    double oneOneHz = 0.0;    // the 1/1 the file sets (.ascl, .tun); 0: none
    // A .tun: a whole keyboard, key k playing degree k from the 1/1.
    bool fullKeyboard = false;
    std::string file;  // the file read, or ""
    ScaleFile source;  // what the file gave (its format 0 for a scale text)
};

// One rule for SCALE: a path to an existing file is read as a tuning file,
// its format by its extension (.tun, .ascl, anything else Scala); anything
// else is a scale text, every word of which must be a pitch value. A word that looks like a file
// name names a missing file. An empty argument means twelve-tone equal temperament. Unreadable or
// malformed files, texts with a word that is not a pitch and texts without a pitch besides the 1/1
// throw HostError.
ScaleArgument LoadScaleArgument(const std::string &argument);

struct Tuning {
    std::string description;
    double hz1o1 = DEFAULT_1O1_HZ;
    std::vector<double> ratios;  // the installed table, entry 0 first
};

// The table InstallTuning installs for a scale, entry 0 first, known before
// anything is installed (a keyboard map's 1/1 depends on it).
std::vector<double> ScaleRatios(const ScaleArgument &scale);

// The tuning that InstallTuning would install, without touching the library.
Tuning PreviewTuning(const ScaleArgument &scale, double hz);

// Sets the 1/1 (hz 0: the file's, else the library's default) and installs
// the scale.
Tuning InstallTuning(const ScaleArgument &scale, double hz);

// Entry 0 is not the 1/1: the degrees play a series, not a repeating scale.
bool IsSeries(const std::vector<double> &ratios);

// Ratio of a degree in a table, by the library's own degree rule: the period
// repeats (entry 0 is the 1/1) or, when entry 0 is not 1, the series
// 1 + k(r - 1), whose degrees may fall to 0 or below (no pitch).
double RatioOfDegree(const std::vector<double> &ratios, int degree);

// Whether a ratio names a pitch: positive, finite, and short of where the
// library caps powers of a period (about 1e+-133) by far; past 1e+-100 no
// scale meant it.
bool IsUsableRatio(double ratio);

// The 1/1 a user may set: the range of hearing. Beyond it a scale's degrees
// soon leave what MIDI notes and bends can reach.
constexpr double MIN_1O1_HZ = 20.0;
constexpr double MAX_1O1_HZ = 20000.0;

// What MIDI notes 0 to 127 bent by up to 2 semitones reach; the library
// plays anything beyond at the nearest end.
constexpr double LOWEST_PLAYABLE_HZ = 7.284239274570463;  // note 0 bent 2 semitones down
constexpr double HIGHEST_PLAYABLE_HZ = 14080.0;           // note 127 bent 2 semitones up

// Checks the degrees a command is about to play: a degree without a pitch
// (a series that falls to 0 Hz or below) throws HostError; one beyond the
// MIDI range gets a warning on standard error naming the degree, its
// frequency and what the library will play instead.
void CheckDegrees(const Tuning &tuning, const std::vector<int> &degrees);

}  // namespace mthost

#endif
