// The logarithm and exponential as the core first computed them, slowly:
// each result worked out to about 100 bits in double-double arithmetic and
// rounded once. The core's fast versions must give the same bits.
#ifndef MICROTUNE_TESTS_REFERENCE_LOG_EXP_H
#define MICROTUNE_TESTS_REFERENCE_LOG_EXP_H

#include <cmath>
#include <limits>

namespace reference {

namespace {

// An unevaluated sum hi + lo with |lo| at most half an ulp of hi.
struct Double2 {
    double hi, lo;
};

Double2 TwoSum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// Needs |a| >= |b|.
Double2 FastTwoSum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

// The exact product, by Dekker's splitting into 26-bit halves.
Double2 TwoProduct(double a, double b) {
    const double splitter = 134217729.0;  // 2^27 + 1
    const double ta = splitter * a, tb = splitter * b;
    const double ah = ta - (ta - a), al = a - ah;
    const double bh = tb - (tb - b), bl = b - bh;
    const double p = a * b;
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

Double2 Add(Double2 a, Double2 b) {
    Double2 s = TwoSum(a.hi, b.hi);
    const Double2 t = TwoSum(a.lo, b.lo);
    s = FastTwoSum(s.hi, s.lo + t.hi);
    return FastTwoSum(s.hi, s.lo + t.lo);
}

Double2 Multiply(Double2 a, Double2 b) {
    const Double2 p = TwoProduct(a.hi, b.hi);
    return FastTwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

Double2 Multiply(Double2 a, double b) {
    const Double2 p = TwoProduct(a.hi, b);
    return FastTwoSum(p.hi, p.lo + a.lo * b);
}

Double2 Divide(Double2 a, double b) {
    const double q = a.hi / b;
    const Double2 p = TwoProduct(q, b);
    return FastTwoSum(q, (((a.hi - p.hi) - p.lo) + a.lo) / b);
}

// ln 2 to 107 bits.
const Double2 LN2 = {0x1.62e42fefa39efp-1, 0x1.abc9e3b39803fp-56};

// e^x as mantissa * 2^scale, mantissa in double-double near 1, for finite
// x with |x| < 800.
Double2 ExpParts(double x, int *scale) {
    // x = k ln 2 + r with |r| <= ln 2 / 2 (about), r to double-double.
    const double k = std::floor(x / LN2.hi + 0.5);
    const Double2 r = Add({x, 0.0}, Multiply(LN2, -k));
    // e^r = (e^(r/1024))^1024; e^(r/1024) - 1 by its Taylor series, then
    // ten squarings in the form (1 + m)^2 - 1 = m (2 + m).
    const Double2 s = {r.hi / 1024.0, r.lo / 1024.0};
    Double2 m = {1.0, 0.0};
    for (int n = 10; n >= 2; --n) m = Add({1.0, 0.0}, Divide(Multiply(m, s), n));
    m = Multiply(m, s);
    for (int i = 0; i < 10; ++i) m = Multiply(m, Add({2.0, 0.0}, m));
    *scale = static_cast<int>(k);
    return Add({1.0, 0.0}, m);
}

}  // namespace

inline double Exp(double x) {
    if (std::isnan(x)) return x;
    if (x > 710.0) return std::numeric_limits<double>::infinity();
    if (x < -746.0) return 0.0;
    int scale;
    const Double2 mantissa = ExpParts(x, &scale);
    return std::ldexp(mantissa.hi, scale);
}

inline double Log(double x) {
    if (std::isnan(x)) return x;
    if (x < 0.0) return -std::numeric_limits<double>::quiet_NaN();
    if (x == 0.0) return -std::numeric_limits<double>::infinity();
    if (std::isinf(x)) return x;

    // x = m 2^e with m in [sqrt(1/2), sqrt(2)).
    int e;
    double m = std::frexp(x, &e);
    if (m < 0.70710678118654752) {
        m *= 2.0;
        --e;
    }
    // A first value from ln m = 2 atanh((m - 1) / (m + 1)), good to a few
    // ulps; |s| < 0.172, so 13 terms reach below 2^-60.
    const double s = (m - 1.0) / (m + 1.0), s2 = s * s;
    double sum = 0.0;
    for (int n = 25; n >= 1; n -= 2) sum = 1.0 / n + s2 * sum;
    const double y0 = 2.0 * s * sum;

    // One Newton step in double-double: ln m = y0 + ln(1 + t) with
    // t = m e^-y0 - 1, tiny, so ln(1 + t) = t - t^2 / 2 to 2^-100.
    int scale;
    Double2 ey = ExpParts(-y0, &scale);
    ey = {std::ldexp(ey.hi, scale), std::ldexp(ey.lo, scale)};
    const Double2 t = Add(Multiply(ey, m), {-1.0, 0.0});
    Double2 y = Add({y0, 0.0}, t);
    y = Add(y, {-0.5 * t.hi * t.hi, 0.0});
    return Add(Multiply(LN2, static_cast<double>(e)), y).hi;
}

}  // namespace reference

#endif
