#include "acquisition/acquisition_rules.h"

#include <gtest/gtest.h>

#include <numeric>

namespace lx9 {
namespace {

CInfo defaults() {
    CInfo info;
    info.resetToDefaults();
    return info;
}

TEST(FrameLayoutTest, SectionsInUseMoveToTheFront) {
    CInfo info = defaults();
    EXPECT_EQ(frameSlotOrder(info), (std::array<int, 6>{0, 1, 2, 3, 4, 5}));

    info.channels[2].enabled = false;  // CH1, CH2, CH4
    EXPECT_EQ(frameSlotOrder(info), (std::array<int, 6>{0, 2, 4, 1, 3, 5}));

    info = defaults();
    info.channels[0].enabled = false;  // CH2, CH3
    info.channels[3].enabled = false;
    EXPECT_EQ(frameSlotOrder(info), (std::array<int, 6>{3, 0, 1, 2, 4, 5}));
}

TEST(FrameLayoutTest, OneTransmitterTakesItsPairWithEachReceiver) {
    CInfo info = defaults();
    info.pairwiseMode = false;
    info.channels[0].role = "接收1";
    info.channels[1].role = "发射";  // CH2 transmits to CH1, CH3, CH4
    EXPECT_EQ(frameSlotOrder(info), (std::array<int, 6>{0, 3, 4, 1, 2, 5}));

    info.channels[1].role = "接收2";  // no transmitter: nothing moves
    EXPECT_EQ(frameSlotOrder(info), (std::array<int, 6>{0, 1, 2, 3, 4, 5}));
}

TEST(FrameLayoutTest, ArrangeCopiesWholeSlots) {
    std::vector<uint16_t> frame(6 * 4), out(6 * 4);
    std::iota(frame.begin(), frame.end(), 0);
    arrangeFrame(frame.data(), out.data(), 4, {5, 0, 1, 2, 3, 4});
    EXPECT_EQ(std::vector<uint16_t>(out.begin(), out.begin() + 8),
              (std::vector<uint16_t>{20, 21, 22, 23, 0, 1, 2, 3}));
}

TEST(LevelRulesTest, StartHeightByTestMode) {
    CInfo info = defaults();
    info.startDepth = 12.5f;
    EXPECT_DOUBLE_EQ(startHeightCm(info), 1250.0);

    info.testMode = kFan;
    info.sections[0].sectionStartDepth = 10.0f;
    info.sections[0].heightDiff = 250;  // mm
    EXPECT_DOUBLE_EQ(startHeightCm(info), 975.0);

    info.testMode = kInclined;
    info.sections[1].sectionStartDepth = 9.0f;
    info.sections[1].heightDiff = -100;
    info.sections[2].sectionStartDepth = 8.0f;
    info.sections[2].display = false;  // not displayed: left out
    EXPECT_DOUBLE_EQ(startHeightCm(info), 910.0);
    for (auto& s : info.sections)
        s.display = false;
    EXPECT_DOUBLE_EQ(startHeightCm(info), 9999999.0);
}

TEST(LevelRulesTest, ToleranceAndLevels) {
    EXPECT_EQ(halfStepToleranceCm(10), 0);
    EXPECT_EQ(halfStepToleranceCm(50), 2);
    EXPECT_EQ(halfStepToleranceCm(100), 5);
    EXPECT_EQ(halfStepToleranceCm(250), 12);
    EXPECT_EQ(levelCm(7, 250), 175);
    EXPECT_EQ(levelCm(3, 55), 16);
}

TEST(LevelRulesTest, TheLastLevelIsTheOneAtTheStartHeight) {
    CInfo info = defaults();
    info.startDepth = 10.0f;
    info.stepMm = 100;
    EXPECT_EQ(lastLevelIndex(info), 100);
    info.startDepth = 20.3f;  // 2029.9999 cm in float
    info.stepMm = 50;
    EXPECT_EQ(lastLevelIndex(info), 406);
    EXPECT_EQ(lastLevelIndex(info) + 1, expectedLevelCount(info));
    info.startDepth = 10.05f;  // off the grid: the last level lies 5 cm below the top
    info.stepMm = 100;
    EXPECT_EQ(lastLevelIndex(info), 100);
    info.stepMm = 0;
    EXPECT_EQ(lastLevelIndex(info), -1);
}

TEST(LevelRulesTest, PointDepthByTestMode) {
    CInfo info = defaults();
    info.startDepth = 20.0f;
    EXPECT_FLOAT_EQ(pointDepth(info, 3, 150.0), 18.5f);
    info.testMode = kInclined;
    info.sections[3].sectionStartDepth = 15.0f;
    info.sections[3].heightDiff = 500;
    EXPECT_FLOAT_EQ(pointDepth(info, 3, 150.0), 13.0f);
}

TEST(LevelRulesTest, EndStampSumsTheSevenFields) {
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;   // March
    t.tm_wday = 5;  // Friday
    t.tm_mday = 15;
    t.tm_hour = 13;
    t.tm_min = 45;
    t.tm_sec = 30;
    EXPECT_EQ(endStampOf(t), 2024 + 3 + 5 + 15 + 13 + 45 + 30);
}

}  // namespace
}  // namespace lx9
