#include "display/wave_train_geometry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "data/globals.h"
#include "data/run_state.h"

namespace lx9 {
namespace {

TEST(WaveTrainGeometryTest, GreyValueTable) {
    struct Case {
        int sample;
        bool after;
        GreySettings grey;  // offset c, contrast l, polarity
        int expected;
    };
    const Case cases[] = {
        // c = 10: the full range maps onto 0..254 (white) and 255..0 (black).
        {4095, false, {10, 1, 0}, 254},
        {0, false, {10, 1, 0}, 0},
        {2048, false, {10, 1, 0}, 127},  // 522240/4096 = 127.5
        {4095, false, {10, 1, 1}, 0},
        {0, false, {10, 1, 1}, 255},
        {2048, false, {10, 1, 1}, 127},
        // c = 5: d0 = 1024; 1976·255/4096 = 123.0; 255 − that = 131.98.
        {3000, false, {5, 1, 0}, 123},
        {3000, false, {5, 1, 1}, 131},
        // c = 1: d0 = 204; −1844·255/4096 = −114.8 clamps to 0, black 369.8 to 255.
        {0, false, {1, 1, 0}, 0},
        {0, false, {1, 1, 1}, 255},
        // Contrast l = 3 moves 30 away from 128, after the arrival only.
        {3000, false, {10, 3, 0}, 186},
        {3000, true, {10, 3, 0}, 216},
        {1000, true, {10, 3, 0}, 32},
        {1000, true, {10, 3, 1}, 222},   // black: 255 − 62.26 = 192.7 → 192, + 30
        {2057, true, {10, 10, 0}, 128},  // 128 stays
        {4095, true, {10, 10, 0}, 255},  // 254 + 135 clamps
        {100, true, {10, 10, 0}, 0},     // 6 − 135 clamps
        // Out-of-range settings are taken as the nearest end.
        {4095, false, {15, 1, 0}, 254},
        {0, false, {0, 1, 1}, 255},
        {3000, true, {10, 0, 0}, 186},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(greyValue(c.sample, c.after, c.grey), c.expected)
            << "sample " << c.sample << " after " << c.after << " c " << c.grey.offset << " l "
            << c.grey.contrast << " polarity " << c.grey.polarity;
    }
}

void setSection(CInfo& info, int slot, float startDepth, int32_t heightDiff) {
    info.sections[slot].display = true;
    info.sections[slot].sectionStartDepth = startDepth;
    info.sections[slot].heightDiff = heightDiff;
}

TEST(WaveTrainGeometryTest, DepthSpanByTestMode) {
    CInfo info;
    info.resetToDefaults();
    info.startDepth = 20.0f;
    info.pileLength = 25.0f;
    EXPECT_DOUBLE_EQ(trainDepthSpan(info), 20.0);  // horizontal: the start depth, not the pile length

    for (auto& s : info.sections)
        s.display = false;
    info.testMode = kInclined;
    setSection(info, 2, 15.0f, 500);
    EXPECT_NEAR(trainDepthSpan(info), 14.5, 1e-6);
    setSection(info, 0, 15.0f, 200);
    setSection(info, 3, 12.0f, 800);
    EXPECT_NEAR(trainDepthSpan(info), 12.0 - 0.8, 1e-6);  // the last one less the largest difference
    info.testMode = kFan;
    EXPECT_NEAR(trainDepthSpan(info), 15.0 - 0.2, 1e-6);  // the first one's

    info.sections[0].heightDiff = 16000;  // start depth − height difference ≤ 0
    EXPECT_EQ(trainDepthSpan(info), 0.0);
    info.testMode = kHorizontal;
    info.startDepth = 0.0f;
    EXPECT_EQ(trainDepthSpan(info), 0.0);
    info.startDepth = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(trainDepthSpan(info), 0.0);
}

TEST(WaveTrainGeometryTest, FormsAndPickingStates) {
    EXPECT_EQ(trainForm(0, 1), TrainForm::Dash);
    EXPECT_EQ(trainForm(1, 0), TrainForm::Miniature);
    EXPECT_EQ(trainForm(0, 0), TrainForm::Miniature);  // the bitmap follows viewOption
    EXPECT_EQ(trainForm(2, 1), TrainForm::Grey);
    EXPECT_EQ(trainForm(3, 0), TrainForm::Curves);

    struct Case {
        uint32_t code;
        uint32_t sub;
        bool enabled;
    };
    const Case cases[] = {
        {kStateViewing, 0, true},
        {kStateEndContinuous, 0, true},
        {kStateEndFixed, 0, true},
        {kStateRecordContinuous, kSubStatePaused, true},
        {kStateRecordFixed, kSubStatePaused, true},
        {kStateRecordStart, kSubStatePaused, true},
        {kStateRecordContinuous, 0, false},
        {kStateRecordFixed, kSubStateMissedHold, false},
        {kStateFreeSampling, 0, false},
        {kStateFreeSampling, kSubStatePaused, false},
        {kStateIdle, 0, false},
        {kStateLiveDepth, 0, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(trainPickingEnabled(makeState(c.code, c.sub)), c.enabled)
            << std::hex << c.code << " " << c.sub;
}

TEST(WaveTrainGeometryTest, PagerOn401Levels) {
    const LevelRange range{0, 400, 0};
    const int rows = trainRows(600);
    ASSERT_EQ(rows, 40);
    TrainPager pager;
    followNewest(pager, range, rows);
    EXPECT_EQ(pager.first, 361);  // the newest at the top row

    EXPECT_FALSE(pageTrain(pager, range, rows, +1));  // already at the newest
    std::vector<int32_t> firsts;
    std::vector<int32_t> levels;
    while (auto level = pageTrain(pager, range, rows, -1)) {
        firsts.push_back(pager.first);
        levels.push_back(*level);
    }
    EXPECT_EQ(firsts, (std::vector<int32_t>{321, 281, 241, 201, 161, 121, 81, 41, 1, 0}));
    // WM_USER+91 carries the absolute level in the middle of the screen, not the row offset.
    EXPECT_EQ(levels, (std::vector<int32_t>{341, 301, 261, 221, 181, 141, 101, 61, 21, 20}));
    EXPECT_EQ(pager.first, 0);

    // A paged-back window stays while no point arrives; a new point brings the newest back.
    followNewest(pager, range, rows);
    EXPECT_EQ(pager.first, 0);
    followNewest(pager, LevelRange{0, 401, 0}, rows);
    EXPECT_EQ(pager.first, 362);

    pager = {};
    followNewest(pager, range, rows);
    pager.first = 0;
    pager.following = false;
    int pages = 0;
    std::optional<int32_t> last;
    while (auto level = pageTrain(pager, range, rows, +1)) {
        ++pages;
        last = level;
    }
    EXPECT_EQ(pages, 10);  // 40, 80 … 360, then 361
    EXPECT_EQ(pager.first, 361);
    EXPECT_EQ(last, 381);
    EXPECT_TRUE(pager.following);
}

TEST(WaveTrainGeometryTest, PagerOnTenLevelsLowPanelsAndRings) {
    TrainPager pager;
    const LevelRange ten{0, 9, 0};
    followNewest(pager, ten, 40);
    EXPECT_EQ(pager.first, 0);
    EXPECT_FALSE(pageTrain(pager, ten, 40, -1));
    EXPECT_FALSE(pageTrain(pager, ten, 40, +1));
    EXPECT_EQ(pager.first, 0);

    // A panel lower than one row still has one row and pages by one level.
    EXPECT_EQ(trainRows(10), 1);
    EXPECT_EQ(trainRows(0), 1);
    pager = {};
    followNewest(pager, ten, trainRows(10));
    EXPECT_EQ(pager.first, 9);
    EXPECT_EQ(pageTrain(pager, ten, 1, -1), 8);

    // No points: nothing to page.
    pager = {};
    const LevelRange none{0, -1, 0};
    followNewest(pager, none, 40);
    EXPECT_FALSE(pageTrain(pager, none, 40, -1));

    // A real-time ring of 50 holding levels 70..119.
    const LevelRange ring{70, 119, 50};
    pager = {};
    followNewest(pager, ring, 40);
    EXPECT_EQ(pager.first, 80);
    EXPECT_EQ(pageTrain(pager, ring, 40, -1), 90);
    EXPECT_EQ(pager.first, 70);
    EXPECT_FALSE(pageTrain(pager, ring, 40, -1));
    EXPECT_EQ(ring.chainIndex(119), 19);
    EXPECT_EQ(ring.chainIndex(70), 20);
}

TEST(WaveTrainGeometryTest, DashBoundariesAroundLobes) {
    std::vector<uint16_t> w(64, 2048);
    for (int i = 10; i <= 14; ++i)
        w[i] = 3000;  // a lobe before the arrival
    for (int i = 25; i <= 29; ++i)
        w[i] = 3000;
    w[40] = 3000;          // a one-sample spike
    w[62] = w[63] = 3000;  // a lobe running off the end
    w[50] = 2100;          // below the threshold of 100
    struct Case {
        int32_t tIndex;
        float threshold;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {20, 100.0f, {25, 29, 40, 40, 62, 63}},
        {12, 100.0f, {12, 14, 25, 29, 40, 40, 62, 63}},  // the arrival inside a lobe opens it there
        {-1, 100.0f, {10, 14, 25, 29, 40, 40, 62, 63}},
        {0, 1.0f, {10, 14, 25, 29, 40, 40, 50, 50, 62, 63}},  // level 2048: 2100 counts
        {0, 0.0f, {0, 63}},  // level 2047: the zero line itself lies above it
        {63, 100.0f, {63, 63}},
        {64, 100.0f, {}},
        {20, 1000.0f, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(dashBoundaries(w, c.tIndex, c.threshold), c.expected) << "tIndex " << c.tIndex;
    std::vector<uint16_t> first(8, 2048);
    first[0] = 4000;  // the first sample above: its missing left neighbour is not above
    EXPECT_EQ(dashBoundaries(first, -1, 1.0f), (std::vector<int>{0, 0}));
    EXPECT_TRUE(dashBoundaries({}, 0, 0.0f).empty());
}

TEST(WaveTrainGeometryTest, ColumnsDecimationAndSampleX) {
    const TrainColumns one = trainColumns(974, 422, 1);
    EXPECT_EQ(one.plotWidth, 972);
    EXPECT_EQ(one.width, 972);
    const TrainColumns six = trainColumns(974, 422, 6);
    EXPECT_EQ(six.width, 162);
    EXPECT_EQ(six.left(5), 810);
    EXPECT_EQ(trainColumns(974, 422, 0).width, 0);

    EXPECT_EQ(trainDecimation(512, 972, 1), 1);   // shorter than the column: every sample
    EXPECT_EQ(trainDecimation(1024, 972, 1), 2);  // never more than one per pixel
    EXPECT_EQ(trainDecimation(512, 162, 6), 6);   // the number of sections
    EXPECT_EQ(trainDecimation(1024, 162, 6), 7);  // ceil(1024/162)
    EXPECT_EQ(trainDecimation(512, 0, 0), 1);

    // A 512-sample wave spreads over the whole 972-pixel column, not over its first 512 pixels.
    EXPECT_EQ(trainSampleX(0, 972, 1, 512), 1);
    EXPECT_EQ(trainSampleX(0, 972, 2, 512), 3);
    EXPECT_EQ(trainSampleX(0, 972, 511, 512), 970);
    EXPECT_EQ(trainSampleX(810, 162, 1018, 1024), 810 + 161);
}

TEST(WaveTrainGeometryTest, GreyBandsNewestFirstAndClipped) {
    const std::vector<float> depths{10, 9, 8, 7, 6, 5};
    const auto bands = greyBands(depths, 10.0, 1000, 100);
    ASSERT_EQ(bands.size(), 6u);
    EXPECT_EQ(bands[0].index, 5);  // the newest band starts a step above it
    EXPECT_EQ(bands[0].top, 40);
    EXPECT_EQ(bands[0].bottom, 50);
    EXPECT_EQ(bands[5].index, 0);
    EXPECT_EQ(bands[5].top, 90);
    EXPECT_EQ(bands[5].bottom, 100);

    // 12 px/m with truncation; a point above its successor (probes lowered) draws no band.
    const std::vector<float> odd{3.25f, 3.0f, 3.125f};
    const auto b = greyBands(odd, 10.0, 125, 120);
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(b[0].index, 2);  // 3.0 .. 3.125 m: y 36 .. 37.5
    EXPECT_EQ(b[0].top, 36);
    EXPECT_EQ(b[0].bottom, 37);
    EXPECT_EQ(b[1].index, 0);  // 3.0 .. 3.25 m: y 36 .. 39, painted over the newer band
    EXPECT_EQ(b[1].top, 36);
    EXPECT_EQ(b[1].bottom, 39);

    EXPECT_TRUE(greyBands(depths, 0.0, 1000, 100).empty());  // no span: nothing, no division
    EXPECT_TRUE(greyBands(depths, -2.0, 1000, 100).empty());
    EXPECT_TRUE(greyBands(depths, 10.0, 0, 100).empty());
    const std::vector<float> deep{30, 29};  // below the span: clipped to the plot
    EXPECT_TRUE(greyBands(deep, 10.0, 1000, 100).empty());
}

// A snapshot of one grey section: levels 0..5 at 10..5 m, every wave 3000 up to sample 9 and
// 1000 after, first arrival at sample 3.
WaveTrainSnapshot pileBelowItsHead() {
    WaveTrainSnapshot s;
    s.form = TrainForm::Grey;
    s.grey = {10, 3, 0};
    s.depthSpan = 10.0;  // start depth 10 m on a 12.5 m pile
    s.stepMm = 1000;
    s.background = 0x00FF00;  // 0x00BBGGRR: green
    s.levels = {0, 5, 0};
    TrainSection& section = s.sections.emplace_back();
    section.name = "1-2";
    for (int i = 0; i <= 5; ++i) {
        TrainPoint& p = section.points.emplace_back();
        p.level = i;
        p.depth = 10.0f - i;
        p.tIndex = 3;
        p.hasWave = true;
        p.samples.assign(16, 1000);
        for (int k = 0; k < 10; ++k)
            p.samples[k] = 3000;
        CurvePoint& c = section.curves.points.emplace_back();
        c.depth = p.depth;
        c.measured = true;
        c.velocity = 4.0f;
        c.amplitudeDb = 100.0;
    }
    section.curves.slot = 0;
    section.curves.pileLength = 10.0f;  // the train's span, as the snapshot sets it
    section.curves.stepMm = 1000;
    return s;
}

TEST(WaveTrainGeometryTest, GreyCellsAndPickingOnAPileTestedBelowItsHead) {
    WaveTrainSnapshot s = pileBelowItsHead();
    // Client 34 × 100: plot 32 wide, 16 samples → cells of 2 pixels from x 1.
    const WaveTrainPicture pic = layoutWaveTrain(s, TrainForm::Grey, 34, 100, 0);
    ASSERT_EQ(pic.grey.size(), 32u * 100u);
    auto at = [&](int x, int y) { return pic.grey[static_cast<size_t>(y) * 32 + x] & 0xFFFFFF; };
    auto grey = [](uint32_t g) { return g << 16 | g << 8 | g; };
    EXPECT_EQ(at(5, 39), 0x00FF00u);  // above the newest band: background
    EXPECT_EQ(at(0, 45), 0x00FF00u);  // x 0 is left to the column edge
    EXPECT_EQ(at(1, 45), grey(186));  // sample 0, before the arrival: no contrast
    EXPECT_EQ(at(7, 45), grey(186));  // sample 3 is the arrival itself
    EXPECT_EQ(at(9, 45), grey(216));  // sample 4, after it: 186 + 30
    EXPECT_EQ(at(21, 99), grey(32));  // sample 10 = 1000: 62 − 30
    EXPECT_EQ(at(31, 99), grey(32));  // the last cell reaches the plot's edge

    // The pointer's band, with the drawing's scale (10 px/m over D = 10 m), not the pile length.
    struct Case {
        int y;
        std::optional<int32_t> level;
    };
    const Case cases[] = {
        {40, 5}, {49, 5}, {50, 4}, {59, 4}, {99, 0}, {39, std::nullopt}, {100, std::nullopt}};
    for (const Case& c : cases)
        EXPECT_EQ(pickTrainLevel(s, TrainForm::Grey, 34, 100, 0, 10, c.y), c.level) << "y " << c.y;

    // Curve form: the depth curves' rule on the train's span: snapped to the step, nearest point.
    EXPECT_EQ(pickTrainLevel(s, TrainForm::Curves, 34, 100, 0, 10, 62), 4);  // 6.2 m → 6 m
    EXPECT_EQ(pickTrainLevel(s, TrainForm::Curves, 34, 100, 0, 10, 45), 5);  // 4.5 m → 5 m
    EXPECT_EQ(pickTrainLevel(s, TrainForm::Curves, 34, 100, 0, 10, 44), std::nullopt);

    s.sections[0].points.back().hasWave = false;  // the newest point has no wave: no pick
    EXPECT_EQ(pickTrainLevel(s, TrainForm::Grey, 34, 100, 0, 10, 60), std::nullopt);

    s = pileBelowItsHead();
    s.depthSpan = 0.0;  // no span: nothing drawn, nothing picked
    EXPECT_TRUE(layoutWaveTrain(s, TrainForm::Grey, 34, 100, 0).grey.empty());
    EXPECT_EQ(pickTrainLevel(s, TrainForm::Grey, 34, 100, 0, 10, 60), std::nullopt);
}

TEST(WaveTrainGeometryTest, ContrastComparesTheOriginalSampleIndexWhenDecimated) {
    WaveTrainSnapshot s = pileBelowItsHead();
    for (TrainPoint& p : s.sections[0].points) {
        p.samples.assign(1024, 3000);
        p.tIndex = 10;
    }
    // One section 100 + 2 wide: 1024 samples → every 11th; sample 11 is after the arrival at 10
    // although it is the second decimated one.
    const WaveTrainPicture pic = layoutWaveTrain(s, TrainForm::Grey, 102, 100, 0);
    auto at = [&](int x, int y) { return pic.grey[static_cast<size_t>(y) * 100 + x] & 0xFF; };
    EXPECT_EQ(at(1, 45), 186u);  // sample 0: x 1
    EXPECT_EQ(at(2, 45), 216u);  // sample 11: x 11·100/1024 + 1 = 2
}

TEST(WaveTrainGeometryTest, TrainRowsMiniatureAndDash) {
    WaveTrainSnapshot s;
    s.levels = {0, 2, 0};
    s.sections.resize(2);
    s.sections[0].name = "1-2";  // no points: its column stays empty, the next one is drawn
    TrainSection& drawn = s.sections[1];
    drawn.name = "1-3";
    for (int i = 0; i <= 2; ++i) {
        TrainPoint& p = drawn.points.emplace_back();
        p.level = i;
        p.tIndex = 0;
        p.hasWave = true;
        p.samples = {2000, 4095, 0, 3000};
    }
    // Client 22 × 45: plot 20, two columns of 10, three rows, baselines 38, 23, 8.
    const WaveTrainPicture mini = layoutWaveTrain(s, TrainForm::Miniature, 22, 45, 0);
    ASSERT_EQ(mini.waves.size(), 3u);
    EXPECT_EQ(mini.waves[0], (std::vector<ViewPoint>{{10, 38}, {12, 25}, {15, 50}, {17, 32}}));
    EXPECT_EQ(mini.waves[2].front(), (ViewPoint{10, 8}));
    EXPECT_EQ(mini.columnEdges, (std::vector<int>{0, 10, 19}));

    const WaveTrainPicture dash = layoutWaveTrain(s, TrainForm::Dash, 22, 45, 1);  // rows 1, 2 visible
    EXPECT_EQ(dash.dashes,
              (std::vector<HorizontalSpan>{{12, 12, 38}, {17, 17, 38}, {12, 12, 23}, {17, 17, 23}}));

    EXPECT_EQ(pickTrainLevel(s, TrainForm::Miniature, 22, 45, 0, 15, 44), 0);
    EXPECT_EQ(pickTrainLevel(s, TrainForm::Miniature, 22, 45, 0, 15, 30), 1);
    EXPECT_EQ(pickTrainLevel(s, TrainForm::Miniature, 22, 45, 0, 15, 0),
              std::nullopt);  // row 3 is off the panel
    EXPECT_EQ(pickTrainLevel(s, TrainForm::Miniature, 22, 45, 0, 5, 44), std::nullopt);  // the empty column
    const WaveTrainPicture marked = layoutWaveTrain(s, TrainForm::Miniature, 22, 45, 0, 1);
    ASSERT_TRUE(marked.marker);
    EXPECT_EQ(*marked.marker, (HorizontalSpan{0, 19, 23}));

    s.sections.clear();  // nothing displayed: no columns, no division
    const WaveTrainPicture none = layoutWaveTrain(s, TrainForm::Grey, 22, 45, 0);
    EXPECT_TRUE(none.columnEdges.empty());
    EXPECT_EQ(pickTrainLevel(s, TrainForm::Grey, 22, 45, 0, 5, 5), std::nullopt);
}

// The depth curves of one column: points at 9, 8, 7 … m, velocity v and amplitude a each.
CurvesSnapshot columnCurves(int slot, std::vector<std::pair<float, float>> va, float vc, float ac,
                            std::vector<float> depths = {}) {
    CurvesSnapshot c;
    c.slot = slot;
    c.pileLength = 10.0f;
    c.stepMm = 1000;
    c.criticalVelocity = vc;
    c.criticalAmplitudeDb = ac;
    for (size_t i = 0; i < va.size(); ++i) {
        CurvePoint& p = c.points.emplace_back();
        p.depth = depths.empty() ? 9.0f - static_cast<float>(i) : depths[i];
        p.measured = true;
        p.velocity = va[i].first;
        p.amplitudeDb = va[i].second;
    }
    return c;
}

TEST(WaveTrainGeometryTest, CurvesInColumnsSkipCodesAndNonFiniteValues) {
    WaveTrainSnapshot s;
    s.depthSpan = 10.0;
    s.stepMm = 1000;
    s.viewingFile = true;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float criticals[][2] = {{4.0f, 100.0f}, {-998.0f, -999.0f}, {0.0f, nan}};
    for (int k = 0; k < 3; ++k) {
        TrainSection& section = s.sections.emplace_back();
        section.selectedLevel = 1;
        section.curves = columnCurves(k, {{4.5f, 120.0f}, {nan, 120.0f}, {4.5f, 120.0f}}, criticals[k][0],
                                      criticals[k][1]);
    }
    // Three columns of 162 over 100 px for 10 m.
    const WaveTrainPicture pic = layoutWaveTrain(s, TrainForm::Curves, 488, 100, 0);
    // From the last point to the first; the NaN velocity breaks the line, its amplitude is kept.
    ASSERT_EQ(pic.velocity.size(), 6u);
    EXPECT_EQ(pic.velocity[0], (std::vector<ViewPoint>{{121, 70}}));
    EXPECT_EQ(pic.velocity[1], (std::vector<ViewPoint>{{121, 90}}));
    ASSERT_EQ(pic.amplitude.size(), 3u);
    EXPECT_EQ(pic.amplitude[1], (std::vector<ViewPoint>{{162 + 32, 70}, {162 + 32, 80}, {162 + 32, 90}}));
    // Only the first column has critical lines: 4 km/s at 108, 100 dB at 162 − 108.
    ASSERT_EQ(pic.criticalLines.size(), 2u);
    EXPECT_EQ(pic.criticalLines[0].x, 108);
    EXPECT_EQ(pic.criticalLines[0].rgb, kTrainRed);
    EXPECT_EQ(pic.criticalLines[1].x, 54);
    // The console's point of a viewed file: a black line across each column at 8 m.
    ASSERT_EQ(pic.selected.size(), 3u);
    EXPECT_EQ(pic.selected[2], (HorizontalSpan{324, 485, 80}));
    // A pick in the third column: 7.6 m snaps to 8 m, level 1.
    EXPECT_EQ(pickTrainLevel(s, TrainForm::Curves, 488, 100, 0, 400, 76), 1);

    // Points sharing a pixel row keep the first, leftmost, rightmost and last of the run.
    WaveTrainSnapshot row;
    row.depthSpan = 10.0;
    row.stepMm = 10;
    TrainSection& one = row.sections.emplace_back();
    const float inf = std::numeric_limits<float>::infinity();
    one.curves =
        columnCurves(0, {{0.4f, inf}, {1.0f, inf}, {0.3f, inf}, {0.8f, inf}, {1.2f, inf}, {0.75f, inf}}, 0.0f,
                     0.0f, {6.0f, 5.09f, 5.07f, 5.05f, 5.03f, 5.01f});
    const WaveTrainPicture reduced = layoutWaveTrain(row, TrainForm::Curves, 62, 100, 0);  // x = 10·v
    ASSERT_EQ(reduced.velocity.size(), 1u);
    EXPECT_EQ(reduced.velocity[0], (std::vector<ViewPoint>{{7, 50}, {12, 50}, {3, 50}, {10, 50}, {4, 60}}));
    EXPECT_TRUE(reduced.amplitude.empty());
}

// Slot 0 holds a real-time ring of five levels 7..11 (level L in chain position L mod 5); slot 1
// is displayed but has no list.
struct RingLists {
    CInfo info;
    std::unique_ptr<CSampleDataList> list = std::make_unique<CSampleDataList>(16, 0);
    SectionLists lists{};
    RingLists() {
        info.resetToDefaults();
        info.saveMode = std::string(kSaveRealTime);
        for (int k = 0; k < kMaxSections; ++k)
            info.sections[k].display = k < 2;
        for (int level : {10, 11, 7, 8, 9}) {
            std::vector<uint16_t> wave(16, static_cast<uint16_t>(2048 + level));
            list->append(wave.data(), 20.0f - 0.05f * level);
        }
        list->setCurrentAt(1);
        lists[0] = list.get();
    }
};

TEST(WaveTrainSnapshotTest, RealTimeRingByAbsoluteLevel) {
    RingLists r;
    const uint32_t paused = makeState(kStateRecordContinuous, kSubStatePaused);
    EXPECT_EQ(trainRingSize(r.info, paused, 5), 5);
    EXPECT_EQ(trainRingSize(r.info, makeState(kStateViewing), 5), 0);  // a viewed file is walked by index
    TrainSource source{&r.info, r.lists, paused, 5, 11};
    const LevelRange range = trainLevels(source);
    EXPECT_EQ(range.oldest, 7);
    EXPECT_EQ(range.newest, 11);

    const WaveTrainSnapshot s = snapshotWaveTrain(source, TrainForm::Miniature, 100, 45, 9);  // 3 rows
    ASSERT_EQ(s.sections.size(), 2u);
    const auto& points = s.sections[0].points;
    ASSERT_EQ(points.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(points[i].level, 9 + i);
        EXPECT_EQ(points[i].samples.at(0), 2048 + 9 + i);
        EXPECT_FLOAT_EQ(points[i].depth, 20.0f - 0.05f * (9 + i));
    }
    EXPECT_EQ(s.sections[0].selectedLevel, 11);
    EXPECT_TRUE(s.sections[1].points.empty());

    // The depth curves come in chain order and are turned into level order.
    const WaveTrainSnapshot c = snapshotWaveTrain(source, TrainForm::Curves, 100, 45, 9);
    EXPECT_EQ(c.sections[0].curvesFirstLevel, 7);
    ASSERT_EQ(c.sections[0].curves.points.size(), 5u);
    for (int i = 0; i < 5; ++i)
        EXPECT_FLOAT_EQ(c.sections[0].curves.points[i].depth, 20.0f - 0.05f * (7 + i));
    EXPECT_FLOAT_EQ(c.sections[0].curves.pileLength, 20.0f);  // the horizontal span

    source.newestLevel.reset();  // without the worker's count the ring is taken as not come round
    EXPECT_EQ(trainLevels(source).newest, 4);
}

TEST(WaveTrainSnapshotTest, GreyCopiesOnlyTheWavesWhoseBandShows) {
    CInfo info;
    info.resetToDefaults();
    info.startDepth = 20.0f;
    info.stepMm = 50;
    CSampleDataList list(16, 0);
    std::vector<uint16_t> wave(16, 3000);
    for (int i = 0; i <= 400; ++i)
        list.append(wave.data(), 20.0f - 0.05f * i);
    SectionLists lists{};
    lists[0] = &list;
    for (int k = 1; k < kMaxSections; ++k)
        info.sections[k].display = false;
    const TrainSource source{&info, lists, makeState(kStateViewing), 0, std::nullopt};
    const WaveTrainSnapshot s = snapshotWaveTrain(source, TrainForm::Grey, 100, 40, 0);
    ASSERT_EQ(s.sections[0].points.size(), 401u);
    int withWave = 0;
    for (const TrainPoint& p : s.sections[0].points)
        withWave += p.samples.empty() ? 0 : 1;
    EXPECT_EQ(withWave, 40);  // 2 px per metre: one band per half metre
}

// The worker links points while a view copies them: every copied wave belongs to its level.
TEST(WaveTrainSnapshotTest, CopiesWholePointsWhileTheWorkerAppends) {
    CInfo info;
    info.resetToDefaults();
    info.startDepth = 20.0f;
    info.stepMm = 10;
    for (int k = 1; k < kMaxSections; ++k)
        info.sections[k].display = false;
    CSampleDataList list(64, 0);
    SectionLists lists{};
    lists[0] = &list;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        std::vector<uint16_t> wave(64);
        for (int i = 0; i < 2000; ++i) {
            std::fill(wave.begin(), wave.end(), static_cast<uint16_t>(2048 + i % 1000));
            list.append(wave.data(), 20.0f - 0.01f * i);
        }
        done = true;
    });
    const TrainSource source{&info, lists, makeState(kStateRecordContinuous), 0, std::nullopt};
    WaveTrainSnapshot s;
    int torn = 0;
    do {
        for (TrainForm form : {TrainForm::Miniature, TrainForm::Grey}) {
            TrainPager pager;
            followNewest(pager, trainLevels(source), trainRows(300));
            snapshotWaveTrain(source, form, 100, 300, pager.first, s);
            for (const TrainPoint& p : s.sections[0].points) {
                for (uint16_t v : p.samples)
                    torn += v != 2048 + p.level % 1000;
            }
        }
    } while (!done);
    worker.join();
    EXPECT_EQ(torn, 0);
}

}  // namespace
}  // namespace lx9
