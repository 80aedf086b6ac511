#include "files/tun_reader.h"

#include <cmath>
#include <cstdlib>

#include "files/scala_reader.h"
#include "tuning/log_exp.h"

namespace mtfiles {
namespace {

// Cents beyond this leave every frequency a double can hold.
constexpr double MAX_CENTS = 100000.0;

enum Section { OTHER, TUNING, EXACT, INFO };

struct Key {
    double cents = 0.0, base = TUN_BASE_HZ;
    int line[2] = {0, 0};  // where [Tuning] and [Exact Tuning] set it
};

bool ReadValue(Failure &failure, int line, Span value, const char *what, double *number) {
    if (IsDecimal(value, true)) {
        *number = ReadDecimal(value);
        if (std::fabs(*number) <= MAX_CENTS) return true;
    }
    failure.At(line)
        .Put(what)
        .Put(" '")
        .Printable(value.text, value.length)
        .Put("' is not a value in cents");
    return failure.Done();
}

// "note N" with N a key.
bool NoteKey(Failure &failure, int line, Span name, int *key) {
    const Span number = After(name, 4);
    if (!IsWholeNumber(number) || number[0] == '+' || number[0] == '-' || number.length > 3 ||
        WholeValue(number) > 127) {
        failure.At(line)
            .Put("'")
            .Printable(name.text, name.length)
            .Put("' is not a key: notes are 0 to 127");
        return failure.Done();
    }
    *key = static_cast<int>(WholeValue(number));
    return true;
}

// The line without a ';' comment at its end.
Span WithoutComment(Span text) {
    for (std::size_t i = 0; i < text.length; ++i)
        if (text[i] == ';') return Trim({text.text, i});
    return Trim(text);
}

}  // namespace

bool ReadTun(TextLines &lines, Failure &failure, MicrotuneScaleFile *scale, TextSink &text) {
    Key keys[MICROTUNE_KEYS];
    for (int k = 0; k < MICROTUNE_KEYS; ++k) keys[k].cents = 100.0 * k;
    double exactBase = TUN_BASE_HZ;
    Section section = OTHER;
    bool tables = false;
    Line line;
    while (lines.Next(&line)) {
        const Span text = WithoutComment({line.text, line.length});
        if (text.Empty()) continue;
        if (text[0] == '[') {
            const Span name =
                Trim({text.text + 1, text.length - (text[text.length - 1] == ']' ? 2 : 1)});
            if (name.IsIgnoringCase("Functional Tuning")) {
                failure.At(line.number)
                    .Put(
                        "[Functional Tuning] (AnaMark version 2) is not read: microtune reads "
                        "the 128 keys of [Tuning] or [Exact Tuning]");
                return failure.Done();
            }
            section = name.IsIgnoringCase("Tuning")         ? TUNING
                      : name.IsIgnoringCase("Exact Tuning") ? EXACT
                      : name.IsIgnoringCase("Info")         ? INFO
                                                            : OTHER;
            tables = tables || section == TUNING || section == EXACT;
            continue;
        }
        if (section == OTHER) continue;
        std::size_t equals = 0;
        while (equals < text.length && text[equals] != '=') ++equals;
        const Span name = Trim({text.text, equals});
        const Span value = After(text, equals + 1);
        if (section == INFO) {
            if (name.IsIgnoringCase("Name") && equals < text.length) {
                Span quoted = value;
                if (quoted.length >= 2 && quoted[0] == '"' && quoted[quoted.length - 1] == '"')
                    quoted = {quoted.text + 1, quoted.length - 2};
                CopyWholeCharacters(quoted, scale->description, sizeof scale->description);
            }
            continue;
        }
        if (equals == text.length) {
            failure.At(line.number)
                .Put("'")
                .Printable(text.text, text.length)
                .Put("' is not a setting (name = value)");
            return failure.Done();
        }
        if (section == EXACT && name.IsIgnoringCase("BaseFreq")) {
            if (!IsDecimal(value, true) || !(ReadDecimal(value) > 0.0) ||
                ReadDecimal(value) > 1e6) {
                failure.At(line.number)
                    .Put("basefreq '")
                    .Printable(value.text, value.length)
                    .Put("' is not a positive number of Hz");
                return failure.Done();
            }
            exactBase = ReadDecimal(value);
            continue;
        }
        if (name.length < 5 || !Span{name.text, 4}.IsIgnoringCase("note") || !IsBlank(name[4]))
            continue;  // settings of other programs
        int key = 0;
        double cents = 0.0;
        if (!NoteKey(failure, line.number, name, &key) ||
            !ReadValue(failure, line.number, value, "note value", &cents))
            return false;
        int &seen = keys[key].line[section == EXACT];
        if (seen > 0) {
            failure.At(line.number).Put("note ").Int(key).Put(" is given twice in this section ");
            failure.Plain().Put("(line ").Int(seen).Put(")");
            return failure.Done();
        }
        seen = line.number;
        // [Exact Tuning] wins over [Tuning], whichever comes first.
        if (section == EXACT || keys[key].line[1] == 0) keys[key].cents = cents;
    }
    if (!tables) {
        failure.At(lines.Count() > 0 ? lines.Count() : 1)
            .Put("no [Tuning] or [Exact Tuning] section: not an AnaMark tuning file");
        return failure.Done();
    }
    for (int k = 0; k < MICROTUNE_KEYS; ++k) {
        if (keys[k].line[1] > 0) keys[k].base = exactBase;
        scale->key_hz[k] = keys[k].base * mt::Exp(keys[k].cents * mt::LN2 / 1200.0);
    }
    // Cents from key 0, which is the 1/1. Keys on one base subtract exactly.
    for (int k = 1; k < MICROTUNE_KEYS; ++k) {
        double cents = keys[k].cents - keys[0].cents;
        if (keys[k].base != keys[0].base)
            cents += 1200.0 * mt::Log(keys[k].base / keys[0].base) / mt::LN2;
        if (k > 1) text.Put(' ');
        text.Decimal(cents, 10);
    }
    scale->pitches = MICROTUNE_KEYS - 1;
    scale->full_keyboard = 1;
    scale->one_one_hz = scale->key_hz[0];
    return true;
}

}  // namespace mtfiles
