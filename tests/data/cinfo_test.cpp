#include "data/cinfo.h"

#include <gtest/gtest.h>

namespace lx9 {
namespace {

CInfo defaults() {
    CInfo info;
    info.resetToDefaults();
    return info;
}

TEST(CInfo, ConstructionCarriesOnlyTheStartValues) {
    CInfo info;
    EXPECT_EQ(info.versionText, "1.1.41122");
    EXPECT_EQ(info.showHotkeyLetters, 1);
    EXPECT_EQ(info.cacheMode, 1);
    EXPECT_EQ(info.defaultHotkeys[0].key, 'S');
    EXPECT_EQ(info.defaultHotkeys[16].key, 'S');
    EXPECT_TRUE(info.siteName.empty());
    EXPECT_EQ(info.hotkeys[0].key, 0);  // not copied until a reset
}

TEST(CInfo, ResetAssignsTheDefaults) {
    CInfo info;
    info.versionText = "9.9";
    info.sections[3].zeroTime = 12.5f;
    info.resetToDefaults();
    EXPECT_EQ(info.siteName, "示例所");
    EXPECT_EQ(info.unitName, "示例所");
    EXPECT_EQ(info.personName, "示例所");
    EXPECT_EQ(info.pileId, "1#");
    EXPECT_EQ(info.testDate, todayText());
    EXPECT_EQ(info.versionText, "9.9");           // set at construction only
    EXPECT_EQ(info.sections[3].zeroTime, 12.5f);  // zero time survives a reset
    EXPECT_EQ(info.showHotkeyLetters, 0);         // program variant 0 clears it
    EXPECT_EQ(info.saveMode, "最后保存");
    EXPECT_EQ(info.pickMethod, "自动判读");
    EXPECT_EQ(info.standard, "公路");
    EXPECT_EQ(info.sampleLength, 512);
    EXPECT_EQ(info.mainFrequency, 35000.0f);
    EXPECT_EQ(info.colours, (std::array<int32_t, 5>{0xFFFFFF, 0xFFFFFF, 0, 0, 0}));
    EXPECT_EQ(info.hotkeys, info.defaultHotkeys);
    for (int k = 0; k < kMaxSections; ++k) {
        EXPECT_EQ(info.sections[k].name, kPairNames[k]);
        EXPECT_EQ(info.sections[k].spacing, 340);
        EXPECT_EQ(info.sections[k].delay, 100.0f);
        EXPECT_TRUE(info.sections[k].display && info.sections[k].present);
    }
    EXPECT_EQ(info.channels[0].role, "发射");
    EXPECT_EQ(info.channels[3].role, "接收3");
    EXPECT_EQ(info.channels[2].pipe, "管3");
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(info.sectionSlot[i], i);
}

TEST(CInfo, TodayTextHasNoLeadingZeros) {
    const std::string t = todayText();
    int y = 0, m = 0, d = 0;
    ASSERT_EQ(std::sscanf(t.c_str(), "%d-%d-%d", &y, &m, &d), 3);
    char again[32];
    std::snprintf(again, sizeof again, "%d-%d-%d", y, m, d);
    EXPECT_EQ(t, again);
}

TEST(CInfo, SectionNamesFollowPipesAndSectionCount) {
    CInfo info = defaults();
    info.pipeCount = 4;
    info.sectionCount = 6;
    info.rebuildSectionNames();
    const std::array<std::string, 10> four = {"1-2", "1-3", "1-4", "2-3", "2-4", "3-4", "", "", "", ""};
    EXPECT_EQ(info.sectionNames, four);

    info.pipeCount = 5;
    info.rebuildSectionNames();
    const std::array<std::string, 10> fiveOfSix = {"1-2", "1-3", "1-4", "1-5", "2-3", "2-4", "", "", "", ""};
    EXPECT_EQ(info.sectionNames, fiveOfSix);

    info.sectionCount = 1;
    info.rebuildSectionNames();
    EXPECT_EQ(info.sectionNames[0], "1-2");
    EXPECT_EQ(info.sectionNames[1], "");

    info.pipeCount = 3;  // fewer pairs than sections asked for
    info.sectionCount = 6;
    info.rebuildSectionNames();
    EXPECT_EQ(info.sectionNames[2], "2-3");
    EXPECT_EQ(info.sectionNames[3], "");

    info.pipeCount = 99;  // from a damaged file: at most ten names, no overrun
    info.sectionCount = 6;
    info.rebuildSectionNames();
    EXPECT_EQ(info.sectionNames[5], "1-7");
}

TEST(CInfo, ExpectedLevelCount) {
    CInfo info = defaults();
    EXPECT_EQ(expectedLevelCount(info), 401);  // trunc((20.001 * 1000) / 50 + 1)
    info.stepMm = 10;
    EXPECT_EQ(expectedLevelCount(info), 2001);
    info.startDepth = 0.0f;
    EXPECT_EQ(expectedLevelCount(info), 1);
    info.saveMode = "实时保存";
    EXPECT_EQ(expectedLevelCount(info), 50);

    info = defaults();
    info.testMode = kInclined;  // slot 0: 15.0 m, height difference 500 mm
    info.sections[0].heightDiff = 500;
    EXPECT_EQ(expectedLevelCount(info), 291);  // trunc((14.5 + 0.001) * 1000 / 50 + 1) = 291
    info.testMode = kFan;
    info.sections[0].heightDiff = -1000;
    EXPECT_EQ(expectedLevelCount(info), 321);  // (16.001 * 1000) / 50 + 1 = 321.02

    info = defaults();
    info.stepMm = 0;
    EXPECT_EQ(expectedLevelCount(info), 1);
    info.stepMm = 1;
    info.startDepth = 200.0f;
    EXPECT_EQ(expectedLevelCount(info), 65535);  // 200 002 levels cannot be counted in 16 bits
}

TEST(CInfo, EnumerationCodes) {
    EXPECT_EQ(pickMethodCode("幅值判读"), 1);
    EXPECT_EQ(pickMethodCode("方差判读"), 2);
    EXPECT_EQ(pickMethodCode("自动判读"), 0);
    EXPECT_EQ(pickMethodCode("幅值判读 "), 0);  // whole text compared
    EXPECT_EQ(pickMethodText(2), "方差判读");
    EXPECT_EQ(pickMethodText(7), "自动判读");
    EXPECT_EQ(standardCode("铁路"), 1);
    EXPECT_EQ(standardCode("广东建筑"), 3);
    EXPECT_EQ(standardCode("公路"), 0);
    EXPECT_EQ(standardText(0), "公路");
    EXPECT_EQ(standardText(2), "建筑");
    EXPECT_EQ(roleCode("接收3"), 4);
    EXPECT_EQ(roleText(0), "");
    EXPECT_EQ(pipeCode("管5"), 5);
    EXPECT_EQ(pipeText(6), "");
    EXPECT_EQ(sectionNameCode("3-4"), 5);
    EXPECT_EQ(sectionNameCode("2-3x"), 3);  // first three characters only
    EXPECT_EQ(sectionNameCode("1-5"), 0);
    EXPECT_EQ(sectionNameText(4), "2-4");
    EXPECT_EQ(sectionNameText(6), "");
}

TEST(CInfo, SectionCountFromChannels) {
    const int pairwise[] = {0, 0, 1, 3, 6};
    const int oneToMany[] = {0, 0, 1, 2, 3};
    for (int n = 0; n <= 4; ++n) {
        EXPECT_EQ(sectionCountForChannels(n, true), pairwise[n]) << n;
        EXPECT_EQ(sectionCountForChannels(n, false), oneToMany[n]) << n;
    }
}

TEST(CInfo, CopyIsDeep) {
    CInfo a = defaults();
    CInfo b = a;
    b.sections[2].name = "changed";
    b.commandHistory[4] = "PN=2";
    EXPECT_EQ(a.sections[2].name, "1-4");
    EXPECT_EQ(a.commandHistory[4], "");
    EXPECT_NE(a, b);
}

}  // namespace
}  // namespace lx9
