#include "display/waveform_geometry.h"

#include <gtest/gtest.h>

#include "acquisition/console_rules.h"
#include "view_fixtures.h"

namespace lx9 {
namespace {

using namespace lx9::testing;

TEST(WaveLayoutTest, ColumnsDecimationAndSectionsPerPanel) {
    struct Case {
        std::vector<int> shown;
        WavePanel panel;
        bool train;
        int columns;
        std::vector<int> sectionSlots;
    };
    const std::vector<Case> cases = {
        {{}, WavePanel::Upper, false, 0, {}},
        {{0}, WavePanel::Upper, false, 1, {0}},
        {{0, 1, 2}, WavePanel::Upper, false, 3, {0, 1, 2}},
        {{0, 1, 2}, WavePanel::Lower, false, 0, {}},
        {{0, 2, 3, 4}, WavePanel::Upper, false, 2, {0, 2}},  // slot 1 hidden: the fourth goes below
        {{0, 2, 3, 4}, WavePanel::Lower, false, 2, {3, 4}},
        {{0, 1, 2, 3, 4}, WavePanel::Upper, false, 3, {0, 1, 2}},
        {{0, 1, 2, 3, 4}, WavePanel::Lower, false, 2, {3, 4}},
        {{0, 1, 2, 3, 4, 5}, WavePanel::Upper, false, 3, {0, 1, 2}},
        {{0, 1, 2, 3, 4, 5}, WavePanel::Lower, false, 3, {3, 4, 5}},
        {{0, 1, 2, 3, 4, 5}, WavePanel::Upper, true, 6, {0, 1, 2, 3, 4, 5}},
        {{0, 1, 2, 3, 4, 5}, WavePanel::Lower, true, 0, {}},
    };
    for (const Case& c : cases) {
        CInfo info = viewRecord(0);
        for (int k : c.shown)
            info.sections[static_cast<size_t>(k)].display = info.sections[static_cast<size_t>(k)].present =
                true;
        info.sections[5].display = true;  // displayed but not present: never counted
        const WaveLayout l = waveLayout(info, c.panel, c.train);
        const std::string label =
            std::to_string(c.shown.size()) + (c.panel == WavePanel::Upper ? " upper" : " lower");
        EXPECT_EQ(l.columns, c.columns) << label;
        EXPECT_EQ(l.decimation, std::max(c.columns, 1)) << label;
        EXPECT_EQ(l.sectionSlots, c.sectionSlots) << label;
    }
}

// One section of four samples in a plot 100 wide and 4095 high: the vertical scale is exactly 1.
class WaveformGeometryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        info = viewRecord(1, 4);
        lists.owned[0] = std::make_unique<CSampleDataList>(4, 0);
        addPoint(*lists.owned[0], {0, 4095, 2048, 1000}, 12.5f, 2, 0);
    }
    WaveformGeometry geometry(std::optional<int> pointer = std::nullopt) {
        return waveformGeometry(takeWaveformSnapshot(info, lists.pointers()), WavePanel::Upper, false, 102,
                                4099, pointer);
    }
    CInfo info;
    ViewLists lists;
};

TEST_F(WaveformGeometryTest, ShortWaveUsesTheWholeColumnWithItsMarksAndReadouts) {
    const WaveformGeometry g = geometry();
    EXPECT_EQ(g.plot, (ViewRect{0, 2, 100, 4097}));
    ASSERT_EQ(g.grid.size(), 5u);
    EXPECT_EQ(g.grid[1].from, (ViewPoint{100, 2}));
    EXPECT_EQ(g.grid[3].from, (ViewPoint{0, 2049}));  // the middle row
    ASSERT_EQ(g.columns.size(), 1u);
    const WaveColumn& c = g.columns[0];
    // x = (i·w)/N, y = bottom − sample·1.
    EXPECT_EQ(c.trace.points, (std::vector<ViewPoint>{{0, 4097}, {25, 2}, {50, 2049}, {75, 3097}}));
    ASSERT_TRUE(c.arrival);
    EXPECT_EQ(*c.arrival, (ViewLine{{50, 2 + 511}, {50, 2 + 3583}, 0}));
    // Peak at sample 0 (y 4097); the next drawn point is higher (y 2); half-length W/16 = 6.
    ASSERT_TRUE(c.amplitude);
    EXPECT_EQ(c.amplitude->from, (ViewPoint{-6, 2}));
    EXPECT_EQ(c.amplitude->to, (ViewPoint{6, 2}));
    // t = (2 + 1)·1 µs; A = (0 − 2048)·2/2048/80·1000/0.732 mV; v = 300 mm / 3 µs.
    ASSERT_EQ(g.texts.size(), 3u);
    EXPECT_EQ(g.texts[0].text, "1-2");
    EXPECT_EQ(g.texts[0].box, (ViewRect{75, 4082, 100, 4097}));
    EXPECT_EQ(g.texts[1].text, "声时(us):3.0\n波幅(mv):-34.15\n声速(km/s):100.000");
    EXPECT_EQ(g.texts[1].box, (ViewRect{3, 2, 53, 2 + 1023}));
    EXPECT_EQ(g.texts[2].text, "深度(m):12.50\n跨距(mm):300\n增益:80");
    EXPECT_EQ(g.texts[2].align, ViewText::BottomLeft);
    for (const ViewText& t : g.texts)
        EXPECT_TRUE(t.noClip);
}

