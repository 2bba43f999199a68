// Synthetic traces for the picking tests: silence or noise, then a damped tone burst.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

namespace lx9::testing {

struct Burst {
    int n = 1024;
    double onset = 200.0;      // samples; fractional onsets fall between samples
    double frequency = 40000;  // Hz
    double dt = 1.0;           // µs
    double amplitude = 1000;   // codes
    double decayPeriods = 3;   // e-folding time of the envelope, in periods
    double noise = 0;          // rms, codes
    double offset = 0;         // added to every sample, codes
    unsigned seed = 1;
};

// 2048 + A·sin(2πf(t − onset))·e^(−(t − onset)/τ) after the onset, rounded and clipped to 12 bits.
inline std::vector<uint16_t> burst(const Burst& b) {
    std::mt19937 rng(b.seed);
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::vector<uint16_t> s(static_cast<size_t>(b.n));
    const double tau = b.decayPeriods / b.frequency;
    for (int k = 0; k < b.n; ++k) {
        const double t = (k - b.onset) * b.dt * 1e-6;
        double v = b.offset;
        if (t >= 0) v += b.amplitude * std::sin(2 * std::numbers::pi * b.frequency * t) * std::exp(-t / tau);
        if (b.noise > 0) v += b.noise * gauss(rng);
        s[k] = static_cast<uint16_t>(std::clamp(std::lround(2048 + v), 0L, 4095L));
    }
    return s;
}

inline std::vector<uint16_t> flat(int n, uint16_t value = 2048) {
    return std::vector<uint16_t>(static_cast<size_t>(n), value);
}

}  // namespace lx9::testing
