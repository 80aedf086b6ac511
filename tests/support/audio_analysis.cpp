#include "audio_analysis.h"

#include <fftw3.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>

namespace audio {

Audio ReadWav(const std::string &path) {
    Audio audio;
    SF_INFO info{};
    SNDFILE *file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return audio;
    std::vector<double> frames(static_cast<size_t>(info.frames) * info.channels);
    sf_readf_double(file, frames.data(), info.frames);
    sf_close(file);
    audio.rate = info.samplerate;
    audio.mono.assign(static_cast<size_t>(info.frames), 0.0);
    for (size_t i = 0; i < audio.mono.size(); ++i)
        for (int c = 0; c < info.channels; ++c) audio.mono[i] += frames[i * info.channels + c];
    return audio;
}

double Cents(double ratio) { return 1200.0 * std::log2(ratio); }

Spectrum::Spectrum(const Audio &audio, double from, double to, Window window)
    : rate_(audio.rate), window_(window) {
    const size_t first = static_cast<size_t>(from * rate_);
    const size_t last = std::min(audio.mono.size(), static_cast<size_t>(to * rate_));
    const size_t n = last > first ? last - first : 0;
    length_ = n;
    size_ = 1;
    while (size_ < 8 * n) size_ *= 2;
    double *in = fftw_alloc_real(size_);
    fftw_complex *out = fftw_alloc_complex(size_ / 2 + 1);
    fftw_plan plan = fftw_plan_dft_r2c_1d(static_cast<int>(size_), in, out, FFTW_ESTIMATE);
    std::fill(in, in + size_, 0.0);
    const double pi = std::acos(-1.0);
    for (size_t i = 0; i < n; ++i) {
        const double position = static_cast<double>(i) / static_cast<double>(n - 1);
        const double x = 2.0 * pi * position;
        double weight =
            0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) - 0.01168 * std::cos(3 * x);
        if (window == Window::Tukey) {
            const double edge = std::min(position, 1.0 - position) / 0.1;
            weight = edge >= 1.0 ? 1.0 : 0.5 - 0.5 * std::cos(pi * edge);
        }
        in[i] = audio.mono[first + i] * weight;
    }
    fftw_execute(plan);
    magnitude_.resize(size_ / 2 + 1);
    for (size_t k = 0; k < magnitude_.size(); ++k) magnitude_[k] = std::hypot(out[k][0], out[k][1]);
    fftw_destroy_plan(plan);
    fftw_free(out);
    fftw_free(in);
}

double Spectrum::Peak(double hz, double withinCents) const {
    const double binHz = static_cast<double>(rate_) / static_cast<double>(size_);
    size_t low = static_cast<size_t>(hz * std::exp2(-withinCents / 1200.0) / binHz);
    size_t high = static_cast<size_t>(hz * std::exp2(withinCents / 1200.0) / binHz) + 1;
    low = std::max<size_t>(low, 1);
    high = std::min(high, magnitude_.size() - 2);
    size_t best = low;
    for (size_t k = low; k <= high; ++k)
        if (magnitude_[k] > magnitude_[best]) best = k;
    const double a = std::log(magnitude_[best - 1] + 1e-30);
    const double b = std::log(magnitude_[best] + 1e-30);
    const double c = std::log(magnitude_[best + 1] + 1e-30);
    const double curve = a - 2.0 * b + c;
    const double offset = curve < 0.0 ? 0.5 * (a - c) / curve : 0.0;
    return (static_cast<double>(best) + offset) * binHz;
}

double Spectrum::Centroid(double hz, double withinCents) const {
    const double binHz = static_cast<double>(rate_) / static_cast<double>(size_);
    // The main lobe reaches 4 bins of the unpadded window (Blackman-Harris),
    // or about 2 (Tukey).
    const double lobeBins = window_ == Window::Tukey ? 2.0 : 4.0;
    const double lobeHz = lobeBins * static_cast<double>(rate_) / static_cast<double>(length_);
    const double low = hz * std::exp2(-withinCents / 1200.0) - lobeHz;
    const double high = hz * std::exp2(withinCents / 1200.0) + lobeHz;
    double weighted = 0.0, total = 0.0;
    for (size_t k = static_cast<size_t>(std::max(1.0, low / binHz));
         k < magnitude_.size() && static_cast<double>(k) * binHz <= high; ++k) {
        const double power = magnitude_[k] * magnitude_[k];
        weighted += power * static_cast<double>(k) * binHz;
        total += power;
    }
    return total > 0.0 ? weighted / total : 0.0;
}

double Spectrum::Level(double hz) const {
    const double binHz = static_cast<double>(rate_) / static_cast<double>(size_);
    const size_t k = static_cast<size_t>(hz / binHz + 0.5);
    return k < magnitude_.size() ? magnitude_[k] : 0.0;
}

}  // namespace audio
