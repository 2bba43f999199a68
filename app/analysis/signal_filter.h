// Band-pass conditioning of a received waveform: a second-order low-pass and high-pass pair that
// runs over a short lead-in continuing the trace backwards, so the filters have settled by
// sample 0 instead of ringing on the jump from silence to the first sample.
//
// Threading: plain functions on caller-owned buffers; safe on any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lx9 {

// Corner frequencies every caller passes to ConditionWave (Hz).
inline constexpr double kConditionHighCutHz = 20000.0;
inline constexpr double kConditionLowCutHz = 60000.0;

// x to the nearest whole number, halves away from zero (0 stays 0).
double rnd(double x);

// Second-order Butterworth low-pass (bilinear transform, no pre-warping) over m values; every
// output is rounded to a whole number while the recursion keeps the unrounded values. May run in
// place (x == y). dtSeconds 0 copies the input unchanged.
void ButterworthLowPass(const float* x, float* y, size_t m, double dtSeconds, double cutoffHz);

// Second-order Butterworth high-pass (bilinear transform with pre-warping); same conventions.
void ButterworthHighPass(const float* x, float* y, size_t m, double dtSeconds, double cutoffHz);

// Band-pass conditioning of n 12-bit samples (zero line 2048) in place; dt in µs, highCutHz the
// high-pass corner and lowCutHz the low-pass corner. Results are clamped below at 0; above they
// are limited only by the 16-bit sample word (a full-scale burst may filter to more than 4095).
void ConditionWave(uint16_t* samples, int n, double dt, double highCutHz, double lowCutHz);

}  // namespace lx9
