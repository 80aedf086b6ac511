#include "files/scale_text_check.h"

#include <cmath>

#include "microtune_files.h"

namespace mtfiles {
namespace {

// The library drops values this close to 0; they were meant as something else.
constexpr double SMALLEST_VALUE = 1e-10;

// A ratio the library can hand on: positive and finite, and not so small
// or so large that every degree of the scale would leave the range of
// hearing.
const char *RatioProblem(double ratio) {
    if (!(ratio > 0.0)) return "a ratio must be above 0";
    if (!std::isfinite(ratio) || ratio > 1e30 || ratio < 1e-30) return "out of any pitch range";
    return nullptr;
}

}  // namespace

bool IsCentsKeyword(Span word) { return word.IsIgnoringCase("cents"); }

bool Number(Span text, double *value) {
    if (!IsDecimal(text, true)) return false;
    *value = ReadDecimal(text);
    return std::isfinite(*value);
}

bool NextWord(const char *text, std::size_t *at, Span *word) {
    std::size_t i = *at;
    while (text[i] != '\0' && IsSeparator(text[i])) ++i;
    if (text[i] == '\0') return false;
    const std::size_t start = i;
    while (text[i] != '\0' && !IsSeparator(text[i])) ++i;
    *word = {text + start, i - start};
    *at = i;
    return true;
}

const char *PitchValueProblem(Span token, bool asCents) {
    for (std::size_t i = 0; i < token.length; ++i) {
        const unsigned char c = static_cast<unsigned char>(token[i]);
        if (c < 0x20 || c == 0x7f) return "not a number";
    }
    const bool power = token.length >= 2 && token[0] == 'n' && token[1] == '(';
    Span text = power ? Span{token.text + 2, token.length - 2} : token;
    if (power && text.length > 0 && text[text.length - 1] == ')') --text.length;
    std::size_t slash = 0;
    while (slash < text.length && text[slash] != '/') ++slash;
    double value = 0.0;
    if (slash < text.length) {
        double a = 0.0, b = 0.0;
        if (!Number({text.text, slash}, &a) ||
            !Number({text.text + slash + 1, text.length - slash - 1}, &b))
            return "not a number (ratios are written 5/4, without spaces)";
        if (b == 0.0) return "division by zero";
        value = a / b;
    } else {
        if (!Number(text, &value)) return "not a number";
        // A '.' makes a value cents, under n( too.
        for (std::size_t i = 0; i < text.length; ++i) {
            if (text[i] != '.') continue;
            if (power) return "a value with a '.' is read as cents, not as a power of two";
            return std::fabs(value) > 1e6 ? "out of any pitch range" : nullptr;
        }
    }
    if (asCents) return std::fabs(value) > 1e6 ? "out of any pitch range" : nullptr;
    if (power) {
        if (std::fabs(value) < SMALLEST_VALUE) return "2 to the power 0 is read as nothing";
        return std::fabs(value) > 100 ? "out of any pitch range" : nullptr;
    }
    if (value > 0.0 && value < SMALLEST_VALUE) return "too small to be a ratio";
    return RatioProblem(value);
}

}  // namespace mtfiles

extern "C" {

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneCheckScaleText(const char *text, char *problem,
                                                            int problemSize) {
    using namespace mtfiles;
    TextSink sink(problem, problemSize);
    if (!text) return 1;
    std::size_t at = 0;
    Span word{}, before{};
    for (int n = 1; NextWord(text, &at, &word); ++n, before = word) {
        const char *what = nullptr;
        if (word[0] == 'h') {
            // The parser takes any word from 'h' on as the reset: only the
            // lone h was meant as one.
            if (word.length > 1) what = "not a number (a lone h makes the next value the 1/1)";
        } else if (IsCentsKeyword(word)) {
            if (n == 1 || before[0] == 'h' || IsCentsKeyword(before) ||
                (before.length >= 2 && before[0] == 'n' && before[1] == '('))
                what = "'cents' must follow a value";
        } else {
            std::size_t next = at;
            Span after{};
            const bool cents = NextWord(text, &next, &after) && IsCentsKeyword(after);
            what = PitchValueProblem(word, cents);
        }
        if (what) {
            sink.Put("word ").Int(n).Put(", '").Printable(word.text, word.length).Put("': ");
            sink.Put(what).Finish();
            return 0;
        }
    }
    return 1;
}

}  // extern "C"
