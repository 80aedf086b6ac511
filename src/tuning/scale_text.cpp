// The scale text parser: tokens separated by white space, each a ratio, a
// value in cents, a power-of-two exponent, the count reset `h` or the
// keyword "cents".
#include "tuning/scale_text.h"

#include <locale.h>
#include <stdlib.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "microtune.h"
#include "state/library_lock.h"
#include "state/state.h"
#include "tuning/log_exp.h"
#include "tuning/scale_table.h"

namespace mt {

namespace {

// Values closer to zero than this add nothing (a word, a lone sign, a 0).
constexpr double VALUE_THRESHOLD = 1e-10;

// Token separators for the finder: a form feed is not among them.
bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\r'; }

// White space of the "C" locale, whatever locale the host has set; bytes
// from 0x80 up are never white space.
bool IsWhiteSpace(char c) { return IsSeparator(c) || c == '\f'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringAsciiCase(const char *a, const char *b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (FoldAscii(*a) != FoldAscii(*b)) return false;
    return *a == *b;
}

// Converts a decimal number with the "C" locale's decimal point, so that a
// host running under a locale with a decimal comma still gets 386.3137.
#ifdef _WIN32
double StrtodC(const char *text) {
    static const _locale_t cLocale = _create_locale(LC_ALL, "C");
    if (cLocale == nullptr) return std::strtod(text, nullptr);
    return _strtod_l(text, nullptr, cLocale);
}
#else
double StrtodC(const char *text) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    if (cLocale == static_cast<locale_t>(0)) return std::strtod(text, nullptr);
    return strtod_l(text, nullptr, cLocale);
}
#endif

// Reads the number at the start of text the way atof does in the "C"
// locale: leading white space, an optional sign, digits with an optional
// decimal point, an optional exponent; reading stops at the first character
// that does not fit, and text without a number reads as 0.0. Only decimal
// numbers count, so "inf", "nan" and "0x10" read as words or as 0.
double ReadNumber(const char *text) {
    while (IsWhiteSpace(*text)) ++text;
    const char *p = text;
    if (*p == '+' || *p == '-') ++p;
    int digits = 0;
    while (IsDigit(*p)) ++p, ++digits;
    if (*p == '.') {
        ++p;
        while (IsDigit(*p)) ++p, ++digits;
    }
    if (digits == 0) return 0.0;
    if (*p == 'e' || *p == 'E') {
        const char *e = p + 1;
        if (*e == '+' || *e == '-') ++e;
        if (IsDigit(*e)) {
            while (IsDigit(*e)) ++e;
            p = e;
        }
    }

    // The number as a text of its own, so that nothing after it is read.
    char number[SCALE_TOKEN_SIZE];
    size_t length = static_cast<size_t>(p - text);
    if (length > sizeof number - 1) length = sizeof number - 1;
    std::memcpy(number, text, length);
    number[length] = '\0';

    const int savedErrno = errno;
    const double value = StrtodC(number);
    errno = savedErrno;
    return value;
}

// One parse: the caller's array, the count and the bound on entries.
struct ScaleParse {
    double *ratios;
    int count;
    int limit;
    double lastValue;
    bool finished;
};

// Appends a value. A value that is not finite is ignored; one that has no
// room ends the parse. Returns whether the value was written.
bool Append(ScaleParse &parse, double value) {
    if (!std::isfinite(value)) return false;
    if (parse.count >= parse.limit) {
        parse.finished = true;
        return false;
    }
    parse.ratios[parse.count++] = value;
    return true;
}

// A plain value: below the threshold (or not a number) it adds nothing;
// under the power-of-two mark it is an exponent of 2.
bool AppendValue(ScaleParse &parse, double value, bool powerOfTwo) {
    if (!(std::fabs(value) >= VALUE_THRESHOLD)) return false;
    return Append(parse, powerOfTwo ? Exp(value * LN2) : value);
}

// Applies the value rules (keyword "cents", ratio, cents value, plain
// value) to one token.
bool ApplyValueToken(ScaleParse &parse, const char *token, bool powerOfTwo) {
    if (EqualsIgnoringAsciiCase(token, "cents")) {
        // The last value becomes cents, replacing the last entry (or
        // supplying entry 0 after a reset).
        const double ratio = ClampedExp(LN2 * parse.lastValue / 1200.0);
        if (!std::isfinite(ratio)) return false;
        const int j = parse.count > 0 ? parse.count - 1 : 0;
        parse.ratios[j] = ratio;
        parse.count = j + 1;
        return true;
    }

    const char *slash = std::strchr(token, '/');
    if (slash != nullptr) {
        const double value = ReadNumber(token) / ReadNumber(slash + 1);
        parse.lastValue = value;
        return AppendValue(parse, value, powerOfTwo);
    }

    if (std::strchr(token, '.') != nullptr) {
        // Cents: no threshold, no power-of-two mark, no limit.
        const double value = ReadNumber(token);
        parse.lastValue = value;
        return Append(parse, Exp(value * LN2 / 1200.0));
    }

    const double value = ReadNumber(token);
    parse.lastValue = value;
    return AppendValue(parse, value, powerOfTwo);
}

}  // namespace

int FindNextScaleToken(const char *text, int *position) {
    if (position == nullptr) return 0;
    if (text == nullptr) {
        *position = -1;
        return 0;
    }
    int i = *position;
    if (i >= 0) {
        while (text[i] != '\0' && !IsSeparator(text[i])) ++i;
    } else {
        i = 0;
    }
    while (IsSeparator(text[i])) ++i;
    if (text[i] == '\0') {
        *position = -1;
        return 0;
    }
    *position = i;
    return 1;
}

int CopyScaleToken(char *buffer, const char *text, int start, int size) {
    if (buffer == nullptr || text == nullptr || start < 0 || size <= 0) return 0;
    const char *source = text + start;
    int copied = 0;
    while (copied < size && source[copied] != '\0' && !IsWhiteSpace(source[copied])) {
        buffer[copied] = source[copied];
        ++copied;
    }
    buffer[copied < size - 1 ? copied : size - 1] = '\0';
    return copied;
}

}  // namespace mt

