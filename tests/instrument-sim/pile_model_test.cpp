#include "pile_model.h"

#include <gtest/gtest.h>

#include <cmath>

#include "sim_test_util.h"

namespace lx9::sim {
namespace {

Scenario twoPipes() {
    Scenario s = test::quietScenario();
    s.pipeCount = 2;
    s.pipePositions = {{0.0, 0.0}, {550.0, 0.0}};
    return s;
}

// Walls (50 − 42) / 2 = 4 mm at 5 900 m/s and water gaps (42 − 30) / 2 = 6 mm at 1 480 m/s, twice.
constexpr double kFixedUs = 2.0 * (4.0 / 5.9 + 6.0 / 1.48);

TEST(PileModel, ArrivalFollowsSpacingVelocityPipesAndWater) {
    const PileModel pile(twoPipes(), 1);
    EXPECT_DOUBLE_EQ(pile.spacingMm(1, 2), 500.0);
    const RayTruth ray = pile.ray(2, 1, 10.0);
    EXPECT_DOUBLE_EQ(ray.velocityMps, 4000.0);
    EXPECT_DOUBLE_EQ(ray.concreteUs, 125.0);
    EXPECT_NEAR(ray.arrivalUs, 125.0 + kFixedUs, 1e-9);
    // 5 mV at 1 m spread over 0.5 m, less 6 dB/m × 0.5 m of absorption.
    EXPECT_NEAR(ray.amplitudeMv, 10.0 * std::pow(10.0, -3.0 / 20.0), 1e-9);
    EXPECT_FALSE(ray.defect);
}

TEST(PileModel, ZeroTimeAddsToEveryArrival) {
    Scenario s = twoPipes();
    s.zeroTimeUs = 3.0;
    EXPECT_NEAR(PileModel(s, 1).ray(1, 2, 1.0).arrivalUs, 128.0 + kFixedUs, 1e-9);
}

TEST(PileModel, VelocitySpreadIsPerLevelAndReproducible) {
    Scenario s = twoPipes();
    s.velocitySpreadPercent = 1.0;
    const PileModel a(s, 42), b(s, 42), c(s, 43);
    EXPECT_EQ(a.ray(1, 2, 7.25).velocityMps, b.ray(1, 2, 7.25).velocityMps);
    EXPECT_EQ(a.ray(1, 2, 7.25).velocityMps, a.ray(1, 2, 7.251).velocityMps);  // same centimetre
    EXPECT_NE(a.ray(1, 2, 7.25).velocityMps, c.ray(1, 2, 7.25).velocityMps);
    double sum = 0.0, sq = 0.0;
    const int n = 2000;
    for (int i = 0; i < n; ++i) {
        const double v = a.ray(1, 2, i / 100.0).velocityMps;
        sum += v;
        sq += v * v;
    }
    const double mean = sum / n, sd = std::sqrt(sq / n - mean * mean);
    EXPECT_NEAR(mean, 4000.0, 5.0);
    EXPECT_NEAR(sd, 40.0, 5.0);
}

TEST(PileModel, DefectsActOnTheirDepthsAndSections) {
    Scenario s = test::quietScenario();  // four pipes
    s.defects.push_back({8.0, 8.5, {"1-2"}, 20.0, 12.0, false});
    s.defects.push_back({15.0, 15.2, {}, 0.0, 0.0, true});
    const PileModel pile(s, 1);
    const RayTruth sound = pile.ray(1, 2, 7.9);
    const RayTruth weak = pile.ray(1, 2, 8.2);
    EXPECT_TRUE(weak.defect);
    EXPECT_DOUBLE_EQ(weak.velocityMps, 3200.0);
    EXPECT_NEAR(weak.amplitudeMv / sound.amplitudeMv, std::pow(10.0, -12.0 / 20.0), 1e-9);
    EXPECT_FALSE(pile.ray(1, 3, 8.2).defect);  // another section
    EXPECT_FALSE(pile.ray(2, 1, 8.6).defect);  // below the range
    const RayTruth dead = pile.ray(3, 4, 15.1);
    EXPECT_TRUE(dead.defect);
    EXPECT_EQ(dead.amplitudeMv, 0.0);
    EXPECT_DOUBLE_EQ(dead.velocityMps, 4000.0);
}

}  // namespace
}  // namespace lx9::sim
