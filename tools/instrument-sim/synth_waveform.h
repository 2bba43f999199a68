// The received waveform of one shot, as the instrument's 12-bit converter records it: noise around
// the zero line 2048 until the first arrival, then a damped wave at the main frequency whose first
// half-wave rises above the zero line. A plain function so benchmarks and tests can call it with
// any parameters and compare what they pick against the returned truth.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace lx9::sim {

struct WaveformParams {
    int sampleLength = 512;         // samples to write (the span must hold at least this many)
    double sampleIntervalUs = 1.0;  // dt between samples, µs (> 0)
    double delayUs = 0.0;           // time of sample 0 after the transmit pulse, µs
    double arrivalUs = 100.0;       // first arrival after the transmit pulse, µs
    double frequencyHz = 50000.0;   // main frequency of the received wave (> 0)
    double amplitudeMv = 5.0;       // envelope peak at the receiver input, mV; 0 = no signal
    double gain = 100.0;            // amplifier gain factor (not the gain code)
    double noiseMv = 0.05;          // rms of white Gaussian noise at the receiver input, mV
    uint64_t seed = 1;              // equal seeds give equal noise
};

struct WaveformTruth {
    double arrivalIndex = 0.0;  // (arrivalUs - delayUs) / dt, fractional; may lie outside the trace
    double firstPeakUs = 0.0;   // time of the wave's first extremum after the transmit pulse
    double firstPeakMv = 0.0;   // noise-free value of the wave there, mV at the receiver input
    int firstPeakIndex = -1;    // sample nearest that extremum, -1 when outside the trace
    int firstPeakCode = 2048;   // noise-free converter code at firstPeakIndex (clipped to 0..4095)
    double peakCodes = 0.0;     // envelope peak in converter codes above the zero line, before clipping
    bool clipped = false;       // some written sample was clipped to 0 or 4095
};

// Converter codes per millivolt at the converter input: the program reads a code c as
// (c - 2048) * 2 * 0.00048828125 volts, so one millivolt is 1.024 codes.
inline constexpr double kCodesPerMv = 1.024;

// Writes params.sampleLength samples to out[0..] and returns the truth of the trace. Sample k is
// taken at delayUs + k * dt after the transmit pulse; code = round(2048 + (wave + noise) * gain *
// 1.024), clipped to 0..4095. The wave is amplitude * (x e^(1-x)) * sin(2 pi f tau) for tau = t -
// arrival >= 0, x = tau / (0.75 / f): its envelope peaks at amplitude three quarters of a period
// after the arrival, and the first half-wave is positive. Throws std::invalid_argument when out is
// too short or a parameter is out of range.
WaveformTruth synthWaveform(const WaveformParams& params, std::span<uint16_t> out);

// The same into a new vector.
std::vector<uint16_t> synthWaveform(const WaveformParams& params, WaveformTruth* truth = nullptr);

// Shape constants of the wave: the first extremum lies firstPeakPeriods periods after the arrival
// and has firstPeakFraction of the envelope peak.
struct WaveShape {
    double firstPeakPeriods;
    double firstPeakFraction;
};
WaveShape waveShape();

}  // namespace lx9::sim
