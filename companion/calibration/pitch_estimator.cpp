#include "pitch_estimator.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace calibration {
namespace {

// Below these a key is unpitched: noise has no steady phase, and a
// fundamental this weak is not what a listener hears as the pitch.
constexpr double MIN_COHERENCE = 0.9;
constexpr double MIN_SHARE = 0.001;
constexpr int WINDOW_PERIODS = 4;
constexpr double TAPER = 0.1;

}  // namespace

PitchEstimate EstimatePitch(const float *samples, size_t count, double rate, double nominalHz) {
    PitchEstimate estimate;
    const double pi = std::acos(-1.0);
    const size_t hop = static_cast<size_t>(std::lround(rate / nominalHz));
    const size_t width = WINDOW_PERIODS * hop;
    if (hop == 0 || count < width + WINDOW_PERIODS * hop * 2) return estimate;

    std::vector<double> window(width);
    double windowSum = 0.0;
    for (size_t i = 0; i < width; ++i) {
        const double x = 2.0 * pi * static_cast<double>(i) / static_cast<double>(width - 1);
        window[i] =
            0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) - 0.01168 * std::cos(3 * x);
        windowSum += window[i];
    }

    // Shifted down by the nominal frequency; the oscillator is recomputed
    // now and then so that its rounding errors cannot build up.
    std::vector<double> re(count), im(count);
    const double step = -2.0 * pi * nominalHz / rate;
    const double stepCos = std::cos(step), stepSin = std::sin(step);
    double c = 1.0, s = 0.0, power = 0.0;
    for (size_t t = 0; t < count; ++t) {
        if (t % 4096 == 0) {
            c = std::cos(step * static_cast<double>(t));
            s = std::sin(step * static_cast<double>(t));
        }
        const double x = samples[t];
        re[t] = x * c;
        im[t] = x * s;
        power += x * x;
        const double nc = c * stepCos - s * stepSin;
        s = c * stepSin + s * stepCos;
        c = nc;
    }

    std::vector<double> zr, zi;
    for (size_t start = 0; start + width <= count; start += hop) {
        double r = 0.0, i = 0.0;
        for (size_t k = 0; k < width; ++k) {
            r += re[start + k] * window[k];
            i += im[start + k] * window[k];
        }
        zr.push_back(r);
        zi.push_back(i);
    }
    const size_t frames = zr.size();

    // Sum of z[n]* z[n+lag]: its angle is the phase advance over lag hops.
    // Each moment of the segment counts alike, but for tapers over its first
    // and last tenth, so that a wavering pitch is not cut off abruptly.
    auto correlate = [&](size_t lag, double &outRe, double &outIm, double &magnitudes) {
        outRe = outIm = magnitudes = 0.0;
        for (size_t n = 0; n + lag < frames; ++n) {
            const double position = static_cast<double>(n) / static_cast<double>(frames - lag);
            const double edge = std::min(position, 1.0 - position) / TAPER;
            const double weight = edge >= 1.0 ? 1.0 : 0.5 - 0.5 * std::cos(pi * edge);
            outRe += weight * (zr[n] * zr[n + lag] + zi[n] * zi[n + lag]);
            outIm += weight * (zr[n] * zi[n + lag] - zi[n] * zr[n + lag]);
            magnitudes += weight * std::hypot(zr[n], zi[n]) * std::hypot(zr[n + lag], zi[n + lag]);
        }
    };
    double r1, i1, m1, r4, i4, m4;
    correlate(1, r1, i1, m1);
    // Windows that do not overlap: noise keeps no phase from one to the next.
    correlate(WINDOW_PERIODS, r4, i4, m4);

    double framePower = 0.0;
    for (size_t n = 0; n < frames; ++n) framePower += zr[n] * zr[n] + zi[n] * zi[n];
    // A sinusoid of amplitude A gives |z| = A/2 * sum(window) and power A^2/2.
    const double meanPower = power / static_cast<double>(count);
    estimate.share = meanPower > 0.0 ? framePower / static_cast<double>(frames) * 2.0 /
                                           (windowSum * windowSum) / meanPower
                                     : 0.0;
    estimate.coherence = m4 > 0.0 ? std::hypot(r4, i4) / m4 : 0.0;
    estimate.hz = nominalHz + std::atan2(i1, r1) * rate / (2.0 * pi * static_cast<double>(hop));
    estimate.pitched = estimate.coherence >= MIN_COHERENCE && estimate.share >= MIN_SHARE &&
                       std::isfinite(estimate.hz) && estimate.hz > 0.0;
    return estimate;
}

}  // namespace calibration
