// The natural logarithm and exponential, computed the same way in every
// build, so that a pitch gives the same note, bend and channel on every
// platform: the C libraries' log and exp differ in the last bit for some
// arguments (glibc's 32-bit and 64-bit ones among them), and pitches that
// lie exactly on a bend step or on a quarter tone turn on that bit.
#ifndef MICROTUNE_TUNING_LOG_EXP_H
#define MICROTUNE_TUNING_LOG_EXP_H

namespace mt {

// Exp is correctly rounded for normal results except, at worst, where the
// exact result lies within about 2^-90 (relative) of a halfway point
// between two doubles; results below the normal range (x below about
// -708.4) are rounded twice, to 53 bits and then to the subnormal grid, so
// they may be 0.75 ulp off. Log is correctly rounded except, at worst, for
// arguments within 2^-20 of 1 whose result lies within about 2^-80
// (relative) of a halfway point: there its absolute error of about 2^-105
// is no longer small beside the result. No misrounding is known among
// musical arguments (cents, ratios, periods, frequencies). Both use only
// IEEE double arithmetic (no excess precision, no fused multiply-add), so
// every build gets the same bits.
double Log(double x);
double Exp(double x);

// ln 2 as Log(2.0) gives it, a constant rather than one copy per file.
constexpr double LN2 = 0x1.62e42fefa39efp-1;

}  // namespace mt

#endif
