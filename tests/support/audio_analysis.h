// Reading rendered WAV files and measuring the pitch of what sounds in them.
//
// Pitch estimator: the channels summed, a 4-term Blackman-Harris window
// over a steady stretch of the note, zero-padded to at least 8 times its
// length, FFT (FFTW), the strongest bin within a given distance in cents of
// the expected frequency, refined by a parabola through the log magnitudes
// of that bin and its neighbours.
#ifndef MICROTUNE_TEST_AUDIO_ANALYSIS_H
#define MICROTUNE_TEST_AUDIO_ANALYSIS_H

#include <string>
#include <vector>

namespace audio {

struct Audio {
    int rate = 0;
    std::vector<double> mono;  // the channels summed
    double Seconds() const { return rate ? static_cast<double>(mono.size()) / rate : 0.0; }
};

// An empty Audio when the file cannot be read.
Audio ReadWav(const std::string &path);

double Cents(double ratio);

// The magnitude spectrum of one stretch (in seconds) of audio.
class Spectrum {
public:
    Spectrum(const Audio &audio, double from, double to);

    // The frequency of the strongest peak within withinCents of hz.
    double Peak(double hz, double withinCents) const;
    // The magnitude at the bin nearest hz.
    double Level(double hz) const;

private:
    int rate_;
    size_t size_;
    std::vector<double> magnitude_;
};

}  // namespace audio

#endif
