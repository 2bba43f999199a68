// The report model and the hand-pick trail: section lists, the trail's lines and its latest
// word per point, the pile class, and what the model makes of a hand-built analysis.
#include <gtest/gtest.h>

#include "report/pick_trail.h"
#include "report/report_model.h"

namespace lx9 {
namespace {

TEST(SectionList, NamesAreTrimmedDeduplicatedAndEmptyOnesRefused) {
    struct Case {
        const char* text;
        std::optional<std::vector<std::string>> names;
    };
    const Case cases[] = {
        {"1-2", std::vector<std::string>{"1-2"}},
        {"1-2,1-3", std::vector<std::string>{"1-2", "1-3"}},
        {" 2-4 ,\t1-2", std::vector<std::string>{"2-4", "1-2"}},
        {"1-2,1-2", std::vector<std::string>{"1-2"}},
        {"", std::nullopt},
        {"1-2,", std::nullopt},
        {"1-2,,1-3", std::nullopt},
        {" , ", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseSectionList(c.text), c.names) << '"' << c.text << '"';
}

TEST(PickTrail, KeepsUsableLinesAndTheLatestWordPerPoint) {
    const std::string text =
        "{\"time\":\"2026-12-07T20:15:03\",\"tester\":\"张三\",\"section\":\"1-2\",\"level\":12,\"depth\":3."
        "5,"
        "\"oldTIndex\":101,\"newTIndex\":97,\"oldAmpIndex\":130,\"newAmpIndex\":126}\n"
        "\n"
        "{\"section\":\"1-2\",\"level\":13,\"newTIndex\":90}\r\n"
        "{\"section\":\"1-2\",\"level\":13,\"oldTIndex\":90,\"newTIndex\":99,\"restore\":true}\n"
        "{\"section\":\"1-3\",\"level\":-1}\n"  // no such point
        "{\"level\":4}\n"                       // no section
        "[1,2]\n"
        "{\"section\":\"1-3\",\"level\":4,\"newTIn";  // torn by a crash while appending
    const PickTrail trail = parsePickTrail(text);
    ASSERT_EQ(trail.entries.size(), 3u);
    EXPECT_EQ(trail.skippedLines, 4);
    const PickTrailEntry& first = trail.entries[0];
    EXPECT_EQ(first.time, "2026-12-07T20:15:03");
    EXPECT_EQ(first.tester, "张三");
    EXPECT_EQ(first.depth, 3.5);
    EXPECT_EQ(first.oldTIndex, 101);
    EXPECT_EQ(first.newTIndex, 97);
    EXPECT_EQ(first.oldAmpIndex, 130);
    EXPECT_EQ(first.newAmpIndex, 126);
    EXPECT_FALSE(first.restore);
    EXPECT_EQ(trail.entries[1].oldAmpIndex, -1);  // absent fields read as "none"
    EXPECT_TRUE(trail.entries[2].restore);

    EXPECT_TRUE(trail.handPicked("1-2", 12));
    EXPECT_FALSE(trail.handPicked("1-2", 13));  // restored afterwards
    EXPECT_FALSE(trail.handPicked("1-3", 12));
    EXPECT_FALSE(trail.handPicked("1-3", 4));
}

TEST(PickTrail, LiesBesideThePairWhateverSuffixNamesIt) {
    EXPECT_EQ(pickTrailPath("/d/pile 7.CHT"), "/d/pile 7.picks.json");
    EXPECT_EQ(pickTrailPath("/d/pile 7.cht"), "/d/pile 7.picks.json");
    EXPECT_EQ(pickTrailPath("/d/pile 7.CHD"), "/d/pile 7.picks.json");
    EXPECT_EQ(pickTrailPath("/d/pile 7"), "/d/pile 7.picks.json");
    EXPECT_EQ(pickTrailPath("/d/a.b"), "/d/a.b.picks.json");
}

SectionAnalysis section(int slot, const char* name, std::array<int, 4> grades) {
    SectionAnalysis s;
    s.slot = slot;
    s.name = name;
    s.pointCount = 40;
    s.gradeCounts = grades;
    return s;
}

TEST(PileClass, IsTheWorstGradeOfAnyPointUnderTheGradingRulesOnly) {
    PileAnalysis pile;
    pile.graded = true;
    pile.sections = {section(0, "1-2", {40, 0, 0, 0}), section(1, "1-3", {38, 2, 0, 0})};
    EXPECT_EQ(pileClassOf(pile), 2);
    pile.sections.push_back(section(2, "2-3", {39, 0, 0, 1}));
    EXPECT_EQ(pileClassOf(pile), 4);
    EXPECT_EQ(pileClassText(4), "Ⅳ类桩");
    pile.sections = {section(0, "1-2", {0, 0, 0, 0})};
    EXPECT_EQ(pileClassOf(pile), 0);  // nothing graded (no points)
    pile.sections = {section(0, "1-2", {0, 0, 3, 0})};
    pile.graded = false;
    EXPECT_EQ(pileClassOf(pile), 0);
}

class ReportModelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        info.resetToDefaults();
        info.pileId = "A-12#";
        info.pileLength = 12.5f;
        info.stepMm = 50;
        info.testMode = kInclined;
        info.sections[0].spacing = 600;
        info.sections[0].zeroTime = 10.5f;
        info.sections[2].delay = 99.5f;
        pile.standard = "公路";
        pile.rules = "JTG/T F81-01-2004";
        SectionAnalysis a = section(0, "1-2", {});
        a.criticalVelocity = 3.56289f;
        a.criticalAmplitudeDb = kTooFewValues;
        a.psd = {{12.0f, 0.0f}, {11.95f, 1280.0f}, {11.9f, 0.0f}};
        a.psdMax = 1280.0f;
        a.psdMaxDepth = 11.95f;
        a.findings = {{1, 11.95f, 3.1234f, 95.555f, true, false, 0}, {2, 11.9f, 3.9f, 80.0f, true, true, 0}};
        pile.sections = {a, section(1, "1-3", {}), section(2, "2-3", {})};
        pile.sections[2].criticalVelocity = kNoValueLeft;
        trail = parsePickTrail(
            "{\"time\":\"t1\",\"tester\":\"张三\",\"section\":\"2-3\",\"level\":3,\"depth\":11.85,"
            "\"oldTIndex\":101,"
            "\"newTIndex\":97,\"oldAmpIndex\":130,\"newAmpIndex\":126}\n"
            "{\"time\":\"t2\",\"tester\":\"李四\",\"section\":\"1-3\",\"level\":1,\"depth\":11.95}\n"
            "{\"time\":\"t3\",\"tester\":\"张三\",\"section\":\"2-3\",\"level\":3,\"depth\":11.85,"
            "\"oldTIndex\":97,"
            "\"newTIndex\":101,\"oldAmpIndex\":126,\"newAmpIndex\":130,\"restore\":true}\n");
    }

