#include "analysis/auto_pick.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/signal_filter.h"
#include "test_traces.h"

namespace lx9 {
namespace {

using testing::burst;
using testing::flat;

AutoPickDetail pick(const std::vector<uint16_t>& s, double dt = 1.0) {
    return PickAutoDetailed(s.data(), static_cast<int>(s.size()), dt, 100.0, kAutoNominalHz);
}

TEST(PickAuto, CleanBurstGivesItsOnsetAndFirstPeak) {
    const AutoPickDetail d = pick(burst({.n = 1024, .onset = 200.4, .frequency = 40000}));
    EXPECT_NEAR(d.arrival, 200.4, 0.5);
    EXPECT_EQ(d.times.arrivalTime, 200.0);  // whole µs after the delay, not 300 (delay 100)
    EXPECT_EQ(d.peak, 206);                 // crest of the first half wave, about a quarter period on
    EXPECT_EQ(d.times.peakTime, 206.0);
    EXPECT_TRUE(d.frequencyMeasured);
    EXPECT_NEAR(d.frequency, 40000, 2000);

    // The same trace sampled at 2 µs and at 0.5 µs: times scale, each truncated to whole µs.
    const AutoPickDetail slow = pick(burst({.n = 1024, .onset = 100.2, .frequency = 40000, .dt = 2.0}), 2.0);
    EXPECT_EQ(slow.times.arrivalTime, 200.0);
    const AutoPickDetail fast = pick(burst({.n = 1024, .onset = 401.0, .frequency = 40000, .dt = 0.5}), 0.5);
    EXPECT_GE(fast.times.arrivalTime, 200.0);
    EXPECT_LE(fast.times.arrivalTime, 201.0);
}

TEST(PickAuto, DominantFrequencyOutsideTheBandFallsBackToNominal) {
    AutoPickDetail d = pick(burst({.n = 1024, .onset = 300, .frequency = 60000}));
    EXPECT_FALSE(d.frequencyMeasured);  // 60 kHz > 30 kHz · 1.6
    EXPECT_EQ(d.frequency, 30000);
    EXPECT_NEAR(d.period, 1e6 / 30000, 1e-9);
    EXPECT_NEAR(d.arrival, 300, 1.0);  // the pick itself still lands on the onset

    d = pick(burst({.n = 1024, .onset = 300, .frequency = 45000}));
    EXPECT_TRUE(d.frequencyMeasured);  // 45 kHz ≤ 48 kHz
    EXPECT_NEAR(d.frequency, 45000, 3000);
    d = pick(burst({.n = 1024, .onset = 300, .frequency = 17000}));
    EXPECT_FALSE(d.frequencyMeasured);  // below 30 kHz / 1.6 = 18.75 kHz
}

TEST(PickAuto, FlatAndNoiseTracesStayInside) {
    AutoPickDetail d = pick(flat(512));
    EXPECT_EQ(d.times.arrivalTime, 0.0);
    EXPECT_EQ(d.times.peakTime, 1.0);  // the arrival comes before the peak, even on nothing

    for (unsigned seed = 1; seed <= 5; ++seed) {
        d = pick(burst({.n = 512, .amplitude = 0, .noise = 40, .seed = seed}));
        EXPECT_GE(d.arrival, 0);
        EXPECT_GT(d.peak, d.arrival);
        EXPECT_LE(d.peak, 511);
    }
    const uint16_t two[2] = {2048, 3000};
    d = PickAutoDetailed(two, 2, 1.0, 0, kAutoNominalHz);
    EXPECT_EQ(d.times.arrivalTime, 0.0);
    EXPECT_EQ(d.times.peakTime, 1.0);
}

TEST(PickAuto, UnusableIntervalGivesZeros) {
    const std::vector<uint16_t> s = burst({.n = 512, .onset = 200});
    for (double dt : {0.0, -1.0, std::nan(""), HUGE_VAL}) {
        const AutoPick t = PickAuto(s.data(), 512, dt, 100, kAutoNominalHz);
        EXPECT_EQ(t.arrivalTime, 0.0);
        EXPECT_EQ(t.peakTime, 0.0);
    }
    EXPECT_EQ(PickAuto(s.data(), 512, 1.0, 100, 0.0).arrivalTime, 0.0);
    EXPECT_EQ(PickAuto(nullptr, 512, 1.0, 100, kAutoNominalHz).arrivalTime, 0.0);
}

TEST(PickAuto, EarliestWaveWins) {
    // A weaker wave at 150 ahead of a stronger one at 300: the first arrival is the weak one.
    std::vector<uint16_t> s =
        burst({.n = 1024, .onset = 150, .frequency = 40000, .amplitude = 400, .noise = 8});
    const std::vector<uint16_t> strong =
        burst({.n = 1024, .onset = 300, .frequency = 40000, .amplitude = 1000});
    for (int k = 0; k < 1024; ++k)
        s[k] = static_cast<uint16_t>(s[k] + strong[k] - 2048);
    EXPECT_NEAR(pick(s).arrival, 150, 2.0);
}

TEST(PickAuto, SpikeBeforeTheWaveIsNoArrival) {
    // A lone full-scale sample stands out of the noise as much as a ratio can tell, but starts
    // no wave of the dominant width.
    std::vector<uint16_t> s =
        burst({.n = 1024, .onset = 300, .frequency = 40000, .amplitude = 200, .noise = 5});
    s[100] = 4095;
    const AutoPickDetail d = pick(s);
    EXPECT_NEAR(d.arrival, 300, 2.0);
    EXPECT_NE(d.earlier, -1);  // the spike was a counting earlier candidate, and was passed over
    EXPECT_LT(d.earlier, 110);
}

TEST(PickAuto, SpikeAsTheMainRiseYieldsToTheWaveAfterIt) {
    // The spike now stands out more than the weaker wave does: it is the main candidate, starts no
    // wave, and the counting later candidate that does start one is taken.
    std::vector<uint16_t> s =
        burst({.n = 1024, .onset = 300, .frequency = 40000, .amplitude = 60, .noise = 5});
    s[100] = 4095;
    const AutoPickDetail d = pick(s);
    EXPECT_EQ(d.earlier, -1);
    EXPECT_NE(d.later, -1);
    EXPECT_EQ(d.candidate, d.later);
    EXPECT_NEAR(d.arrival, 300, 2.0);
}

TEST(PickAuto, ConditionedNoisyTraceIsNotFooledByTheSettlingStart) {
    // After the band-pass the first samples are quieter than the rest while the filters settle;
    // measured against that, the noise right after them looks like a rise.
    for (unsigned seed = 1; seed <= 8; ++seed) {
        std::vector<uint16_t> s =
            burst({.n = 1024, .onset = 300, .frequency = 50000, .noise = 200, .seed = seed});
        ConditionWave(s.data(), 1024, 1.0, kConditionHighCutHz, kConditionLowCutHz);
        const AutoPickDetail d = pick(s);
        EXPECT_NEAR(d.arrival, 302, 4.0) << "seed " << seed;  // the filters delay the onset a little
    }
}

// An early first arrival (the usual case with the default delay) followed by a later, weaker
// wave (a reflection or a tube wave): the arrival is the early onset, with or without the
// digital filter, which delays it by about two samples. dt 1 µs, 512 samples, 40 kHz bursts.
TEST(PickAuto, EarlyArrivalIsNotLostToALaterWeakerWave) {
    struct Case {
        double onset;
        double laterShare;  // of the first burst's amplitude, at sample 400
    };
    std::vector<Case> cases;
    for (double onset : {15.0, 16.0, 20.0, 25.0, 30.0, 38.0, 43.0, 45.0, 52.0, 60.0}) {
        for (double share : {0.0, 0.1, 0.2, 0.3})
            cases.push_back({onset, share});
    }
    for (const Case& c : cases) {
        std::vector<uint16_t> s = burst({.n = 512, .onset = c.onset, .frequency = 40000});
        if (c.laterShare > 0) {
            const std::vector<uint16_t> later =
                burst({.n = 512, .onset = 400, .frequency = 40000, .amplitude = 1000 * c.laterShare});
            for (size_t k = 0; k < s.size(); ++k)
                s[k] = static_cast<uint16_t>(s[k] + later[k] - 2048);
        }
        for (bool filtered : {false, true}) {
            std::vector<uint16_t> t = s;
            if (filtered) ConditionWave(t.data(), 512, 1.0, kConditionHighCutHz, kConditionLowCutHz);
            const AutoPickDetail d = pick(t);
            const double expected = c.onset + (filtered ? 2.0 : 0.0);
            EXPECT_NEAR(d.arrival, expected, 2.0)
                << "onset " << c.onset << ", later wave " << c.laterShare << (filtered ? ", filtered" : "");
            EXPECT_GT(d.peak, d.arrival);
            EXPECT_LT(d.peak, d.arrival + 10);  // the first crest of the early burst, not the later one's
        }
    }
}

}  // namespace
}  // namespace lx9
