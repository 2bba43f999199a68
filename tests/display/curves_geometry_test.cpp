#include "display/curves_geometry.h"

#include <gtest/gtest.h>

#include "analysis/pile_analysis.h"
#include "display/view_colours.h"
#include "view_fixtures.h"

namespace lx9 {
namespace {

using namespace lx9::testing;

// Section 1-2 on a 20 m pile drawn 600 × 200: y = depth·10, velocity x = v·100, amplitude
// x = 600 − dB·4, PSD x = K·0.03. Every point: the code 2048 + 1000 at sample 150, gain 80,
// i.e. 12.207 mV / 0.732 = 116.483 dB (x 134).
class CurvesGeometryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        info = viewRecord(1);
        info.stepMm = 250;
        lists.owned[0] = std::make_unique<CSampleDataList>(512, 0);
        // t = tIndex + 1 µs: 100, 110, 95 → v = 3, 2.727, 3.158 km/s.
        add(15.0f, 99);
        add(14.75f, 109);
        add(14.5f, 94);
    }
    void add(float depth, int32_t tIndex, int32_t code = 3048, float gain = 80.0f) {
        std::vector<uint16_t> wave(512, 2048);
        wave[150] = static_cast<uint16_t>(code);
        addPoint(*lists.owned[0], wave, depth, tIndex, 150, gain);
    }
    CurvesSnapshot snap() { return takeCurvesSnapshot(info, lists.pointers(), 0); }
    CInfo info;
    ViewLists lists;
};

TEST_F(CurvesGeometryTest, CurvesAgainstDepthWithTheCurrentPoint) {
    const CurvesGeometry g = curvesGeometry(snap(), 600, 200);
    EXPECT_EQ(g.plot, (ViewRect{0, 0, 600, 200}));
    EXPECT_FALSE(g.gradePanel);
    ASSERT_EQ(g.velocity.size(), 1u);  // from the last point to the first
    EXPECT_EQ(g.velocity[0].points, (std::vector<ViewPoint>{{315, 145}, {272, 147}, {300, 150}}));
    EXPECT_EQ(g.velocity[0].colour, kViewRed);
    ASSERT_EQ(g.amplitude.size(), 1u);
    EXPECT_EQ(g.amplitude[0].points, (std::vector<ViewPoint>{{134, 145}, {134, 147}, {134, 150}}));
    EXPECT_EQ(g.amplitude[0].colour, kViewBlue);
    // K = (t_n − t_n+1)² / 250 · 1000 at the depth of point n: 900 at 14.75 m, 400 at 15 m.
    ASSERT_EQ(g.psd.size(), 1u);
    EXPECT_EQ(g.psd[0].points, (std::vector<ViewPoint>{{27, 147}, {12, 150}}));
    EXPECT_EQ(g.psd[0].colour, kViewGreen);
    ASSERT_TRUE(g.currentLine);  // the newest point is current
    EXPECT_EQ(*g.currentLine, (ViewLine{{0, 145}, {600, 145}, kViewRed}));
}

TEST_F(CurvesGeometryTest, SkippedPointsBreakTheLinesAndValuesAreHeldInsideThePlot) {
    lists.owned[0]->appendPlaceholder();  // gain 0, depth 0: no travel time to draw
    add(14.25f, 9);                       // t = 10 µs: 30 km/s, far beyond the axis
    add(14.0f, 99, 2048);                 // zero amplitude: −inf dB
    add(13.75f, 99, 3048, 0.0f);          // no gain: skipped like a placeholder
    const CurvesGeometry g = curvesGeometry(snap(), 600, 200);
    ASSERT_EQ(g.velocity.size(), 2u);
    EXPECT_EQ(g.velocity[0].points, (std::vector<ViewPoint>{{300, 140}, {599, 142}}));
    EXPECT_EQ(g.velocity[1].points.size(), 3u);
    ASSERT_EQ(g.amplitude.size(), 2u);
    EXPECT_EQ(g.amplitude[0].points, (std::vector<ViewPoint>{{134, 142}}));
    // PSD pairs need both points: (14.0, 14.25) and the first three's two.
    ASSERT_EQ(g.psd.size(), 2u);
    EXPECT_EQ(g.psd[0].points, (std::vector<ViewPoint>{{599, 142}}));  // (10 − 100)² / 250 · 1000
    EXPECT_EQ(g.psd[1].points.size(), 2u);
}

