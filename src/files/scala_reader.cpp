#include "files/scala_reader.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "files/scale_text_check.h"
#include "tuning/log_exp.h"

namespace mtfiles {
namespace {

// Longer values would be cut by the scale text reader.
constexpr std::size_t MAX_VALUE_LENGTH = 100;

bool IsValueCharacter(char c) { return IsDigit(c) || c == '.' || c == '/' || c == '+' || c == '-'; }

// A value and whatever follows it: text after a value is a remark, whatever
// character starts it ("15/8!F#", "1091.!"). A word that does not start as
// a value is returned whole, for the message that refuses it.
Span ValueWord(Span text) {
    std::size_t end = 0;
    while (end < text.length && IsValueCharacter(text[end])) ++end;
    return end == 0 ? FirstWord(text) : Span{text.text, end};
}

// The value of a pitch line, with a ratio's spaces around the '/' closed
// up (" 3 / 2" is 3/2, not 3 followed by a remark), into `sink`.
Span PitchValue(Span line, char *sink) {
    const Span text = Trim(line);
    const Span value = ValueWord(text);
    std::memcpy(sink, value.text, value.length);
    std::size_t length = value.length;
    if (std::memchr(value.text, '.', value.length)) return {sink, length};
    std::size_t at = value.length;
    const auto skipBlanks = [&text](std::size_t i) {
        while (i < text.length && IsBlank(text[i])) ++i;
        return i;
    };
    if (!std::memchr(value.text, '/', value.length)) {
        at = skipBlanks(at);
        if (at >= text.length || text[at] != '/') return {sink, length};
        sink[length++] = '/';
        ++at;
    } else if (value[value.length - 1] != '/') {
        return {sink, length};
    }
    const Span rest = ValueWord(After(text, skipBlanks(at)));
    std::memcpy(sink + length, rest.text, rest.length);
    return {sink, length + rest.length};
}

// [+-]digits.digits: at least one digit, exactly one '.'.
bool IsCents(Span s) {
    std::size_t i = (s.length > 0 && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
    int dots = 0, digits = 0;
    for (; i < s.length; ++i) {
        if (s[i] == '.')
            ++dots;
        else if (IsDigit(s[i]))
            ++digits;
        else
            return false;
    }
    return dots == 1 && digits > 0;
}

double RatioPart(Span s) {
    char number[MAX_VALUE_LENGTH + 2];
    const std::size_t length = s.length < sizeof number - 1 ? s.length : sizeof number - 1;
    std::memcpy(number, s.text, length);
    number[length] = '\0';
    return std::strtod(number, nullptr);
}

// Checks one pitch value and appends it to the scale text as a token;
// *ratio receives its ratio.
bool PitchToken(Failure &failure, int line, Span value, TextSink &text, double *ratio) {
    if (value.length > MAX_VALUE_LENGTH) {
        failure.At(line).Put("pitch value is too long");
        return failure.Done();
    }
    if (std::memchr(value.text, '.', value.length)) {
        if (!IsCents(value)) {
            failure.At(line)
                .Put("'")
                .Printable(value.text, value.length)
                .Put("' is not a value in cents");
            return failure.Done();
        }
        if (const char *problem = PitchValueProblem(value)) {
            failure.At(line).Put(value.text, value.length).Put(" cents: ").Put(problem);
            return failure.Done();
        }
        text.Put(value.text, value.length);
        *ratio = mt::Exp(ReadDecimal(value) * mt::LN2 / 1200.0);
        return true;
    }
    std::size_t slash = 0;
    while (slash < value.length && value[slash] != '/') ++slash;
    Span numerator = {value.text, slash}, denominator = {"1", 1};
    if (slash < value.length) denominator = {value.text + slash + 1, value.length - slash - 1};
    if (!IsWholeNumber(numerator) || !IsWholeNumber(denominator)) {
        failure.At(line)
            .Put("'")
            .Printable(value.text, value.length)
            .Put("' is not a ratio, a whole number or a value in cents");
        return failure.Done();
    }
    const double a = RatioPart(numerator), b = RatioPart(denominator);
    const char *problem = nullptr;
    if (b == 0.0)
        problem = " has a zero denominator";
    else if (a / b <= 0.0)
        problem = " is not positive";
    else if (a / b < 1e-9)  // below this the scale text reader drops a ratio as zero
        problem = " is too small";
    else if (a / b > 1e30)
        problem = " is out of any pitch range";
    if (problem) {
        failure.At(line).Put("ratio ").Put(value.text, value.length).Put(problem);
        return failure.Done();
    }
    *ratio = a / b;
    // Keep '+' out of the token: a signless a/b reads the same and looks
    // like what the scale text documents; both negative is a positive ratio.
    const auto unsigned_ = [](Span s) {
        return (s[0] == '+' || s[0] == '-') ? Span{s.text + 1, s.length - 1} : s;
    };
    numerator = unsigned_(numerator);
    text.Put(numerator.text, numerator.length);
    if (slash < value.length) {
        denominator = unsigned_(denominator);
        text.Put('/').Put(denominator.text, denominator.length);
    }
    return true;
}

// The "! @ABL" directives of an .ascl file, gathered from its comments.
struct Directives {
    Failure *failure;
    MicrotuneScaleFile *scale;
    int referenceLine = 0;
};

// A name of NOTE_NAMES: "quoted, with \" inside" or a bare word.
bool NextName(Span &rest, char *name, std::size_t size, std::size_t *length) {
    rest = Trim(rest);
    if (rest.Empty()) return false;
    std::size_t i = 0, n = 0;
    if (rest[0] == '"') {
        for (i = 1; i < rest.length && rest[i] != '"'; ++i) {
            if (rest[i] == '\\' && i + 1 < rest.length) ++i;
            if (n + 1 < size) name[n++] = rest[i];
        }
        if (i < rest.length) ++i;  // the closing quote
    } else {
        for (; i < rest.length && !IsBlank(rest[i]); ++i)
            if (n + 1 < size) name[n++] = rest[i];
    }
    rest = {rest.text + i, rest.length - i};
    *length = n;
    return true;
}

void KeepNoteNames(Span rest, MicrotuneScaleFile *scale) {
    char name[LINE_SIZE];
    std::size_t length = 0, used = 0;
    const std::size_t room = sizeof scale->note_names;
    while (NextName(rest, name, sizeof name, &length)) {
        if (used + length + 2 > room) break;  // whole names only
        for (std::size_t i = 0; i < length; ++i)
            // A name is one line of a listing.
            scale->note_names[used++] = (name[i] == '\n' || name[i] == '\r') ? ' ' : name[i];
        scale->note_names[used++] = '\n';
    }
    scale->note_names[used] = '\0';
}

bool OnComment(void *context, const Line &line) {
    Directives &d = *static_cast<Directives *>(context);
    Span rest = After(Trim({line.text, line.length}), 1);
    const Span tag = FirstWord(rest);
    if (!tag.Is("@ABL")) return true;
    rest = After(rest, tag.length);
    const Span name = FirstWord(rest);
    rest = After(rest, name.length);
    if (name.Is("NOTE_NAMES")) {
        KeepNoteNames(rest, d.scale);
        return true;
    }
    if (!name.Is("REFERENCE_PITCH")) return true;  // ranges, source, link: for Live alone
    Span words[3];
    for (Span &word : words) {
        word = FirstWord(rest);
        rest = After(rest, word.length);
    }
    if (!IsWholeNumber(words[0]) || !IsWholeNumber(words[1]) || words[0].length > 4 ||
        words[1].length > 5 || words[1][0] == '-' || !IsDecimal(words[2], true)) {
        d.failure->At(line.number)
            .Put("REFERENCE_PITCH needs an octave, a scale degree and a frequency in Hz");
        return d.failure->Done();
    }
    const double hz = ReadDecimal(words[2]);
    if (!(hz > 0.0) || !std::isfinite(hz) || hz > 1e6) {
        d.failure->At(line.number)
            .Put("REFERENCE_PITCH frequency '")
            .Printable(words[2].text, words[2].length)
            .Put("' is not a positive number of Hz");
        return d.failure->Done();
    }
    d.scale->reference_octave = static_cast<int>(WholeValue(words[0]));
    d.scale->reference_degree = static_cast<int>(WholeValue(words[1]));
    d.scale->reference_hz = hz;
    d.referenceLine = line.number;
    return true;
}

}  // namespace

void CopyWholeCharacters(Span text, char *sink, std::size_t size) {
    std::size_t length = text.length;
    if (length > size - 1) {
        length = size - 1;
        // Back to the first byte of a character.
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    }
    std::memcpy(sink, text.text, length);
    sink[length] = '\0';
}

bool ReadScala(TextLines &lines, Failure &failure, bool ascl, MicrotuneScaleFile *scale,
               TextSink &text) {
    ScalaLines reader(lines);
    Directives directives{&failure, scale};
    if (ascl) reader.OnComment(&OnComment, &directives);
    Line line;

    if (!reader.Next(&line, false)) {
        if (reader.CommentFailed()) return false;
        failure.At(1).Put("the file is empty: no description line");
        return failure.Done();
    }
    CopyWholeCharacters(Trim({line.text, line.length}), scale->description,
                        sizeof scale->description);

    if (!reader.Next(&line, true)) {
        if (reader.CommentFailed()) return false;
        failure.At(reader.LastLine()).Put("missing note count after the description");
        return failure.Done();
    }
    const int countLine = line.number;
    const Span countText = ValueWord(Trim({line.text, line.length}));
    bool digits = !countText.Empty();
    for (std::size_t i = 0; i < countText.length; ++i) digits = digits && IsDigit(countText[i]);
    if (!digits) {
        failure.At(countLine)
            .Put("note count '")
            .Printable(countText.text, countText.length)
            .Put("' is not a whole number");
        return failure.Done();
    }
    const int count =
        countText.length > 6 ? MAX_PITCHES + 1 : static_cast<int>(WholeValue(countText));
    if (count > MAX_PITCHES) {
        failure.At(countLine)
            .Put("note count ")
            .Put(countText.text, countText.length)
            .Put(" is more than the ");
        failure.Plain().Int(MAX_PITCHES).Put(" pitches a scale can hold");
        return failure.Done();
    }
    if (count == 0) {
        failure.At(countLine).Put("note count is 0: a scale needs at least one pitch");
        return failure.Done();
    }
    // The line is gone once the next one is read: keep the count as written.
    char written[8];
    std::memcpy(written, countText.text, countText.length);
    const Span countWritten{written, countText.length};

    int pitches = 0;
    double ratios[MAX_PITCHES + 1] = {1.0};
    char value[LINE_SIZE + 2];
    while (reader.Next(&line, true)) {
        if (pitches == count) {
            failure.At(line.number)
                .Put("more pitch lines than the note count ")
                .Put(countWritten.text, countWritten.length);
            failure.Plain().Put(" on line ").Int(countLine);
            return failure.Done();
        }
        if (pitches > 0) text.Put(' ');
        if (!PitchToken(failure, line.number, PitchValue({line.text, line.length}, value), text,
                        &ratios[pitches + 1]))
            return false;
        ++pitches;
    }
    if (reader.CommentFailed()) return false;
    if (pitches < count) {
        failure.At(countLine).Put("note count is ").Put(countWritten.text, countWritten.length);
        failure.Plain()
            .Put(" but the file has ")
            .Int(pitches)
            .Put(" pitch line")
            .Put(pitches == 1 ? "" : "s");
        return failure.Done();
    }
    scale->pitches = pitches;
    if (directives.referenceLine > 0) {
        if (scale->reference_degree >= count) {
            failure.At(directives.referenceLine)
                .Put("REFERENCE_PITCH degree ")
                .Int(scale->reference_degree)
                .Put(" is not a degree of the scale (0 to ")
                .Int(count - 1)
                .Put(")");
            return failure.Done();
        }
        scale->one_one_hz = scale->reference_hz / ratios[scale->reference_degree];
    }
    return true;
}

}  // namespace mtfiles
