// First-arrival picking by variance: the RMS distance of the trace from the chord of a sliding
// window of about one period rises where the pulse arrives. A coarse search over that deviation
// series brackets the arrival, a line fit to the quiet samples before it finds the first sample
// that leaves the baseline, and the steepest tangent of the first wave moves it onto the onset.
//
// Only the first 512 samples are examined, whatever the trace length; 511 means "not found".
//
// Threading: a VariancePicker is an immutable value built from a copy of the samples; safe on
// any thread.
#pragma once

#include <array>
#include <cstdint>

namespace lx9 {

inline constexpr int kVarianceLength = 512;
inline constexpr int kVarianceNotFound = 511;

// W for a main frequency (Hz) and sampling interval (µs): the samples in one period, made even.
// Windows below 2 samples (main frequency above 500 kHz at 1 µs) are raised to 2; a zero,
// negative or non-finite frequency or interval gives 0, with which nothing is found.
int VarianceWindow(double mainFrequencyHz, double dtMicros);

struct VarianceSettings {
    int window = 0;                 // W from VarianceWindow
    bool firstWavePositive = true;  // first-wave polarity: "首波+" true, "首波－" false
    int start = 0;                  // sample where the search begins
    double multiplier = 3.0;        // variance multiplier
    bool tangentToBaseline = true;  // the picking method is exactly "方差判读"
};

using VarianceSeries = std::array<double, kVarianceLength>;

// D[i]: RMS distance of s[i … i+W] from the chord s[i]–s[i+W]; entries past 511 − W repeat the
// last computed one. W must lie in 1 … 511.
void DeviationSeries(const VarianceSeries& s, int w, VarianceSeries& d);

// Start of the first excursion of D above mean + multiplier·σ of the reference window that lasts
// at least 2W samples (or is still open at 511), scanning from `from`; 511 when none.
int FindExcursion(const VarianceSeries& d, int w, double multiplier, int ref, int from, bool forward);

class VariancePicker {
  public:
    // Copies samples 0 … min(n, 512) − 1; missing samples read as the zero line.
    VariancePicker(const uint16_t* samples, int n, const VarianceSettings& settings);

    // Arrival 0 … 511: 511 when the coarse search fails, 0 when the refinement finds nothing.
    int Pick() const;

    // Coarse arrival; 0 or 511 when it fails.
    int CoarseArrival() const;
    // Refinement of a coarse arrival, tangent adjustment included; 0 when nothing is accepted.
    int RefineArrival(int coarse) const;
    // Moves s onto the onset along the steepest tangent of the wave (rising or falling).
    int AdjustByTangent(int s, bool rising) const;
    int FindExcursion(int ref, int from, bool forward) const;

    int window() const { return w_; }
    int quarter() const { return quarter_; }
    const VarianceSeries& deviation() const { return d_; }

  private:
    struct Line {
        double k = 0;    // slope
        double b = 0;    // intercept
        double rho = 0;  // RMS residual
    };
    Line fit(int p, int q) const;
    int64_t meanAbsResidual(int p, int q, const Line& line) const;

    VarianceSettings settings_;
    int w_ = 0;        // W
    int quarter_ = 1;  // w = W/4
    bool usable_ = false;
    VarianceSeries s_{};
    VarianceSeries d_{};
};

// Variance pick of a trace: VariancePicker(samples, n, settings).Pick().
int PickByVariance(const uint16_t* samples, int n, const VarianceSettings& settings);

}  // namespace lx9
