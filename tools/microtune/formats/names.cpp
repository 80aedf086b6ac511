#include "formats/names.h"

#include <cctype>

namespace mthost {

const char *NoteLetter(int key) {
    static const char *const NAMES[] = {"C",  "C#", "D",  "D#", "E",  "F",
                                        "F#", "G",  "G#", "A",  "A#", "B"};
    return NAMES[key % 12];
}

std::string NoteName(int key) { return NoteLetter(key) + std::to_string(NoteOctave(key)); }

std::string Lower(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::size_t> MatchingNames(const std::vector<std::string> &names,
                                       const std::string &part) {
    std::vector<std::size_t> matches, exact;
    const std::string lowerPart = Lower(part);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (Lower(names[i]).find(lowerPart) != std::string::npos) matches.push_back(i);
        if (names[i] == part) exact.push_back(i);
    }
    if (matches.size() != 1 && exact.size() == 1) return exact;
    return matches;
}

}  // namespace mthost