TEST_F(CurvesGeometryTest, CriticalLinesFromTheRulesOrTheStoredValues) {
    // Enough points for the building rules to find a value: the line stands where the analysis
    // report puts the critical velocity and amplitude.
    for (int i = 0; i < 30; ++i)
        add(14.25f - 0.25f * i, 99 + (i * 7) % 13, 3048 - (i * 37) % 200);
    info.standard = std::string(kStandardBuilding);
    const PileAnalysis report = analysePile(info, lists.pointers(), kStandardBuilding);
    ASSERT_EQ(report.sections.size(), 1u);
    const float vc = report.sections[0].criticalVelocity;
    const float ac = report.sections[0].criticalAmplitudeDb;
    ASSERT_GT(vc, 0.0f);
    ASSERT_GT(ac, 0.0f);
    const CurvesGeometry g = curvesGeometry(snap(), 600, 200);
    ASSERT_TRUE(g.criticalVelocity);
    EXPECT_EQ(g.criticalVelocity->from.x, static_cast<int>(vc * 100.0));
    EXPECT_EQ(g.criticalVelocity->to.y, 200);
    ASSERT_TRUE(g.criticalAmplitude);
    EXPECT_EQ(g.criticalAmplitude->from.x, static_cast<int>(600 - ac * 4.0));

    // 广东建筑: the values the analysis stored with the list, on a plot less the 60-pixel panel.
    info.standard = std::string(kStandardGuangdong);
    struct Case {
        float velocity, amplitude;
        std::optional<int> vx, ax;
    };
    const std::vector<Case> cases = {
        {2.5f, 100.0f, 225, 180},
        {-998.0f, -999.0f, std::nullopt, std::nullopt},
        {0.0f, 0.0f, std::nullopt, std::nullopt},    // a pile velocity of 0 is no critical velocity
        {7.0f, -10.0f, std::nullopt, std::nullopt},  // off the axes
    };
    for (const Case& c : cases) {
        {
            auto guard = lists.owned[0]->lock();
            lists.owned[0]->criticalVelocity = c.velocity;
            lists.owned[0]->criticalAmplitudeDb = c.amplitude;
        }
        const CurvesGeometry gd = curvesGeometry(snap(), 600, 200);
        EXPECT_EQ(gd.plot.right, 540);
        EXPECT_EQ(gd.criticalVelocity ? std::optional<int>(gd.criticalVelocity->from.x) : std::nullopt, c.vx);
        EXPECT_EQ(gd.criticalAmplitude ? std::optional<int>(gd.criticalAmplitude->from.x) : std::nullopt,
                  c.ax);
    }
}

TEST_F(CurvesGeometryTest, NothingToDrawWithoutAScaleOrWithOnePoint) {
    for (auto change : {+[](CInfo& i) { i.pileLength = 0.0f; }, +[](CInfo& i) { i.stepMm = 0; },
                        +[](CInfo& i) { i.pileLength = -3.0f; }}) {
        CInfo bad = info;
        change(bad);
        const CurvesGeometry g = curvesGeometry(takeCurvesSnapshot(bad, lists.pointers(), 0), 600, 200);
        EXPECT_TRUE(g.velocity.empty() && g.amplitude.empty() && g.psd.empty());
        EXPECT_FALSE(g.currentLine);
        EXPECT_FALSE(curvesPick(takeCurvesSnapshot(bad, lists.pointers(), 0), 600, 200, 150));
    }
    ViewLists one;
    one.owned[0] = std::make_unique<CSampleDataList>(512, 0);
    addPoint(*one.owned[0], std::vector<uint16_t>(512, 3000), 10.0f, 99, 0);
    const CurvesGeometry g = curvesGeometry(takeCurvesSnapshot(info, one.pointers(), 0), 600, 200);
    EXPECT_EQ(g.velocity.size(), 1u);
    EXPECT_TRUE(g.psd.empty());
    // A section that is not present, or has no list, draws nothing.
    EXPECT_EQ(takeCurvesSnapshot(info, one.pointers(), 3).slot, -1);
}

TEST_F(CurvesGeometryTest, GradePanelSkipsGradesOutsideOneToFour) {
    info.standard = std::string(kStandardGuangdong);
    {
        auto guard = lists.owned[0]->lock();
        lists.owned[0]->gradeArray = {1.0f, 5.0f};  // shorter than the list; 5 is no grade
    }
    CurvesGeometry g = curvesGeometry(snap(), 600, 200);
    ASSERT_TRUE(g.gradePanel);
    EXPECT_EQ(*g.gradePanel, (ViewRect{540, 0, 600, 200}));
    ASSERT_EQ(g.gradeFrame.size(), 2u);
    EXPECT_EQ(g.gradeFrame[0].colour, kViewGrey);
    ASSERT_EQ(g.grades.size(), 1u);
    EXPECT_EQ(g.grades[0].points, (std::vector<ViewPoint>{{540 + 15 * 3, 150}}));
    {
        auto guard = lists.owned[0]->lock();
        lists.owned[0]->gradeArray = {4.0f, 2.0f, 1.0f};
    }
    g = curvesGeometry(snap(), 600, 200);
    ASSERT_EQ(g.grades.size(), 1u);
    EXPECT_EQ(g.grades[0].points, (std::vector<ViewPoint>{{540, 150}, {570, 147}, {585, 145}}));
    EXPECT_EQ(gradePanelWidth(120), 30);
    EXPECT_EQ(gradePanelWidth(3000), 60);
}

