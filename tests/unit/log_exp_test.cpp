// The core's logarithm and exponential give exactly the bits of the slow
// double-double reference, argument by argument. MICROTUNE_LOG_EXP_RANDOM
// sets how many pseudo-random arguments of each kind to add (default
// 50,000; a one-off run of 10^8 or more checks much further).
#include "tuning/log_exp.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "fixture.h"
#include "reference_log_exp.h"

namespace {

uint64_t Bits(double d) {
    uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}

double FromBits(uint64_t u) {
    double d;
    std::memcpy(&d, &u, sizeof d);
    return d;
}

struct Mismatches {
    long checked = 0, count = 0;
    std::string first;

    void Check(const char *name, double x, double got, double expected) {
        ++checked;
        if (Bits(got) == Bits(expected)) return;
        // The 32-bit calling convention returns doubles on the x87 stack,
        // which quiets a signalling NaN: only the sign of a NaN is kept.
        if (std::isnan(got) && std::isnan(expected) && std::signbit(got) == std::signbit(expected))
            return;
        if (count++ < 5) {
            char line[160];
            std::snprintf(line, sizeof line, "%s(%a) = %a, reference %a\n", name, x, got, expected);
            first += line;
        }
    }
    void Exp(double x) { Check("Exp", x, mt::Exp(x), reference::Exp(x)); }
    void Log(double x) { Check("Log", x, mt::Log(x), reference::Log(x)); }
};

uint64_t state = 0x9e3779b97f4a7c15ull;
uint64_t Next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}
double Uniform() { return static_cast<double>(Next() >> 11) * 0x1p-53; }

long RandomCount() {
    const char *text = std::getenv("MICROTUNE_LOG_EXP_RANDOM");
    return text ? std::atol(text) : 50000;
}

TEST(LogExpTest, SameBitsAsTheReference) {
    Mismatches m;
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double LN2 = mt::Log(2.0);
    EXPECT_EQ(LN2, mt::LN2);

    // Special values, clamps and the ends of the normal and subnormal ranges.
    for (double x : {0.0,
                     -0.0,
                     1.0,
                     -1.0,
                     2.0,
                     0.5,
                     inf,
                     -inf,
                     nan,
                     -nan,
                     1e-300,
                     5e-324,
                     2.2250738585072014e-308,
                     1.7976931348623157e308,
                     709.782712893384,
                     709.79,
                     710.0,
                     710.0000000000001,
                     -708.3964185322641,
                     -708.4,
                     -745.1332191019411,
                     -745.14,
                     -746.0,
                     -746.0000000000001,
                     1e-20,
                     -1e-20,
                     0x1p-54,
                     -0x1p-54}) {
        m.Exp(x);
        m.Log(x);
    }
    // Cents grid, as the scale reader turns cents into ratios, and equal
    // divisions of the octave, as a degree beyond the first period is.
    for (int c = -9600 * 4; c <= 9600 * 4; ++c) m.Exp(c * 0.25 * LN2 / 1200.0);
    for (int n = 1; n <= 72; ++n)
        for (int k = -8 * n; k <= 8 * n; ++k) m.Exp(static_cast<double>(k) * (LN2 / n));
    // Frequencies over the whole MIDI range and beyond, as multiples of 440 Hz.
    for (int i = 0; i <= 60000; ++i) m.Log(1e-3 * std::pow(10.0, i / 6000.0) * (1.0 / 440));
    // Near 1 on both sides, at every scale.
    for (int b = 1; b <= 60; ++b)
        for (int k = 1; k <= 200; ++k) {
            m.Log(1.0 + std::ldexp(k, -b - 8));
            m.Log(1.0 - std::ldexp(k, -b - 9));
        }
    // Pseudo-random: uniform over the exponential's domain and near 0, and
    // any bit pattern for both.
    for (long i = RandomCount(); i > 0; --i) {
        m.Exp(Uniform() * 1460.0 - 748.0);
        m.Exp((Uniform() * 2.0 - 1.0) * 0.75);
        m.Log(1e-3 * std::exp(Uniform() * 20.8));
        m.Log(1.0 + (Uniform() * 2.0 - 1.0) * std::ldexp(1.0, -static_cast<int>(Next() % 60)));
        const double any = FromBits(Next());
        m.Exp(any);
        m.Log(std::fabs(any));
    }
    EXPECT_EQ(m.count, 0) << m.count << " of " << m.checked << " differ:\n" << m.first;
    std::printf("%ld arguments compared\n", m.checked);
}

}  // namespace

#include "log_exp_hard_cases.h"

namespace {

// Against correctly rounded values worked out independently at 300 bits,
// for the arguments nearest a halfway point among many of each kind. A
// result below the normal range is rounded twice, so within 1 ulp.
TEST(LogExpTest, HardToRoundArgumentsAgainstCorrectlyRoundedValues) {
    int misrounded = 0, subnormal = 0;
    for (const LogExpHardCase &c : LOG_EXP_HARD_CASES) {
        const double got = c.isExp ? mt::Exp(c.x) : mt::Log(c.x);
        if (std::fabs(c.value) < 0x1p-1022) {
            ++subnormal;
            EXPECT_LE(std::fabs(got - c.value), 0x1p-1074) << std::hexfloat << c.x;
            continue;
        }
        if (Bits(got) == Bits(c.value)) continue;
        ++misrounded;
        ADD_FAILURE() << (c.isExp ? "Exp(" : "Log(") << std::hexfloat << c.x << ") = " << got
                      << ", correctly rounded " << c.value << ", " << std::defaultfloat
                      << c.distance << " ulp from a halfway point";
    }
    EXPECT_EQ(misrounded, 0);
    EXPECT_GT(subnormal, 0);
}

}  // namespace
