// What each MIDI key plays: a keyboard map applied to a scale, giving each
// key its degree, its frequency, the note and bend the library sends for it
// and its MIDI Tuning Standard data.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "files/text_sink.h"
#include "microtune_ext.h"
#include "microtune_files.h"
#include "notes/choose_channel.h"
#include "tuning/log_exp.h"
#include "tuning/scale_table.h"

namespace {

constexpr int MTS_FRACTIONS = 16384;  // steps per semitone
// Steps of 1/16384 semitone from key 0: the largest is 7F 7F 7E.
constexpr int64_t HIGHEST_STEP = 127 * int64_t{MTS_FRACTIONS} + MTS_FRACTIONS - 2;

double Log2(double x) { return mt::Log(x) / mt::LN2; }

// floor(a / b) for b > 0.
int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Whether a ratio names a pitch: positive, finite, and short of where the
// library caps powers of a period (about 1e+-133) by far.
bool IsUsableRatio(double ratio) { return ratio > 1e-100 && ratio < 1e100; }

bool IsSeries(const double *ratios, int count) {
    return count > 0 && std::fabs(ratios[0] - 1.0) > 0.00001;
}

// The start of a message about the map: "NAME:LINE: " or "NAME: ".
mtfiles::TextSink &About(mtfiles::Failure &failure, int line) {
    return failure.Name() ? failure.At(line) : failure.Plain();
}

}  // namespace

