#include "files/kbm_reader.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace mtfiles {
namespace {

// Degrees and octave degrees beyond this reach no audible pitch, and the
// limit keeps block * octaveDegree far from overflow.
constexpr long MAX_DEGREE = 1L << 20;

// One value per line: the first word of each line that is neither a
// comment nor blank. A blank line among the values would move every later
// value up by one, so it is refused; blank lines after the last are fine.
class KbmValues {
public:
    KbmValues(TextLines &lines, Failure &failure) : reader_(lines), failure_(failure) {}

    // The next value, or false at the end of the file (or on a failure).
    bool Next(Span *value, const char *what, long entry = -1) {
        Line line;
        int blank = 0;
        if (!reader_.Next(&line, true, &blank)) return false;
        if (blank > 0 && values_ > 0) {
            TextSink &sink = failure_.At(blank).Put("blank line before ");
            if (entry >= 0)
                sink.Put("mapping entry ").Int(entry).Put(" (an unmapped key is written x)");
            else
                sink.Put("the ").Put(what).Put(" (a keyboard map has one value on every line)");
            failed_ = true;
            return failure_.Done();
        }
        ++values_;
        *value = FirstWord({line.text, line.length});
        return true;
    }

    // The next value, which must be there.
    bool Require(Span *value, const char *what, const char *name) {
        if (Next(value, name)) return true;
        if (failed_) return false;
        failure_.At(reader_.LastLine() == 0 ? 1 : reader_.LastLine()).Put("missing ").Put(what);
        return failure_.Done();
    }

    // A whole number in [low, high].
    bool Integer(Span value, const char *what, long low, long high, int *number) {
        if (!IsWholeNumber(value)) {
            failure_.At(LineNumber())
                .Put(what)
                .Put(" '")
                .Printable(value.text, value.length)
                .Put("' is not a whole number");
            return failure_.Done();
        }
        char text[32];
        const std::size_t length = value.length < sizeof text - 1 ? value.length : sizeof text - 1;
        std::memcpy(text, value.text, length);
        text[length] = '\0';
        errno = 0;
        const long n = value.length < sizeof text - 1 ? std::strtol(text, nullptr, 10) : 0;
        if (value.length >= sizeof text - 1 || errno == ERANGE || n < low || n > high) {
            failure_.At(LineNumber())
                .Put(what)
                .Put(" ")
                .Printable(value.text, value.length)
                .Put(" is not in ");
            failure_.Plain().Int(low).Put(" to ").Int(high);
            return failure_.Done();
        }
        *number = static_cast<int>(n);
        return true;
    }

    bool Key(const char *what, int *key) {
        Span value;
        return Require(&value, what, what) && Integer(value, what, 0, 127, key);
    }

    int LineNumber() const { return reader_.LineNumber(); }
    bool Failed() const { return failed_; }
    Failure &Fail() { return failure_; }

private:
    ScalaLines reader_;
    Failure &failure_;
    int values_ = 0;
    bool failed_ = false;
};

bool ReadReferenceHz(KbmValues &values, MicrotuneKeyboardMap *map) {
    Span hz;
    if (!values.Require(&hz, "reference frequency", "reference frequency")) return false;
    const double value = IsDecimal(hz, true) ? ReadDecimal(hz) : 0.0;
    if (!(value > 0.0) || !std::isfinite(value)) {
        values.Fail()
            .At(values.LineNumber())
            .Put("reference frequency '")
            .Printable(hz.text, hz.length);
        values.Fail().Plain().Put("' is not a positive number of Hz");
        return values.Fail().Done();
    }
    if (value < LOWEST_REFERENCE_HZ || value > HIGHEST_REFERENCE_HZ) {
        values.Fail()
            .At(values.LineNumber())
            .Put("reference frequency ")
            .Printable(hz.text, hz.length);
        values.Fail().Plain().Put(
            " Hz is out of range 8.1758 to 13289.66 Hz (what MIDI keys can "
            "be tuned to)");
        return values.Fail().Done();
    }
    map->reference_hz = value;
    return true;
}

}  // namespace

bool ReadKbm(TextLines &lines, Failure &failure, MicrotuneKeyboardMap *map) {
    KbmValues values(lines, failure);
    Span value;
    if (!values.Require(&value, "the size of the mapping pattern", "mapping size") ||
        !values.Integer(value, "mapping size", 0, MICROTUNE_MAX_MAP_SIZE, &map->size))
        return false;
    const int sizeLine = values.LineNumber();
    if (!values.Key("first key", &map->first_key) || !values.Key("last key", &map->last_key))
        return false;
    if (map->last_key < map->first_key) {
        failure.At(values.LineNumber())
            .Put("last key ")
            .Int(map->last_key)
            .Put(" is below the first key ");
        failure.Plain().Int(map->first_key);
        return failure.Done();
    }
    if (!values.Key("middle key", &map->middle_key) ||
        !values.Key("reference key", &map->reference_key))
        return false;
    map->reference_line = values.LineNumber();
    if (!ReadReferenceHz(values, map)) return false;
    if (!values.Require(&value, "formal octave degree", "formal octave degree") ||
        !values.Integer(value, "formal octave degree", -MAX_DEGREE, MAX_DEGREE,
                        &map->octave_degree))
        return false;

    int entries = 0;
    while (values.Next(&value, "mapping entry", entries)) {
        if (entries == map->size) {
            failure.At(values.LineNumber())
                .Put("more mapping entries than the size ")
                .Int(map->size);
            failure.Plain().Put(" on line ").Int(sizeLine);
            return failure.Done();
        }
        if (value.Is("x") || value.Is("X")) {
            map->mapping[entries++] = MICROTUNE_UNMAPPED;
            continue;
        }
        for (std::size_t i = 0; i < value.length; ++i) {
            if (IsDigit(value[i]) || value[i] == '+' || value[i] == '-') continue;
            failure.At(values.LineNumber())
                .Put("mapping entry '")
                .Printable(value.text, value.length);
            failure.Plain().Put("' is neither a degree nor x");
            return failure.Done();
        }
        if (!values.Integer(value, "mapping entry", -MAX_DEGREE, MAX_DEGREE,
                            &map->mapping[entries++]))
            return false;
    }
    if (values.Failed()) return false;
    // Entries the file leaves out are silent keys.
    for (int j = entries; j < map->size; ++j) map->mapping[j] = MICROTUNE_UNMAPPED;
    return true;
}

}  // namespace mtfiles