TEST_F(WaveformGeometryTest, MarksOnlyForIndicesThatNameASample) {
    struct Case {
        int32_t tIndex, ampIndex;
        std::optional<int> arrivalX, amplitudeX;
        int amplitudeY;
    };
    const std::vector<Case> cases = {
        {-1, 0, std::nullopt, 0, 2},            // unpicked
        {3, 3, 75, 75, 3097},                   // N − 1: no next point to compare with
        {4, 4, std::nullopt, std::nullopt, 0},  // N: beyond the wave
        {0, -1, 0, std::nullopt, 0},
    };
    for (const Case& c : cases) {
        {
            auto guard = lists.owned[0]->lock();
            lists.owned[0]->tail->tIndex = c.tIndex;
            lists.owned[0]->tail->ampIndex = c.ampIndex;
        }
        const WaveColumn col = geometry().columns.at(0);
        EXPECT_EQ(col.arrival.has_value(), c.arrivalX.has_value()) << c.tIndex;
        if (col.arrival && c.arrivalX) EXPECT_EQ(col.arrival->from.x, *c.arrivalX);
        EXPECT_EQ(col.amplitude.has_value(), c.amplitudeX.has_value()) << c.ampIndex;
        if (col.amplitude && c.amplitudeX) {
            EXPECT_EQ(col.amplitude->from, (ViewPoint{*c.amplitudeX - 6, c.amplitudeY}));
        }
    }
}

TEST_F(WaveformGeometryTest, PointerIndexReachesTheLastSampleAtTheRightEdge) {
    // trunc(x'·N / w) with N = 4, w = 100; the readout is taken at that sample.
    const std::vector<std::pair<int, int>> cases = {{0, 0}, {24, 0}, {25, 1}, {99, 3}};
    for (const auto& [x, index] : cases) {
        const WaveformGeometry g = geometry(x);
        EXPECT_EQ(g.columns[0].pointerIndex, index) << x;
        ASSERT_TRUE(g.pointerLine);
        EXPECT_EQ(*g.pointerLine, (ViewLine{{x, 2}, {x, 4097}, 0}));
    }
    // At sample 1: t = 2 µs, the code 4095 read there, v = 150 km/s.
    EXPECT_EQ(geometry(25).texts[1].text, "声时(us):2.0\n波幅(mv):34.14\n声速(km/s):150.000");
    const WaveformGeometry outside = geometry(100);  // the plot's right edge is exclusive
    EXPECT_FALSE(outside.pointerLine);
    EXPECT_EQ(outside.columns[0].pointerIndex, -1);
}

TEST(WaveformGeometryLongTest, LongWavesSpreadOverTheColumnAndAreDecimated) {
    // 1024 samples in columns narrower than the wave: x = column left + (i·W)/N, every d-th sample.
    CInfo info = viewRecord(3, 1024);
    ViewLists lists;
    std::vector<uint16_t> wave(1024);
    for (int i = 0; i < 1024; ++i)
        wave[static_cast<size_t>(i)] = static_cast<uint16_t>(i * 4);
    for (int k = 0; k < 3; ++k) {
        lists.owned[static_cast<size_t>(k)] = std::make_unique<CSampleDataList>(1024, k);
        addPoint(*lists.owned[static_cast<size_t>(k)], wave, 10.0f, 300, 1023);
    }
    const WaveformGeometry g =
        waveformGeometry(takeWaveformSnapshot(info, lists.pointers()), WavePanel::Upper, false, 302, 4099);
    ASSERT_EQ(g.columns.size(), 3u);
    const WaveColumn& c = g.columns[1];
    ASSERT_EQ(c.trace.points.size(), 341u);
    EXPECT_EQ(c.trace.points[0], (ViewPoint{100, 2 + 4095}));
    EXPECT_EQ(c.trace.points[340], (ViewPoint{100 + 99, 2 + 4095 - 4080}));  // sample 1020
    EXPECT_EQ(c.arrival->from.x, 100 + 29);                                  // sample 300 is drawn point 100
    EXPECT_EQ(c.amplitude->from.x, 100 + 99 - 18);  // sample 1023 marks the last drawn point

    // One column: every sample, none piled at the left edge when N > W.
    info = viewRecord(1, 1024);
    const WaveformGeometry one =
        waveformGeometry(takeWaveformSnapshot(info, lists.pointers()), WavePanel::Upper, false, 302, 4099);
    ASSERT_EQ(one.columns[0].trace.points.size(), 1024u);
    EXPECT_EQ(one.columns[0].trace.points[512].x, 150);
    EXPECT_EQ(one.columns[0].trace.points[1023].x, 299);
    EXPECT_EQ(waveformGeometry(takeWaveformSnapshot(info, lists.pointers()), WavePanel::Upper, false, 302,
                               4099, 299)
                  .columns[0]
                  .pointerIndex,
              1020);  // trunc(299·1024 / 300)
}

