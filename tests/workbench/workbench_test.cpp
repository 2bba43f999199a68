// The workbench's model: pick geometry, navigation through whole button runs, hand picks, the
// critical values the views read, the point texts, and the cut-height rules.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "analysis/pile_analysis.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "workbench/cut_height_form.h"
#include "workbench/interval_form.h"
#include "workbench/workbench_data.h"
#include "workbench/workbench_form.h"
#include "workbench/workbench_geometry.h"

namespace lx9 {
namespace {

class Workbench : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = testState.load();
        testState = makeState(kStateViewing);
        info.resetToDefaults();
        info.sampleInterval = 1.0f;
        info.stepMm = 50;
        info.pileLength = 30.0f;
        info.standard = std::string(kStandardBuilding);
        for (auto& s : info.sections) {
            s.present = false;
            s.delay = 0.0f;
        }
    }
    void TearDown() override { testState = saved_; }

    // Section `slot` with n points 50 mm apart from `bottom` upwards, `samples` samples each: a
    // crest of 3072 at sample 100, an arrival picked at 80 (+ a little scatter), gain 80.
    CSampleDataList& section(int slot, int n, int samples = 512, float bottom = 20.0f) {
        info.sections[slot].present = true;
        info.sections[slot].name = std::string(kPairNames[slot]);
        owned_[slot] = std::make_unique<CSampleDataList>(samples, slot);
        lists[slot] = owned_[slot].get();
        std::vector<uint16_t> wave(static_cast<size_t>(samples), 2048);
        if (samples > 100) wave[100] = 3072;
        for (int i = 0; i < n; ++i) {
            EXPECT_TRUE(lists[slot]->append(wave.data(), bottom - 0.05f * static_cast<float>(i)));
            auto g = lists[slot]->lock();
            SamplePoint& p = *lists[slot]->tail;
            p.tIndex = 80 + i % 3;
            p.ampIndex = 100;
            p.gain = 80.0f;
            p.delay = 0.0f;
        }
        return *lists[slot];
    }

    CInfo info;
    SectionLists lists{};

  private:
    std::unique_ptr<CSampleDataList> owned_[kMaxSections];
    uint32_t saved_ = 0;
};

