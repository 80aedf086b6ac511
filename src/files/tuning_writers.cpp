// Writing a tuning as .scl, .ascl, .kbm and .tun text, each readable by the
// readers here and by the programs each format is for.
#include <cmath>
#include <cstring>

#include "files/kbm_reader.h"
#include "files/scale_text_check.h"
#include "files/tun_reader.h"
#include "microtune_files.h"
#include "tuning/log_exp.h"

namespace {

using namespace mtfiles;

double Cents(double ratio) { return 1200.0 * mt::Log(ratio) / mt::LN2; }

// One line of text from a caller: control characters as '?', and no '!' at
// its start, which would make a description line a comment.
void PutLine(TextSink &sink, const char *text) {
    for (const char *c = text ? text : ""; *c; ++c) {
        const unsigned char u = static_cast<unsigned char>(*c);
        sink.Put(u < 0x20 || u == 0x7f || (c == text && u == '!') ? '?' : *c);
    }
    sink.Put('\n');
}

// A value of a scale text as a Scala pitch: ratios of whole numbers and
// cents as written, anything else as cents.
void PutPitch(TextSink &sink, Span word, bool asCents) {
    std::size_t slash = 0;
    while (slash < word.length && word[slash] != '/') ++slash;
    const bool dot = std::memchr(word.text, '.', word.length) != nullptr;
    const bool power = word.length > 2 && word[0] == 'n' && word[1] == '(';
    const auto unsigned_ = [](Span s) {
        return (s.length > 0 && (s[0] == '+' || s[0] == '-')) ? Span{s.text + 1, s.length - 1} : s;
    };
    sink.Put(' ');
    if (!power && !asCents) {
        const Span a{word.text, slash};
        if (slash < word.length) {
            const Span b{word.text + slash + 1, word.length - slash - 1};
            if (IsWholeNumber(a) && IsWholeNumber(b)) {
                const Span ua = unsigned_(a), ub = unsigned_(b);
                sink.Put(ua.text, ua.length).Put('/').Put(ub.text, ub.length).Put('\n');
                return;
            }
        } else if (IsWholeNumber(word)) {
            const Span u = unsigned_(word);
            sink.Put(u.text, u.length).Put('\n');
            return;
        } else if (dot && IsDecimal(word, false)) {
            sink.Put(word.text, word.length).Put('\n');
            return;
        }
    }
    if (asCents && dot && IsDecimal(word, false)) {
        sink.Put(word.text, word.length).Put('\n');
        return;
    }
    // The value as the checker read it.
    Span text = power ? Span{word.text + 2, word.length - 2} : word;
    if (power && text.length > 0 && text[text.length - 1] == ')') --text.length;
    double value = 0.0, b = 1.0;
    if (slash < word.length) {
        std::size_t at = 0;
        while (text[at] != '/') ++at;
        Number({text.text, at}, &value);
        Number({text.text + at + 1, text.length - at - 1}, &b);
        value /= b;
    } else {
        Number(text, &value);
    }
    const double cents = power ? 1200.0 * value : asCents || dot ? value : Cents(value);
    sink.Decimal(cents, 9).Put('\n');
}

// The pitches of a checked scale text as the lines of a Scala file.
int PutScalaBody(TextSink &sink, const char *scaleText, const char *description, Failure &failure) {
    char problem[MICROTUNE_MESSAGE_SIZE];
    if (!scaleText || !MicrotuneCheckScaleText(scaleText, problem, sizeof problem)) {
        failure.Plain().Put("scale text, ").Put(scaleText ? problem : "none given");
        failure.Done();
        return -1;
    }
    int values = 0;
    Span word{}, next{};
    for (std::size_t at = 0; NextWord(scaleText, &at, &word);) {
        if (word.Is("h")) {
            failure.Plain().Put(
                "the scale is a series (h), which has no Scala form: give its values");
            failure.Done();
            return -1;
        }
        if (!IsCentsKeyword(word)) ++values;
    }
    if (values == 0) {
        failure.Plain().Put("the scale text has no pitch besides the 1/1");
        failure.Done();
        return -1;
    }
    PutLine(sink, description);
    sink.Put(' ').Int(values).Put("\n!\n");
    for (std::size_t at = 0; NextWord(scaleText, &at, &word);) {
        if (IsCentsKeyword(word)) continue;
        std::size_t after = at;
        PutPitch(sink, word, NextWord(scaleText, &after, &next) && IsCentsKeyword(next));
    }
    return values;
}

int Finished(TextSink &sink) {
    sink.Finish();
    return sink.Length();
}

// Whether a frequency can be a .kbm reference as the reader takes it.
bool IsReferenceHz(double hz) { return hz >= LOWEST_REFERENCE_HZ && hz <= HIGHEST_REFERENCE_HZ; }

}  // namespace