    ReportModel build(std::vector<std::string> sections) {
        std::string error;
        const auto model =
            buildReportModel(info, pile, {"p.CHT", "", std::move(sections), "now"}, trail, error);
        EXPECT_TRUE(model) << error;
        return model.value_or(ReportModel{});
    }

    CInfo info;
    PileAnalysis pile;
    PickTrail trail;
};

TEST_F(ReportModelTest, ChosenSectionsInSlotOrderWithTheirSettingsFindingsAndTrail) {
    const ReportModel m = build({"2-3", "1-2"});
    ASSERT_EQ(m.sections.size(), 2u);
    EXPECT_EQ(m.sections[0].name, "1-2");
    EXPECT_EQ(m.sections[1].name, "2-3");
    const std::vector<std::vector<std::string>> settings = {{"1-2", "600", "80", "100.0", "10.50", "40"},
                                                            {"2-3", "340", "80", "99.5", "0.00", "40"}};
    EXPECT_EQ(m.settings.rows, settings);
    const std::vector<std::vector<std::string>> summary = {
        {"1-2", "3.563 km/s", "-998 (too few usable values)", "1280.0", "2"},
        {"2-3", "-999 (no value left after exclusion)", "0.00 dB", "-", "0"}};
    EXPECT_EQ(m.summary.rows, summary);
    // A finding carries the PSD of its pair with the next point; the last point has none.
    const std::vector<std::vector<std::string>> findings = {
        {"1", "11.95", "3.123", "95.56", "1280.0", "-", "声速"},
        {"2", "11.90", "3.900", "80.00", "0.0", "-", "声速、波幅"}};
    EXPECT_EQ(m.sections[0].findings.rows, findings);
    // The trail of the reported sections only, in file order.
    const std::vector<std::vector<std::string>> trailRows = {
        {"t1", "张三", "2-3", "3", "11.85", "101 → 97", "130 → 126", "手动判读"},
        {"t3", "张三", "2-3", "3", "11.85", "97 → 101", "126 → 130", "恢复"}};
    EXPECT_EQ(m.trail.rows, trailRows);
    EXPECT_EQ(m.header[8].value, "斜测");
    EXPECT_EQ(m.header[9].value, "公路（JTG/T F81-01-2004）");
    EXPECT_EQ(m.pileClass, 0);
}

TEST_F(ReportModelTest, UnknownSectionIsRefusedNamingThePresentOnes) {
    std::string error;
    EXPECT_FALSE(buildReportModel(info, pile, {"p.CHT", "", {"1-2", "3-4"}, ""}, trail, error));
    EXPECT_EQ(error, "section 3-4 is not in the test (present: 1-2 1-3 2-3)");
}

TEST_F(ReportModelTest, GuangdongAddsThePileVelocityClassAndGradeCounts) {
    pile.standard = "广东建筑";
    pile.rules = "DBJ 15-60-2008";
    pile.graded = true;
    pile.pileCriticalVelocity = 3.9f;
    pile.sections[1].gradeCounts = {30, 7, 3, 0};
    pile.sections[1].dbjSection = {-999, 0.0f};
    const ReportModel m = build({"1-3"});
    ASSERT_EQ(m.header.size(), 14u);
    EXPECT_EQ(m.header[12].value, "3.900 km/s");
    EXPECT_EQ(m.header[13].value, "Ⅲ类桩");
    const auto& stats = m.sections[0].statistics;
    const auto field = [&](const std::string& label) {
        for (const ReportField& f : stats)
            if (f.label == label) return f.value;
        return std::string("(none)");
    };
    EXPECT_EQ(field("本剖面声速临界值"), "-999 (no value left after exclusion)");
    EXPECT_EQ(field("各类测点数"), "Ⅰ: 30  Ⅱ: 7  Ⅲ: 3  Ⅳ: 0");
    EXPECT_EQ(field("PSD 最大值"), "无（测点不足两个）");
    EXPECT_TRUE(m.trail.rows.size() == 1 && m.trail.rows[0][5] == "-1 → -1") << m.trail.rows.size();
}

}  // namespace
}  // namespace lx9
