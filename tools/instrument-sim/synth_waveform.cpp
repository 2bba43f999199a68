#include "synth_waveform.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <stdexcept>

namespace lx9::sim {
namespace {

constexpr double kEnvelopePeakPeriods = 0.75;

// Normalised wave at phase p = tau / period (p >= 0): envelope peak 1 at p = 0.75.
double unitWave(double p) {
    const double x = p / kEnvelopePeakPeriods;
    return x * std::exp(1.0 - x) * std::sin(2.0 * std::numbers::pi * p);
}

WaveShape computeShape() {
    // The first extremum lies inside the first half period; a fine scan and a ternary refinement
    // place it to well below a nanosecond at any frequency we use.
    double lo = 0.0, hi = 0.5;
    for (int i = 0; i < 200; ++i) {
        const double a = lo + (hi - lo) / 3.0, b = hi - (hi - lo) / 3.0;
        if (unitWave(a) < unitWave(b)) {
            lo = a;
        } else {
            hi = b;
        }
    }
    const double p = (lo + hi) / 2.0;
    return {p, unitWave(p)};
}

int toCode(double mv, double gain, bool& clipped) {
    const double code = std::round(2048.0 + mv * gain * kCodesPerMv);
    if (code < 0.0) {
        clipped = true;
        return 0;
    }
    if (code > 4095.0) {
        clipped = true;
        return 4095;
    }
    return static_cast<int>(code);
}

}  // namespace

WaveShape waveShape() {
    static const WaveShape shape = computeShape();
    return shape;
}

WaveformTruth synthWaveform(const WaveformParams& p, std::span<uint16_t> out) {
    if (p.sampleLength < 0 || out.size() < static_cast<size_t>(p.sampleLength)) {
        throw std::invalid_argument("synthWaveform: the output holds fewer samples than sampleLength");
    }
    if (!(p.sampleIntervalUs > 0.0) || !(p.frequencyHz > 0.0) || !std::isfinite(p.arrivalUs) ||
        !std::isfinite(p.delayUs) || !std::isfinite(p.amplitudeMv) || !(p.noiseMv >= 0.0) ||
        !std::isfinite(p.gain) || !std::isfinite(p.noiseMv)) {
        throw std::invalid_argument("synthWaveform: a parameter is out of range");
    }
    const WaveShape shape = waveShape();
    const double periodUs = 1e6 / p.frequencyHz;

    WaveformTruth truth;
    truth.arrivalIndex = (p.arrivalUs - p.delayUs) / p.sampleIntervalUs;
    truth.firstPeakUs = p.arrivalUs + shape.firstPeakPeriods * periodUs;
    truth.firstPeakMv = shape.firstPeakFraction * p.amplitudeMv;
    truth.peakCodes = p.amplitudeMv * p.gain * kCodesPerMv;

    std::mt19937_64 rng(p.seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    for (int k = 0; k < p.sampleLength; ++k) {
        const double tau = p.delayUs + k * p.sampleIntervalUs - p.arrivalUs;
        double mv = tau >= 0.0 && p.amplitudeMv != 0.0 ? p.amplitudeMv * unitWave(tau / periodUs) : 0.0;
        if (p.noiseMv > 0.0) mv += p.noiseMv * noise(rng);
        out[k] = static_cast<uint16_t>(toCode(mv, p.gain, truth.clipped));
    }

    const double peakIndex = (truth.firstPeakUs - p.delayUs) / p.sampleIntervalUs;
    const double nearest = std::round(peakIndex);
    if (p.amplitudeMv != 0.0 && nearest >= 0.0 && nearest < p.sampleLength) {
        truth.firstPeakIndex = static_cast<int>(nearest);
        const double tau = p.delayUs + nearest * p.sampleIntervalUs - p.arrivalUs;
        const double mv = tau >= 0.0 ? p.amplitudeMv * unitWave(tau / periodUs) : 0.0;
        bool ignored = false;
        truth.firstPeakCode = toCode(mv, p.gain, ignored);
    }
    return truth;
}

std::vector<uint16_t> synthWaveform(const WaveformParams& params, WaveformTruth* truth) {
    std::vector<uint16_t> samples(static_cast<size_t>(std::max(params.sampleLength, 0)));
    const WaveformTruth t = synthWaveform(params, std::span<uint16_t>(samples));
    if (truth) *truth = t;
    return samples;
}

}  // namespace lx9::sim