TEST(WaveformGeometryEdgeTest, NoSectionNoSamplesAndWavesLongerThan2048) {
    // No displayed section: the grid alone, the plot's two sides and three rows.
    const WaveformGeometry none =
        waveformGeometry(takeWaveformSnapshot(viewRecord(0), {}), WavePanel::Upper, false, 300, 200);
    EXPECT_EQ(none.grid.size(), 5u);
    EXPECT_TRUE(none.columns.empty());
    EXPECT_TRUE(none.texts.empty());

    // A section without a point: its name, no trace and no readout.
    CInfo info = viewRecord(2, 3000);
    ViewLists lists;
    lists.owned[0] = std::make_unique<CSampleDataList>(4096, 0);
    lists.owned[1] = std::make_unique<CSampleDataList>(4096, 1);
    addPoint(*lists.owned[0], std::vector<uint16_t>(4096, 3000), 5.0f, 10, 20);
    const WaveformSnapshot snap = takeWaveformSnapshot(info, lists.pointers());
    ASSERT_TRUE(snap.points[0]);
    EXPECT_EQ(snap.points[0]->samples.size(), 3000u);  // min(wave length, sampleLength), no 2048 cap
    EXPECT_FALSE(snap.points[1]);
    const WaveformGeometry g = waveformGeometry(snap, WavePanel::Upper, false, 302, 100);
    ASSERT_EQ(g.columns.size(), 2u);
    EXPECT_EQ(g.columns[0].trace.points.size(), 1500u);  // 3000 samples, every second one
    EXPECT_TRUE(g.columns[1].trace.points.empty());
    EXPECT_FALSE(g.columns[1].readout);
    EXPECT_EQ(g.texts.size(), 4u);  // two names, one column's two readouts
}

TEST(WaveReadoutTest, DistanceIsTheOneTheVelocityWasComputedOver) {
    // t = (99 + 1)·1 + 100 = 200 µs in every mode.
    struct Case {
        int32_t mode;
        std::string distance;
        std::string velocity;
    };
    const std::vector<Case> cases = {
        {kHorizontal, "300", "1.500"},
        {kFan, "583", "2.915"},       // √(300² + 500²): 15 m start, point at 14.5 m
        {kInclined, "500", "2.500"},  // √(300² + 400²)
    };
    for (const Case& c : cases) {
        CInfo info = viewRecord(1);
        info.testMode = c.mode;
        info.sections[0].sectionStartDepth = 15.0f;
        info.sections[0].heightDiff = -400;
        info.sections[0].delay = 100.0f;
        WavePointCopy p;
        p.samples.assign(512, 2048);
        p.depth = 14.5f;
        p.gain = 80.0f;
        p.delay = -1.0f;
        const WaveReadout r = waveReadout(info, 0, p, 99, 0);
        EXPECT_EQ(r.placement, "深度(m):14.50\n跨距(mm):" + c.distance + "\n增益:80") << c.mode;
        EXPECT_NE(r.measured.find("声速(km/s):" + c.velocity), std::string::npos) << r.measured;
        // The console's point texts say the same.
        SamplePoint sp;
        sp.samples = WaveSamples(512, 2048);
        sp.depth = p.depth;
        sp.gain = p.gain;
        sp.delay = p.delay;
        sp.tIndex = 99;
        EXPECT_EQ(pointInfoTexts(info, 0, sp).placement, r.placement) << c.mode;
    }
}

TEST(WaveSnapshotTest, WritesTheMeasuresBackOnlyIntoAPickedPointWhenAsked) {
    CInfo info = viewRecord(2, 4);
    ViewLists lists;
    for (int k = 0; k < 2; ++k)
        lists.owned[static_cast<size_t>(k)] = std::make_unique<CSampleDataList>(4, k);
    addPoint(*lists.owned[0], {0, 4095, 2048, 1000}, 12.5f, 2, 0);
    addPoint(*lists.owned[1], {0, 4095, 2048, 1000}, 12.5f, -1, 0);  // not picked yet
    takeWaveformSnapshot(info, lists.pointers(), {std::nullopt, false});
    EXPECT_EQ(lists.owned[0]->tail->velocity, 0.0f);
    takeWaveformSnapshot(info, lists.pointers(), {std::nullopt, true});
    EXPECT_FLOAT_EQ(lists.owned[0]->tail->velocity, 1e8f);
    EXPECT_FLOAT_EQ(lists.owned[0]->tail->amplitude, -25.0f / 0.732f);
    EXPECT_EQ(lists.owned[1]->tail->velocity, 0.0f);
    EXPECT_EQ(lists.owned[1]->tail->amplitude, 0.0f);
}

}  // namespace
}  // namespace lx9
