#include "analysis/exact_moments.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <vector>

namespace lx9 {
namespace {

TEST(ExactMoments, ConstantSampleHasExactMeanAndZeroDeviation) {
    ExactMoments m;
    for (int i = 0; i < 1000; ++i)
        m.add(0.1f);  // summed in floats this drifts
    EXPECT_EQ(m.count(), 1000);
    EXPECT_EQ(m.mean(), static_cast<double>(0.1f));
    EXPECT_EQ(m.deviation(), 0.0);
}

TEST(ExactMoments, HandComputedSample) {
    ExactMoments m;
    for (float v : {2.0f, 4.0f, 4.0f, 4.0f, 5.0f, 5.0f, 7.0f, 9.0f})
        m.add(v);
    // mean 40 / 8 = 5; Σ(v − 5)² = 9 + 1 + 1 + 1 + 0 + 0 + 4 + 16 = 32; s = √(32 / 7)
    EXPECT_EQ(m.mean(), 5.0);
    EXPECT_DOUBLE_EQ(m.deviation(), std::sqrt(32.0 / 7.0));
}

TEST(ExactMoments, CancellationAndExtremesStayExact) {
    ExactMoments m;
    m.add(1e30f);
    m.add(1.0f);
    m.add(-1e30f);  // a floating sum would lose the 1
    EXPECT_DOUBLE_EQ(m.mean(), 1.0 / 3.0);

    ExactMoments tiny;
    tiny.add(std::numeric_limits<float>::denorm_min());
    tiny.add(std::numeric_limits<float>::denorm_min());
    EXPECT_EQ(tiny.mean(), static_cast<double>(std::numeric_limits<float>::denorm_min()));
    EXPECT_EQ(tiny.deviation(), 0.0);

    ExactMoments huge;
    huge.add(FLT_MAX);
    huge.add(-FLT_MAX);
    EXPECT_EQ(huge.mean(), 0.0);
    EXPECT_DOUBLE_EQ(huge.deviation(), static_cast<double>(FLT_MAX) * std::sqrt(2.0));
    huge.remove(-FLT_MAX);
    huge.add(FLT_MAX);
    EXPECT_EQ(huge.mean(), static_cast<double>(FLT_MAX));
    EXPECT_EQ(huge.deviation(), 0.0);
}

TEST(ExactMoments, RemovingGivesTheStatisticsOfTheSampleSummedAfresh) {
    std::mt19937 rng(7);
    std::normal_distribution<float> dist(4.2f, 0.3f);
    std::vector<float> v(500);
    for (float& x : v)
        x = rng() % 7 == 0 ? -dist(rng) * 1e3f : dist(rng);
    ExactMoments running;
    for (float x : v)
        running.add(x);
    for (size_t cut = 0; cut + 2 < v.size(); cut += 37) {
        for (size_t i = cut; i < std::min(cut + 37, v.size()); ++i)
            running.remove(v[i]);
        ExactMoments fresh;
        for (size_t i = std::min(cut + 37, v.size()); i < v.size(); ++i)
            fresh.add(v[i]);
        ASSERT_EQ(running.count(), fresh.count());
        ASSERT_EQ(running.mean(), fresh.mean());
        ASSERT_EQ(running.deviation(), fresh.deviation());
    }
}

TEST(ExactMoments, FewValues) {
    ExactMoments m;
    EXPECT_EQ(m.mean(), 0.0);
    EXPECT_EQ(m.deviation(), 0.0);
    m.add(-3.5f);
    EXPECT_EQ(m.mean(), -3.5);
    EXPECT_EQ(m.deviation(), 0.0);
    m.clear();
    EXPECT_EQ(m.count(), 0);
}

}  // namespace
}  // namespace lx9
