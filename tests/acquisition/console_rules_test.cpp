// The console's fixed rules: section controls, gain and delay steps, the enabling table,
// captions and the two indicator bars.
#include <gtest/gtest.h>

#include "acquisition/console_rules.h"
#include "data/globals.h"
#include "data/sample_data_list.h"

namespace lx9 {
namespace {

TEST(ConsoleRules, SectionControlIdsMapBothWays) {
    EXPECT_EQ(sectionControl(1072), (SectionControl{0, SectionAdjust::GainUp}));
    EXPECT_EQ(sectionControl(1079), (SectionControl{0, SectionAdjust::DelayRight}));
    EXPECT_EQ(sectionControl(1074), (SectionControl{1, SectionAdjust::GainDown}));
    EXPECT_EQ(sectionControl(1122), (SectionControl{3, SectionAdjust::GainDown}));
    EXPECT_EQ(sectionControl(1123), (SectionControl{3, SectionAdjust::DelayRight}));
    EXPECT_EQ(sectionControl(1093), (SectionControl{5, SectionAdjust::DelayRight}));
    EXPECT_FALSE(sectionControl(1094));
    EXPECT_FALSE(sectionControl(1003));
    for (int s = 0; s < kMaxSections; ++s)
        for (auto a : {SectionAdjust::GainUp, SectionAdjust::GainDown, SectionAdjust::DelayLeft,
                       SectionAdjust::DelayRight})
            EXPECT_EQ(sectionControl(sectionControlId(s, a)), (SectionControl{s, a}));
}

TEST(ConsoleRules, GainStepsFollowTheTableAndStopAtItsEnds) {
    EXPECT_EQ(gainUp(1), 2);
    EXPECT_EQ(gainUp(4), 10);
    EXPECT_EQ(gainUp(4000), 10000);
    EXPECT_EQ(gainUp(10000), 10000);
    EXPECT_EQ(gainDown(10000), 4000);
    EXPECT_EQ(gainDown(10), 4);
    EXPECT_EQ(gainDown(1), 1);
    // The pickers' 8, 80 (the default), 800 and 8000 step as 10, 100, 1000 and 10000; other
    // gains outside the table stay.
    const struct {
        int32_t gain, up, down;
    } picked[] = {{8, 20, 4}, {80, 200, 40}, {800, 2000, 400}, {8000, 8000, 4000}, {7, 7, 7}, {90, 90, 90}};
    for (const auto& c : picked) {
        EXPECT_EQ(gainUp(c.gain), c.up) << c.gain;
        EXPECT_EQ(gainDown(c.gain), c.down) << c.gain;
    }
}

TEST(ConsoleRules, DelayStepsAreTenMicrosecondsAndNeverNegative) {
    EXPECT_FLOAT_EQ(delayLeft(100.0f), 110.0f);
    EXPECT_FLOAT_EQ(delayRight(100.0f), 90.0f);
    EXPECT_FLOAT_EQ(delayRight(5.0f), 0.0f);
    EXPECT_FLOAT_EQ(delayRight(0.0f), 0.0f);
    EXPECT_FLOAT_EQ(delayRight(10.0f), 0.0f);
}

// The table, row by row, in column order 1002 1003 1006 1005 1004 1007 1008 1009 1010 1011 1012.
std::string row(const ButtonStates& b) {
    std::string s;
    for (int id : {1002, 1003, 1006, 1005, 1004, 1007, 1008, 1009, 1010, 1011, 1012})
        s += b.at(id) ? '1' : '0';
    return s;
}

ButtonStates enabling(uint32_t state, bool connected = true, ButtonStates previous = {}) {
    EnablingInputs in;
    in.state = state;
    in.connected = connected;
    return buttonEnabling(in, previous);
}

TEST(ConsoleRules, EnablingTableRows) {
    EXPECT_EQ(row(enabling(0xF0000000)), "11111000101");
    EXPECT_EQ(row(enabling(0xF0000000, false)), "00000000101");
    EXPECT_EQ(row(enabling(0xF4000000)), "00000000000");
    EnablingInputs open;
    open.state = 0xF4000000;
    open.fileOpen = true;
    EXPECT_EQ(row(buttonEnabling(open, {})), "01010011011");
    EXPECT_EQ(row(enabling(0xF6000000)), "01111000000");
    EXPECT_EQ(row(enabling(0xF6000004)), "11111000101");
    EXPECT_EQ(row(enabling(0xF7000000)), "01011000000");
    EXPECT_EQ(row(enabling(0xF7000004)), "01011000001");
    EXPECT_EQ(row(enabling(0xFA000000)), "01110100000");
    EXPECT_EQ(row(enabling(0xFA000001)), "01110100000");  // the missed-point hold is a running row
    EXPECT_EQ(row(enabling(0xFA000004)), "01110011000");
    EXPECT_EQ(row(enabling(0xFC000000)), "01110000000");
    EXPECT_EQ(row(enabling(0xFC000001)), "01110000000");
    EXPECT_EQ(row(enabling(0xFC000004)), "01110011000");
    EXPECT_EQ(row(enabling(0xABCD0000)), "11110111111");
    EXPECT_EQ(row(enabling(0xABFF0000)), "11110011111");
}

TEST(ConsoleRules, StatesOutsideTheTableKeepTheButtons) {
    ButtonStates previous = enabling(0xF6000004);
    EXPECT_EQ(enabling(0xF5000000, true, previous), previous);
    EXPECT_EQ(enabling(0xFC000005, true, previous), previous);
    EXPECT_EQ(enabling(0xFC000002, true, previous), previous);
    EXPECT_EQ(enabling(0x12340000, true, previous), previous);
}

TEST(ConsoleRules, UploadOnlyWhenIdleAndMovePointNever) {
    EXPECT_TRUE(enabling(0xF0000000).uploadShown);
    EXPECT_TRUE(enabling(0xF0000000).at(kBtnUpload));
    for (uint32_t s : {0xF4000000u, 0xF6000004u, 0xABCD0000u, 0xFA000000u}) {
        EXPECT_FALSE(enabling(s).uploadShown) << std::hex << s;
        EXPECT_FALSE(enabling(s).at(kBtnMovePoint)) << std::hex << s;
    }
}

TEST(ConsoleRules, PageButtonsOffForGreyAndRealTimeUnlessTheViewByteIsSet) {
    EnablingInputs in;
    in.state = 0xABCD0000;
    in.connected = true;
    in.waveTrainStyle = 2;
    EXPECT_FALSE(buttonEnabling(in, {}).at(kBtnPageBack));
    in.waveTrainStyle = 3;
    EXPECT_FALSE(buttonEnabling(in, {}).at(kBtnPageForward));
    in.waveTrainStyle = 1;
    in.realTimeSave = true;
    EXPECT_FALSE(buttonEnabling(in, {}).at(kBtnPageBack));
    in.viewByte = true;
    EXPECT_TRUE(buttonEnabling(in, {}).at(kBtnPageBack));
    EXPECT_TRUE(buttonEnabling(in, {}).at(kBtnPageForward));
}

TEST(ConsoleRules, CaptionsCarryTheirHotkeyLetterOnlyWhenShownAndALetter) {
    EXPECT_EQ(captionWithHotkey(kCapSetup, Hotkey{0, 'S'}, true), "设置(S)");
    EXPECT_EQ(captionWithHotkey(kCapSetup, Hotkey{0, 'S'}, false), "设置");
    EXPECT_EQ(captionWithHotkey(kCapSetup, Hotkey{0, '5'}, true), "设置");
    EXPECT_EQ(captionWithHotkey(kCapSetup, Hotkey{0, 0x70}, true), "设置");  // F1
    EXPECT_EQ(captionWithHotkey(kCapTestDone, Hotkey{2, 'Z'}, true), "测试完成(Z)");
    EXPECT_EQ(hotkeyPairOf(kBtnSetup), 0);
    EXPECT_EQ(hotkeyPairOf(kBtnSample), 1);
    EXPECT_EQ(hotkeyPairOf(kBtnNewSave), 2);
    EXPECT_EQ(hotkeyPairOf(kBtnMode), 3);
    EXPECT_EQ(hotkeyPairOf(kBtnAdjust), 4);
    EXPECT_EQ(hotkeyPairOf(kBtnMovePoint), 11);
    EXPECT_EQ(hotkeyPairOf(kBtnUpload), -1);
    // With the factory keys the console reads S C X M T G Q H D F B Y.
    const auto keys = factoryHotkeys();
    std::string letters;
    for (int id = kBtnSetup; id <= kBtnMovePoint; ++id)
        if (id != kBtnPageBack && id != kBtnPageForward)
            letters += static_cast<char>(keys[hotkeyPairOf(id)].key);
    EXPECT_EQ(letters, "SCTMXGDFBY");
}

TEST(ConsoleRules, BatteryBar) {
    EXPECT_EQ(batteryIndicator(0), (BarIndicator{0, std::nullopt}));
    EXPECT_EQ(batteryIndicator(1), (BarIndicator{1, kColourRed}));
    EXPECT_EQ(batteryIndicator(2), (BarIndicator{2, kColourRed}));
    EXPECT_EQ(batteryIndicator(3), (BarIndicator{3, kColourYellow}));
    EXPECT_EQ(batteryIndicator(6), (BarIndicator{6, kColourYellow}));
    EXPECT_EQ(batteryIndicator(7), (BarIndicator{7, kColourGreen}));
    EXPECT_EQ(batteryIndicator(9), (BarIndicator{9, kColourGreen}));
    EXPECT_EQ(batteryIndicator(10), (BarIndicator{10, kColourGreen}));
    EXPECT_EQ(batteryIndicator(80), (BarIndicator{10, kColourGreen}));
}

TEST(ConsoleRules, LiftSpeedBar) {
    EXPECT_EQ(liftSpeedIndicator(0), (BarIndicator{0, kColourGreen}));
    EXPECT_EQ(liftSpeedIndicator(59), (BarIndicator{5, kColourGreen}));
    EXPECT_EQ(liftSpeedIndicator(60), (BarIndicator{6, kColourYellow}));
    EXPECT_EQ(liftSpeedIndicator(79), (BarIndicator{7, kColourYellow}));
    EXPECT_EQ(liftSpeedIndicator(80), (BarIndicator{8, kColourRed}));
    EXPECT_EQ(liftSpeedIndicator(99), (BarIndicator{9, kColourRed}));
    EXPECT_EQ(liftSpeedIndicator(100), (BarIndicator{10, kColourRed}));
    EXPECT_EQ(liftSpeedIndicator(-1), (BarIndicator{10, kColourRed}));
}

TEST(ConsoleRules, PointInformationTexts) {
    CInfo info;
    info.resetToDefaults();  // dt 1.0, section delay 100.0, spacing 340
    SamplePoint p;
    p.samples.assign(512, 2048);
    p.samples[150] = 2048 + 1000;
    p.ampIndex = 150;
    p.tIndex = 99;
    p.delay = -1;
    p.gain = 80;
    p.depth = 12.345f;
    const PointInfoTexts t = pointInfoTexts(info, 0, p);
    EXPECT_EQ(t.method, "自动判读");
    // T = 100 × 1.0 + 100.0 = 200 µs; A = 1000 × 2 × 0.00048828125 / 80 × 1000 / 0.732 mV;
    // v = 340 mm / 200 µs = 1.7 km/s.
    EXPECT_EQ(t.measured, "声时(us):200.0\n波幅(mv):16.68\n声速(km/s):1.700");
    EXPECT_EQ(t.placement, "深度(m):12.35\n跨距(mm):340\n增益:80");
}

}  // namespace
}  // namespace lx9
