// The pitch of a sustained tone near an expected frequency: what the
// calibration measures for every key of a sound font.
#ifndef MICROTUNE_COMPANION_PITCH_ESTIMATOR_H
#define MICROTUNE_COMPANION_PITCH_ESTIMATOR_H

#include <cstddef>

namespace calibration {

struct PitchEstimate {
    double hz = 0.0;         // power-weighted mean frequency of the fundamental
    double coherence = 0.0;  // 0..1: how steadily its phase advances
    double share = 0.0;      // the fundamental's share of the signal's power
    bool pitched = false;    // steady enough to trust hz
};

// Measures the fundamental of a tone expected near nominalHz (within about
// a semitone) in mono samples at the given rate.
//
// The signal is shifted down by nominalHz and seen through a sliding
// Blackman-Harris window four nominal periods long, one period apart; the
// window's first nulls fall on the neighbouring harmonics, which it
// suppresses by over 90 dB. The frequency is the mean phase advance from
// one window to the next, each pair weighted by its power: for layers of
// slightly different pitch this is their power-weighted mean, which is
// also the centroid of the fundamental's power spectrum.
PitchEstimate EstimatePitch(const float *samples, size_t count, double rate, double nominalHz);

}  // namespace calibration

#endif
