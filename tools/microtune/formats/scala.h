// Scala .scl files: a description line, a note count, then one pitch per
// line (cents when the value has a '.', else a ratio a/b or a whole number).
// The pitches become a scale text for SetMidiScale.
#ifndef MICROTUNE_SCALA_H
#define MICROTUNE_SCALA_H

#include <string>
#include <vector>

namespace mthost {

struct ScalaScale {
    std::string description;
    std::vector<std::string> pitches;  // each value as written in the file
    std::string scaleText;             // the pitches as a scale text
};

// Parses the contents of a .scl file. A malformed file throws HostError
// with "fileName:line: what is wrong".
ScalaScale ParseScala(const std::string &contents, const std::string &fileName);

// Reads and parses a .scl file; an unreadable file throws HostError.
ScalaScale ReadScalaFile(const std::string &path);

}  // namespace mthost

#endif
