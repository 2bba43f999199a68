#include "analysis/section_statistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "data/cinfo.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "data/sample_data_list.h"

namespace lx9 {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

float exclude(std::vector<float> v, FactorRule rule) {
    return CriticalByExclusion(v.data(), static_cast<int>(v.size()), rule);
}

TEST(LambdaTable, RowsAndEnds) {
    struct Case {
        int n, rows;
        float lambda;
    } cases[] = {
        {-1, 60, 1.64f},  {0, 60, 1.64f},      {5, 60, 1.64f},   {20, 70, 1.64f},   // n <= 20
        {21, 60, 1.69f},  {25, 60, 1.77f},     {26, 60, 1.77f},  {27, 70, 1.80f},   // next tabulated n
        {46, 60, 2.02f},  {47, 60, 2.04f},     {74, 60, 2.21f},  {75, 60, 2.22f},   // column changes
        {90, 60, 2.29f},  {91, 60, 2.29f},     {92, 60, 2.29f},  {93, 60, 2.30f},   // 90 and 92 share
        {100, 60, 2.33f}, {101, 60, 2.34f},    {105, 70, 2.34f}, {106, 70, 2.36f},  //
        {200, 60, 2.58f}, {201, 60, 2.61f},    {280, 60, 2.69f},                    // row 60
        {281, 60, 2.69f}, {100000, 60, 2.69f},                                      // beyond 60 rows
        {281, 70, 2.72f}, {479, 70, 2.88f},    {480, 70, 2.88f},                    // rows 61..70
        {481, 70, 2.69f}, {65535, 70, 2.69f},                                       // beyond: 2.69, not 2.88
    };
    for (const Case& c : cases)
        EXPECT_EQ(LambdaFor(c.n, c.rows), c.lambda) << "n " << c.n << " rows " << c.rows;
    EXPECT_EQ(factorFor(FactorRule::Two, 1000), 2.0f);
    EXPECT_EQ(factorFor(FactorRule::Lambda60, 300), 2.69f);
    EXPECT_EQ(factorFor(FactorRule::Lambda70, 300), 2.72f);
}

TEST(SortAndTrim, AbsentValuesSortLastAndAreDropped) {
    std::vector<float> v = {3.0f, -1e21f, kNaN, 5.0f, kInf, -kInf, 4.0f, -9.0e20f};
    SortDescending(v.data(), 0, static_cast<int>(v.size()) - 1);
    EXPECT_EQ(v[0], 5.0f);
    EXPECT_EQ(v[1], 4.0f);
    EXPECT_EQ(v[2], 3.0f);
    EXPECT_EQ(v[3], -9.0e20f);  // above -9.99e20: a value
    EXPECT_EQ(TrimAbsent(v.data(), static_cast<int>(v.size())), 4);
}

TEST(SortAndTrim, LargeArraysSortLikeAComparisonSort) {
    std::mt19937 rng(3);
    std::normal_distribution<float> dist(0.0f, 1e3f);
    for (int n : {257, 4096, 65535}) {
        std::vector<float> v(static_cast<size_t>(n));
        for (float& x : v) {
            x = dist(rng);
            if (rng() % 5 == 0) x = std::round(x / 100.0f);  // ties, zeros and −0
            if (rng() % 50 == 0) x = rng() % 2 ? kNaN : -1e25f;
        }
        std::vector<float> expected;
        for (float x : v) {
            if (!isAbsent(x)) expected.push_back(x);
        }
        std::sort(expected.begin(), expected.end(), std::greater<float>());
        SortDescending(v.data(), 0, n - 1);
        ASSERT_EQ(TrimAbsent(v.data(), n), static_cast<int>(expected.size()));
        v.resize(expected.size());
        EXPECT_EQ(v, expected) << n;  // −0 and 0 compare equal, as they should
    }
}

// One-sided exclusion, by hand (values sorted largest first).
TEST(ExcludeLow, HandComputedCriticalValues) {
    // 4.0 … 4.8: μ 4.4, Σ(v−μ)² 0.4, s = √(0.4/4) = 0.3162278; factor 2: 4.4 − 0.6324555
    EXPECT_NEAR(exclude({4.0f, 4.2f, 4.4f, 4.6f, 4.8f}, FactorRule::Two), 3.7675445f, 2e-6);
    // same with λ(5) = 1.64: 4.4 − 0.5186136
    EXPECT_NEAR(exclude({4.8f, 4.6f, 4.4f, 4.2f, 4.0f}, FactorRule::Lambda60), 3.8813864f, 2e-6);

    // 25 values 4.00 … 4.24 without outlier: λ = 1.77 (row n = 26); μ 4.12, Σ 0.13,
    // s = √(0.13/24) = 0.0735980; c = 4.12 − 0.1302684 = 3.9897316 ≤ 4.00
    std::vector<float> ramp;
    for (int i = 0; i < 25; ++i)
        ramp.push_back(4.0f + 0.01f * i);
    EXPECT_NEAR(exclude(ramp, FactorRule::Lambda60), 3.9897316f, 2e-6);

    // Two passes, factor 2. {5, 4.8, 4.6, 4.4, 4.2, 4.0, 3.0, 1.0}: μ 3.875, Σ 12.075,
    // s = √(12.075/7) = 1.3133926, c = 1.2482148 > 1.0 → 1.0 leaves. Then 7 values: μ 30/7,
    // Σ = 131.2 − 900/7 = 2.6285714, s = 0.6618876, c = 4.2857143 − 1.3237752 = 2.9619391 ≤ 3.0
    EXPECT_NEAR(exclude({5.0f, 4.8f, 4.6f, 4.4f, 4.2f, 4.0f, 3.0f, 1.0f}, FactorRule::Two), 2.9619391f, 2e-6);

    // 20 × 4.0 and one 2.0 under λ(21) = 1.69: μ 82/21, Σ = 20·1·2²/21 = 80/21, s = √(4/21),
    // c = 3.9047619 − 0.7375767 = 3.1671852 > 2.0 → 2.0 leaves; the rest is constant: exactly 4.
    std::vector<float> defect(20, 4.0f);
    defect.push_back(2.0f);
    EXPECT_EQ(exclude(defect, FactorRule::Lambda60), 4.0f);
}

TEST(ExcludeLow, CodesAndDegenerateSamples) {
    EXPECT_EQ(exclude({}, FactorRule::Two), kNoValueLeft);                            // nothing at all
    EXPECT_EQ(exclude({-1e21f, kNaN}, FactorRule::Two), kNoValueLeft);                // nothing valid
    EXPECT_EQ(exclude({4.2f}, FactorRule::Lambda60), kTooFewValues);                  // one value
    EXPECT_EQ(exclude({4.2f, -2e21f, kInf}, FactorRule::Two), kTooFewValues);         // one valid value
    EXPECT_EQ(exclude(std::vector<float>(300, 4.37f), FactorRule::Lambda60), 4.37f);  // s = 0: μ
    // Two values: c = μ − λ·|d|/√2 always lies below the smaller one.
    EXPECT_NEAR(exclude({5.0f, 3.0f}, FactorRule::Two), 4.0 - 2.0 * std::sqrt(2.0), 1e-6);
    EXPECT_EQ(criticalStatus(kTooFewValues), CriticalStatus::TooFewValues);
    EXPECT_EQ(criticalStatus(kNoValueLeft), CriticalStatus::NoValueLeft);
    EXPECT_EQ(criticalStatus(0.0f), CriticalStatus::Value);
}

TEST(ExcludeLow, LeavesTheCallersValuesAlone) {
    const std::vector<float> v = {1.0f, 5.0f, 4.0f, 4.5f};
    std::vector<float> copy = v;
    CriticalByExclusion(copy.data(), 4, FactorRule::Two);
    EXPECT_EQ(copy, v);
}

TEST(MeanProcedures, TwoSigmaAndSixDb) {
    const std::vector<float> v = {4.0f, 4.2f, 4.4f, 4.6f, 4.8f};
    EXPECT_NEAR(MeanMinusTwoSigma(v.data(), 5), 3.7675445f, 2e-6);  // 4.4 − 2·0.3162278
    const float one = 4.1f;
    EXPECT_EQ(MeanMinusTwoSigma(&one, 1), 0.0f);
    EXPECT_EQ(MeanMinusTwoSigma(nullptr, 0), kTooFewValues);

    const std::vector<float> db = {100.0f, 110.0f, 120.0f};
    EXPECT_EQ(MeanMinusSixDb(db.data(), 3), 104.0f);
    EXPECT_EQ(MeanMinusSixDb(nullptr, 0), kTooFewValues);
    // A zero amplitude is −∞ dB: it would drag the mean to −∞; it counts as no value.
    const std::vector<float> withSilence = {100.0f, -kInf, 110.0f};
    EXPECT_EQ(MeanMinusSixDb(withSilence.data(), 3), 99.0f);
}

// Two-sided exclusion of the Guangdong rules, by hand (λ from 70 rows; n ≤ 20 → 1.64).
TEST(SectionCriticalVelocityDbj, HandComputed) {
    // No outlier: μ 4.4, s 0.3162278; lower 3.8813864, upper 4.9186136 → status 1.
    DbjSectionResult r = SectionCriticalVelocityDbj({4.0f, 4.8f, 4.2f, 4.6f, 4.4f});
    EXPECT_EQ(r.status, 1);
    EXPECT_NEAR(r.criticalVelocity, 3.8813864f, 2e-6);

    // Largest value an outlier: {9, 4.4, 4.3, 4.2, 4.1, 4.0}: μ 5, Σ 19.3, s = √3.86 = 1.9646883,
    // upper 8.2220888 ≤ 9 → 9 leaves, and 4.0 leaves in the same pass. Then {4.4 … 4.1}: μ 4.25,
    // s = √(0.05/3) = 0.1290994, λ(5) = 1.64: lower 4.0382770, upper 4.4617230 → status 1.
    r = SectionCriticalVelocityDbj({9.0f, 4.4f, 4.3f, 4.2f, 4.1f, 4.0f});
    EXPECT_EQ(r.status, 1);
    EXPECT_NEAR(r.criticalVelocity, 4.0382770f, 2e-6);

    // Constant, of even and odd size: s = 0, both limits equal the value, nothing is an outlier.
    for (int n : {2, 5, 6}) {
        r = SectionCriticalVelocityDbj(std::vector<float>(n, 3.8f));
        EXPECT_EQ(r.status, 1) << n;
        EXPECT_EQ(r.criticalVelocity, 3.8f) << n;
    }
    // A window that becomes constant after the outlier leaves: {9, 4, 4, 4, 4}: μ 5, s = √5,
    // upper 8.6671 ≤ 9 → 9 and the last 4 leave; {4, 4, 4} is constant: lower 4.
    r = SectionCriticalVelocityDbj({4.0f, 9.0f, 4.0f, 4.0f, 4.0f});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.criticalVelocity, 4.0f);
}

