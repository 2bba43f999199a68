#include "analysis/pile_analysis.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "analysis/algorithm_standards.h"
#include "data/point_metrics.h"
#include "pile_fixture.h"

namespace lx9 {
namespace {

using PileAnalysisTest = testing::PileTest;
using testing::TestPoint;

// Two sections; statistics interval [0, 9] of 12 points each.
//   slot 0, spacing 340: points 0..9 and 11 at T 85 µs = 4.0 km/s; point 10 at T 106 µs =
//     3.2075 km/s; point 11's crest gives 142.05 dB from the waveform.
//   slot 1, spacing 357: every point at T 85 µs = 4.2 km/s.
// Each section is constant over its interval, so its critical velocity is its velocity; the pile
// value is (4.0 + 4.2) / 2 = 4.1. dbArray holds 158 everywhere: critical amplitude 152.
TEST_F(PileAnalysisTest, GuangdongEvaluationStoresCriticalValuesAndGrades) {
    std::vector<TestPoint> pts = repeat(12);
    pts[10].tIndex = 105;
    pts[11].crest = 2048 + 324;  // 0.31640625 V: 142.05 dB, 9.95 dB below 152
    CSampleDataList& a = addSection(0, pts);
    CSampleDataList& b = addSection(1, repeat(12));
    info.sections[1].spacing = 357;
    for (CSampleDataList* l : {&a, &b}) {
        l->intervalFirst = 0;
        l->intervalLast = 9;
    }

    const float vc = EvaluatePileDbj(info, lists);
    EXPECT_FLOAT_EQ(vc, 4.1f);
    auto ga = a.lock();
    auto gb = b.lock();
    EXPECT_EQ(a.sectionIndex, 0);
    EXPECT_EQ(b.sectionIndex, 1);
    // The second list was created with sectionIndex 0; its velocities use its own spacing
    // already on the first evaluation.
    EXPECT_FLOAT_EQ(b.velocityArray[0], 4.2f);
    EXPECT_FLOAT_EQ(a.velocityArray[10], 340.0f / 106.0f);
    EXPECT_EQ(a.timeArray[10], 106.0f);
    EXPECT_EQ(a.dbArray[3], 158.0f);
    for (CSampleDataList* l : {&a, &b}) {
        EXPECT_EQ(l->criticalVelocity, vc);
        EXPECT_EQ(l->criticalAmplitudeDb, 152.0f);
    }
    // 3.2075 / 4.1 = 0.782: velocity class 3. 142.05 dB is in (140, 144]: amplitude class 3.
    // Every other point: 4.0 / 4.1 = 0.976 and 152.04 dB: class 1.
    std::vector<float> expected(12, 1.0f);
    expected[10] = 3.0f;
    expected[11] = 3.0f;
    EXPECT_EQ(a.gradeArray, expected);
    EXPECT_EQ(b.gradeArray, std::vector<float>(12, 1.0f));
}

TEST_F(PileAnalysisTest, GuangdongAnalysisListsGradedFindings) {
    std::vector<TestPoint> pts = repeat(12);
    pts[10].tIndex = 105;
    pts[11].crest = 2048 + 324;
    addSection(0, pts);
    addSection(1, repeat(12));
    info.sections[1].spacing = 357;
    setWholeIntervals(info, lists);
    EXPECT_EQ(lists[0]->intervalLast, 11);
    lists[0]->intervalLast = lists[1]->intervalLast = 9;

    const PileAnalysis pile = analysePile(info, lists, kStandardGuangdong);
    EXPECT_TRUE(pile.graded);
    EXPECT_EQ(pile.rules, "DBJ 15-60-2008");
    EXPECT_FLOAT_EQ(pile.pileCriticalVelocity, 4.1f);
    ASSERT_EQ(pile.sections.size(), 2u);
    const SectionAnalysis& s = pile.sections[0];
    EXPECT_EQ(s.name, "1-2");
    EXPECT_EQ(s.pointCount, 12);
    EXPECT_EQ(s.velocity.count, 10);
    EXPECT_FLOAT_EQ(static_cast<float>(s.velocity.mean), 4.0f);
    EXPECT_EQ(s.dbjSection.status, 1);
    EXPECT_FLOAT_EQ(s.criticalVelocityMmS, 4.1e6f);
    EXPECT_EQ(s.criticalAmplitudeDb, 152.0f);
    EXPECT_EQ(s.gradeCounts, (std::array<int, 4>{10, 0, 2, 0}));
    // Every point at 4.0 km/s lies below the pile's 4.1 but grades 1; point 10 and 11 grade 3.
    ASSERT_EQ(s.findings.size(), 12u);
    EXPECT_EQ(s.findings[10].grade, 3);
    EXPECT_TRUE(s.findings[10].belowVelocity);
    EXPECT_FALSE(s.findings[10].belowAmplitude);  // its dbArray value is 158
    EXPECT_EQ(s.findings[11].grade, 3);
    EXPECT_FLOAT_EQ(s.findings[11].depth, 20.0f - 0.55f);
    EXPECT_TRUE(pile.sections[1].findings.empty());  // 4.2 km/s everywhere, grade 1
}

// Highway rules on 30 points: 29 at T 85 µs (4 000 000 mm/s), one at T 170 µs (2 000 000).
// μ = 118e6 / 30, Σ(v−μ)² = 29·1·(2e6)²/30, s = 365 148; c = 3 933 333 − 730 297 > 2e6, so the
// defect leaves and the rest is constant: exactly 4 000 000 mm/s.
TEST_F(PileAnalysisTest, HighwayAnalysisOfEveryPoint) {
    std::vector<TestPoint> pts = repeat(30);
    pts[7].tIndex = 169;
    pts[7].crest = 2048 + 100;
    addSection(2, pts);
    addSection(4, repeat(1));

    const PileAnalysis pile = analysePile(info, lists, kStandardHighway);
    EXPECT_FALSE(pile.graded);
    ASSERT_EQ(pile.sections.size(), 2u);
    const SectionAnalysis& s = pile.sections[0];
    EXPECT_EQ(s.slot, 2);
    EXPECT_EQ(s.criticalVelocityMmS, 4.0e6f);
    EXPECT_EQ(s.criticalVelocity, 4.0f);
    // Amplitudes from pointMetrics: 29 × 20·log10(1000/0.732/0.000025), one much lower.
    const double high = amplitudeToDb(1000.0 / 0.732);
    const double low = amplitudeToDb(100.0 * 2 * 0.00048828125 * 1000 / 0.732);
    EXPECT_NEAR(s.criticalAmplitudeDb, (29 * high + low) / 30 - 6, 1e-4);
    EXPECT_EQ(s.velocity.count, 30);
    EXPECT_NEAR(s.velocity.mean, 118.0 / 30.0, 1e-9);
    ASSERT_EQ(s.findings.size(), 1u);
    EXPECT_EQ(s.findings[0].index, 7);
    EXPECT_FLOAT_EQ(s.findings[0].depth, 20.0f - 0.35f);
    EXPECT_FLOAT_EQ(s.findings[0].velocity, 2.0f);
    EXPECT_TRUE(s.findings[0].belowVelocity);
    EXPECT_TRUE(s.findings[0].belowAmplitude);
    EXPECT_EQ(s.findings[0].grade, 0);
    // PSD: (170 − 85)² / 50 · 1000 twice, around the defect.
    ASSERT_EQ(s.psd.size(), 29u);
    EXPECT_FLOAT_EQ(s.psdMax, 85.0f * 85.0f / 50.0f * 1000.0f);
    EXPECT_FLOAT_EQ(s.psdMaxDepth, 20.0f - 0.30f);

    // A section of one point: one value after trimming.
    const SectionAnalysis& one = pile.sections[1];
    EXPECT_EQ(one.criticalVelocity, kTooFewValues);
    EXPECT_EQ(one.criticalVelocityMmS, kTooFewValues);
    EXPECT_EQ(one.criticalAmplitudeDb, 0.0f);  // highway: fewer than two values
    EXPECT_TRUE(one.findings.empty());
    EXPECT_TRUE(one.psd.empty());
}

TEST_F(PileAnalysisTest, UploadCriticalsFollowTheRecordsStandard) {
    std::vector<TestPoint> pts = repeat(30);
    pts[7].tIndex = 169;
    addSection(0, pts);
    info.standard = std::string(kStandardRailway);
    const PileAnalysis pile = storeUploadCriticals(info, lists);
    ASSERT_EQ(pile.sections.size(), 1u);
    auto g = lists[0]->lock();
    // Railway: μ − 2s on the velocities in mm/s, no exclusion.
    const double mean = 118.0e6 / 30;
    const double s = std::sqrt(29.0 * 4e12 / 30 / 29);
    EXPECT_NEAR(lists[0]->uploadVelocityCritical, mean - 2 * s, 1.0);
    EXPECT_EQ(lists[0]->uploadVelocityCritical, pile.sections[0].criticalVelocityMmS);
    EXPECT_EQ(lists[0]->uploadAmplitudeCritical, pile.sections[0].criticalAmplitudeDb);
}

// Under the Guangdong rules the upload sends the pile's velocity in mm/s and the rule's amplitude
// on the points' dB from pointMetrics (154.75 dB here), not on the file's dB column (158).
TEST_F(PileAnalysisTest, GuangdongUploadCriticals) {
    addSection(0, repeat(12));
    setWholeIntervals(info, lists);
    info.standard = std::string(kStandardGuangdong);
    storeUploadCriticals(info, lists);
    auto g = lists[0]->lock();
    EXPECT_FLOAT_EQ(lists[0]->uploadVelocityCritical, 4.0e6f);
    EXPECT_EQ(lists[0]->criticalAmplitudeDb, 152.0f);
    EXPECT_NEAR(lists[0]->uploadAmplitudeCritical, amplitudeToDb(1000.0 / 0.732) - 6, 1e-4);
}

}  // namespace
}  // namespace lx9

