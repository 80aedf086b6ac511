#include "formats/scale_text_check.h"

#include <cmath>
#include <cstdlib>
#include <vector>

#include "formats/text_file.h"

namespace mthost {
namespace {

// The library's separators; everything else belongs to a word.
bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\r'; }

std::vector<std::string> Words(const std::string &text) {
    std::vector<std::string> words;
    std::string word;
    for (char c : text) {
        if (!IsSeparator(c)) {
            word += c;
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

// A whole word as a number: what atof reads, with nothing left over.
bool Number(const std::string &text, double *value) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    char *end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0' && std::isfinite(*value);
}

bool IsCentsKeyword(const std::string &word) {
    if (word.size() != 5) return false;
    for (std::size_t i = 0; i < 5; ++i)
        if (std::tolower(static_cast<unsigned char>(word[i])) != "cents"[i]) return false;
    return true;
}

// The library drops values this close to 0; they were meant as something else.
constexpr double SMALLEST_VALUE = 1e-10;

// A ratio the host can hand on: positive and finite, and not so small or so
// large that every degree of the scale would leave the range of hearing.
std::string RatioProblem(double ratio) {
    if (!(ratio > 0.0)) return "a ratio must be above 0";
    if (!std::isfinite(ratio) || ratio > 1e30 || ratio < 1e-30) return "out of any pitch range";
    return std::string();
}

}  // namespace

std::string PitchValueProblem(const std::string &token, bool asCents) {
    for (char c : token)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return "not a number";
    const bool power = token.compare(0, 2, "n(") == 0;
    std::string text = power ? token.substr(2) : token;
    const std::size_t slash = text.find('/');
    if (power && !text.empty() && text.back() == ')') text.pop_back();
    double value = 0.0;
    if (slash != std::string::npos) {
        double a = 0.0, b = 0.0;
        if (!Number(text.substr(0, slash), &a) || !Number(text.substr(slash + 1), &b))
            return "not a number (ratios are written 5/4, without spaces)";
        if (b == 0.0) return "division by zero";
        value = a / b;
    } else {
        if (!Number(text, &value)) return "not a number";
        // A '.' makes a value cents, under n( too.
        if (text.find('.') != std::string::npos) {
            if (power) return "a value with a '.' is read as cents, not as a power of two";
            if (std::fabs(value) > 1e6) return "out of any pitch range";
            return std::string();
        }
    }
    if (asCents) return std::fabs(value) > 1e6 ? "out of any pitch range" : std::string();
    if (power) {
        if (std::fabs(value) < SMALLEST_VALUE) return "2 to the power 0 is read as nothing";
        if (std::fabs(value) > 100) return "out of any pitch range";
        return std::string();
    }
    if (value > 0.0 && value < SMALLEST_VALUE) return "too small to be a ratio";
    return RatioProblem(value);
}

std::string ScaleTextProblem(const std::string &text) {
    const std::vector<std::string> words = Words(text);
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string &word = words[i];
        std::string problem;
        if (word[0] == 'h') continue;  // the next value replaces the 1/1
        if (IsCentsKeyword(word)) {
            if (i == 0 || words[i - 1][0] == 'h' || IsCentsKeyword(words[i - 1]) ||
                words[i - 1].compare(0, 2, "n(") == 0)
                problem = "'cents' must follow a value";
        } else {
            const bool cents = i + 1 < words.size() && IsCentsKeyword(words[i + 1]);
            problem = PitchValueProblem(word, cents);
        }
        if (!problem.empty())
            return "word " + std::to_string(i + 1) + ", '" + Printable(word) + "': " + problem;
    }
    return std::string();
}

}  // namespace mthost
