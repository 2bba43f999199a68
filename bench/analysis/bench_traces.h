// A received waveform for the speed benchmarks: noise, then a damped 45 kHz burst.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

namespace lx9::bench {

inline std::vector<uint16_t> speedTrace(int n, unsigned seed = 1) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 25.0);
    std::vector<uint16_t> s(static_cast<size_t>(n));
    const double onset = n * 0.3;
    for (int k = 0; k < n; ++k) {
        const double t = (k - onset) * 1e-6;
        double v = noise(rng);
        if (t >= 0) v += 900 * std::sin(2 * std::numbers::pi * 45000 * t) * std::exp(-t * 15000);
        s[k] = static_cast<uint16_t>(std::clamp(std::lround(2048 + v), 0L, 4095L));
    }
    return s;
}

}  // namespace lx9::bench
