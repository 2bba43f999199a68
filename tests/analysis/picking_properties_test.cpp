// Properties of every method over many traces: accuracy on clean bursts, and staying inside the
// trace for any settings (run under AddressSanitizer by `make test-asan`).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "analysis/auto_pick.h"
#include "analysis/first_arrival.h"
#include "analysis/process_points.h"
#include "analysis/variance_pick.h"
#include "test_traces.h"

namespace lx9 {
namespace {

// Clean bursts at 1 µs with a random onset (between samples too), frequency 30–80 kHz, amplitude
// and sign. Bounds, P the period in samples:
// - amplitude, level 50 codes up, amplitude ≥ 300: the first sample above the level lies in the
//   rising first quarter period: 0 ≤ arrival − onset ≤ P/4 (positive first swing);
// - variance, main frequency set to the burst's: the refinement accepts the first sample off the
//   flat baseline (at most one past the onset) and the tangent moves it by less than w = W/4:
//   onset − w ≤ arrival ≤ onset + 1;
// - automatic: the leading zero crossing of the first half wave is the onset itself, then
//   truncated to whole µs: onset − 1 ≤ arrival ≤ onset; its peak is that half wave's crest,
//   at most half a period on.
TEST(PickingProperties, CleanBurstsAreFoundWhereTheyStart) {
    std::mt19937 rng(2024);
    for (int trial = 0; trial < 400; ++trial) {
        testing::Burst b;
        b.n = 1024;
        b.onset = 60 + (rng() % 34000) / 100.0;
        b.frequency = 30000 + rng() % 50001;
        b.amplitude = (300 + rng() % 1500) * (rng() % 2 ? 1.0 : -1.0);
        const std::vector<uint16_t> s = testing::burst(b);
        const double period = 1e6 / b.frequency;
        SCOPED_TRACE(::testing::Message()
                     << "onset " << b.onset << " f " << b.frequency << " A " << b.amplitude);

        if (b.amplitude > 0) {
            const ArrivalPick a = PickByAmplitude(s.data(), 1024, 2047 + 50);
            EXPECT_GE(a.arrival, b.onset);
            EXPECT_LE(a.arrival, b.onset + period / 4);
        }

        VarianceSettings v;
        v.window = VarianceWindow(b.frequency, 1.0);
        v.firstWavePositive = b.amplitude > 0;
        const int w = v.window / 4;
        const int arrival = PickByVariance(s.data(), 1024, v);
        EXPECT_GE(arrival, b.onset - w);
        EXPECT_LE(arrival, b.onset + 1);

        const AutoPick t = PickAuto(s.data(), 1024, 1.0, 100, kAutoNominalHz);
        EXPECT_GE(t.arrivalTime, b.onset - 1);
        EXPECT_LE(t.arrivalTime, b.onset);
        EXPECT_GT(t.peakTime, t.arrivalTime);
        EXPECT_LE(t.peakTime - t.arrivalTime, period / 2 + 1);
    }
}

TEST(PickingProperties, AnySettingsKeepThePickInsideTheTrace) {
    std::mt19937 rng(77);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double intervals[] = {1.0, 0.5, 2.0, 0.1, 30.0, 0.0, -1.0, 1e-9, 1e9, nan};
    const double frequencies[] = {35000, 600000, 1e7, 1000, 10, 0, -35000, 1e-30, nan};
    const int starts[] = {0, 10, 300, 511, 512, 5000, -1, -100000};
    const double multipliers[] = {3, 0, -2, 100, 1e9, nan};
    const double thresholds[] = {0, 100, -5000, 1e12, 3000.5, nan};
    const std::string methods[] = {std::string(kPickAutomatic), std::string(kPickAmplitude),
                                   std::string(kPickVariance), "", "其他"};
    const int lengths[] = {0, 1, 2, 3, 5, 33, 100, 511, 512, 513, 1024};
    auto any = [&rng](const auto& choices) { return choices[rng() % std::size(choices)]; };

    for (int trial = 0; trial < 1500; ++trial) {
        CInfo info;
        info.resetToDefaults();
        info.sampleInterval = static_cast<float>(any(intervals));
        info.mainFrequency = static_cast<float>(any(frequencies));
        info.varianceStart = any(starts);
        info.varianceThreshold = static_cast<float>(any(multipliers));
        info.amplitudeThreshold = static_cast<float>(any(thresholds));
        info.pickMethod = any(methods);
        info.variancePolarity = rng() % 2;
        info.digitalFilter = rng() % 2;
        info.sampleLength = any(lengths);
        const int n = any(lengths);
        const int section = static_cast<int>(rng() % 8) - 1;  // a slot out of range is clamped

        // Exactly n samples on the heap, so that a stray access is caught.
        std::vector<uint16_t> s(static_cast<size_t>(n));
        const int kind = static_cast<int>(rng() % 4);
        for (int k = 0; k < n; ++k) {
            s[k] = kind == 0   ? 2048
                   : kind == 1 ? static_cast<uint16_t>(rng() % 4096)
                   : kind == 2 ? static_cast<uint16_t>(k % 2 ? 4095 : 0)
                               : static_cast<uint16_t>(2048 + (k > n / 3 ? 1500 * std::sin(k * 0.3) : 0));
        }
        const PointPick p = PickWaveform(info, section, s, 10.0f);
        const int last = std::max(pickLength(info, s.size()) - 1, 0);
        ASSERT_GE(p.tIndex, 0) << trial;
        ASSERT_LE(p.tIndex, last) << trial;
        ASSERT_GE(p.ampIndex, 0) << trial;
        ASSERT_LE(p.ampIndex, last) << trial;
    }
}

}  // namespace
}  // namespace lx9
