// The test-time dialogs' rules at their edges, with their exact texts.
#include <gtest/gtest.h>

#include "acquisition/leak_form.h"
#include "acquisition/link_form.h"
#include "acquisition/modal_form.h"
#include "acquisition/plus_input_form.h"
#include "acquisition/resample_form.h"
#include "acquisition/reset_form.h"
#include "data/globals.h"
#include "setup/para_input_form.h"
#include "tests/acquisition/console_fakes.h"
#include "ui/num_input_form.h"
#include "ui/select_form.h"

namespace lx9 {
namespace {

using test::RecordingSetupConsole;
using test::Said;
using test::ScriptedSink;

CInfo defaults() {
    CInfo info;
    info.resetToDefaults();
    return info;
}

// ---- CDlg_NumInput

TEST(NumInputForm, KeysTypeIntoTheFieldWithTheDigitLimit) {
    ScriptedSink sink;
    NumInputForm pad("剖面1的延时", 100.0, false, sink);
    for (char c : std::string("1234567890"))
        pad.pressDigit(c);
    EXPECT_EQ(pad.text(), "123456789");  // the tenth digit is not taken
    pad.pressDecimalPoint();             // only digits are limited
    EXPECT_EQ(pad.text(), "123456789.");
    pad.pressDigit('5');
    EXPECT_EQ(pad.text(), "123456789.");
    pad.pressBackspace();
    pad.pressBackspace();
    pad.pressDigit('7');
    EXPECT_EQ(pad.text(), "123456787");
    pad.pressClear();
    EXPECT_EQ(pad.text(), "");
    pad.pressMinus();
    pad.pressDigit('3');
    EXPECT_EQ(pad.text(), "-3");
}

TEST(NumInputForm, ClearSendsTwentyBackspaces) {
    ScriptedSink sink;
    NumInputForm pad("x", 0, true, sink);
    for (int i = 0; i < 22; ++i)
        pad.pressMinus();
    pad.pressClear();
    EXPECT_EQ(pad.text(), "--");
}

TEST(NumInputForm, NegativeRefusedUnlessAllowed) {
    ScriptedSink sink;
    NumInputForm pad("x", 7.5, false, sink);
    pad.pressMinus();
    pad.pressDigit('2');
    EXPECT_EQ(pad.ok(), NumInputForm::Outcome::Open);
    ASSERT_EQ(sink.said.size(), 1u);
    EXPECT_EQ(sink.said[0], (Said{"输入的数字小于0，请重新输入！", "输入错误", false}));
    pad.pressClear();
    pad.pressDigit('0');
    EXPECT_EQ(pad.ok(), NumInputForm::Outcome::Accepted);
    EXPECT_DOUBLE_EQ(pad.result(), 0.0);

    NumInputForm negative("x", 7.5, true, sink);
    negative.pressMinus();
    negative.pressDigit('2');
    negative.pressDecimalPoint();
    negative.pressDigit('5');
    EXPECT_EQ(negative.ok(), NumInputForm::Outcome::Accepted);
    EXPECT_DOUBLE_EQ(negative.result(), -2.5);
}

TEST(NumInputForm, CancelAndAnUntouchedOkGiveTheInitialValue) {
    ScriptedSink sink;
    NumInputForm pad("x", 42.5, false, sink);
    pad.pressDigit('9');
    EXPECT_EQ(pad.cancel(), NumInputForm::Outcome::Cancelled);
    EXPECT_DOUBLE_EQ(pad.result(), 42.5);
    NumInputForm untouched("x", 42.5, false, sink);
    EXPECT_EQ(untouched.ok(), NumInputForm::Outcome::Accepted);
    EXPECT_DOUBLE_EQ(untouched.result(), 42.5);
}

TEST(NumInputForm, PadSizeAndPlacement) {
    EXPECT_EQ(numPadSize(1024, 768), (Rect{0, 0, 307, 305}));
    const Rect screen{0, 0, 1024, 768};
    // Right of the field when it fits, else left of it; pulled up to stay on the screen.
    EXPECT_EQ(placeBeside(Rect{100, 100, 80, 30}, 307, 305, screen), (Rect{180, 100, 307, 305}));
    EXPECT_EQ(placeBeside(Rect{800, 100, 80, 30}, 307, 305, screen), (Rect{493, 100, 307, 305}));
    EXPECT_EQ(placeBeside(Rect{100, 700, 80, 30}, 307, 305, screen), (Rect{180, 463, 307, 305}));
}

// ---- CDlg_Select

TEST(SelectForm, SixteenButtonsAndTheChosenCaption) {
    std::vector<std::string> many;
    for (int i = 0; i < 20; ++i)
        many.push_back(std::to_string(i).insert(0, "c"));
    SelectForm list("剖面1的增益", many);
    EXPECT_EQ(list.choiceCount(), 16);
    EXPECT_EQ(list.captions()[15], "c15");
    EXPECT_FALSE(list.click(16));
    EXPECT_TRUE(list.click(3));
    EXPECT_EQ(list.chosen(), "c3");
    EXPECT_EQ(list.outcome(), SelectForm::Outcome::Accepted);
    EXPECT_FALSE(list.click(4));  // closed

    SelectForm few("t", {"a", "b"});
    EXPECT_EQ(few.captions()[2], "");
    EXPECT_FALSE(few.click(2));
    EXPECT_EQ(few.cancel(), SelectForm::Outcome::Cancelled);
}

// ---- CDlg_PlusInput

struct PlusInputFixture : ::testing::Test {
    void SetUp() override {
        current = defaults();
        current.sectionCount = 3;  // slots 0..2 measured
        current.sections[3].present = false;
        current.sections[4].present = false;
        current.sections[5].present = false;
        current.sections[1].delay = 12.25f;
        current.sampleInterval = 0.5f;
        saved = current;
    }
    CInfo current, saved;
    std::mutex infoLock;
    RecordingSetupConsole console;
    ScriptedSink sink;
};

TEST_F(PlusInputFixture, RowsShowInUseSectionsOnly) {
    PlusInputForm form({current, infoLock}, saved, console, sink);
    EXPECT_EQ(form.rows()[0], (PlusInputRow{true, "面1-2", "80", "100.0"}));
    EXPECT_EQ(form.rows()[1].delay, "12.2");  // "%.1f" of 12.25f, which is exact: round half to even
    EXPECT_EQ(form.rows()[2].label, "面1-4");
    EXPECT_EQ(form.rows()[3], (PlusInputRow{false, "", "", ""}));
    EXPECT_EQ(PlusInputForm::gainTitle(0), "剖面1的增益");
    EXPECT_EQ(PlusInputForm::delayTitle(5), "剖面6的延时");
    EXPECT_EQ(PlusInputForm::gainChoices(),
              (std::vector<std::string>{"1", "2", "4", "8", "20", "40", "80", "200", "400", "800", "2000",
                                        "4000", "8000"}));
}

TEST_F(PlusInputFixture, AChosenGainGoesIntoTheSectionAndIsPushedAtOnce) {
    PlusInputForm form({current, infoLock}, saved, console, sink);
    EXPECT_TRUE(form.chooseGain(2, "800"));
    EXPECT_EQ(current.sections[2].gain, 800);
    EXPECT_EQ(form.rows()[2].gain, "800");
    EXPECT_EQ(console.calls, (std::vector<std::string>{"push"}));
    EXPECT_FALSE(form.chooseGain(4, "800"));  // a slot not in use
    EXPECT_EQ(saved.sections[2].gain, 80);    // the saved copy waits for OK
}

TEST_F(PlusInputFixture, DelaysTheSetupWouldRefuseAreRefusedWithItsText) {
    PlusInputForm form({current, infoLock}, saved, console, sink);
    // dt 0.5 µs: any negative delay is refused (the push would send it as 0), as is one beyond
    // 32767 intervals; 0 and 16383.5 (32767 intervals) are the edges that pass.
    EXPECT_FALSE(form.enterDelay(0, -0.1));
    EXPECT_EQ(sink.last(), "修改失败,剖面 1 的延时不能为负！");
    EXPECT_FALSE(form.enterDelay(1, 16383.6));
    EXPECT_EQ(sink.last(), "剖面 2 的 延时 超出范围，请重新输入！");
    EXPECT_FLOAT_EQ(current.sections[1].delay, 12.25f);  // the refused value is discarded
    EXPECT_TRUE(console.calls.empty());
    EXPECT_TRUE(form.enterDelay(0, 0.0));
    EXPECT_EQ(form.rows()[0].delay, "0.0");
    EXPECT_TRUE(form.enterDelay(1, 16383.5));
    EXPECT_EQ(form.rows()[1].delay, "16383.5");
    EXPECT_EQ(console.calls, (std::vector<std::string>{"push", "push"}));
}

TEST_F(PlusInputFixture, OkRereadsRowsStoresAndSaves) {
    PlusInputForm form({current, infoLock}, saved, console, sink);
    form.chooseGain(0, "2000");
    EXPECT_EQ(form.ok(), PlusInputForm::Outcome::Accepted);
    EXPECT_EQ(console.calls, (std::vector<std::string>{"push", "push", "store"}));
    EXPECT_EQ(saved.sections[0].gain, 2000);
    EXPECT_FLOAT_EQ(saved.sections[1].delay, 12.2f);  // re-read from its "%.1f" text
    EXPECT_EQ(console.stored.sections[0].gain, 2000);
}

TEST_F(PlusInputFixture, StoreFailureIsShown) {
    console.storeResult = StoreResult{false, "set.ini: disk full"};
    PlusInputForm form({current, infoLock}, saved, console, sink);
    EXPECT_EQ(form.ok(), PlusInputForm::Outcome::Accepted);
    EXPECT_EQ(sink.last(), "set.ini: disk full");
}

TEST_F(PlusInputFixture, UpAndDownKeys) {
    PlusInputForm form({current, infoLock}, saved, console, sink);
    using F = PlusInputForm;
    EXPECT_EQ(form.focusDown(0), 1);
    EXPECT_EQ(form.focusDown(1), 2);
    // Three unused sections in a row are all passed over: the focus is never stranded.
    EXPECT_EQ(form.focusDown(2), F::kFirstDelay);
    EXPECT_EQ(form.focusDown(F::kFirstDelay + 2), F::kOk);
    EXPECT_EQ(form.focusUp(F::kFirstDelay), 2);
    EXPECT_EQ(form.focusUp(1), 0);
    EXPECT_EQ(form.focusUp(0), std::nullopt);
    EXPECT_EQ(form.focusDown(F::kOk), 0);
    EXPECT_EQ(form.focusUp(F::kOk), F::kFirstDelay + 2);

    // Five sections: one disabled target is passed over.
    current.sectionCount = 5;
    current.sections[3].present = true;
    current.sections[4].present = true;
    PlusInputForm five({current, infoLock}, saved, console, sink);
    EXPECT_EQ(five.focusDown(4), F::kFirstDelay);  // gain 6 disabled, delay 1 next
    EXPECT_EQ(five.focusDown(F::kFirstDelay + 4), F::kOk);
    EXPECT_EQ(five.focusUp(F::kOk), F::kFirstDelay + 4);
    EXPECT_EQ(five.focusUp(F::kFirstDelay), 4);

    // All six: the plain sequence.
    current.sectionCount = 6;
    current.sections[5].present = true;
    PlusInputForm six({current, infoLock}, saved, console, sink);
    EXPECT_EQ(six.focusDown(5), F::kFirstDelay);
    EXPECT_EQ(six.focusDown(F::kFirstDelay + 5), F::kOk);
    EXPECT_EQ(six.focusDown(F::kOk), 0);
}

// ---- CDlg_Modal

struct ModalFixture : ::testing::Test {
    void SetUp() override {
        info = defaults();
        info.sectionCount = 3;
        info.sections[0].name = "1-2";
        info.sections[1].name = "1-3";
        info.sections[2].name = "2-3";
        info.sections[3].present = false;
        info.sections[4].present = false;
        info.sections[5].present = false;
    }
    ModalForm form(uint32_t state, bool viewing = false) {
        return ModalForm({info, infoLock}, display, state, viewing, console, sink, [this] { ++changed; });
    }
    CInfo info;
    std::mutex infoLock;
    DisplaySettings display;
    RecordingSetupConsole console;
    ScriptedSink sink;
    int changed = 0;
};

TEST_F(ModalFixture, SectionBoxesFollowTheSectionsOfTheTest) {
    ModalForm f = form(0xF0000000);
    EXPECT_EQ(f.controls().sectionEnabled, (std::array<bool, 6>{true, true, false, true, false, false}));
    EXPECT_FALSE(f.setSectionShown(2, true));
    EXPECT_TRUE(f.setSectionShown(3, false));
    EXPECT_EQ(f.ok(), ModalForm::Outcome::Accepted);
    EXPECT_FALSE(info.sections[2].display);  // slot 2 holds "2-3", box 3
    EXPECT_TRUE(info.sections[0].display);
}

TEST_F(ModalFixture, OkNeedsAViewAndASection) {
    ModalForm f = form(0xF0000000);
    f.setShowWaveform(false);
    f.setShowWaveTrain(false);
    EXPECT_EQ(f.ok(), ModalForm::Outcome::Open);
    EXPECT_EQ(sink.last(), "请在波形波列中至少选择一个");
    f.setShowWaveTrain(true);
    f.setSectionShown(0, false);
    f.setSectionShown(1, false);
    f.setSectionShown(3, false);
    EXPECT_EQ(f.ok(), ModalForm::Outcome::Open);
    EXPECT_EQ(sink.last(), "请至少选择一个通道");
    EXPECT_EQ(changed, 0);
    f.setSectionShown(1, true);
    EXPECT_EQ(f.ok(), ModalForm::Outcome::Accepted);
    EXPECT_FALSE(display.showWaveform);
    EXPECT_TRUE(display.showWaveTrain);
    EXPECT_EQ(changed, 1);
}

TEST_F(ModalFixture, StylesAndTheGreyGroup) {
    ModalForm f = form(0xF6000000);
    EXPECT_TRUE(f.controls().greyEnabled);
    EXPECT_FALSE(f.controls().greyGroupEnabled);
    EXPECT_FALSE(f.chooseZoomInterval("5"));
    EXPECT_TRUE(f.chooseStyle(2));
    EXPECT_TRUE(f.controls().greyGroupEnabled);
    EXPECT_TRUE(f.chooseZoomInterval("5"));
    EXPECT_TRUE(f.chooseGreyLevels("10"));
    EXPECT_TRUE(f.chooseGreyColour("最大正幅值白色"));
    // Stored at once, each with its redraw.
    EXPECT_EQ(info.zoomInterval, 5);
    EXPECT_EQ(info.grayLevels, 10);
    EXPECT_EQ(info.grayColour, 0);
    EXPECT_EQ(changed, 3);
    EXPECT_FALSE(f.chooseGreyLevels("11"));
    EXPECT_TRUE(f.chooseStyle(0));
    EXPECT_FALSE(f.controls().greyGroupEnabled);
    EXPECT_EQ(f.ok(), ModalForm::Outcome::Accepted);
    EXPECT_EQ(info.waveTrainStyle, 0);
    EXPECT_EQ(info.viewOption, 1);
    EXPECT_EQ(ModalForm::oneToTen().back(), "10");
}

TEST_F(ModalFixture, GreyScaleIsLockedWhileATestIsAcquired) {
    ModalForm recording = form(0xFA000000);
    EXPECT_FALSE(recording.controls().greyEnabled);
    EXPECT_TRUE(recording.controls().okEnabled);
    EXPECT_EQ(recording.controls().hint, "提示：在采样状态下，不能选择灰度！");
    EXPECT_FALSE(recording.chooseStyle(2));

    info.waveTrainStyle = 2;
    ModalForm grey = form(0xFC000001);
    EXPECT_FALSE(grey.controls().okEnabled);
    EXPECT_EQ(grey.controls().hint, "提示：在采样状态下，当前波列显示方式为灰度时不能更改参数！");
    EXPECT_EQ(grey.ok(), ModalForm::Outcome::Open);

    // Idle, free sampling, a pause and a viewed file leave it free.
    for (uint32_t s : {0xF0000000u, 0xF6000000u, 0xFA000004u}) {
        ModalForm free = form(s);
        EXPECT_TRUE(free.controls().greyEnabled) << std::hex << s;
        EXPECT_EQ(free.controls().hint, "");
    }
    ModalForm viewing = form(0xFA000000, true);
    EXPECT_TRUE(viewing.controls().okEnabled);
}

TEST_F(ModalFixture, BackToRealTimeRaisesTheModeChangedFlag) {
    info.cacheMode = 1;
    ModalForm f = form(0xF0000000);
    f.chooseCacheMode(0);
    EXPECT_EQ(f.ok(), ModalForm::Outcome::Accepted);
    EXPECT_EQ(info.cacheMode, 0);
    EXPECT_EQ(console.calls, (std::vector<std::string>{"modeChanged"}));
    ModalForm again = form(0xF0000000);
    again.chooseCacheMode(1);
    again.ok();
    EXPECT_EQ(info.cacheMode, 1);
    EXPECT_EQ(console.calls.size(), 1u);
}

// The acquisition mode changes only between tests; the display style whenever it may.
TEST_F(ModalFixture, TheAcquisitionModeStaysAsItIsDuringARecording) {
    const struct {
        uint32_t state;
        bool viewing, modeFree;
    } cases[] = {{0xF0000000, false, true},  {0xF6000004, false, true},  {0xF6000000, false, false},
                 {0xF7000000, false, false}, {0xFA000004, false, false}, {0xFC000001, false, false},
                 {0xABCD0000, false, false}, {0xF0000000, true, false}};
    for (const auto& c : cases) {
        info.cacheMode = 1;
        console.calls.clear();
        ModalForm f = form(c.state, c.viewing);
        EXPECT_EQ(f.controls().cacheModeEnabled, c.modeFree) << std::hex << c.state;
        f.chooseCacheMode(0);
        EXPECT_TRUE(f.chooseStyle(0)) << std::hex << c.state;
        EXPECT_EQ(f.ok(), ModalForm::Outcome::Accepted) << std::hex << c.state;
        EXPECT_EQ(info.cacheMode, c.modeFree ? 0 : 1) << std::hex << c.state;
        EXPECT_EQ(console.calls.size(), c.modeFree ? 1u : 0u) << std::hex << c.state;
        EXPECT_EQ(info.waveTrainStyle, 0) << std::hex << c.state;
        info.waveTrainStyle = 1;
    }
}

// ---- dlg_Re

TEST(ResampleForm, HeightBetweenTheProbesAndThePileLength) {
    CInfo info = defaults();
    info.pileLength = 20.7f;  // whole metres: 2000 cm
    info.stepMm = 250;        // multiples of 25 cm
    ScriptedSink sink;
    ResampleForm low(info, 350, sink);
    EXPECT_EQ(low.enterHeight(349), ResampleForm::Outcome::Open);
    EXPECT_EQ(sink.said.back(), (Said{"请输入合法重采高度，高度应在2000cm-350cm范围内", "警告", false}));
    EXPECT_EQ(low.enterHeight(2001), ResampleForm::Outcome::Open);
    EXPECT_EQ(low.enterHeight(360), ResampleForm::Outcome::Open);
    EXPECT_EQ(sink.said.back(), (Said{"请输入合法重采高度，高度应为移距250mm的整倍数", "警告", false}));
    EXPECT_EQ(low.enterHeight(350), ResampleForm::Outcome::Accepted);  // equal to the current height
    EXPECT_EQ(low.heightCm(), 350);
    EXPECT_EQ(low.caption(), "重采高度为:350");

    ResampleForm top(info, 350, sink);
    EXPECT_EQ(top.enterHeight(2000), ResampleForm::Outcome::Accepted);  // equal to the pile length
    EXPECT_EQ(top.caption(), "重采高度为:2000");
}

TEST(ResampleForm, WholeCentimetresOfTheStep) {
    CInfo info = defaults();
    info.stepMm = 50;
    ScriptedSink sink;
    ResampleForm f(info, 0, sink);
    EXPECT_EQ(f.enterHeight(7), ResampleForm::Outcome::Open);
    EXPECT_EQ(f.enterHeight(105.9), ResampleForm::Outcome::Accepted);  // 105 cm: 21 steps
    EXPECT_EQ(f.heightCm(), 105);
    info.stepMm = 5;  // no whole-centimetre step: nothing is accepted, nothing divides by zero
    ResampleForm g(info, 0, sink);
    EXPECT_EQ(g.enterHeight(100), ResampleForm::Outcome::Open);
    EXPECT_EQ(sink.last(), "请输入合法重采高度，高度应为移距5mm的整倍数");
}

// ---- CDlg_leak

TEST(LeakForm, HeightsFromTheBaseOfEachTestMode) {
    CInfo info = defaults();
    info.startDepth = 20.0f;
    info.sections[0].sectionStartDepth = 15.0f;
    info.sections[0].heightDiff = 500;
    LeakForm horizontal(info, 135, 120);
    EXPECT_EQ(horizontal.missedHeight(), "18.80");
    EXPECT_EQ(horizontal.currentHeight(), "18.65");
    EXPECT_FALSE(horizontal.closeCommandEnabled());
    horizontal.refresh(125, 120);
    EXPECT_EQ(horizontal.currentHeight(), "18.75");
    info.testMode = kInclined;
    EXPECT_EQ(LeakForm(info, 100, 50).missedHeight(), "14.50");
    info.testMode = kFan;
    EXPECT_EQ(LeakForm(info, 100, 50).missedHeight(), "14.00");
    EXPECT_EQ(LeakForm(info, 100, 50).currentHeight(), "13.50");
    horizontal.close();
    EXPECT_FALSE(horizontal.isOpen());
}

// ---- CDlg_Reset

TEST(ResetForm, DefaultsForEmptyArguments) {
    ResetForm plain;
    EXPECT_EQ(plain.caption(), "关闭文件");
    EXPECT_EQ(plain.text(), "是否确认关闭文件？");
    EXPECT_EQ(plain.yesCaption(), "确定");
    EXPECT_EQ(plain.noCaption(), "取消");
    ResetForm given("结束", "", "是", "");
    EXPECT_EQ(given.caption(), "结束");
    EXPECT_EQ(given.text(), "是否确认关闭文件？");
    EXPECT_EQ(given.yesCaption(), "是");
    EXPECT_EQ(given.noCaption(), "取消");
    EXPECT_EQ(given.cancel(), ResetForm::Outcome::Cancelled);
    EXPECT_EQ(given.ok(), ResetForm::Outcome::Cancelled);
}

// ---- CDlg_ParaInput

TEST(ParaInputForm, AmplitudeModeStoresOnlyTheThreshold) {
    CInfo info = defaults();
    std::mutex infoLock;
    ScriptedSink sink;
    ParaInputForm f({info, infoLock}, ParaInputForm::kAmplitudeMode, sink);
    EXPECT_EQ(f.controls().amplitudeThreshold, "0.0");
    f.enterAmplitudeThreshold(12.34);
    f.enterMainFrequency(1);  // not this mode's field
    EXPECT_EQ(f.ok(), ParaInputForm::Outcome::Accepted);
    EXPECT_FLOAT_EQ(info.amplitudeThreshold, 12.3f);
    EXPECT_FLOAT_EQ(info.mainFrequency, 35000.0f);
}

TEST(ParaInputForm, VarianceModeAndItsLimits) {
    CInfo info = defaults();
    std::mutex infoLock;
    ScriptedSink sink;
    ParaInputForm f({info, infoLock}, ParaInputForm::kVarianceMode, sink);
    EXPECT_EQ(f.controls().varianceThreshold, "3.0");
    EXPECT_EQ(f.controls().mainFrequency, "35000.0");
    EXPECT_EQ(f.controls().startPoint, "0");
    EXPECT_TRUE(f.controls().positive);
    f.enterVarianceThreshold(4.56);
    f.enterStartPoint(512);  // beyond a 512-sample waveform
    f.choosePolarity(false);
    EXPECT_EQ(f.ok(), ParaInputForm::Outcome::Open);
    EXPECT_EQ(sink.last(), "起点应在0到采样长度之间，请重新输入！");
    f.enterStartPoint(511);
    f.enterMainFrequency(0);
    EXPECT_EQ(f.ok(), ParaInputForm::Outcome::Open);
    EXPECT_EQ(sink.last(), "主频应大于0，请重新输入！");
    EXPECT_FLOAT_EQ(info.varianceThreshold, 3.0f);  // nothing stored before OK succeeds
    f.enterMainFrequency(50000);
    EXPECT_EQ(f.ok(), ParaInputForm::Outcome::Accepted);
    EXPECT_FLOAT_EQ(info.varianceThreshold, 4.6f);
    EXPECT_FLOAT_EQ(info.mainFrequency, 50000.0f);
    EXPECT_EQ(info.varianceStart, 511);
    EXPECT_FALSE(info.variancePolarity);
}

// ---- CDlgLink

class HandshakeLink : public InstrumentLink {
  public:
    std::vector<uint8_t> answers;
    int calls = 0;
    uint8_t GetCommunicateStatus() override {
        const uint8_t a = static_cast<size_t>(calls) < answers.size() ? answers[calls] : 0;
        ++calls;
        return a;
    }
    uint8_t GetFirmwareVersion() override { return 0; }
    uint8_t GetBatteryQuantity() override { return 0; }
    uint8_t SetLEDStatus(uint8_t) override { return 0; }
    uint8_t SetLeakInfo() override { return 0; }
    uint8_t StartRecordHeight() override { return 0; }
    uint8_t StartSample() override { return 0; }
    uint8_t GetSampleStatus() override { return 0; }
    uint8_t GetSampleHeight(uint16_t*, uint16_t*) override { return 0; }
    uint8_t GetHeight(uint16_t, uint16_t*, uint16_t*) override { return 0; }
    uint8_t ReadSampleData(uint16_t, uint16_t*, uint16_t*) override { return 0; }
    uint8_t ReadData(uint16_t, uint16_t, uint16_t*, uint16_t*) override { return 0; }
    uint8_t SetSample(uint8_t) override { return 0; }
    uint8_t SetBegin(uint8_t) override { return 0; }
    uint8_t SetEnd(uint8_t) override { return 0; }
    uint8_t SetHeight(int32_t, uint16_t) override { return 0; }
    uint8_t Set(_Ctrl_Code_INFO_DLL*) override { return 0; }
    uint8_t SetPara1(_Ctrl_SET1_INFO_DLL) override { return 0; }
    uint8_t GetPara1(_Ctrl_SET1_INFO_DLL*) override { return 0; }
    uint8_t SetPara2(_Ctrl_SET2_INFO_DLL) override { return 0; }
    uint8_t GetPara2(_Ctrl_SET2_INFO_DLL*) override { return 0; }
    uint8_t SetPara3(uint8_t*, int32_t) override { return 0; }
    uint8_t GetPara3(uint8_t*, int32_t) override { return 0; }
};

TEST(LinkForm, ThreeTriesThenFailureRetryAndSuccess) {
    HandshakeLink link;
    link.answers = {0, 0, 0, 0, 2};
    LinkForm form(link);
    EXPECT_EQ(form.text(), "正在连接中，请稍等……");
    EXPECT_EQ(form.connect(), LinkForm::Phase::Failed);
    EXPECT_EQ(link.calls, 3);
    EXPECT_EQ(form.progress(), 3);
    EXPECT_EQ(form.text(), "仪器未连接！");
    EXPECT_EQ(form.buttons(), (std::array<std::string, 2>{"重试", "放弃"}));
    EXPECT_EQ(form.retry(), LinkForm::Phase::Connected);
    EXPECT_EQ(link.calls, 5);
    EXPECT_EQ(form.progress(), 1);
    EXPECT_EQ(form.text(), "已成功连接到仪器！");
    EXPECT_EQ(form.buttons(), (std::array<std::string, 2>{"确定", "取消"}));
    EXPECT_TRUE(form.holdsUnsavedTest());
    form.accept();
    EXPECT_TRUE(form.connected());
}

TEST(LinkForm, AbandonLeavesTheConsoleUnconnected) {
    HandshakeLink link;
    LinkForm form(link);
    form.connect();
    form.abandon();
    EXPECT_FALSE(form.connected());
    EXPECT_EQ(form.phase(), LinkForm::Phase::Closed);
}

}  // namespace
}  // namespace lx9
