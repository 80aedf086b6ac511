#include "formats/kbm_file.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "formats/text_file.h"
#include "host_error.h"

namespace mthost {
namespace {

// Degrees and octave degrees beyond this reach no audible pitch, and the
// limit keeps block * octaveDegree far from overflow.
constexpr int MAX_DEGREE = 1 << 20;

// One value per line: the first word of each line that is neither a
// comment nor blank.
class Reader : public LineReader {
public:
    using LineReader::LineReader;

    // The next value, or false at the end of the file.
    bool Next(std::string *value) {
        std::string line;
        if (!LineReader::Next(&line, true)) return false;
        *value = FirstWord(line);
        return true;
    }

    // The next value, which must be there.
    std::string Require(const char *what) {
        std::string value;
        if (!Next(&value)) Fail(LastLine() == 0 ? 1 : LastLine(), std::string("missing ") + what);
        return value;
    }

    // A whole number in [low, high].
    int Integer(const std::string &value, const char *what, long low, long high) const {
        const size_t start = (value[0] == '+' || value[0] == '-') ? 1 : 0;
        bool digits = start < value.size();
        for (size_t i = start; i < value.size(); ++i)
            if (value[i] < '0' || value[i] > '9') digits = false;
        if (!digits)
            Fail(LineNumber(),
                 std::string(what) + " '" + Printable(value) + "' is not a whole number");
        errno = 0;
        const long number = std::strtol(value.c_str(), nullptr, 10);
        if (errno == ERANGE || number < low || number > high)
            Fail(LineNumber(), std::string(what) + " " + Printable(value) + " is not in " +
                                   std::to_string(low) + " to " + std::to_string(high));
        return static_cast<int>(number);
    }

    int Key(const char *what) { return Integer(Require(what), what, 0, 127); }
};

}  // namespace

KeyboardMap LinearKeyboardMap(int rootKey) {
    KeyboardMap map;
    map.middleKey = rootKey;
    map.referenceKey = rootKey;
    return map;
}

KeyboardMap ParseKbm(const std::string &contents, const std::string &fileName) {
    Reader reader(contents, fileName);
    KeyboardMap map;
    map.fileName = fileName;
    map.hasReference = true;

    map.size = reader.Integer(reader.Require("the size of the mapping pattern"), "mapping size", 0,
                              MAX_KBM_SIZE);
    const int sizeLine = reader.LineNumber();
    map.firstKey = reader.Key("first key");
    map.lastKey = reader.Key("last key");
    if (map.lastKey < map.firstKey)
        reader.Fail(reader.LineNumber(), "last key " + std::to_string(map.lastKey) +
                                             " is below the first key " +
                                             std::to_string(map.firstKey));
    map.middleKey = reader.Key("middle key");
    map.referenceKey = reader.Key("reference key");
    map.referenceLine = reader.LineNumber();

    const std::string hz = reader.Require("reference frequency");
    char *end = nullptr;
    map.referenceHz = std::strtod(hz.c_str(), &end);
    if (end == hz.c_str() || *end != '\0' || !std::isfinite(map.referenceHz) ||
        map.referenceHz <= 0.0)
        reader.Fail(reader.LineNumber(),
                    "reference frequency '" + Printable(hz) + "' is not a positive number of Hz");

    map.octaveDegree = reader.Integer(reader.Require("formal octave degree"),
                                      "formal octave degree", -MAX_DEGREE, MAX_DEGREE);

    std::string value;
    while (reader.Next(&value)) {
        if (static_cast<int>(map.mapping.size()) == map.size)
            reader.Fail(reader.LineNumber(), "more mapping entries than the size " +
                                                 std::to_string(map.size) + " on line " +
                                                 std::to_string(sizeLine));
        if (value == "x" || value == "X") {
            map.mapping.push_back(std::nullopt);
            continue;
        }
        if (value.find_first_not_of("+-0123456789") != std::string::npos)
            reader.Fail(reader.LineNumber(),
                        "mapping entry '" + Printable(value) + "' is neither a degree nor x");
        map.mapping.push_back(reader.Integer(value, "mapping entry", -MAX_DEGREE, MAX_DEGREE));
    }
    // Entries the file leaves out are silent keys.
    map.mapping.resize(static_cast<size_t>(map.size));
    return map;
}

KeyboardMap ReadKbmFile(const std::string &path) {
    return ParseKbm(ReadSmallFile(path, "keyboard map"), path);
}

}  // namespace mthost
