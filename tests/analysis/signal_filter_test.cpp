#include "analysis/signal_filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "test_traces.h"

namespace lx9 {
namespace {

std::vector<int> asInts(const std::vector<float>& v) {
    return {v.begin(), v.end()};
}

TEST(Rounding, HalvesGoAwayFromZero) {
    EXPECT_EQ(rnd(2.5), 3.0);
    EXPECT_EQ(rnd(-2.5), -3.0);
    EXPECT_EQ(rnd(2.4999), 2.0);
    EXPECT_EQ(rnd(-0.4), 0.0);
    EXPECT_EQ(rnd(0.0), 0.0);
}

// Expected values below come from an independent evaluation of the filter equations.
TEST(Butterworth, LowPassOfAPulse) {
    const std::vector<float> x = {0, 0, 1000, 1000, 1000, 1000, 0, 0, -500, 0};
    std::vector<float> y(x.size());
    ButterworthLowPass(x.data(), y.data(), x.size(), 1e-6, 60000);
    EXPECT_EQ(asInts(y), (std::vector<int>{0, 0, 27, 122, 274, 443, 576, 619, 564, 442}));
    ButterworthLowPass(x.data(), y.data(), x.size(), 2e-6, 60000);
    EXPECT_EQ(asInts(y), (std::vector<int>{0, 0, 85, 341, 658, 889, 926, 710, 348, 14}));

    // In place the recursion still sees the unfiltered input.
    std::vector<float> z = x;
    ButterworthLowPass(z.data(), z.data(), z.size(), 2e-6, 60000);
    EXPECT_EQ(z, y);

    ButterworthLowPass(x.data(), y.data(), x.size(), 0.0, 60000);  // no interval: a copy
    EXPECT_EQ(y, x);
}

TEST(Butterworth, HighPassOfAPulse) {
    const std::vector<float> x = {0, 0, 1000, 1000, 1000, 1000, 0, 0, -500, 0};
    std::vector<float> y = x;
    ButterworthHighPass(y.data(), y.data(), y.size(), 1e-6, 20000);
    EXPECT_EQ(asInts(y), (std::vector<int>{0, 0, 915, 753, 606, 474, -558, -499, -899, -307}));

    // Short inputs: the first one or two outputs only.
    float one = 7;
    ButterworthHighPass(&one, &one, 1, 1e-6, 20000);
    EXPECT_EQ(one, 6.0f);  // b0·7 = 6.45 → 6
    ButterworthLowPass(&one, &one, 0, 1e-6, 20000);
    EXPECT_EQ(one, 6.0f);
}

TEST(ConditionWave, ToneBurstAfterSilence) {
    std::vector<uint16_t> s = {2048, 2048, 2048, 2048, 2048, 2048, 2048, 2048, 2048, 2048, 2048, 2247,
                               2433, 2596, 2723, 2809, 2846, 2834, 2772, 2664, 2518, 2342, 2148, 1948,
                               1754, 1578, 1432, 1324, 1262, 1250, 1287, 1373, 1500, 1663, 1849, 2048,
                               2247, 2433, 2596, 2723, 2809, 2846, 2834, 2772, 2664, 2518, 2342, 2148};
    ConditionWave(s.data(), static_cast<int>(s.size()), 1.0, 20000, 60000);
    const std::vector<uint16_t> expected = {
        2048, 2048, 2048, 2048, 2048, 2048, 2048, 2048, 2048, 2048, 2048, 2053, 2074, 2118, 2179, 2248,
        2312, 2362, 2385, 2374, 2331, 2253, 2146, 2018, 1879, 1738, 1606, 1496, 1413, 1366, 1360, 1396,
        1472, 1584, 1727, 1892, 2068, 2245, 2412, 2560, 2677, 2756, 2794, 2788, 2738, 2646, 2518, 2364};
    EXPECT_EQ(s, expected);
}

TEST(ConditionWave, LeadInFollowsTheOpeningSlope) {
    // A sawtooth on a rising trend, dt 2 µs: lead E = 8 (10/2 = 5 raised to 8), lead-in of 32.
    std::vector<uint16_t> r(40);
    for (int k = 0; k < 40; ++k)
        r[k] = static_cast<uint16_t>(2048 + (k * 37) % 200 - 100 + 5 * k);
    ConditionWave(r.data(), 40, 2.0, 20000, 60000);
    EXPECT_EQ(r, (std::vector<uint16_t>{2046, 2048, 2056, 2069, 2082, 2092, 2084, 2048, 2011, 2003,
                                        2016, 2027, 2014, 1999, 2006, 2029, 2060, 2074, 2055, 2031,
                                        2029, 2045, 2057, 2042, 2024, 2027, 2047, 2075, 2085, 2063,
                                        2037, 2033, 2048, 2058, 2042, 2024, 2026, 2046, 2059, 2046}));

    // Steep openings: the lead-in's start is held within one converter range of sample 0.
    std::vector<uint16_t> up(24), down(24);
    for (int k = 0; k < 24; ++k) {
        up[k] = static_cast<uint16_t>(std::min(4095, 300 * k));
        down[k] = static_cast<uint16_t>(std::max(0, 4095 - 300 * k));
    }
    ConditionWave(up.data(), 24, 1.0, 20000, 60000);
    ConditionWave(down.data(), 24, 1.0, 20000, 60000);
    EXPECT_EQ(
        up, (std::vector<uint16_t>{2099, 2087, 2097, 2140, 2212, 2308, 2416, 2525, 2628, 2719, 2792, 2848,
                                   2883, 2901, 2900, 2870, 2801, 2687, 2534, 2357, 2169, 1982, 1805, 1647}));
    EXPECT_EQ(down, (std::vector<uint16_t>{1997, 2010, 1999, 1956, 1884, 1788, 1680, 1571,
                                           1468, 1377, 1304, 1248, 1213, 1195, 1196, 1226,
                                           1295, 1409, 1562, 1738, 1927, 2114, 2291, 2448}));
}

TEST(ConditionWave, ClampsBelowAtZeroButNotAboveTheConverterRange) {
    // A full-scale square wave of period 24 µs rings past both ends of the converter range.
    std::vector<uint16_t> sq(64);
    for (int k = 0; k < 64; ++k)
        sq[k] = (k / 12) % 2 == 0 ? 4095 : 0;
    ConditionWave(sq.data(), 64, 1.0, 20000, 60000);
    EXPECT_EQ(sq[30], 4759);  // stays above 4095
    EXPECT_EQ(sq[33], 4199);
    EXPECT_EQ(sq[42], 0);  // clamped
    EXPECT_EQ(sq[43], 0);
    EXPECT_EQ(sq[41], 34);
}

TEST(ConditionWave, SilenceAndZeroIntervalLeaveTheTraceAlone) {
    std::vector<uint16_t> silent = testing::flat(512);
    ConditionWave(silent.data(), 512, 1.0, 20000, 60000);
    EXPECT_EQ(silent, testing::flat(512));

    // dt 0: the low-pass copies, the high-pass degenerates to the identity.
    const std::vector<uint16_t> tone = testing::burst({.n = 256, .onset = 40, .noise = 30});
    std::vector<uint16_t> s = tone;
    ConditionWave(s.data(), 256, 0.0, 20000, 60000);
    EXPECT_EQ(s, tone);
}

TEST(ConditionWave, AnySettingStaysInsideTheBufferAndTheWord) {
    // Exactly sized buffers so that AddressSanitizer sees any stray access.
    std::mt19937 rng(11);
    const double intervals[] = {0.1,
                                0.5,
                                1.0,
                                2.0,
                                24.9,
                                25.0,
                                40.0,
                                1e6,
                                -1.0,
                                0.0,
                                std::numeric_limits<double>::quiet_NaN(),
                                std::numeric_limits<double>::infinity()};
    for (double dt : intervals) {
        for (int n : {1, 2, 3, 7, 8, 31, 33, 512}) {
            std::vector<uint16_t> s(static_cast<size_t>(n));
            for (auto& v : s)
                v = static_cast<uint16_t>(rng() % 4096);
            ConditionWave(s.data(), n, dt, 20000, 60000);
            if (std::isnan(dt)) {
                EXPECT_EQ(s, testing::flat(n)) << n;  // nothing defined: the zero line
            }
        }
    }
    // An interval that puts the high-pass corner past half the sampling rate makes it unstable:
    // the growing output saturates rather than wrapping around.
    std::vector<uint16_t> s = testing::burst({.n = 1024, .onset = 10, .frequency = 5000, .dt = 40});
    ConditionWave(s.data(), 1024, 40.0, 20000, 60000);
    // Both rails are reached: an output that wrapped round would land in between instead.
    EXPECT_TRUE(std::any_of(s.begin(), s.end(), [](uint16_t v) { return v == 65535; }));
    EXPECT_TRUE(std::any_of(s.begin(), s.end(), [](uint16_t v) { return v == 0; }));
    ConditionWave(nullptr, 10, 1.0, 20000, 60000);  // nothing to do
}

}  // namespace
}  // namespace lx9
