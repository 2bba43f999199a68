#include "analysis/analysis_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <sstream>
#include <vector>

#include "pile_fixture.h"

namespace lx9 {
namespace {

using ReportTest = testing::PileTest;
using testing::TestPoint;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

bool contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

TEST(DescribeCritical, NumbersAndCodes) {
    EXPECT_EQ(describeCritical(3.96749f, "km/s", 3), "3.967 km/s");
    EXPECT_EQ(describeCritical(-998.0f, "km/s", 3), "-998 (too few usable values)");
    EXPECT_EQ(describeCritical(-999.0f, "dB", 2), "-999 (no value left after exclusion)");
    EXPECT_EQ(reportFormatFromText("json"), ReportFormat::Json);
    EXPECT_FALSE(reportFormatFromText("xml"));
}

class ReportOfTwoSections : public ReportTest {
  protected:
    void SetUp() override {
        ReportTest::SetUp();
        std::vector<TestPoint> pts = repeat(30);
        pts[7].tIndex = 169;  // 2.0 km/s at 19.65 m
        addSection(0, pts);
        addSection(3, repeat(1));  // one point: −998
        info.sections[3].name = "2-3";
        analyses.push_back(analysePile(info, lists, kStandardHighway));
        analyses.push_back(analysePile(info, lists, kStandardGuangdong));
        header = {"/data/PILE 7.CHT", "7#", "示例所", "2024-6-1", 50, true};
    }
    std::vector<PileAnalysis> analyses;
    ReportHeader header;
};

TEST_F(ReportOfTwoSections, TableSaysWhatWasFound) {
    const std::string text = formatReport(header, analyses, ReportFormat::Table);
    EXPECT_TRUE(contains(text, "File: /data/PILE 7.CHT\n"));
    EXPECT_TRUE(contains(text, "Pile 7#, site 示例所, tested 2024-6-1, step 50 mm, every point re-picked\n"));
    EXPECT_TRUE(contains(text, "\nStandard 公路 (JTG/T F81-01-2004)\n"));
    EXPECT_TRUE(contains(text, "Section 1-2: 30 points, 30 used\n"));
    EXPECT_TRUE(contains(text, "critical 4.000 km/s\n"));
    EXPECT_TRUE(contains(text, "  1 point below the critical values:\n"));
    EXPECT_TRUE(contains(text, "         7     19.65           2.000"));
    EXPECT_TRUE(contains(text, "Section 2-3: 1 points, 1 used\n"));
    EXPECT_TRUE(contains(text, "critical -998 (too few usable values)\n"));
    // Guangdong: the one-point section leaves the pile without a critical velocity.
    EXPECT_TRUE(contains(text,
                         "\nStandard 广东建筑 (DBJ 15-60-2008)\nPile critical velocity 0 (a section has no "
                         "critical velocity)\n"));
    EXPECT_TRUE(contains(text, "(pile); this section's own -998 (too few usable values)\n"));
    EXPECT_TRUE(contains(text, "  grades     1: "));
}

TEST_F(ReportOfTwoSections, CsvRowsHaveEveryColumn) {
    const std::vector<std::string> rows = lines(formatReport(header, analyses, ReportFormat::Csv));
    ASSERT_GE(rows.size(), 2u);
    for (const std::string& row : rows)
        EXPECT_EQ(std::count(row.begin(), row.end(), ','), 23) << row;
    const auto starts = [&](std::string_view prefix) {
        return std::count_if(rows.begin(), rows.end(),
                             [&](const std::string& r) { return r.starts_with(prefix); });
    };
    EXPECT_EQ(starts("section,"), 4);
    EXPECT_TRUE(rows[1].starts_with("section,公路,JTG/T F81-01-2004,1-2,30,30,3.9333,0.3651,4.0000,value,"));
    EXPECT_TRUE(rows[2].starts_with("point,公路,JTG/T F81-01-2004,1-2,,,,,,,,,,,,,,7,19.650,2.0000,"));
    EXPECT_TRUE(rows[2].ends_with(",,1,0"));  // not graded; below the velocity only
    const auto code = std::find_if(rows.begin(), rows.end(), [](const std::string& r) {
        return r.starts_with("section,公路,JTG/T F81-01-2004,2-3,1,1,");
    });
    ASSERT_NE(code, rows.end());
    EXPECT_TRUE(contains(*code, ",-998.0000,too_few_values,"));
}

TEST(ReportJson, EscapesTextAndWritesNullForWhatJsonCannotHold) {
    PileAnalysis pile;
    pile.standard = "公路";
    pile.rules = "JTG/T F81-01-2004";
    SectionAnalysis s;
    s.name = "a\"b\\c";
    s.criticalVelocity = -999.0f;
    s.criticalAmplitudeDb = -std::numeric_limits<float>::infinity();
    s.findings.push_back({3, 12.5f, 3.25f, 101.5f, true, false, 0});
    pile.sections.push_back(s);
    const std::string text = formatReport({"x\ny.CHT", "1#", "", "", 50, false}, {pile}, ReportFormat::Json);
    EXPECT_TRUE(contains(text, "\"file\": \"x\\ny.CHT\""));
    EXPECT_TRUE(contains(text, "\"name\": \"a\\\"b\\\\c\""));
    EXPECT_TRUE(contains(text, "\"critical\": -999, \"status\": \"no_value_left\""));
    EXPECT_TRUE(contains(text, "\"critical\": null, \"status\": \"value\""));
    EXPECT_TRUE(contains(text,
                         "{\"index\": 3, \"depth\": 12.5, \"velocity\": 3.25, \"amplitude\": 101.5, "
                         "\"grade\": null, \"belowVelocity\": true, \"belowAmplitude\": false}"));
    EXPECT_EQ(std::count(text.begin(), text.end(), '{'), std::count(text.begin(), text.end(), '}'));
    EXPECT_EQ(std::count(text.begin(), text.end(), '['), std::count(text.begin(), text.end(), ']'));
}

}  // namespace
}  // namespace lx9