TEST(SectionCriticalVelocityDbj, CapsAndCodes) {
    EXPECT_EQ(SectionCriticalVelocityDbj({}).status, -998);
    EXPECT_EQ(SectionCriticalVelocityDbj({}).criticalVelocity, 0.0f);
    EXPECT_EQ(SectionCriticalVelocityDbj({4.0f}).status, -998);
    EXPECT_EQ(SectionCriticalVelocityDbj({4.0f, -1e21f}).status, -998);
    EXPECT_EQ(SectionCriticalVelocityDbj({-1e21f, -kInf}).status, -999);
    // Above 9.999 and NaN become 9.999: the section is constant at 9.999.
    const DbjSectionResult r = SectionCriticalVelocityDbj({12.0f, kNaN, 9.999f, kInf});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.criticalVelocity, 9.999f);
}

TEST(PsdSeries, FromTravelTimes) {
    const std::vector<float> t = {100.0f, 102.0f, 101.0f, 101.0f};
    // (2²)/50·1000 = 80; 1/50·1000 = 20; 0
    EXPECT_EQ(PsdSeries(t.data(), 4, 50), (std::vector<float>{80.0f, 20.0f, 0.0f}));
    EXPECT_TRUE(PsdSeries(t.data(), 1, 50).empty());  // one point: no segment
    EXPECT_TRUE(PsdSeries(t.data(), 4, 0).empty());   // no step: nothing to divide by
}

