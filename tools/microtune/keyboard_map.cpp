#include "keyboard_map.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "host_error.h"
#include "shipped_files.h"
#include "text_file.h"
#include "tuning.h"

namespace mthost {
namespace {

// Degrees and octave degrees beyond this reach no audible pitch, and the
// limit keeps block * octaveDegree far from overflow.
constexpr int MAX_DEGREE = 1 << 20;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The first word of a line: the value; whatever follows it is a remark.
std::string FirstWord(const std::string &line) {
    size_t begin = 0;
    while (begin < line.size() && IsBlank(line[begin])) ++begin;
    size_t end = begin;
    while (end < line.size() && !IsBlank(line[end])) ++end;
    return line.substr(begin, end - begin);
}

class Reader {
public:
    Reader(const std::string &contents, const std::string &fileName) : fileName_(fileName) {
        lines_ = SplitTextLines(contents, fileName);
    }

    // The value on the next line that is neither a comment nor blank, or
    // false at the end of the file.
    bool Next(std::string *value) {
        while (index_ < lines_.size()) {
            const std::string word = FirstWord(lines_[index_++]);
            if (word.empty() || word[0] == '!') continue;
            *value = word;
            return true;
        }
        return false;
    }

    int LineNumber() const { return static_cast<int>(index_); }

    [[noreturn]] void Fail(int line, const std::string &what) const {
        throw HostError(fileName_ + ":" + std::to_string(line) + ": " + what);
    }

    // The next value, which must be there.
    std::string Require(const char *what) {
        std::string value;
        if (!Next(&value))
            Fail(lines_.empty() ? 1 : static_cast<int>(lines_.size()),
                 std::string("missing ") + what);
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

private:
    std::string fileName_;
    std::vector<std::string> lines_;
    size_t index_ = 0;
};

// floor(a / b) for b > 0.
int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

std::string Where(const KeyboardMap &map, int line) {
    return map.fileName + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": ";
}

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

int ScaleSize(const std::vector<double> &installedRatios) {
    const size_t count = installedRatios.size();
    if (count < 2 || std::fabs(installedRatios[0] - 1.0) > 0.00001) return 0;
    if (count == 2 && installedRatios[1] > 1.0) {
        // Within a hundredth of a cent over the octave: cents written to
        // three decimals still count.
        const double stepCents = 1200.0 * std::log2(installedRatios[1]);
        const double whole = std::round(1200.0 / stepCents);
        if (whole >= 1.0 && whole <= MAX_KBM_SIZE && std::fabs(whole * stepCents - 1200.0) < 0.01)
            return static_cast<int>(whole);
    }
    return static_cast<int>(count - 1);
}

std::optional<int> DegreeForKey(const KeyboardMap &map, int key, int scaleSize) {
    if (key < map.firstKey || key > map.lastKey) return std::nullopt;
    const int i = key - map.middleKey;
    if (map.size == 0) return i;
    const int block = FloorDiv(i, map.size);
    const int j = i - block * map.size;
    const std::optional<int> entry = map.mapping[static_cast<size_t>(j)];
    if (!entry) return std::nullopt;
    const int octave = map.octaveDegree != 0 ? map.octaveDegree : scaleSize;
    return block * octave + *entry;
}

double OneOneForMap(const KeyboardMap &map, const std::vector<double> &installedRatios,
                    int scaleSize) {
    if (!map.hasReference) throw HostError("the keyboard map has no reference key");
    if (map.size > 0 && map.octaveDegree == 0 && scaleSize == 0)
        throw HostError(Where(map, 0) +
                        "the formal octave degree is 0 (the scale's size), but the scale has no "
                        "period: give the octave degree in the file");
    const std::string key = "reference key " + std::to_string(map.referenceKey);
    if (map.referenceKey < map.firstKey || map.referenceKey > map.lastKey)
        throw HostError(Where(map, map.referenceLine) + key + " is outside the retuned keys " +
                        std::to_string(map.firstKey) + " to " + std::to_string(map.lastKey));
    const std::optional<int> degree = DegreeForKey(map, map.referenceKey, scaleSize);
    if (!degree) throw HostError(Where(map, map.referenceLine) + key + " is unmapped (x)");
    const double ratio = RatioOfDegree(installedRatios, *degree);
    const double hz1o1 = map.referenceHz / ratio;
    // 0 Hz would read as "no 1/1 given" further on: an overflowing ratio
    // must not pass for the default.
    if (!(ratio > 0.0) || !std::isfinite(ratio) || !(hz1o1 > 0.0) || !std::isfinite(hz1o1))
        throw HostError(Where(map, map.referenceLine) + key + " plays degree " +
                        std::to_string(*degree) + ", which has no usable ratio in the scale");
    return hz1o1;
}

void CheckKeyFrequencies(const KeyLayout &layout, const std::vector<double> &installedRatios) {
    for (int key = layout.map.firstKey; key <= layout.map.lastKey; ++key) {
        const std::optional<int> degree = DegreeForKey(layout.map, key, layout.scaleSize);
        if (!degree) continue;
        const double ratio = RatioOfDegree(installedRatios, *degree);
        const double hz = layout.hz1o1 * ratio;
        if (ratio > 0.0 && std::isfinite(ratio) && hz > 0.0 && std::isfinite(hz)) continue;
        throw HostError(Where(layout.map, 0) + "key " + std::to_string(key) + " plays degree " +
                        std::to_string(*degree) +
                        ", whose frequency is out of range (formal octave degree " +
                        std::to_string(layout.map.octaveDegree) + ")");
    }
}

KeyLayout LayOutKeys(const std::string &kbmPath, int rootKey, double hz,
                     const std::vector<double> &installedRatios) {
    KeyLayout layout;
    layout.scaleSize = ScaleSize(installedRatios);
    if (kbmPath.empty()) {
        layout.map = LinearKeyboardMap(rootKey);
        layout.hz1o1 = hz;
        return layout;
    }
    layout.file = ResolveShippedFile(kbmPath);
    layout.map = ReadKbmFile(layout.file);
    layout.hz1o1 = OneOneForMap(layout.map, installedRatios, layout.scaleSize);
    CheckKeyFrequencies(layout, installedRatios);
    return layout;
}

}  // namespace mthost