namespace lx9 {
namespace {

// The worker appends and removes points while the analysis reads the same list: every reader
// works under the list's lock, so the two never race (checked under ThreadSanitizer).
TEST_F(PileAnalysisTest, AnalysisWhileTheWorkerAppends) {
    CSampleDataList& list = addSection(0, repeat(40));
    std::atomic<bool> done{false};
    std::thread worker([&] {
        const uint16_t wave[8] = {3000, 2048, 2048, 2048, 2048, 2048, 2048, 2048};
        for (int i = 0; i < 300; ++i) {
            list.append(wave, 18.0f - 0.05f * i);
            if (i % 7 == 0) list.removeLast();
        }
        done = true;
    });
    int rounds = 0;
    while (!done || rounds < 3) {
        const PileAnalysis highway = analysePile(info, lists, kStandardHighway);
        ASSERT_EQ(highway.sections.size(), 1u);
        EXPECT_GE(highway.sections[0].pointCount, 40);
        const PileAnalysis guangdong = analysePile(info, lists, kStandardGuangdong);
        ASSERT_EQ(guangdong.sections.size(), 1u);
        ++rounds;
    }
    worker.join();
    const PileAnalysis settled = analysePile(info, lists, kStandardGuangdong);
    auto g = list.lock();
    EXPECT_EQ(settled.sections[0].pointCount, list.count);
    EXPECT_EQ(list.gradeArray.size(), list.count);
}

}  // namespace
}  // namespace lx9