TEST_F(CurvesGeometryTest, PickingSnapsToTheStepAndTakesTheNearestPoint) {
    // depth = y / 10, snapped to 0.25 m.
    const std::vector<std::pair<int, std::optional<int>>> cases = {
        {150, 0}, {148, 1}, {146, 2},
        {144, 2}, {199, 0}, {143, std::nullopt},  // 14.25 m: above the newest point
    };
    const CurvesSnapshot s = snap();
    for (const auto& [y, index] : cases)
        EXPECT_EQ(curvesPick(s, 600, 200, y), index) << y;

    // Equal distance: the later point wins.
    ViewLists two;
    two.owned[0] = std::make_unique<CSampleDataList>(512, 0);
    addPoint(*two.owned[0], std::vector<uint16_t>(512, 3000), 15.0f, 99, 0);
    addPoint(*two.owned[0], std::vector<uint16_t>(512, 3000), 14.5f, 99, 0);
    EXPECT_EQ(curvesPick(takeCurvesSnapshot(info, two.pointers(), 0), 600, 200, 147), 1);

    // Nothing within 100 m, or nothing measured: no pick.
    CInfo longPile = info;
    longPile.pileLength = 200.0f;
    EXPECT_EQ(curvesPick(takeCurvesSnapshot(longPile, lists.pointers(), 0), 600, 200, 199), std::nullopt);
    ViewLists empty;
    empty.owned[0] = std::make_unique<CSampleDataList>(512, 0);
    empty.owned[0]->appendPlaceholder();
    EXPECT_EQ(curvesPick(takeCurvesSnapshot(info, empty.pointers(), 0), 600, 200, 0), std::nullopt);
}

TEST_F(CurvesGeometryTest, IntervalBarBetweenTheLimits) {
    info.standard = std::string(kStandardGuangdong);
    add(14.25f, 99);
    add(14.0f, 99);
    {
        auto guard = lists.owned[0]->lock();
        lists.owned[0]->gradeArray = {1, 2, 3, 4, 9};
        lists.owned[0]->intervalFirst = -3;  // clamped to the list
        lists.owned[0]->intervalLast = 99;
    }
    const IntervalGeometry g = intervalGeometry(snap(), 600, 200);
    EXPECT_EQ(g.bar, (ViewRect{135, 0, 405, 200}));
    EXPECT_EQ(g.first, 0);
    EXPECT_EQ(g.last, 4);
    EXPECT_EQ(g.upperY, 140);
    EXPECT_EQ(g.lowerY, 150);
    // Half a step (1.25 px) each side, cut at the neighbours' bands and the limits; grade 9 none.
    ASSERT_EQ(g.bands.size(), 4u);
    EXPECT_EQ(g.bands[0].rect, (ViewRect{135, 141, 405, 143}));
    EXPECT_EQ(g.bands[0].colour, gradeColour(4));
    EXPECT_EQ(g.bands[1].rect, (ViewRect{135, 143, 405, 146}));
    EXPECT_EQ(g.bands[2].rect, (ViewRect{135, 146, 405, 148}));
    EXPECT_EQ(g.bands[3].rect, (ViewRect{135, 148, 405, 150}));
    EXPECT_EQ(g.bands[3].colour, kViewGrey);
    ASSERT_EQ(g.lines.size(), 3u);
    EXPECT_EQ(g.lines[0], (ViewLine{{0, 140}, {115, 140}, kViewBlack}));  // current: to 6/7 of the bar's left
    EXPECT_EQ(g.handles, (std::vector<ViewRect>{{409, 130, 476, 140}, {409, 150, 476, 160}}));

    EXPECT_EQ(intervalHit(g, 200, 100), IntervalHit::Plot);
    EXPECT_EQ(intervalHit(g, 450, 50), IntervalHit::UpperHandle);
    EXPECT_EQ(intervalHit(g, 450, 150), IntervalHit::LowerHandle);
    EXPECT_EQ(intervalHit(g, 560, 50), IntervalHit::None);  // the grade panel

    // No grade in the interval: only the current point, across the bar.
    {
        auto guard = lists.owned[0]->lock();
        lists.owned[0]->gradeArray = {0, 0};
    }
    const IntervalGeometry none = intervalGeometry(snap(), 600, 200);
    EXPECT_TRUE(none.bands.empty());
    EXPECT_FALSE(none.upperY);
    EXPECT_EQ(none.lines, (std::vector<ViewLine>{{{135, 140}, {405, 140}, kViewBlack}}));
}

}  // namespace
}  // namespace lx9
