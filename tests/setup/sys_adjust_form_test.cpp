#include "setup/sys_adjust_form.h"

#include <gtest/gtest.h>

#include "data/globals.h"
#include "data/run_state.h"
#include "setup_fakes.h"

namespace lx9 {
namespace {

class CalibrationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        current = test::defaultInfo();
        testState = makeState(kStateIdle);
        console.paused = true;
    }
    void TearDown() override { testState = makeState(kStateIdle); }

    CInfo current;
    std::mutex infoLock;
    test::RecordingConsole console;  // the worker's pause flag as the correction run sets it
    test::RecordingSink sink;
};

TEST_F(CalibrationTest, CorrectionTimeIsWaterPathPlusPipeWalls) {
    SysAdjustForm form({current, infoLock}, sink);
    EXPECT_EQ(form.controls().correction, "2.9");  // (5 - 5) / 1.5 + (20 - 5) / 5.12 = 2.9297
    EXPECT_EQ(form.controls().pipeVelocity, "5.120");
    EXPECT_EQ(form.controls().zero[0], "0.0");
    form.enterOuterDiameter(50);
    form.enterInnerDiameter(45);
    form.enterProbeDiameter(30);
    form.enterWaterVelocity(1.48);
    form.enterPipeVelocity(5.9);
    EXPECT_EQ(form.controls().correction, "11.0");  // 15 / 1.48 + 5 / 5.9 = 10.9826
    form.enterWaterVelocity(0);
    EXPECT_EQ(form.controls().correction, "--");
    form.enterWaterVelocity(1.48);

    form.enterZero(0, 12.34);
    form.enterZero(5, 3.0);
    ASSERT_EQ(form.ok().outcome, FormOutcome::Accepted);
    EXPECT_NEAR(current.pipeCorrection, 10.982593, 1e-5);
    EXPECT_EQ(current.pipeOuterDiameter, 50);
    EXPECT_EQ(current.pipeInnerDiameter, 45);
    EXPECT_EQ(current.probeDiameter, 30);
    EXPECT_EQ(current.waterVelocity, 1.48f);
    EXPECT_EQ(current.pipeVelocity, 5.9f);
    EXPECT_EQ(current.zeroReadings[0], 12.3f);  // as shown, "%.1f"
    EXPECT_EQ(current.zeroReadings[5], 3.0f);
    EXPECT_EQ(SysAdjustForm::zeroTitle(3), "面2-3的延时");
}

TEST_F(CalibrationTest, ZeroTimesGoToTheRecordOfTheirPipePair) {
    std::swap(current.sections[0], current.sections[3]);  // slot 0 now holds "2-3"
    SysAdjustForm form({current, infoLock}, sink);
    form.enterZero(0, 1.5);  // 面1-2
    form.enterZero(3, 4.5);  // 面2-3
    ASSERT_EQ(form.ok().outcome, FormOutcome::Accepted);
    EXPECT_EQ(current.sections[0].name, "2-3");
    EXPECT_EQ(current.sections[0].zeroTime, 4.5f);
    EXPECT_EQ(current.sections[3].zeroTime, 1.5f);
}

TEST_F(CalibrationTest, OkChecksInOrder) {
    struct Case {
        double outer, inner, pipeV, probe, waterV;
        const char* message;  // nullptr: accepted
    };
    const Case cases[] = {
        {-1, -1, -1, -1, -1, "测管外径小于0，请重新设置！"},
        {50, -1, -1, -1, -1, "测管内径小于0，请重新设置！"},
        {50, 45, -0.001, -1, -1, "测管声速小于0，请重新设置！"},
        {50, 45, 5.9, -1, -1, "桩的外径小于0，请重新设置！"},
        {50, 45, 5.9, 30, -0.5, "水的声速小于0，请重新设置！"},
        {44, 45, 5.9, 30, 1.48, "测管外径小于内径，请重新设置！"},
        {50, 45, 5.9, 46, 1.48, "测管内径小于探头外径，请重新设置！"},
        {50, 45, 0, 30, 1.48, "测管声速不能为0，请重新设置！"},
        {50, 45, 5.9, 30, 0, "水的声速不能为0，请重新设置！"},
        {45, 45, 5.9, 45, 1.48, nullptr},  // equal diameters are accepted
    };
    for (const Case& k : cases) {
        CInfo before = current;
        SysAdjustForm form({current, infoLock}, sink);
        form.enterOuterDiameter(k.outer);
        form.enterInnerDiameter(k.inner);
        form.enterPipeVelocity(k.pipeV);
        form.enterProbeDiameter(k.probe);
        form.enterWaterVelocity(k.waterV);
        sink.messages.clear();
        const CalibrationResult result = form.ok();
        if (k.message) {
            EXPECT_EQ(result.outcome, FormOutcome::Open) << k.message;
            ASSERT_EQ(sink.messages.size(), 1u) << k.message;
            EXPECT_EQ(sink.messages[0], k.message);
            EXPECT_EQ(current, before) << k.message;
        } else {
            EXPECT_EQ(result.outcome, FormOutcome::Accepted);
            EXPECT_TRUE(sink.messages.empty());
            EXPECT_EQ(current.pipeCorrection, 0.0f);  // 0 / 1.48 + 0 / 5.9
        }
    }
}

