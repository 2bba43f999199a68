#include "analysis/first_arrival.h"

#include <gtest/gtest.h>

#include <vector>

#include "test_traces.h"

namespace lx9 {
namespace {

using testing::burst;
using testing::flat;

ArrivalPick pickAt(const std::vector<uint16_t>& s, double threshold) {
    return PickByAmplitude(s.data(), static_cast<int>(s.size()), 2047 + threshold);
}

TEST(PickByAmplitude, StepRampAndSpike) {
    std::vector<uint16_t> step = flat(200);
    for (int k = 100; k < 200; ++k)
        step[k] = 2500;
    ArrivalPick p = pickAt(step, 100);
    EXPECT_EQ(p.arrival, 100);
    EXPECT_EQ(p.peak, 101);  // flat after the step: the first flat sample counts as the extremum

    std::vector<uint16_t> ramp(100);
    for (int k = 0; k < 100; ++k)
        ramp[k] = static_cast<uint16_t>(2048 + 10 * k);
    p = pickAt(ramp, 100);  // level 2147: 2148 at k = 10
    EXPECT_EQ(p.arrival, 10);
    EXPECT_EQ(p.peak, 10);  // no extremum on a ramp: the peak is the arrival

    std::vector<uint16_t> spike = flat(50);
    spike[20] = 2200;  // one sample above the level with both neighbours below
    p = pickAt(spike, 100);
    EXPECT_EQ(p.arrival, 20);
    EXPECT_EQ(p.peak, 21);  // the zero line right after it is a (flat) minimum
}

TEST(PickByAmplitude, FirstSampleAndTheZeroLine) {
    std::vector<uint16_t> s = flat(64);
    s[0] = 2200;
    EXPECT_EQ(pickAt(s, 100).arrival, 0);  // sample 0 at or above the level is the arrival

    // All-2048 against threshold 0 (level 2047) and 1 (level 2048): sample 0 qualifies by ≥.
    EXPECT_EQ(pickAt(flat(64), 0).arrival, 0);
    EXPECT_EQ(pickAt(flat(64), 0).peak, 1);
    EXPECT_EQ(pickAt(flat(64), 1).arrival, 0);
    // A fractional threshold is not truncated: level 2048.5 is never reached.
    const ArrivalPick none = pickAt(flat(64), 1.5);
    EXPECT_EQ(none.arrival, 63);
    EXPECT_EQ(none.peak, 63);
}

TEST(PickByAmplitude, ToneBurstAndClippedBurst) {
    // 50 kHz at 1 µs: 20 samples a period; the first sample at 51 is 304 codes up.
    const std::vector<uint16_t> tone = burst({.n = 200, .onset = 50, .frequency = 50000});
    ArrivalPick p = pickAt(tone, 300);
    EXPECT_EQ(p.arrival, 51);
    EXPECT_EQ(p.peak, 55);   // the quarter period
    p = pickAt(tone, 1000);  // never reached: the envelope has decayed below 1000 by the crest
    EXPECT_EQ(p.arrival, 199);

    const std::vector<uint16_t> clipped =
        burst({.n = 200, .onset = 50, .frequency = 50000, .amplitude = 5000});
    p = pickAt(clipped, 100);
    EXPECT_EQ(p.arrival, 51);
    int firstClipped = 51;
    while (clipped[firstClipped] != 4095)
        ++firstClipped;
    EXPECT_EQ(p.peak, firstClipped);  // the plateau starts the extremum
}

TEST(PickByAmplitude, DegenerateLengths) {
    EXPECT_EQ(PickByAmplitude(nullptr, 10, 2047).arrival, 0);
    const uint16_t one[1] = {4000};
    EXPECT_EQ(PickByAmplitude(one, 1, 2047).arrival, 0);  // nothing scanned: n − 1
    const uint16_t two[2] = {2000, 4000};
    EXPECT_EQ(PickByAmplitude(two, 2, 2047).arrival, 1);  // only i = 0 is scanned: n − 1
    EXPECT_EQ(PickByAmplitude(two, 2, 2047).peak, 1);
}

TEST(FindPeakAfter, ExtremaAndLimits) {
    const std::vector<uint16_t> s = {2048, 2100, 2200, 2150, 2000, 1900, 1950, 2048, 2048, 2048};
    EXPECT_EQ(FindPeakAfter(s.data(), 10, 0), 2);  // crest
    EXPECT_EQ(FindPeakAfter(s.data(), 10, 2), 5);  // trough
    EXPECT_EQ(FindPeakAfter(s.data(), 10, 5), 7);  // flat after a rise
    EXPECT_EQ(FindPeakAfter(s.data(), 10, 7), 7);  // arrival at n − 3: the arrival
    EXPECT_EQ(FindPeakAfter(s.data(), 10, 9), 9);
    EXPECT_EQ(FindPeakAfter(s.data(), 10, 10), 0);  // arrival at n or beyond: the caller's 0
    EXPECT_EQ(FindPeakAfter(s.data(), 10, 500), 0);
    EXPECT_EQ(FindPeakAfter(s.data(), 10, -7), 2);  // a negative arrival starts at sample 1
}

}  // namespace
}  // namespace lx9