TEST(PickGeometry, SampleUnderClickAndHalves) {
    struct Case {
        int x, width, samples, expected;
    };
    const Case cases[] = {
        {0, 640, 512, 0},      {639, 640, 512, 511}, {640, 640, 512, 511},  // the right edge: last sample
        {320, 640, 512, 256},  {-5, 640, 512, 0},    {3, 10, 10, 3},        // 3·dt/dt with dt 0.1 lost one
        {99, 100, 1024, 1013}, {10, 0, 512, -1},     {10, 640, 0, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(pickSampleAt(c.x, c.width, c.samples), c.expected) << c.x << "/" << c.width;
    EXPECT_EQ(pickHalfAt(149, 300), PickKind::Arrival);
    EXPECT_EQ(pickHalfAt(150, 300), PickKind::Amplitude);  // the border row is the lower half's
    EXPECT_EQ(pickHalfAt(149, 301), PickKind::Arrival);
    EXPECT_EQ(pickHalfAt(150, 301), PickKind::Amplitude);
}

TEST(PickGeometry, FlatAmplitudeIsFinite) {
    EXPECT_EQ(finiteAmplitudeDb(0.0), 0.0f);
    EXPECT_EQ(finiteAmplitudeDb(1e-6), 0.0f);  // below 0 dB
    EXPECT_NEAR(finiteAmplitudeDb(-0.004), 44.0824, 1e-4);
    EXPECT_NEAR(finiteAmplitudeDb(17.0765), 116.6892, 1e-3);
}

TEST(WorkbenchGeometry, TraceScalesCurvesAndNearestPoint) {
    // Four samples in a 400 × 200 box at zoom 2: mid 100, 2048 codes per 50 px; clipped at the box.
    const uint16_t wave[4] = {2048, 2560, 1024, 4095};
    const std::vector<PlotPoint> trace = waveTrace(wave, 4, 10, 0, 400, 200, 2);
    ASSERT_EQ(trace.size(), 4u);
    const double expected[4][2] = {{10, 100}, {110, 50}, {210, 200}, {310, 0}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_DOUBLE_EQ(trace[i].x, expected[i][0]) << i;
        EXPECT_DOUBLE_EQ(trace[i].y, expected[i][1]) << i;
    }
    // 1024 samples in 100 px: 50 columns, each its highest then lowest value.
    std::vector<uint16_t> longWave(1024, 2048);
    longWave[21] = 3072;  // column 1 covers samples 20 … 40
    const std::vector<PlotPoint> columns = waveTrace(longWave.data(), 1024, 0, 0, 100, 200, 1);
    ASSERT_EQ(columns.size(), 100u);
    EXPECT_DOUBLE_EQ(columns[2].y, 50.0);
    EXPECT_DOUBLE_EQ(columns[3].y, 100.0);
    EXPECT_DOUBLE_EQ(sampleX(256, 640, 512), 320.0);
    EXPECT_DOUBLE_EQ(curveX(CurveMode::Velocity, 3.0, 240), 120.0);
    EXPECT_DOUBLE_EQ(curveX(CurveMode::Amplitude, 100.0, 240), 80.0);
    EXPECT_DOUBLE_EQ(curveX(CurveMode::Psd, 5000.0, 240), 60.0);
    EXPECT_DOUBLE_EQ(depthY(7.75, 620, 15.5), 310.0);
    EXPECT_EQ(trainRows(683), 28);
    std::vector<SectionCurvePoint> points(3);
    points[0].depth = 10.0f;
    points[1].depth = 9.5f;
    points[2].depth = 9.0f;
    EXPECT_EQ(pointNearestY(points, 9.25 * 40, 600, 15), 2);  // a tie: the later point
    EXPECT_EQ(pointNearestY(points, 9.9 * 40, 600, 15), 0);
    EXPECT_EQ(pointNearestY({}, 100, 600, 15), -1);
}

TEST_F(Workbench, PagingAndStepsThroughAWholeRun) {
    section(0, 12);
    WorkbenchForm form(info, lists);
    form.open();
    form.setPageSize(5);
    ASSERT_EQ(form.currentPoint(), 11);
    ASSERT_EQ(form.pageTop(), 11);
    struct Step {
        int button;
        int current, top;
        bool redraws;
    };
    const Step run[] = {
        {kWbNextWave, 11, 11, false},  // at the last point
        {kWbPrevWave, 10, 11, true},
        {kWbPrevWave, 9, 11, true},
        {kWbPrevWave, 8, 11, true},
        {kWbPrevWave, 7, 11, true},
        {kWbPrevWave, 6, 6, true},  // exactly one page below the top: the previous page comes
        {kWbPageForward, 6, 11, true},
        {kWbPageForward, 6, 11, false},
        {kWbPageBack, 6, 6, true},
        {kWbPageBack, 6, 1, true},
        {kWbPageBack, 6, 1, false},
        {kWbNextWave, 7, 11, true},  // off the page: brought back with context above it
        {kWbLeft, 7, 11, true},
    };
    for (const Step& s : run) {
        const WorkbenchAction a = form.click(s.button);
        EXPECT_EQ(form.currentPoint(), s.current) << s.button;
        EXPECT_EQ(form.pageTop(), s.top) << s.button;
        EXPECT_EQ(a.redraw != 0, s.redraws) << s.button;
    }
    // A jump from the depth curves with a page of three rows keeps the point on the page.
    form.setPageSize(3);
    form.jumpToPoint(2);
    EXPECT_EQ(form.pageTop(), 4);
    form.setPageSize(50);
    form.jumpToPoint(0);
    EXPECT_EQ(form.pageTop(), 4);  // already on the page: the top stays
    EXPECT_EQ(form.pointAtRow(0, 20), 4);
    EXPECT_EQ(form.pointAtRow(99, 20), 0);
    EXPECT_EQ(form.pointAtRow(100, 20), -1);  // below the first point
    EXPECT_EQ(form.selectPoint(12), 0u);
    EXPECT_EQ(form.selectPoint(-1), 0u);
}

TEST_F(Workbench, ClickPicksTheSampleUnderThePointerAndShiftsStopAtTheEnds) {
    CSampleDataList& l = section(0, 3);
    WorkbenchForm form(info, lists);
    form.open();
    // Upper half: the arrival; the right edge is the last sample.
    EXPECT_NE(form.clickWaveform(640, 10, 640, 300) & kWbCurves, 0u);
    EXPECT_EQ(picksOf(l, 2), (PointPicks{511, 100}));
    EXPECT_EQ(form.click(kWbRight).redraw, 0u);
    EXPECT_EQ(form.click(kWbLeft).redraw & kWbWaveform, kWbWaveform);
    EXPECT_EQ(picksOf(l, 2).tIndex, 510);
    // Lower half from its first row: the amplitude reading, and its dB follows the new sample.
    form.clickWaveform(125, 150, 640, 300);  // 125·512/640 = 100
    EXPECT_EQ(picksOf(l, 2).ampIndex, 100);
    {
        auto g = l.lock();
        EXPECT_NEAR(l.pointAt(2)->amplitudeDb, 116.6892, 1e-3);
    }
    form.clickWaveform(0, 299, 640, 300);
    EXPECT_EQ(picksOf(l, 2).ampIndex, 0);
    EXPECT_EQ(form.click(kWbLeft).redraw, 0u);
    {
        auto g = l.lock();
        EXPECT_TRUE(std::isfinite(l.pointAt(2)->amplitudeDb));  // a flat sample: finite, not -inf
        EXPECT_EQ(l.pointAt(2)->amplitudeDb, 0.0f);
    }
    EXPECT_EQ(form.pointTexts().measures, "深度(m):19.90\n声时(us):511.0\n波幅(mv):0.00\n波幅(dB):0.0");
}

TEST_F(Workbench, EmptyAndAbsentSectionsLeaveEverythingAlone) {
    section(0, 0);
    WorkbenchForm form(info, lists);
    form.open();
    EXPECT_EQ(form.section(), 0);
    EXPECT_EQ(form.currentPoint(), -1);
    for (int id : {kWbPageForward, kWbPageBack, kWbNextWave, kWbPrevWave, kWbLeft, kWbRight})
        EXPECT_EQ(form.click(id).redraw, 0u) << id;
    EXPECT_EQ(form.clickWaveform(10, 10, 640, 300), 0u);
    EXPECT_EQ(form.selectPoint(0), 0u);
    EXPECT_EQ(form.jumpToPoint(0), 0u);
    EXPECT_EQ(form.showSection(3), 0u);  // the chooser naming a slot without a section
    EXPECT_EQ(form.pointTexts().measures, "");
    IntervalForm interval(info, lists, 0, 0);
    EXPECT_EQ(interval.level(), -1);
    EXPECT_EQ(interval.click(kWbNextWave).redraw, 0u);
    EXPECT_EQ(interval.clickWaveform(0, 1, 1, 640, 300), 0u);

    CInfo none = info;
    none.sections[0].present = false;
    WorkbenchForm nothing(none, lists);
    nothing.open();
    EXPECT_EQ(nothing.section(), -1);
    EXPECT_EQ(nothing.click(kWbSection).open, WorkbenchOpen::None);
    EXPECT_EQ(nothing.click(kWbReread).redraw, 0u);
}

TEST_F(Workbench, CriticalValuesFollowPicksOnlyWhereTheStandardComputesThemAfresh) {
    section(0, 30);
    section(1, 30);
    WorkbenchForm form(info, lists);
    form.open();
    EXPECT_FALSE(form.enabled(kWbInterval));
    EXPECT_EQ(form.caption(kWbInterval), "H-Vp");
    EXPECT_EQ(form.click(kWbInterval).open, WorkbenchOpen::None);
    const CriticalLines before =
        sectionCriticals(info, lists, 0, info.standard, sectionCurves(info, lists, 0));
    form.selectPoint(5);
    form.pickAt(PickKind::Arrival, 200);  // a slow point lowers the building standard's value
    const CriticalLines after =
        sectionCriticals(info, lists, 0, info.standard, sectionCurves(info, lists, 0));
    EXPECT_NE(after.velocityMmS, before.velocityMmS);
    // "重读" stores Guangdong values whatever the standard.
    EXPECT_EQ(lists[0]->criticalVelocity, 0.0f);
    form.click(kWbReread);
    EXPECT_GT(lists[0]->criticalVelocity, 0.0f);

    info.standard = std::string(kStandardGuangdong);
    WorkbenchForm gd(info, lists);
    gd.open();
    EXPECT_TRUE(gd.enabled(kWbInterval));
    EXPECT_EQ(gd.caption(kWbInterval), "K");
    const float stored = lists[0]->criticalVelocity;
    const CriticalLines read = sectionCriticals(info, lists, 0, info.standard, sectionCurves(info, lists, 0));
    EXPECT_FLOAT_EQ(read.velocityMmS, stored * 1e6f);
    gd.selectPoint(6);
    gd.pickAt(PickKind::Arrival, 300);
    // Reading the values re-evaluates nothing; only "重读" does.
    sectionCriticals(info, lists, 0, info.standard, sectionCurves(info, lists, 0));
    EXPECT_EQ(lists[0]->criticalVelocity, stored);
    gd.click(kWbReread);
    EXPECT_NE(lists[0]->criticalVelocity, stored);
}

TEST_F(Workbench, PointTextsPrintThePathTheVelocityUses) {
    info.testMode = kFan;
    CSampleDataList& l = section(0, 1, 1024, 12.0f);
    info.sections[0].spacing = 400;
    info.sections[0].sectionStartDepth = 15.0f;
    {
        auto g = l.lock();
        l.pointAt(0)->tIndex = 756;
    }
    WorkbenchForm form(info, lists);
    form.open();
    const PointTexts t = form.pointTexts();
    EXPECT_EQ(t.caption, "当前剖面号：1-2");
    EXPECT_EQ(t.measures, "深度(m):12.00\n声时(us):757.0\n波幅(mv):17.08\n波幅(dB):116.7");
    EXPECT_EQ(t.geometry, "跨距(mm):3027\n声速(km/s):3.998\n增益:80");
}

TEST_F(Workbench, ZoomCurveModeAndButtonRow) {
    section(0, 2);
    WorkbenchForm form(info, lists);
    form.open();
    const char* zooms[] = {"放大2", "放大4", "放大1"};
    for (const char* z : zooms) {
        form.click(kWbZoom);
        EXPECT_EQ(form.caption(kWbZoom), z);
    }
    form.cycleCurveMode();
    EXPECT_EQ(form.curveMode(), CurveMode::Amplitude);
    form.cycleCurveMode();
    form.cycleCurveMode();
    EXPECT_EQ(form.curveMode(), CurveMode::Velocity);
    const ButtonRect r = workbenchButtonRect(10, 1024, 768);
    EXPECT_EQ(r.x, 930);
    EXPECT_EQ(r.width, 93);
    EXPECT_EQ(r.height, 45);
    EXPECT_EQ(r.y, 723);
    EXPECT_EQ(axisStrip(CurveMode::Amplitude).ticks, (std::vector<int>{150, 100, 50, 0}));
}

TEST_F(Workbench, IntervalViewGroupsLevelsAndPicks) {
    for (int k = 0; k < 5; ++k)
        section(k, k == 3 ? 8 : 12);
    IntervalForm form(info, lists, 4, 11);
    EXPECT_EQ(form.lastLevel(), 7);  // the shortest present section
    EXPECT_EQ(form.level(), 7);
    EXPECT_EQ(form.group(), 1);
    EXPECT_EQ(form.shownSections(), (std::array<int, 3>{3, 4, -1}));
    EXPECT_EQ(form.currentSection(), 4);
    EXPECT_EQ(form.click(kWbNextWave).redraw, 0u);
    EXPECT_FALSE(form.enabled(kWbPageForward));
    form.click(kWbSection);
    EXPECT_EQ(form.shownSections(), (std::array<int, 3>{0, 1, 2}));
    EXPECT_EQ(form.clickWaveform(1, 320, 10, 640, 300) & kIvWaves, kIvWaves);
    EXPECT_EQ(picksOf(*lists[1], 7).tIndex, 256);
    EXPECT_EQ(form.currentSection(), 1);
    form.click(kWbRight);
    EXPECT_EQ(picksOf(*lists[1], 7).tIndex, 257);
    EXPECT_EQ(form.setLevel(8), 0u);
    EXPECT_NE(form.setLevel(2), 0u);
    EXPECT_EQ(form.click(kWbInterval).open, IntervalOpen::Workbench);
    EXPECT_EQ(form.click(kWbExit).open, IntervalOpen::CloseAll);
}

TEST_F(Workbench, CutHeightsAreCheckedPerSectionInMillimetres) {
    section(0, 12);  // 20.00 m … 19.45 m
    section(1, 12);
    setWholeIntervals(info, lists);
    struct Case {
        CutBound bound;
        double metres;
        const char* message;  // nullptr: accepted
        int index;            // the bound's index in section 0 when accepted
    };
    const Case cases[] = {
        {CutBound::Lower, -0.1, "高度超出桩长范围", -1},
        {CutBound::Lower, 30.001, "高度超出桩长范围", -1},
        {CutBound::Lower, 20.5, "请输入截取的有效高度值！", -1},
        {CutBound::Lower, 19.9, "请确定区间的间隔点不少于10个！", -1},  // index 2: 11 − 2 = 9
        {CutBound::Lower, 19.95, nullptr, 1},
        {CutBound::Lower, 20.0, nullptr, 0},                           // the exact end depth
        {CutBound::Upper, 19.45, nullptr, 11},                         // the exact end depth
        {CutBound::Upper, 19.6, "请确定区间的间隔点不少于10个!", -1},  // index 8 − 0
        {CutBound::Upper, 19.5, nullptr, 10},
        {CutBound::Lower, 19.88, "请确定区间的间隔点不少于10个！", -1},  // shallowest at or below: 2
        {CutBound::Lower, 19.96, nullptr, 0},
    };
    for (const Case& c : cases) {
        CutHeightForm form(c.bound, info, lists, 0, 0);
        form.setText(std::to_string(c.metres));
        const auto message = form.accept();
        if (c.message) {
            EXPECT_EQ(message.value_or(""), c.message) << c.metres;
        } else {
            EXPECT_FALSE(message) << c.metres << " " << message.value_or("");
            EXPECT_EQ(form.resultIndex(), c.index) << c.metres;
            const int bound = c.bound == CutBound::Upper ? lists[1]->intervalLast : lists[1]->intervalFirst;
            EXPECT_EQ(bound, c.index) << "every present section";
        }
    }
    // Lower bound at 5, upper then below it.
    lists[0]->intervalFirst = lists[1]->intervalFirst = 5;
    CutHeightForm upper(CutBound::Upper, info, lists, 0, 0);
    upper.setText("19.85");
    EXPECT_EQ(upper.accept().value_or(""), "上滑块的高度值不能小于下滑块的高度值！");
    lists[0]->intervalLast = lists[1]->intervalLast = 3;
    CutHeightForm lower(CutBound::Lower, info, lists, 0, 0);
    lower.setText("19.7");
    EXPECT_EQ(lower.accept().value_or(""), "下滑块的高度值不能大于上滑块的高度值！");
    CutHeightForm typed(CutBound::Lower, info, lists, 0, 0);
    EXPECT_FALSE(typed.setText("abc"));
    EXPECT_EQ(typed.accept().value_or(""), "请输入数字！");
}

TEST_F(Workbench, CutHeightsWithShortSectionsPlaceholdersAndRestore) {
    info.stepMm = 50;
    section(0, 20);
    section(1, 8);  // reaches 19.65 m only
    setWholeIntervals(info, lists);
    CutHeightForm upper(CutBound::Upper, info, lists, 0, 0);
    upper.setText("19.5");
    EXPECT_EQ(upper.accept().value_or(""), "请输入截取的有效高度值！");
    EXPECT_EQ(lists[0]->intervalLast, 19);  // nothing changed anywhere
    EXPECT_EQ(lists[1]->intervalLast, 7);

    // A placeholder (depth 0, flat) inside a list neither refuses heights nor stops the search.
    {
        auto g = lists[0]->lock();
        SamplePoint* p = lists[0]->pointAt(5);
        p->depth = 0.0f;
        std::fill(p->samples.begin(), p->samples.end(), uint16_t{2048});
        EXPECT_EQ(cutIndexAt(*lists[0], 19600), 8);
        EXPECT_EQ(cutIndexAt(*lists[0], 19760), 4);  // shallowest at or below, past the gap
        EXPECT_EQ(cutIndexAt(*lists[0], 19050), 19);
    }
    EXPECT_EQ(depthMm(0.0499992f), 50);

    // "还原" then "确定" restores the end bound exactly, whatever the step's decimals.
    info.stepMm = 25;
    section(0, 12, 512, 20.0f);
    lists[1] = nullptr;
    info.sections[1].present = false;
    setWholeIntervals(info, lists);
    {
        auto g = lists[0]->lock();
        for (int i = 0; i < 12; ++i)
            lists[0]->pointAt(i)->depth = 20.0f - 0.025f * static_cast<float>(i);
    }
    CutHeightForm restore(CutBound::Upper, info, lists, 0, 19000);
    restore.restore();
    EXPECT_EQ(restore.text(), "19.725");
    EXPECT_FALSE(restore.accept());
    EXPECT_EQ(restore.resultIndex(), 11);
    EXPECT_EQ(heightText(19400, 100), "19.4");
    EXPECT_EQ(heightText(19450, 50), "19.45");
    EXPECT_EQ(restore.caption(), "修改上截取范围");
    EXPECT_EQ(restore.prompt(), "请输入上滑块截取的高度：");
    EXPECT_EQ(restore.padTitle(), "上滑块高度");
}

}  // namespace
}  // namespace lx9
