// How the host names things and finds them by name: MIDI notes, and a
// device, port or voice by a part of its name typed in any case.
#ifndef MICROTUNE_FORMATS_NAMES_H
#define MICROTUNE_FORMATS_NAMES_H

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

namespace mthost {

// The pitch class of a MIDI key ("C", "C#", ...) and its octave, C4 = 60.
const char *NoteLetter(int key);
inline int NoteOctave(int key) { return key / 12 - 1; }
// "C4", "F#-1".
std::string NoteName(int key);

// ASCII lower case, whatever the locale.
std::string Lower(std::string text);

// The names that `part` picks: every name containing it in any case, or,
// when that is not exactly one, the one name equal to it. Empty: none;
// more than one: the part is ambiguous.
std::vector<std::size_t> MatchingNames(const std::vector<std::string> &names,
                                       const std::string &part);

// The median of some measurements (0 when there are none).
template <class T>
double Median(std::vector<T> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? static_cast<double>(values[n / 2])
                 : 0.5 * (static_cast<double>(values[n / 2 - 1]) +
                          static_cast<double>(values[n / 2]));
}

}  // namespace mthost

#endif