extern "C" {

MICROTUNE_EXPORT void MICROTUNE_API GetScaleFromText(double *ratios, int *count, char *text,
                                                     int maxEntries) {
    mt::ExportLock lock;
    if (!lock) return;
    using namespace mt;
    if (ratios == nullptr || count == nullptr) return;

    // The text is kept for GetszMostRecentScale, at most its first 1023
    // characters; the parse itself reads the caller's whole text.
    if (text == nullptr)
        std::memset(szMostRecentScale, 0, sizeof szMostRecentScale);
    else
        std::strncpy(szMostRecentScale, text, sizeof szMostRecentScale);
    szMostRecentScale[MOST_RECENT_SCALE_SIZE - 1] = '\0';

    ScaleParse parse;
    parse.ratios = ratios;
    parse.count = 1;
    parse.limit =
        (maxEntries >= 1 && maxEntries < MAX_PARSED_ENTRIES) ? maxEntries : MAX_PARSED_ENTRIES;
    parse.lastValue = 0.0;
    parse.finished = false;
    ratios[0] = 1.0;

    char token[SCALE_TOKEN_SIZE];
    int position = -1;
    while (!parse.finished && FindNextScaleToken(text, &position)) {
        CopyScaleToken(token, text, position, SCALE_TOKEN_SIZE);
        if (token[0] == 'h') {
            // The next value becomes entry 0, replacing the 1/1.
            parse.count = 0;
            continue;
        }
        bool powerOfTwo = false;
        if (token[0] == 'n' && token[1] == '(') {
            // An exponent of 2: read the token again behind the "n(".
            powerOfTwo = true;
            CopyScaleToken(token, text, position + 2, SCALE_TOKEN_SIZE);
        }
        if (ApplyValueToken(parse, token, powerOfTwo) && parse.count >= parse.limit) break;
    }
    *count = parse.count;
}

MICROTUNE_EXPORT char *MICROTUNE_API GetszMostRecentScale(void) {
    // The text stays where it is; another thread's parse may rewrite it.
    mt::ExportLock lock;
    if (!lock) return nullptr;
    return mt::szMostRecentScale;
}

}  // extern "C"
