// Scale table, the 1/1, the default scale and the ratio of a degree.
#include "tuning/scale_table.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "microtune.h"
#include "microtune_ext.h"
#include "state/library_lock.h"
#include "state/state.h"
#include "tuning/log_exp.h"

namespace mt {

namespace {

// The default 1/1 is MIDI note 60 in 12-TET with A4 = 440 Hz.
double Default1o1Hz() { return 440.0 * ClampedExp(LN2 * (dDefault1o1MidiNote - 69.0) / 12.0); }

// The logarithm of the last period seen: every degree of a scale beyond the
// first period asks for the same one.
double lastPeriod = 1.0, lastLogPeriod = 0.0;

double LogPeriod(double period) {
    if (period != lastPeriod) {
        lastLogPeriod = Log(period);
        lastPeriod = period;
    }
    return lastLogPeriod;
}

// Powers of the period already worked out, by the power's exponent modulo
// 16: the degrees of a scale share a few dozen powers between them.
struct PeriodPower {
    uint64_t argumentBits;
    double value;
};
PeriodPower periodPowers[16] = {};

double PowerOfPeriod(int64_t q, double logPeriod) {
    const double argument = static_cast<double>(q) * logPeriod;
    uint64_t bits;
    std::memcpy(&bits, &argument, sizeof bits);
    PeriodPower &entry = periodPowers[q & 15];
    // Zero bits mark an empty entry, so an argument of +0 is worked out anew.
    if (bits == 0 || entry.argumentBits != bits) {
        entry.argumentBits = bits;
        entry.value = ClampedExp(argument);
    }
    return entry.value;
}

}  // namespace

const double DEFAULT_1O1_HZ = Default1o1Hz();

double ClampedExp(double x) {
    if (x > 308.0)
        x = 308.0;
    else if (x < -308.0)
        x = -308.0;
    return Exp(x);
}

bool IsUnset1o1(double hz) { return hz == 0.0 || std::isnan(hz); }

double DefaultScaleStep() { return ClampedExp(LN2 / 12.0); }

void InstallDefaultScale() {
    if (IsUnset1o1(d1o1Hz)) d1o1Hz = DEFAULT_1O1_HZ;
    ScaleTable.nScaleNotes = 2;
    ScaleTable.ratios[0] = 1.0;
    ScaleTable.ratios[1] = DefaultScaleStep();
    bScaleInstalled = 1;
    TuningChanged();
}

void TuningChanged() {
    // After 2^32 changes a stamp could come round again: empty every entry
    // first, so that only entries filled from now on match.
    if (++nTuningVersion == 0) {
        std::memset(DegreePitches, 0, sizeof DegreePitches);
        nTuningVersion = 1;
    }
}

namespace {

bool IsSeries(const double *ratios, int count) {
    return count > 0 && std::fabs(ratios[0] - 1.0) > 0.00001;
}

}  // namespace

double RatioForScaleDegree(const double *ratios, int count, int degree) {
    const double ratio = DegreeRuleRatio(ratios, count, degree);
    // A degree of a series whose ratio would not be positive and finite
    // falls back to the 1/1.
    if (IsSeries(ratios, count) && (!(ratio > 0.0) || !std::isfinite(ratio))) return 1.0;
    return ratio;
}

double DegreeRuleRatio(const double *ratios, int count, int degree) {
    if (count <= 0) return 1.0;

    if (IsSeries(ratios, count)) {
        // Linear rule: 1 + k*s upward, 1/(1 + |k|*s) downward.
        const double s = ratios[0] - 1.0;
        const double k = static_cast<double>(degree);
        if (degree == 0) return 1.0;
        if (degree > 0) return 1.0 + k * s;
        return 1.0 / (1.0 + -k * s);
    }

    if (count == 1) return 1.0;

    const double period = ratios[count - 1];
    const int64_t m = count - 1;
    const int64_t k = degree;  // 64-bit so that the most negative int splits too
    int64_t q, r;
    if (k >= 0) {
        q = k / m;
        r = k % m;
    } else {
        q = k / m - 1;
        r = m - ((-k) % m);
    }
    if (q == 0) return ratios[r];
    const double logPeriod = LogPeriod(period < 1e-50 ? 1e-50 : period);
    return PowerOfPeriod(q, logPeriod) * ratios[r];
}

}  // namespace mt

extern "C" {

MICROTUNE_EXPORT void MICROTUNE_API Set1o1(double hz) {
    mt::ExportLock lock;
    if (!lock) return;
    mt::d1o1Hz = mt::IsUnset1o1(hz) ? mt::DEFAULT_1O1_HZ : hz;
}

MICROTUNE_EXPORT int MICROTUNE_API GetnScaleNotes(void) {
    mt::ExportLock lock;
    if (!lock) return 0;
    return mt::ScaleTable.nScaleNotes;
}

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneRatioForScaleDegree(const double *ratios, int count,
                                                                 int degree, double *ratio) {
    mt::ExportLock lock;  // the period's logarithm and powers are remembered
    if (!lock) return -1;
    if (!ratio || (count > 0 && !ratios)) return 0;
    if (count > mt::MAX_SCALE_ENTRIES) count = mt::MAX_SCALE_ENTRIES;
    *ratio = mt::DegreeRuleRatio(ratios, count, degree);
    return *ratio > 0.0 && std::isfinite(*ratio) ? 1 : 0;
}

}  // extern "C"