extern "C" {

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneWriteScala(const char *scaleText,
                                                        const char *description, char *sink,
                                                        int outSize, char *error, int errorSize) {
    Failure failure(error, errorSize, nullptr);
    TextSink text(sink, outSize);
    text.Put("! written by microtune\n");
    if (PutScalaBody(text, scaleText, description, failure) < 0) return -1;
    return Finished(text);
}

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneWriteAscl(const char *scaleText,
                                                       const char *description, double oneOneHz,
                                                       int referenceOctave, const char *noteNames,
                                                       char *sink, int outSize, char *error,
                                                       int errorSize) {
    Failure failure(error, errorSize, nullptr);
    TextSink text(sink, outSize);
    text.Put("! written by microtune\n");
    if (oneOneHz > 0.0 && std::isfinite(oneOneHz)) {
        text.Put("! @ABL REFERENCE_PITCH ").Int(referenceOctave).Put(" 0 ");
        text.Decimal(oneOneHz, 9).Put('\n');
    }
    if (noteNames && *noteNames) {
        text.Put("! @ABL NOTE_NAMES");
        for (const char *name = noteNames; *name;) {
            text.Put(" \"");
            for (; *name && *name != '\n'; ++name) {
                if (*name == '"' || *name == '\\') text.Put('\\');
                text.Put(static_cast<unsigned char>(*name) < 0x20 ? '?' : *name);
            }
            text.Put('"');
            if (*name == '\n') ++name;
        }
        text.Put('\n');
    }
    if (PutScalaBody(text, scaleText, description, failure) < 0) return -1;
    return Finished(text);
}

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneWriteKeyboardMap(const MicrotuneKeyboardMap *map,
                                                              const MicrotuneKeyTable *table,
                                                              char *sink, int outSize, char *error,
                                                              int errorSize) {
    Failure failure(error, errorSize, nullptr);
    if (!map || !table || map->size < 0 || map->size > MICROTUNE_MAX_MAP_SIZE) {
        failure.Plain().Put("no keyboard map or key table to write");
        return failure.Done(), -1;
    }
    // The map's reference when the reader takes it, else the first key from
    // the middle outwards that plays a pitch a reference can have.
    int reference = map->reference_key;
    double hz = map->reference_hz;
    for (int d = 0; !IsReferenceHz(hz) && d < 2 * MICROTUNE_KEYS; ++d) {
        const int key = map->middle_key + (d % 2 ? -(d + 1) / 2 : d / 2);
        if (key < 0 || key >= MICROTUNE_KEYS || table->keys[key].degree == MICROTUNE_UNMAPPED)
            continue;
        reference = key;
        hz = table->keys[key].hz;
    }
    if (!IsReferenceHz(hz)) {
        failure.Plain().Put(
            "no mapped key sounds between 8.1758 and 13289.66 Hz, the range of a .kbm reference");
        return failure.Done(), -1;
    }
    TextSink text(sink, outSize);
    text.Put("! written by microtune\n! Size of map:\n").Int(map->size);
    text.Put("\n! First MIDI note number to retune:\n").Int(map->first_key);
    text.Put("\n! Last MIDI note number to retune:\n").Int(map->last_key);
    text.Put("\n! Middle note where the first entry of the mapping is mapped to:\n")
        .Int(map->middle_key);
    text.Put("\n! Reference note for which frequency is given:\n").Int(reference);
    text.Put("\n! Frequency to tune the above note to:\n").Decimal(hz, 9);
    text.Put("\n! Scale degree to consider as formal octave:\n").Int(map->octave_degree);
    text.Put("\n! Mapping.\n");
    for (int j = 0; j < map->size; ++j) {
        if (map->mapping[j] == MICROTUNE_UNMAPPED)
            text.Put("x\n");
        else
            text.Int(map->mapping[j]).Put('\n');
    }
    return Finished(text);
}

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneWriteTun(const MicrotuneKeyTable *table,
                                                      const char *description, char *sink,
                                                      int outSize) {
    TextSink text(sink, outSize);
    if (!table) return -1;
    text.Put("; ");
    PutLine(text, description);
    text.Put(
        "; written by microtune: the frequency of each MIDI key, in cents above MIDI key 0 "
        "in 12-TET\n");
    double cents[MICROTUNE_KEYS];
    for (int key = 0; key < MICROTUNE_KEYS; ++key) {
        const double hz = table->keys[key].hz;
        cents[key] = hz > 0.0 && std::isfinite(hz) ? Cents(hz / TUN_BASE_HZ) : 100.0 * key;
    }
    // Whole cents for programs that read only the first version's table.
    text.Put("\n[Tuning]\n");
    for (int key = 0; key < MICROTUNE_KEYS; ++key)
        text.Put("note ").Int(key).Put('=').Int(std::llround(cents[key])).Put('\n');
    text.Put("\n[Exact Tuning]\nbasefreq=").Number(TUN_BASE_HZ, 16).Put('\n');
    for (int key = 0; key < MICROTUNE_KEYS; ++key)
        text.Put("note ").Int(key).Put('=').Number(cents[key], 6).Put('\n');
    return Finished(text);
}

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneScaleOfKeys(const double keyHz[MICROTUNE_KEYS],
                                                         char *sink, int outSize,
                                                         MicrotuneKeyboardMap *map) {
    if (!keyHz || !map) return -1;
    double cents[MICROTUNE_KEYS];
    for (int key = 0; key < MICROTUNE_KEYS; ++key) {
        if (!(keyHz[key] > 0.0) || !std::isfinite(keyHz[key])) return -1;
        cents[key] = Cents(keyHz[key] / keyHz[0]);
    }
    // The period of an octave when the keys have one, else the shortest,
    // with two repeats at least.
    constexpr double TOLERANCE = 0.00001;
    int period = 0;
    for (int octave = 1; octave >= 0 && period == 0; --octave) {
        for (int n = 1; n <= MICROTUNE_KEYS / 2 && period == 0; ++n) {
            const double step = cents[n] - cents[0];
            bool repeats = octave ? std::fabs(step - 1200.0) < TOLERANCE : step > TOLERANCE;
            for (int k = 0; repeats && k + n < MICROTUNE_KEYS; ++k)
                repeats = std::fabs(cents[k + n] - cents[k] - step) < TOLERANCE;
            if (repeats) period = n;
        }
    }
    const int from = period ? 60 : 0, steps = period ? period : MICROTUNE_KEYS - 1;
    TextSink text(sink, outSize);
    for (int j = 1; j <= steps; ++j) {
        if (j > 1) text.Put(' ');
        text.Decimal(cents[from + j] - cents[from], 6);
    }
    text.Finish();
    MicrotuneLinearKeyboardMap(from, map);
    map->reference_hz = keyHz[from];
    if (text.Length() >= outSize) return -1;
    return period;
}

}  // extern "C"
