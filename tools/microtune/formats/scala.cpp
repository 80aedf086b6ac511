#include "formats/scala.h"

#include <cstdlib>

#include "formats/scale_text_check.h"
#include "formats/text_file.h"
#include "host_error.h"

namespace mthost {
namespace {

// A scale holds 1023 entries, the 1/1 among them.
constexpr int MAX_PITCHES = 1022;
// Longer values would be cut by the scale text reader.
constexpr size_t MAX_VALUE_LENGTH = 100;

bool IsValueCharacter(char c) {
    return (c >= '0' && c <= '9') || c == '.' || c == '/' || c == '+' || c == '-';
}

// A value and whatever follows it: text after a value is a remark, whatever
// character starts it ("15/8!F#", "1091.!"). A word that does not start as
// a value is returned whole, for the message that refuses it.
std::string ValueWord(const std::string &text) {
    size_t end = 0;
    while (end < text.size() && IsValueCharacter(text[end])) ++end;
    return end == 0 ? FirstWord(text) : text.substr(0, end);
}

// The value of a pitch line, with a ratio's spaces around the '/' closed
// up (" 3 / 2" is 3/2, not 3 followed by a remark).
std::string PitchValue(const std::string &line) {
    const std::string text = Trim(line);
    std::string value = ValueWord(text);
    if (value.find('.') != std::string::npos) return value;
    std::size_t at = value.size();
    const auto skipBlanks = [&text](std::size_t i) {
        while (i < text.size() && IsBlank(text[i])) ++i;
        return i;
    };
    if (value.find('/') == std::string::npos) {
        at = skipBlanks(at);
        if (at >= text.size() || text[at] != '/') return value;
        value += '/';
        ++at;
    } else if (value.back() != '/') {
        return value;
    }
    return value + ValueWord(text.substr(skipBlanks(at)));
}

bool AllDigits(const std::string &s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// [+-]digits
bool IsWholeNumber(const std::string &s) {
    const size_t start = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
    return AllDigits(s.substr(start));
}

// [+-]digits.digits, at least one digit, exactly one '.'
bool IsCents(const std::string &s) {
    const size_t start = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
    int dots = 0, digits = 0;
    for (size_t i = start; i < s.size(); ++i) {
        if (s[i] == '.')
            ++dots;
        else if (s[i] >= '0' && s[i] <= '9')
            ++digits;
        else
            return false;
    }
    return dots == 1 && digits > 0;
}

// Checks one pitch value and returns it as a scale text token.
std::string PitchToken(const LineReader &reader, int line, const std::string &value) {
    if (value.size() > MAX_VALUE_LENGTH) reader.Fail(line, "pitch value is too long");
    if (value.find('.') != std::string::npos) {
        if (!IsCents(value))
            reader.Fail(line, "'" + Printable(value) + "' is not a value in cents");
        const std::string problem = PitchValueProblem(value);
        if (!problem.empty()) reader.Fail(line, value + " cents: " + problem);
        return value;
    }
    std::string numerator = value, denominator = "1";
    const size_t slash = value.find('/');
    if (slash != std::string::npos) {
        numerator = value.substr(0, slash);
        denominator = value.substr(slash + 1);
    }
    if (!IsWholeNumber(numerator) || !IsWholeNumber(denominator))
        reader.Fail(
            line, "'" + Printable(value) + "' is not a ratio, a whole number or a value in cents");
    const double a = std::strtod(numerator.c_str(), nullptr);
    const double b = std::strtod(denominator.c_str(), nullptr);
    if (b == 0.0) reader.Fail(line, "ratio " + value + " has a zero denominator");
    if (a / b <= 0.0) reader.Fail(line, "ratio " + value + " is not positive");
    // Below this the scale text reader drops a ratio as zero.
    if (a / b < 1e-9) reader.Fail(line, "ratio " + value + " is too small");
    if (a / b > 1e30) reader.Fail(line, "ratio " + value + " is out of any pitch range");
    // Keep '+' out of the token: a signless a/b reads the same and looks
    // like what the scale text documents.
    if (numerator[0] == '+') numerator.erase(0, 1);
    if (denominator[0] == '+' || denominator[0] == '-') denominator.erase(0, 1);
    if (numerator[0] == '-') numerator.erase(0, 1);  // both negative: a positive ratio
    return slash == std::string::npos ? numerator : numerator + "/" + denominator;
}

}  // namespace

ScalaScale ParseScala(const std::string &contents, const std::string &fileName) {
    LineReader reader(contents, fileName);
    ScalaScale scale;
    std::string line;

    if (!reader.Next(&line, false)) reader.Fail(1, "the file is empty: no description line");
    scale.description = PrintableName(Trim(line));

    if (!reader.Next(&line, true))
        reader.Fail(reader.LastLine(), "missing note count after the description");
    const int countLine = reader.LineNumber();
    const std::string countText = ValueWord(Trim(line));
    if (!AllDigits(countText))
        reader.Fail(countLine, "note count '" + Printable(countText) + "' is not a whole number");
    if (countText.size() > 6 || std::atoi(countText.c_str()) > MAX_PITCHES)
        reader.Fail(countLine, "note count " + countText + " is more than the " +
                                   std::to_string(MAX_PITCHES) + " pitches a scale can hold");
    const int count = std::atoi(countText.c_str());
    if (count == 0) reader.Fail(countLine, "note count is 0: a scale needs at least one pitch");

    while (reader.Next(&line, true)) {
        const int number = reader.LineNumber();
        if (static_cast<int>(scale.pitches.size()) == count)
            reader.Fail(number, "more pitch lines than the note count " + countText + " on line " +
                                    std::to_string(countLine));
        const std::string value = PitchValue(line);
        const std::string token = PitchToken(reader, number, value);
        scale.pitches.push_back(value);
        if (!scale.scaleText.empty()) scale.scaleText += ' ';
        scale.scaleText += token;
    }
    if (static_cast<int>(scale.pitches.size()) < count)
        reader.Fail(countLine, "note count is " + countText + " but the file has " +
                                   std::to_string(scale.pitches.size()) + " pitch line" +
                                   (scale.pitches.size() == 1 ? "" : "s"));
    return scale;
}

ScalaScale ReadScalaFile(const std::string &path) {
    return ParseScala(ReadSmallFile(path, "scale file"), path);
}

}  // namespace mthost
