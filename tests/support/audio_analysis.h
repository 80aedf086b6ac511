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

// How the stretch is weighted in time.
enum class Window {
    BlackmanHarris,  // 4-term: sharp peaks, little leakage
    // Flat over all but a tenth at each end, with cosine tapers: every
    // moment of the stretch counts the same, for pitches that move.
    Tukey,
};

// The magnitude spectrum of one stretch (in seconds) of audio.
class Spectrum {
public:
    Spectrum(const Audio &audio, double from, double to, Window window = Window::BlackmanHarris);

    // The frequency of the strongest peak within withinCents of hz.
    double Peak(double hz, double withinCents) const;
    // The power-weighted mean frequency within withinCents of hz, widened
    // by the window's main lobe: for a tone of several slightly detuned
    // layers, or one that wavers, the power-weighted mean of its
    // frequencies, which is the pitch that the companion's calibration aims
    // at (with the Tukey window, each moment weighted alike).
    double Centroid(double hz, double withinCents) const;
    // The magnitude at the bin nearest hz.
    double Level(double hz) const;

private:
    int rate_;
    Window window_;
    size_t size_;
    size_t length_;  // samples under the window
    std::vector<double> magnitude_;
};

}  // namespace audio

#endif
