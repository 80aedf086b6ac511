// Scale arguments (a scale text or a .scl file) and installing a tuning
// through the library, with the installed table read back for listings.
#ifndef MICROTUNE_TUNING_H
#define MICROTUNE_TUNING_H

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace mthost {

// The library's 1/1 when none is set: MIDI note 60 in 12-TET from A 440.
constexpr double DEFAULT_1O1_HZ = 261.6255653005986;

struct ScaleArgument {
    std::string text;         // scale text for SetMidiScale; empty: 12-TET
    std::string description;  // what the listing calls it
};

// SCALE is a path to a Scala .scl file when it ends in ".scl", otherwise a
// scale text. An empty argument means twelve-tone equal temperament.
// Unreadable or malformed files and texts without a single pitch throw
// HostError.
ScaleArgument LoadScaleArgument(const std::string &argument);

struct Tuning {
    std::string description;
    double hz1o1 = DEFAULT_1O1_HZ;
    std::vector<double> ratios;  // the installed table, entry 0 first
};

// The table InstallTuning installs for a scale, entry 0 first, known before
// anything is installed (a keyboard map's 1/1 depends on it).
std::vector<double> ScaleRatios(const ScaleArgument &scale);

// Sets the 1/1 (hz 0: the library's default) and installs the scale.
Tuning InstallTuning(const ScaleArgument &scale, double hz);

// Ratio of a degree in an installed table, for listings: the period repeats
// (entry 0 is the 1/1) or, when entry 0 is not 1, the series 1 + k(r - 1).
double RatioOfDegree(const std::vector<double> &ratios, int degree);

// The 1/1 a user may set: the range of hearing. Beyond it a scale's degrees
// soon leave what MIDI notes and bends can reach.
constexpr double MIN_1O1_HZ = 20.0;
constexpr double MAX_1O1_HZ = 20000.0;

// Validator for frequencies such as --1o1: a number of Hz from MIN_1O1_HZ
// to MAX_1O1_HZ.
CLI::Validator PositiveHz();

}  // namespace mthost

#endif
