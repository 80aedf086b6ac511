#include "tuning/scale_table.h"

#include <climits>
#include <cmath>
#include <limits>
#include <vector>

#include "fixture.h"

namespace {

using ScaleTableTest = MicrotuneTest;

const double E308 = 5.790291477135095e+133;
const double E_MINUS_308 = 1.72702877557863e-134;

// Equal to within a few units in the last place.
::testing::AssertionResult Close(double actual, double expected) {
    const double tolerance = 1e-15 * std::fabs(expected);
    if (actual == expected || std::fabs(actual - expected) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "got " << std::hexfloat << actual << " (" << std::defaultfloat << actual
           << "), expected " << expected;
}

struct DegreeCase {
    const char *table;
    std::vector<double> ratios;
    int degree;
    double expected;
};

std::vector<double> DefaultScale() { return {1.0, std::exp(std::log(2.0) / 12.0)}; }
std::vector<double> JustScale() {
    return {1.0, 9.0 / 8, 5.0 / 4, 4.0 / 3, 3.0 / 2, 5.0 / 3, 15.0 / 8, 2.0};
}

TEST_F(ScaleTableTest, RatioForScaleDegree) {
    const double r1 = DefaultScale()[1];
    const std::vector<DegreeCase> cases = {
        // The default scale: 2^(k/12).
        {"default", DefaultScale(), 0, 1.0},
        {"default", DefaultScale(), 13, 2.118926188718592},
        {"default", DefaultScale(), -1, 0.9438743126816935},
        {"default", DefaultScale(), -12, 0.5},
        {"default", DefaultScale(), 12, 2.0},
        // A just scale of 8 entries, m = 7.
        {"just", JustScale(), 9, 2.5},
        {"just", JustScale(), -1, 0.9375},
        {"just", JustScale(), 7, 2.0},
        {"just", JustScale(), -7, 0.5},
        {"just", JustScale(), -8, 0.46875},
        {"just", JustScale(), 14, 4.0},
        {"just", JustScale(), -14, 0.25},
        {"just", JustScale(), 3, 4.0 / 3},
        // Linear rule: only entry 0 matters.
        {"{2}", {2.0}, 3, 4.0},
        {"{2}", {2.0}, -3, 0.25},
        {"{2}", {2.0}, 0, 1.0},
        {"{2, 7}", {2.0, 7.0}, 5, 6.0},
        {"{1.5}", {1.5}, 2, 2.0},
        {"{1.00002}", {1.00002, 2.0}, 3, 1.0 + 3 * (1.00002 - 1.0)},
        // Entry 0 within 0.00001 of 1 keeps the periodic rule, itself included.
        {"{1.000005, 2}", {1.000005, 2.0}, 0, 1.000005},
        {"{1.000005, 2}", {1.000005, 2.0}, 1, 2.0 * 1.000005},
        // A linear rule that would not give a positive, finite ratio gives 1/1.
        {"{0.5}", {0.5}, 1, 0.5},
        {"{0.5}", {0.5}, 2, 1.0},
        {"{0.5}", {0.5}, 3, 1.0},
        {"{0.5}", {0.5}, -2, 1.0},
        {"{0.5}", {0.5}, -1, 2.0},
        // Degenerate tables.
        {"{1}", {1.0}, 5, 1.0},
        {"{1}", {1.0}, -5, 1.0},
        {"empty", {}, 7, 1.0},
        // Saturation at e^308 instead of overflow.
        {"{1, 2}", {1.0, 2.0}, 445, E308},
        {"{1, 2}", {1.0, 2.0}, -445, E_MINUS_308 * 2.0},
        {"default", DefaultScale(), INT_MAX, E308},
        // Periods of 0 or below are taken as 1e-50.
        {"{1, 0.5, 0}", {1.0, 0.5, 0.0}, 1, 0.5},
        {"{1, 0.5, 0}", {1.0, 0.5, 0.0}, 2, std::exp(std::log(1e-50))},
        {"{1, 0.5, 0}", {1.0, 0.5, 0.0}, 3, std::exp(std::log(1e-50)) * 0.5},
        {"{1, 0.5, 0}", {1.0, 0.5, 0.0}, -1, std::exp(-std::log(1e-50)) * 0.5},
        {"{1, 0.5, 0}", {1.0, 0.5, 0.0}, 200, E_MINUS_308},
        {"{1, -2}", {1.0, -2.0}, 1, std::exp(std::log(1e-50))},
        // The most negative int splits like any other degree.
        {"default", DefaultScale(), INT_MIN, E_MINUS_308 * r1},
        {"just", JustScale(), INT_MIN, E_MINUS_308 * 5.0 / 3},
        {"{2}", {2.0}, INT_MIN, 1.0 / 2147483649.0},
        {"{1}", {1.0}, INT_MIN, 1.0},
    };
    for (const DegreeCase &c : cases) {
        const double ratio = mt::RatioForScaleDegree(c.ratios.empty() ? nullptr : c.ratios.data(),
                                                     static_cast<int>(c.ratios.size()), c.degree);
        EXPECT_TRUE(Close(ratio, c.expected)) << c.table << " degree " << c.degree;
    }
}

TEST_F(ScaleTableTest, RatioReadsOnlyTheGivenCount) {
    // The entries behind the count (left by earlier scales) are not read.
    const double ratios[] = {1.0, 1.5, 2.0, 99.0};
    EXPECT_DOUBLE_EQ(mt::RatioForScaleDegree(ratios, 3, 2), 2.0);
    EXPECT_DOUBLE_EQ(mt::RatioForScaleDegree(ratios, 3, -1), 0.75);
    // A negative count is an empty table.
    EXPECT_EQ(mt::RatioForScaleDegree(ratios, -4, 3), 1.0);
}

TEST_F(ScaleTableTest, ClampedExpLimitsItsArgument) {
    EXPECT_EQ(mt::ClampedExp(0.0), 1.0);
    EXPECT_EQ(mt::ClampedExp(308.0), E308);
    EXPECT_EQ(mt::ClampedExp(1e6), E308);
    EXPECT_EQ(mt::ClampedExp(std::numeric_limits<double>::infinity()), E308);
    EXPECT_TRUE(Close(mt::ClampedExp(-1e6), E_MINUS_308));
    EXPECT_TRUE(std::isnan(mt::ClampedExp(std::nan(""))));
}

TEST_F(ScaleTableTest, Set1o1) {
    const struct {
        double hz;
        double expected;
    } cases[] = {
        {0.0, 261.6255653005986},
        {-0.0, 261.6255653005986},
        {std::nan(""), 261.6255653005986},
        {-100.0, -100.0},
        {440.0, 440.0},
        {1e300, 1e300},
    };
    for (const auto &c : cases) {
        mt::d1o1Hz = 123.0;
        Set1o1(c.hz);
        EXPECT_EQ(mt::d1o1Hz, c.expected) << "Set1o1(" << c.hz << ")";
    }
    EXPECT_EQ(mt::DEFAULT_1O1_HZ, 261.6255653005986);
}

TEST_F(ScaleTableTest, InstallDefaultScale) {
    EXPECT_EQ(GetnScaleNotes(), 0);
    EXPECT_EQ(mt::bScaleInstalled, 0);
    mt::ScaleTable.ratios[2] = 7.0;
    mt::ScaleTable.ratios[0] = 3.0;

    mt::InstallDefaultScale();
    EXPECT_EQ(GetnScaleNotes(), 2);
    EXPECT_EQ(mt::ScaleTable.ratios[0], 1.0);
    EXPECT_EQ(mt::ScaleTable.ratios[1], 1.0594630943592953);
    EXPECT_EQ(mt::ScaleTable.ratios[2], 7.0);  // entries behind the scale stay
    EXPECT_EQ(mt::bScaleInstalled, 1);
    EXPECT_EQ(mt::d1o1Hz, 261.6255653005986);

    // Only an unset 1/1 (zero or not a number) takes the default.
    const struct {
        double before;
        double after;
    } cases[] = {{-0.0, 261.6255653005986},
                 {std::nan(""), 261.6255653005986},
                 {-50.0, -50.0},
                 {440.0, 440.0}};
    for (const auto &c : cases) {
        mt::d1o1Hz = c.before;
        mt::InstallDefaultScale();
        EXPECT_EQ(mt::d1o1Hz, c.after) << "1/1 before " << c.before;
    }
}

}  // namespace
