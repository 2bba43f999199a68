#include "analysis/variance_pick.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "test_traces.h"

namespace lx9 {
namespace {

using testing::burst;
using testing::flat;

TEST(VarianceWindow, PeriodInSamplesMadeEven) {
    EXPECT_EQ(VarianceWindow(35000, 1.0), 28);  // trunc(1e6/35000) = 28
    EXPECT_EQ(VarianceWindow(35000, 0.5), 56);
    EXPECT_EQ(VarianceWindow(35000, 3.0), 8);      // trunc(28/3) = 9 → 8
    EXPECT_EQ(VarianceWindow(1e6 / 7.5, 1.0), 6);  // trunc(7.5) = 7 → 6
    EXPECT_EQ(VarianceWindow(600000, 1.0), 2);     // below 2 samples: raised to 2
    EXPECT_EQ(VarianceWindow(1000, 1.0), 1000);    // longer than the examined samples
    EXPECT_EQ(VarianceWindow(0, 1.0), 0);          // cannot be formed
    EXPECT_EQ(VarianceWindow(35000, 0.0), 0);
    EXPECT_EQ(VarianceWindow(35000, -1.0), 0);
    EXPECT_EQ(VarianceWindow(std::numeric_limits<double>::quiet_NaN(), 1.0), 0);
    EXPECT_EQ(VarianceWindow(1e-300, 1.0), 1000000);  // capped, still "longer than the trace"
}

TEST(DeviationSeries, DistanceFromTheChord) {
    VarianceSeries s;
    s.fill(2048);
    s[100] = 2078;  // one sample 30 codes up
    VarianceSeries d{};
    DeviationSeries(s, 2, d);
    EXPECT_DOUBLE_EQ(d[97], 0.0);
    EXPECT_DOUBLE_EQ(d[98], std::sqrt(15.0 * 15 / 3));  // the spike is a chord end: the middle is 15 off
    EXPECT_DOUBLE_EQ(d[99], std::sqrt(30.0 * 30 / 3));  // the spike in the middle
    EXPECT_DOUBLE_EQ(d[100], std::sqrt(15.0 * 15 / 3));
    EXPECT_DOUBLE_EQ(d[101], 0.0);

    for (int i = 0; i < kVarianceLength; ++i)
        s[i] = 1000 + 3.0 * i;  // a ramp lies on every chord
    s[509] = 9999;
    DeviationSeries(s, 4, d);
    EXPECT_NEAR(d[0], 0.0, 1e-9);
    EXPECT_NEAR(d[504], 0.0, 1e-9);
    EXPECT_GT(d[505], 0.0);            // the window 505 … 509 reaches the bump
    EXPECT_DOUBLE_EQ(d[508], d[507]);  // past 511 − W the last computed entry repeats
    EXPECT_DOUBLE_EQ(d[511], d[507]);
}

// Blocks of 5 on a background of 0, with a faint ripple in [0, 4] so that the forward reference
// from 0 has a spread (mean 0.04, σ 0.049, limit 0.147) and a return to 0 ends an excursion.
VarianceSeries withBlocks(std::initializer_list<std::pair<int, int>> blocks) {
    VarianceSeries d{};
    d[1] = d[3] = 0.1;
    for (auto [from, to] : blocks) {
        for (int k = from; k < to; ++k)
            d[k] = 5.0;
    }
    return d;
}

TEST(FindExcursion, LongEnoughOrOpenAtTheEnd) {
    const int w = 4;  // excursions must last 2W = 8
    EXPECT_EQ(FindExcursion(withBlocks({{100, 110}}), w, 3, 0, 0, true), 100);
    EXPECT_EQ(FindExcursion(withBlocks({{100, 108}}), w, 3, 0, 0, true), 100);  // exactly 2W
    EXPECT_EQ(FindExcursion(withBlocks({{100, 107}}), w, 3, 0, 0, true), 511);  // one short
    EXPECT_EQ(FindExcursion(withBlocks({{50, 55}, {100, 110}}), w, 3, 0, 0, true),
              100);                                                               // short one forgotten
    EXPECT_EQ(FindExcursion(withBlocks({{505, 512}}), w, 3, 0, 0, true), 505);    // still open at 511
    EXPECT_EQ(FindExcursion(withBlocks({}), w, 3, 0, 0, true), 511);              // none
    EXPECT_EQ(FindExcursion(withBlocks({{100, 110}}), w, 3, 0, 101, true), 101);  // scan starts late
}

TEST(FindExcursion, ThresholdFromTheReferenceWindow) {
    // Reference [0, 4] forward: 1 0 1 0 1 → mean 0.6, σ = √0.24, limit 3σ = 1.4697.
    VarianceSeries d{};
    for (int k = 0; k <= 4; k += 2)
        d[k] = 1;
    for (int k = 200; k < 220; ++k)
        d[k] = 2.0;  // excess 1.4: below the limit
    EXPECT_EQ(FindExcursion(d, 4, 3, 0, 5, true), 511);
    for (int k = 200; k < 220; ++k)
        d[k] = 2.1;  // excess 1.5: above
    EXPECT_EQ(FindExcursion(d, 4, 3, 0, 5, true), 200);

    // Backward: the reference is [ref − W, ref], here a flat 0 before a block. With no spread the
    // limit is 0, and falling back to exactly the reference level does not end an excursion: it
    // stays open to 511.
    d = VarianceSeries{};
    for (int k = 0; k < 50; ++k)
        d[k] = 5;
    for (int k = 150; k < 155; ++k)
        d[k] = 5;
    EXPECT_EQ(FindExcursion(d, 4, 3, 100, 100, false), 150);
    // Forward from 46 the reference [46, 50] straddles the first block's end (mean 4, σ 2, limit
    // 6): the second block is no excursion. Backward from 46 it lies inside the block (mean 5).
    EXPECT_EQ(FindExcursion(d, 4, 3, 46, 46, true), 511);
    EXPECT_EQ(FindExcursion(d, 4, 3, 46, 46, false), 511);
}

VarianceSettings settingsFor(double mainFrequency, bool positive = true, bool varianceMethod = true) {
    VarianceSettings v;
    v.window = VarianceWindow(mainFrequency, 1.0);
    v.firstWavePositive = positive;
    v.tangentToBaseline = varianceMethod;
    return v;
}

// A line starting at 100.5 with slope 10 codes per sample after a flat 2048: its steepest tangent
// meets the baseline at 100.5 and the zero of the code axis at 100.5 − 2048/10 … i.e. the line
// 10·i + 1043 crosses 0 at −104.3, |f/v| = 104.3.
std::vector<uint16_t> kink() {
    std::vector<uint16_t> s = flat(512);
    for (int i = 101; i < 512; ++i)
        s[i] = static_cast<uint16_t>(2048 + 10 * (i - 100.5));
    return s;
}

TEST(AdjustByTangent, SteepestTangentMeetsTheBaseline) {
    const std::vector<uint16_t> s = kink();
    VarianceSettings v = settingsFor(62500);  // W = 16, w = 4
    VariancePicker variance(s.data(), 512, v);
    ASSERT_EQ(variance.quarter(), 4);
    EXPECT_EQ(variance.AdjustByTangent(103, true), 100);   // trunc(100.5)
    EXPECT_EQ(variance.AdjustByTangent(103, false), 103);  // falling: no tangent with this method
    EXPECT_EQ(variance.AdjustByTangent(97, true), 100);    // from before the kink as well
    EXPECT_EQ(variance.AdjustByTangent(110, true), 110);   // more than w away: kept

    // With any other method string the tangent's own zero is used: trunc(|1043.0/10|) = 104.
    v.tangentToBaseline = false;
    VariancePicker other(s.data(), 512, v);
    EXPECT_EQ(other.AdjustByTangent(103, true), 104);
    EXPECT_EQ(other.AdjustByTangent(103, false), 103);  // no falling slope at all
}

TEST(AdjustByTangent, NearTheEnds) {
    const std::vector<uint16_t> s = kink();
    VariancePicker p(s.data(), 512, settingsFor(62500));  // w = 4
    EXPECT_EQ(p.AdjustByTangent(3, true), 3);             // closer than w to the start, rising: not moved
    EXPECT_EQ(p.AdjustByTangent(3, false), 0);            // falling: to the start
    EXPECT_EQ(p.AdjustByTangent(4, false), 4);            // s − w = 0 is near the start, but s < w is not
    EXPECT_EQ(p.AdjustByTangent(503, true), 503);         // s + 2w = 511: near the end
}

TEST(PickByVariance, BurstAfterSilence) {
    const std::vector<uint16_t> s = burst({.n = 1024, .onset = 200, .frequency = 40000});
    VariancePicker p(s.data(), 1024, settingsFor(40000));  // W = 24, w = 6
    const int coarse = p.CoarseArrival();
    EXPECT_GE(coarse, 200 - 24);  // the deviation rises once the window reaches the onset
    EXPECT_LE(coarse, 200);
    const int arrival = p.Pick();
    EXPECT_GE(arrival, 200 - 6);
    EXPECT_LE(arrival, 201);
}

// Each stage pinned to its exact index on a hand-made trace (W = 28, w = 7): the zero line up to
// 149; a ramp 2058 + 20·(i − 150) over 150 … 165; then ∓300 in pairs of samples to the end.
//  - coarse: D is 0 until the window [122, 150] reaches the first raised sample. The forward
//    reference [0, 28] is all 0 (limit 0) and D never falls below it again: f = 122 = r. Backward
//    from 122, the reference [94, 122] gives the limit d·(1 + 3√28)/29 ≈ 0.58·D[122], which every
//    later D exceeds, so c = 122 and e = 136 = c + W/2, closer than W: coarse 122.
//  - refinement: the fit over [94, 122] is the zero line (ρ 0); the first residual is at 150,
//    and [150, 157] has a mean absolute residual of 640 / 8 = 80 > 0: accepted at 150, rising.
//  - tangent: the steepest rising fit is the ramp, 20·i − 942, which meets the baseline 2048 at
//    149.5: arrival 149. With any other method string its zero is trunc(942 / 20) = 47, more
//    than w away: 150 stays. Expecting a falling first wave, the swing's next change of sign is
//    at 166, 16 on: 149 − 16 = 133, where the falling tangent search finds only the flat line.
TEST(VariancePicker, StagesOnAHandMadeTrace) {
    std::vector<uint16_t> s(512, 2048);
    for (int i = 150; i < 166; ++i)
        s[i] = static_cast<uint16_t>(2058 + 20 * (i - 150));
    for (int i = 166; i < 512; ++i)
        s[i] = ((i - 166) / 2) % 2 == 0 ? 1748 : 2348;

    struct Case {
        bool positive;
        bool tangentToBaseline;
        int pick;
    };
    for (const Case& c : {Case{true, true, 149}, Case{true, false, 150}, Case{false, true, 133}}) {
        VarianceSettings v = settingsFor(35000, c.positive);
        v.tangentToBaseline = c.tangentToBaseline;
        const VariancePicker p(s.data(), 512, v);
        ASSERT_EQ(p.window(), 28);
        ASSERT_EQ(p.quarter(), 7);
        SCOPED_TRACE(::testing::Message()
                     << "positive " << c.positive << ", to baseline " << c.tangentToBaseline);
        EXPECT_EQ(p.FindExcursion(0, 0, true), 122);
        EXPECT_EQ(p.FindExcursion(122, 122, false), 122);
        EXPECT_EQ(p.FindExcursion(122, 136, false), 136);
        EXPECT_EQ(p.CoarseArrival(), 122);
        EXPECT_EQ(p.RefineArrival(122), c.pick);
        EXPECT_EQ(p.RefineArrival(100), c.pick);  // the same onset from an earlier bracket
        EXPECT_EQ(p.Pick(), c.pick);
    }
    const VariancePicker p(s.data(), 512, settingsFor(35000));
    EXPECT_EQ(p.AdjustByTangent(150, true), 149);
    EXPECT_EQ(p.AdjustByTangent(133, false), 133);
}

TEST(PickByVariance, NeverBeyond511) {
    // An onset past the examined half of a 1024-sample trace is not found.
    const std::vector<uint16_t> late = burst({.n = 1024, .onset = 700, .frequency = 40000});
    EXPECT_EQ(PickByVariance(late.data(), 1024, settingsFor(40000)), kVarianceNotFound);

    std::mt19937 rng(3);
    for (int trial = 0; trial < 40; ++trial) {
        const std::vector<uint16_t> s = burst({.n = 1024,
                                               .onset = 300.0 + rng() % 600,
                                               .frequency = 30000.0 + rng() % 50000,
                                               .noise = 5.0 + rng() % 300,
                                               .seed = static_cast<unsigned>(trial)});
        const int a = PickByVariance(s.data(), 1024, settingsFor(35000));
        EXPECT_GE(a, 0);
        EXPECT_LE(a, 511);
    }
}

TEST(PickByVariance, NothingToFind) {
    const std::vector<uint16_t> silent = flat(512);
    EXPECT_EQ(PickByVariance(silent.data(), 512, settingsFor(35000)), kVarianceNotFound);

    const std::vector<uint16_t> s = burst({.n = 512, .onset = 200, .frequency = 40000});
    VarianceSettings v = settingsFor(40000);
    v.start = 450;  // the search begins after the burst's start, past 511 − W: coarse result 0
    EXPECT_EQ(PickByVariance(s.data(), 512, v), kVarianceNotFound);
    v.start = -50;  // a negative start begins at 0
    EXPECT_EQ(PickByVariance(s.data(), 512, v), PickByVariance(s.data(), 512, settingsFor(40000)));
    v = settingsFor(1000);  // W = 1000: longer than the examined samples
    EXPECT_EQ(PickByVariance(s.data(), 512, v), kVarianceNotFound);
    v.window = 0;  // no usable window (zero interval or frequency)
    EXPECT_EQ(PickByVariance(s.data(), 512, v), kVarianceNotFound);
}

TEST(PickByVariance, FirstWavePolarity) {
    // The first half wave goes down. Expecting it to go down, the onset is the first swing;
    // expecting it to go up, the up-swing before it is taken to have been lost in the baseline
    // and the arrival moves back by the length of the down-swing (half a period, 12.5 samples).
    const std::vector<uint16_t> s = burst({.n = 512, .onset = 200, .frequency = 40000, .amplitude = -1000});
    const int down = PickByVariance(s.data(), 512, settingsFor(40000, false));
    const int up = PickByVariance(s.data(), 512, settingsFor(40000, true));
    EXPECT_GE(down, 194);
    EXPECT_LE(down, 201);
    EXPECT_GE(down - up, 11);
    EXPECT_LE(down - up, 14);
}

TEST(PickByVariance, ShortTracesReadAsTheZeroLineBeyondTheirEnd) {
    const std::vector<uint16_t> s = burst({.n = 300, .onset = 120, .frequency = 40000});
    std::vector<uint16_t> padded = s;
    padded.resize(512, 2048);
    EXPECT_EQ(PickByVariance(s.data(), 300, settingsFor(40000)),
              PickByVariance(padded.data(), 512, settingsFor(40000)));
}

}  // namespace
}  // namespace lx9
