#include "analysis/algorithm.h"

#include <gtest/gtest.h>

#include <vector>

#include "analysis/algorithm_standards.h"
#include "pile_fixture.h"

namespace lx9 {
namespace {

using AlgorithmTest = testing::PileTest;

template <typename T>
bool is(const std::unique_ptr<CAlgorithm>& a) {
    return dynamic_cast<T*>(a.get()) != nullptr;
}

TEST_F(AlgorithmTest, StandardTextChoosesTheRules) {
    EXPECT_TRUE(is<CAlgorithm_JTGF81012004>(makeAlgorithm("公路", info, lists)));
    EXPECT_TRUE(is<CAlgorithm_TB10218_2008>(makeAlgorithm("铁路", info, lists)));
    EXPECT_TRUE(is<CAlgorithm_DBJ15_60_2008>(makeAlgorithm("广东建筑", info, lists)));
    EXPECT_TRUE(is<CAlgorithm_JGJ106_2003>(makeAlgorithm("建筑", info, lists)));
    // The comparison is exact: anything else is the building standard.
    EXPECT_TRUE(is<CAlgorithm_JGJ106_2003>(makeAlgorithm("", info, lists)));
    EXPECT_TRUE(is<CAlgorithm_JGJ106_2003>(makeAlgorithm("公路 ", info, lists)));
    EXPECT_TRUE(is<CAlgorithm_JGJ106_2003>(makeAlgorithm("广东", info, lists)));
    EXPECT_EQ(standardRules("广东建筑"), "DBJ 15-60-2008");
    EXPECT_EQ(standardRules("other"), "JGJ 106-2003");

    CAlgorithm base(info, lists);
    const float v[2] = {1.0f, 2.0f};
    EXPECT_EQ(base.CriticalVelocity(v, 2, 0), 0.0f);
    EXPECT_EQ(base.CriticalAmplitude(v, 2, 0), 0.0f);
}

TEST_F(AlgorithmTest, SelectionSkipsPointsWithoutWaveformAndTheExcludedTail) {
    std::vector<testing::TestPoint> pts = repeat(5);
    pts[2].wave = false;
    addSection(0, pts);
    const std::vector<float> values = {4.0f, 4.1f, 1.0f, 4.2f, 4.3f, 9.0f, 9.0f};
    CAlgorithm a(info, lists);
    EXPECT_EQ(a.SelectValues(values.data(), 5, 0), (std::vector<float>{4.0f, 4.1f, 4.2f, 4.3f}));
    // More values than points: the points that do not exist hold nothing.
    EXPECT_EQ(a.SelectValues(values.data(), 7, 0), (std::vector<float>{4.0f, 4.1f, 4.2f, 4.3f}));
    a.excludedTail = 2;
    EXPECT_EQ(a.SelectValues(values.data(), 5, 0), (std::vector<float>{4.0f, 4.1f}));
    EXPECT_TRUE(a.SelectValues(values.data(), 5, 1).empty());  // no list
    EXPECT_TRUE(a.SelectValues(values.data(), 5, 6).empty());  // no such slot
}

TEST_F(AlgorithmTest, MiddlePointWithoutWaveformIsLeftOutOfTheMean) {
    std::vector<testing::TestPoint> pts = repeat(3);
    pts[1].wave = false;
    addSection(2, pts);
    const std::vector<float> db = {100.0f, 0.0f, 110.0f};
    CAlgorithm_JGJ106_2003 a(info, lists);
    EXPECT_EQ(a.CriticalAmplitude(db.data(), 3, 2), 99.0f);  // (100 + 110) / 2 − 6
    EXPECT_EQ(db, (std::vector<float>{100.0f, 0.0f, 110.0f}));
}

// The four standards on one section of five points (velocities in km/s, amplitudes in dB).
TEST_F(AlgorithmTest, FourStandardsOnOneSection) {
    addSection(0, repeat(5));
    const std::vector<float> v = {4.8f, 4.0f, 4.6f, 4.2f, 4.4f};
    const std::vector<float> db = {120.0f, 118.0f, 116.0f, 114.0f, 112.0f};
    CAlgorithm_JGJ106_2003 building(info, lists);
    CAlgorithm_JTGF81012004 highway(info, lists);
    CAlgorithm_TB10218_2008 railway(info, lists);
    // μ 4.4, s 0.3162278: λ(5) = 1.64 → 3.8813864; factor 2 → 3.7675445; μ − 2s → 3.7675445
    EXPECT_NEAR(building.CriticalVelocity(v.data(), 5, 0), 3.8813864f, 2e-6);
    EXPECT_NEAR(highway.CriticalVelocity(v.data(), 5, 0), 3.7675445f, 2e-6);
    EXPECT_NEAR(railway.CriticalVelocity(v.data(), 5, 0), 3.7675445f, 2e-6);
    // mean 116 − 6
    EXPECT_EQ(building.CriticalAmplitude(db.data(), 5, 0), 110.0f);
    EXPECT_EQ(highway.CriticalAmplitude(db.data(), 5, 0), 110.0f);
    // dB: μ 116, Σ 40, s = √10 = 3.1622777; 116 − 6.3245553 = 109.6754447 ≤ 112
    EXPECT_NEAR(railway.CriticalAmplitude(db.data(), 5, 0), 109.6754447f, 2e-5);
}

TEST_F(AlgorithmTest, OneAndNoUsablePoint) {
    std::vector<testing::TestPoint> pts = repeat(3);
    pts[0].wave = false;
    pts[2].wave = false;
    addSection(0, pts);
    addSection(1, repeat(2, {.wave = false}));
    const std::vector<float> v = {1.0f, 4.2f, 1.0f};
    const std::vector<float> db = {1.0f, 120.0f, 1.0f};
    CAlgorithm_JGJ106_2003 building(info, lists);
    CAlgorithm_JTGF81012004 highway(info, lists);
    CAlgorithm_TB10218_2008 railway(info, lists);

    EXPECT_EQ(railway.CriticalVelocity(v.data(), 3, 0), 0.0f);
    EXPECT_EQ(highway.CriticalAmplitude(db.data(), 3, 0), 0.0f);
    EXPECT_EQ(building.CriticalAmplitude(db.data(), 3, 0), 114.0f);
    EXPECT_EQ(building.CriticalVelocity(v.data(), 3, 0), kTooFewValues);
    EXPECT_EQ(highway.CriticalVelocity(v.data(), 3, 0), kTooFewValues);
    EXPECT_EQ(railway.CriticalAmplitude(db.data(), 3, 0), kTooFewValues);

    // No usable point: the exclusions end in trimming (−999), the means have no value (−998),
    // the highway amplitude has fewer than two values (0).
    EXPECT_EQ(building.CriticalVelocity(v.data(), 2, 1), kNoValueLeft);
    EXPECT_EQ(highway.CriticalVelocity(v.data(), 2, 1), kNoValueLeft);
    EXPECT_EQ(railway.CriticalAmplitude(db.data(), 2, 1), kNoValueLeft);
    EXPECT_EQ(building.CriticalAmplitude(db.data(), 2, 1), kTooFewValues);
    EXPECT_EQ(railway.CriticalVelocity(v.data(), 2, 1), kTooFewValues);
    EXPECT_EQ(highway.CriticalAmplitude(db.data(), 2, 1), 0.0f);
}

TEST_F(AlgorithmTest, GuangdongIntervalLeavesOutTheLastPoint) {
    std::vector<testing::TestPoint> pts = repeat(6);
    pts[2].wave = false;
    CSampleDataList& list = addSection(0, pts);
    const std::vector<float> v = {1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f};
    CAlgorithm_DBJ15_60_2008 a(info, lists);
    // The start values cover the whole list; the last point never counts.
    EXPECT_EQ(a.SelectInterval(v.data(), 6, 0), (std::vector<float>{1.0f, 2.0f, 4.0f, 5.0f}));
    list.intervalFirst = 0;
    list.intervalLast = 5;
    EXPECT_EQ(a.SelectInterval(v.data(), 6, 0), (std::vector<float>{1.0f, 2.0f, 4.0f, 5.0f}));
    list.intervalLast = 4;
    EXPECT_EQ(a.SelectInterval(v.data(), 6, 0), (std::vector<float>{1.0f, 2.0f, 4.0f, 5.0f}));
    list.intervalFirst = 1;
    list.intervalLast = 3;
    EXPECT_EQ(a.SelectInterval(v.data(), 6, 0), (std::vector<float>{2.0f, 4.0f}));
    list.intervalFirst = -5;  // out of range bounds are clamped to the list
    list.intervalLast = 1;
    EXPECT_EQ(a.SelectInterval(v.data(), 6, 0), (std::vector<float>{1.0f, 2.0f}));
    list.intervalFirst = 4;
    list.intervalLast = 3;
    EXPECT_TRUE(a.SelectInterval(v.data(), 6, 0).empty());
    EXPECT_EQ(a.CriticalAmplitude(v.data(), 6, 0), kTooFewValues);
    list.intervalFirst = 0;
    list.intervalLast = 5;
    EXPECT_EQ(a.CriticalAmplitude(v.data(), 6, 0), -3.0f);  // (1 + 2 + 4 + 5) / 4 − 6
}

TEST_F(AlgorithmTest, GuangdongPileVelocityIsTheMeanOfTheSections) {
    CSampleDataList& a = addSection(0, repeat(6));
    CSampleDataList& b = addSection(3, repeat(6));
    CSampleDataList& ignored = addSection(5, repeat(6));
    info.sections[5].present = false;
    a.velocityArray.assign(6, 3.80f);  // a constant section narrows to its value: 3.80
    b.velocityArray.assign(6, 4.00f);
    ignored.velocityArray.assign(6, 1.0f);
    CAlgorithm_DBJ15_60_2008 rules(info, lists);
    EXPECT_FLOAT_EQ(rules.CriticalVelocity(nullptr, 0, 0), 3.90f);
    EXPECT_EQ(a.sectionIndex, 0);
    EXPECT_EQ(b.sectionIndex, 3);

    // One present section with a single usable value: the pile has no critical velocity.
    b.intervalLast = 1;  // points 0 and 1; the list's last point is not involved
    b.intervalFirst = 1;
    EXPECT_EQ(rules.SectionCriticalVelocityDbj(3).status, -998);
    EXPECT_EQ(rules.CriticalVelocity(nullptr, 0, 0), 0.0f);

    // A present section without a list selects nothing, and no present section is no value.
    b.intervalFirst = 0;
    b.intervalLast = 5;
    info.sections[4].present = true;
    EXPECT_EQ(rules.CriticalVelocity(nullptr, 0, 0), 0.0f);
    for (auto& s : info.sections)
        s.present = false;
    EXPECT_EQ(rules.CriticalVelocity(nullptr, 0, 0), 0.0f);
}

}  // namespace
}  // namespace lx9
