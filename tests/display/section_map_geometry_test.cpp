#include "display/section_map_geometry.h"

#include <gtest/gtest.h>

#include "display/view_colours.h"
#include "view_fixtures.h"

namespace lx9 {
namespace {

SectionMapModel model(int pipes, int offset = 0) {
    SectionMapModel m;
    m.setPipeCount(pipes);
    m.offsetAngle = offset;
    return m;
}

TEST(SectionMapGeometryTest, FourPipesAtTopRightBottomLeftWithPiAs314) {
    // 200 × 200: c = 100, r = trunc(0.98·82) = 80, ρ = trunc(0.87·80 − 25) = 44, p = 12.
    SectionMapModel m = model(4);
    m.highlightPair(3, 1);  // pipes 2 and 4
    const SectionMapGeometry g = sectionMapGeometry(m, 200, 200);
    EXPECT_EQ(g.centre, 100);
    EXPECT_EQ(g.radius, 80);
    EXPECT_EQ(g.ring, 44);
    ASSERT_TRUE(g.outline);
    EXPECT_EQ(g.outline->box, (ViewRect{20, 10, 180, 190}));
    EXPECT_EQ(g.outline->fill, kViewPileGrey);
    // cos(−3.14)·44 = −43.99994 truncates to −43; sin(1.57)·44 = 43.99998 to 43.
    EXPECT_EQ(g.pipeCentres, (std::vector<ViewPoint>{{100, 57}, {143, 100}, {100, 144}, {57, 100}}));
    EXPECT_EQ(g.pipes[0].box, (ViewRect{88, 42, 112, 72}));
    ASSERT_EQ(g.labels.size(), 4u);
    EXPECT_EQ(g.labels[2].text, "3");
    EXPECT_EQ(g.labels[2].box, (ViewRect{97, 137, 103, 151}));
    EXPECT_EQ(g.labels[2].font, ViewFont::TimesNewRoman);
    EXPECT_TRUE(g.labels[2].noClip);
    ASSERT_EQ(g.sections.size(), 1u);
    EXPECT_EQ(g.sections[0], (ViewLine{{143, 100}, {57, 100}, kViewDarkGreen, 2}));
}

TEST(SectionMapGeometryTest, AngularStepAndOffsetAndLabelStyles) {
    struct Case {
        int pipes, offset;
        PipeLabels labels;
        ViewPoint second;
        std::string secondLabel;
    };
    // Second pipe at k·(360/N) + offset degrees, ρ = 44 around (100, 100).
    const std::vector<Case> cases = {
        {3, 0, PipeLabels::Digits, {138, 122}, "2"},   // 120°: sin and cos of 120° with π as 3.14
        {5, 0, PipeLabels::Capitals, {141, 87}, "B"},  // 72°
        {4, 90, PipeLabels::Small, {100, 144}, "b"},   // 180°: the second pipe at the bottom
        {4, -360, PipeLabels::Digits, {143, 100}, "2"},
    };
    for (const Case& c : cases) {
        SectionMapModel m = model(c.pipes, c.offset);
        m.labels = c.labels;
        const SectionMapGeometry g = sectionMapGeometry(m, 200, 200);
        ASSERT_EQ(static_cast<int>(g.pipeCentres.size()), c.pipes);
        EXPECT_EQ(g.pipeCentres[1], c.second) << c.pipes << " " << c.offset;
        EXPECT_EQ(g.labels[1].text, c.secondLabel);
    }
}

TEST(SectionMapGeometryTest, HighlightsOnlyPairsInsideTheTable) {
    SectionMapModel m = model(5);
    m.highlightPair(2, 0);
    EXPECT_TRUE(m.highlighted(0, 2));
    m.highlightPair(4, 3);  // a new pair removes the previous one
    EXPECT_FALSE(m.highlighted(0, 2));
    EXPECT_TRUE(m.highlighted(3, 4));
    // Names: 1 ≤ p < q ≤ N only; anything else clears the map.
    const std::vector<std::pair<std::string, bool>> names = {
        {"1-2", true},  {"4-5", true},  {"2-1", false}, {"1-6", false},
        {"0-2", false}, {"3-3", false}, {"12", false},  {"", false},
    };
    for (const auto& [name, ok] : names) {
        EXPECT_EQ(m.highlightSection(name), ok) << name;
        EXPECT_EQ(sectionMapGeometry(m, 200, 200).sections.size(), ok ? 1u : 0u) << name;
    }
    // Pairs the table has no entry for change nothing (they would alias another pair).
    m.highlightPair(1, 0);
    m.addPair(5, 0);
    m.addPair(2, 2);
    m.addPair(1, -1);
    EXPECT_EQ(sectionMapGeometry(m, 200, 200).sections.size(), 1u);
    m.colourState = 4;
    EXPECT_EQ(sectionMapGeometry(m, 200, 200).sections[0].colour, kViewRed);
}

TEST(SectionMapGeometryTest, SmallWidgetsAndFewPipesDrawTheOutlineOnly) {
    struct Case {
        int pipes, width, height;
        bool outline;
    };
    const std::vector<Case> cases = {
        {1, 200, 200, true}, {0, 200, 200, true}, {-4, 200, 200, true}, {5, 60, 60, true},  // r = 11, ρ < 0
        {5, 30, 200, false},  // r < 0: nothing to draw
    };
    for (const Case& c : cases) {
        const SectionMapGeometry g = sectionMapGeometry(model(c.pipes), c.width, c.height);
        EXPECT_EQ(g.outline.has_value(), c.outline) << c.pipes << " " << c.width;
        EXPECT_TRUE(g.pipes.empty());
        EXPECT_TRUE(g.sections.empty());
    }
}

TEST(SectionMapGeometryTest, RecordGivesPipesOffsetAndTheDisplayedSections) {
    CInfo info = testing::viewRecord(3);
    info.pipeCount = 3;
    info.offsetAngle = 30;
    info.sections[1].display = false;
    const SectionMapModel m = sectionMapFromRecord(info);
    EXPECT_EQ(m.pipeCount(), 3);
    EXPECT_EQ(m.offsetAngle, 30);
    EXPECT_TRUE(m.highlighted(0, 1));   // 1-2
    EXPECT_FALSE(m.highlighted(0, 2));  // 1-3 hidden
    EXPECT_FALSE(m.highlighted(1, 2));  // 1-4 names a pipe the pile does not have
}

}  // namespace
}  // namespace lx9