extern "C" {

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneScaleSize(const double *ratios, int count) {
    if (!ratios || count < 2 || std::fabs(ratios[0] - 1.0) > 0.00001) return 0;
    if (count == 2 && ratios[1] > 1.0) {
        // Within a hundredth of a cent over the octave: cents written to
        // three decimals still count.
        const double stepCents = 1200.0 * Log2(ratios[1]);
        const double whole = std::round(1200.0 / stepCents);
        if (whole >= 1.0 && whole <= MICROTUNE_MAX_MAP_SIZE &&
            std::fabs(whole * stepCents - 1200.0) < 0.01)
            return static_cast<int>(whole);
    }
    return count - 1;
}

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneKeyDegree(const MicrotuneKeyboardMap *map, int key,
                                                       int scaleSize) {
    if (!map || key < map->first_key || key > map->last_key) return MICROTUNE_UNMAPPED;
    const int i = key - map->middle_key;
    if (map->size <= 0) return i;
    if (map->size > MICROTUNE_MAX_MAP_SIZE) return MICROTUNE_UNMAPPED;
    const int block = FloorDiv(i, map->size);
    const int entry = map->mapping[i - block * map->size];
    if (entry == MICROTUNE_UNMAPPED) return MICROTUNE_UNMAPPED;
    const int octave = map->octave_degree != 0 ? map->octave_degree : scaleSize;
    return block * octave + entry;
}

MICROTUNE_EXPORT void MICROTUNE_CAPI MicrotuneLinearKeyboardMap(int rootKey,
                                                                MicrotuneKeyboardMap *map) {
    if (!map) return;
    std::memset(map, 0, sizeof *map);
    map->last_key = 127;
    map->middle_key = rootKey;
    map->reference_key = rootKey;
}

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneMtsFrequency(double hz, unsigned char data[3]) {
    int range = 0;
    int64_t step = 0;
    // Rounded to the step first, so that a fraction that rounds up to a whole
    // semitone carries into the note instead of reading 16384.
    const double semitones = hz > 0.0 ? 69.0 + 12.0 * Log2(hz / 440.0) : 0.0;
    if (!(hz > 0.0) || semitones * MTS_FRACTIONS < -0.5) {
        range = -1;
    } else if (!(semitones * MTS_FRACTIONS < HIGHEST_STEP + 0.5)) {
        range = 1;
        step = HIGHEST_STEP;
    } else {
        step = std::llround(semitones * MTS_FRACTIONS);
    }
    if (data) {
        const int fraction = static_cast<int>(step % MTS_FRACTIONS);
        data[0] = static_cast<unsigned char>(step / MTS_FRACTIONS);
        data[1] = static_cast<unsigned char>(fraction >> 7);
        data[2] = static_cast<unsigned char>(fraction & 0x7F);
    }
    return range;
}

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneMakeKeyTable(const double *ratios, int count,
                                                          const MicrotuneKeyboardMap *map,
                                                          const char *mapName, double oneOneHz,
                                                          MicrotuneKeyTable *table, char *error,
                                                          int errorSize) {
    mtfiles::Failure failure(error, errorSize, mapName);
    if (!table || (count > 0 && !ratios)) {
        failure.Plain().Put("no table to fill");
        return failure.Done();
    }
    // The library's default scale stands in for none.
    const double defaults[2] = {1.0, mt::DefaultScaleStep()};
    if (count <= 0) ratios = defaults, count = 2;
    MicrotuneKeyboardMap linear;
    if (!map) {
        MicrotuneLinearKeyboardMap(60, &linear);
        map = &linear;
    }
    std::memset(table, 0, sizeof *table);
    table->scale_size = MicrotuneScaleSize(ratios, count);
    bool outside = false;
    const auto ratioOf = [&](int degree) {
        double ratio = 1.0;
        if (MicrotuneRatioForScaleDegree(ratios, count, degree, &ratio) < 0) outside = true;
        return ratio;
    };

    const bool reference = map->reference_hz > 0.0;
    table->one_one_hz = oneOneHz > 0.0 ? oneOneHz : mt::DEFAULT_1O1_HZ;
    if (map->size > 0 && map->octave_degree == 0 && table->scale_size == 0) {
        About(failure, 0)
            .Put(
                "the formal octave degree is 0 (the scale's size), but the scale has no period: "
                "give "
                "the octave degree in the file");
        return failure.Done();
    }
    if (reference) {
        const int key = map->reference_key, line = map->reference_line;
        if (key < map->first_key || key > map->last_key) {
            About(failure, line)
                .Put("reference key ")
                .Int(key)
                .Put(" is outside the retuned keys ");
            failure.Plain().Int(map->first_key).Put(" to ").Int(map->last_key);
            return failure.Done();
        }
        const int degree = MicrotuneKeyDegree(map, key, table->scale_size);
        if (degree == MICROTUNE_UNMAPPED) {
            About(failure, line).Put("reference key ").Int(key).Put(" is unmapped (x)");
            return failure.Done();
        }
        const double ratio = ratioOf(degree);
        table->one_one_hz = map->reference_hz / ratio;
        // 0 Hz would read as "no 1/1 given" further on: an overflowing
        // ratio must not pass for the default.
        if (!outside && (!IsUsableRatio(ratio) || !(table->one_one_hz > 0.0) ||
                         !std::isfinite(table->one_one_hz))) {
            About(failure, line).Put("reference key ").Int(key).Put(" plays degree ").Int(degree);
            failure.Plain().Put(", which has no usable ratio in the scale");
            return failure.Done();
        }
    }
    const bool series = IsSeries(ratios, count);
    for (int key = 0; key < MICROTUNE_KEYS; ++key) {
        MicrotuneKey &entry = table->keys[key];
        entry.degree = MicrotuneKeyDegree(map, key, table->scale_size);
        if (entry.degree == MICROTUNE_UNMAPPED) {
            // Unmapped keys keep their 12-TET pitch.
            entry.hz = 440.0 * mt::Exp((key - 69) * mt::LN2 / 12.0);
            entry.note = entry.bend = -1;
            ++table->unmapped;
        } else {
            const double ratio = ratioOf(entry.degree);
            entry.hz = table->one_one_hz * ratio;
            if (reference && !outside &&
                (!IsUsableRatio(ratio) || !(entry.hz > 0.0) || !std::isfinite(entry.hz))) {
                About(failure, 0).Put("key ").Int(key).Put(" plays degree ").Int(entry.degree);
                failure.Plain()
                    .Put(", whose frequency is out of range (formal octave degree ")
                    .Int(map->octave_degree)
                    .Put(")");
                return failure.Done();
            }
            // A degree of a series without a pitch plays the 1/1.
            const bool pitch = ratio > 0.0 && std::isfinite(ratio);
            mt::NoteAndBend(table->one_one_hz * (series && !pitch ? 1.0 : ratio), &entry.note,
                            &entry.bend);
        }
        entry.mts_range = MicrotuneMtsFrequency(entry.hz, entry.mts);
    }
    if (outside) {
        failure.Plain().Put("called from inside the message tap");
        failure.Done();
        return -1;
    }
    return 1;
}

}  // extern "C"