TEST(PsdSeries, FromASectionList) {
    CInfo info;
    info.resetToDefaults();
    info.sampleInterval = 1.0f;
    info.stepMm = 100;
    const uint32_t state = testState.load();
    testState = makeState(kStateViewing);
    CSampleDataList list(4);
    const uint16_t wave[4] = {2048, 2048, 2048, 2048};
    const int32_t picks[3] = {99, 109, 104};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(list.append(wave, 20.0f - 0.1f * i));
        auto g = list.lock();
        list.tail->tIndex = picks[i];
        list.tail->delay = i == 2 ? -1.0f : 0.0f;  // the last uses the section's delay (100 µs)
    }
    std::vector<PsdValue> k;
    {
        auto g = list.lock();
        k = PsdSeries(info, list, 0);
    }
    testState = state;
    // T = 100, 110, 205 µs: (10²)/100·1000 = 1000 at 20.0 m; (95²)/100·1000 = 90250 at 19.9 m
    ASSERT_EQ(k.size(), 2u);
    EXPECT_EQ(k[0].depth, 20.0f);
    EXPECT_FLOAT_EQ(k[0].value, 1000.0f);
    EXPECT_EQ(k[1].depth, 19.9f);
    EXPECT_FLOAT_EQ(k[1].value, 90250.0f);
}

}  // namespace
}  // namespace lx9