TEST_F(CalibrationTest, WheelDefaultsCorrectionAndOk) {
    current.pulleyDiameter = 70.0f;
    WheelParaForm wheel({current, infoLock}, sink);
    EXPECT_EQ(wheel.pulleyDiameter(), "70.0");
    wheel.restoreDefaults();
    EXPECT_EQ(wheel.pulleyDiameter(), "63.0");
    EXPECT_EQ(wheel.cableDiameter(), "10.0");
    wheel.applyCorrection(0.0);
    EXPECT_EQ(wheel.pulleyDiameter(), "63.0");
    wheel.applyCorrection(0.02);  // (63 + 10) × 0.98 − 10 = 61.54
    EXPECT_EQ(wheel.pulleyDiameter(), "61.5");
    EXPECT_EQ(current.pulleyDiameter, 70.0f);  // nothing stored before OK
    ASSERT_EQ(wheel.ok().outcome, FormOutcome::Accepted);
    EXPECT_EQ(current.pulleyDiameter, 61.5f);
    EXPECT_EQ(current.cableDiameter, 10.0f);

    wheel.applyCorrection(1.0);  // a wild ratio: (73 × 0) − 10
    EXPECT_EQ(wheel.pulleyDiameter(), "-10.0");
    EXPECT_EQ(wheel.ok().outcome, FormOutcome::Open);
    EXPECT_EQ(sink.last(), "滑轮直径必须大于0，请重新设置！");
    wheel.enterPulleyDiameter(60);
    wheel.enterCableDiameter(-1);
    EXPECT_EQ(wheel.ok().focus, CalibrationField::CableDiameter);
    EXPECT_EQ(sink.last(), "电缆直径不能小于0，请重新设置！");
    EXPECT_EQ(current.pulleyDiameter, 61.5f);
}

// Plays the worker's live-depth state over a scripted link: while the dialog holds the state
// 0xF500 and the worker is not paused, each cycle reads the depth and reports it.
void workerCycle(InstrumentLink& link, const test::RecordingConsole& console, InaccuracyAmendForm& form) {
    if (stateCode(testState.load()) != kStateLiveDepth || console.paused) return;
    uint16_t depth = 0, speed = 0;
    if (link.GetSampleHeight(&depth, &speed) == 1) form.onDepthReport(depth);
}

TEST_F(CalibrationTest, CorrectionRunTurnsTwoDepthsIntoTheRatio) {
    test::ScriptedLink link;
    link.depths = {0, 500, 1850};
    InaccuracyAmendForm amend(current, console, sink);
    workerCycle(link, console, amend);
    EXPECT_EQ(amend.encoderDepth(), "");  // not started: the worker reports nothing
    amend.start();
    EXPECT_EQ(testState.load(), 0xF5000000u);
    EXPECT_FALSE(console.paused);
    for (int i = 0; i < 4; ++i)
        workerCycle(link, console, amend);
    EXPECT_EQ(amend.encoderDepth(), "1.50");  // 20 m − 1850 cm

    EXPECT_FALSE(amend.correct());
    EXPECT_EQ(sink.last(), "绳索显示深度为空，请输入！");
    EXPECT_EQ(testState.load(), 0xF5000000u);  // still running
    amend.enterCableDepth(1.9);
    const auto k = amend.correct();
    ASSERT_TRUE(k);
    EXPECT_NEAR(*k, (1.90 - 1.50) / 20.0, 1e-12);
    EXPECT_EQ(testState.load(), 0xF0000000u);
    EXPECT_TRUE(console.paused);

    WheelParaForm wheel({current, infoLock}, sink);
    wheel.applyCorrection(*k);
    EXPECT_EQ(wheel.pulleyDiameter(), "61.5");
}

TEST_F(CalibrationTest, CorrectionRunRefusalsAndCancel) {
    {
        InaccuracyAmendForm amend(current, console, sink);
        amend.start();
        amend.enterCableDepth(2.0);
        EXPECT_FALSE(amend.correct());
        EXPECT_EQ(sink.last(), "编码器显示深度为空，请先开始修正！");
        amend.onDepthReport(100);
        current.pileLength = 0.0f;
        EXPECT_FALSE(amend.correct());
        EXPECT_EQ(sink.last(), "桩长不大于0，无法修正，请先设置桩长！");
        amend.cancel();
        EXPECT_EQ(testState.load(), 0xF0000000u);
        EXPECT_TRUE(console.paused);
    }
    {
        InaccuracyAmendForm amend(current, console, sink);
        amend.start();
    }  // closed without 修正 or 取消
    EXPECT_EQ(testState.load(), 0xF0000000u);
    EXPECT_TRUE(console.paused);
}

// 开始修正 takes the live-depth state only from idle or free sampling and gives back what it
// found; it never ends a recording or a finished test that is not saved yet.
TEST_F(CalibrationTest, CorrectionRunStartsOnlyBetweenTestsAndRestoresWhatItFound) {
    const struct {
        uint32_t state;
        bool paused, starts;
    } cases[] = {{0xF0000000, true, true},   {0xF6000000, false, true},  {0xF6000004, true, true},
                 {0xF7000000, false, false}, {0xFA000004, true, false},  {0xFC000001, false, false},
                 {0xABCD0000, false, false}, {0xABFF0000, false, false}, {0xF4000000, true, false}};
    for (const auto& c : cases) {
        testState = c.state;
        console.paused = c.paused;
        InaccuracyAmendForm amend(current, console, sink);
        EXPECT_EQ(amend.start(), c.starts) << std::hex << c.state;
        EXPECT_EQ(testState.load(), c.starts ? 0xF5000000u : c.state) << std::hex << c.state;
        if (!c.starts) EXPECT_EQ(sink.last(), "实验进行中，请先保存或结束实验，再开始修正！");
        amend.cancel();
        EXPECT_EQ(testState.load(), c.state) << std::hex << c.state;
        EXPECT_EQ(console.paused, c.paused) << std::hex << c.state;
    }
    testState = 0xF0000000u;
}

}  // namespace
}  // namespace lx9
