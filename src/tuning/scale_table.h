// The scale table, the 1/1 and the ratio of a scale degree.
#ifndef MICROTUNE_SCALE_TABLE_H
#define MICROTUNE_SCALE_TABLE_H

namespace mt {

// MIDI note of the default 1/1 in 12-TET with A4 = 440 Hz, and its frequency.
constexpr double dDefault1o1MidiNote = 60.0;
extern const double DEFAULT_1O1_HZ;  // 261.6255653005986

// e^x with x limited to -308..308; a NaN passes through.
double ClampedExp(double x);

// Whether hz leaves the 1/1 to its default (0 or NaN).
bool IsUnset1o1(double hz);
// The step of the default scale, 2^(1/12).
double DefaultScaleStep();

// The default 1/1 where none is set, 12-TET {1, 2^(1/12)}, bScaleInstalled.
void InstallDefaultScale();

// To be called after every write to ScaleTable (and on a new 1/1): renews
// nTuningVersion, so that no remembered degree pitch outlives its tuning.
void TuningChanged();

// The ratio of a degree from the first count entries of ratios, as played.
double RatioForScaleDegree(const double *ratios, int count, int degree);
// The same before a degree of a series without a pitch (a ratio that is not
// positive and finite) falls back to the 1/1.
double DegreeRuleRatio(const double *ratios, int count, int degree);

}  // namespace mt

#endif
