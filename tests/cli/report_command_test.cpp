// `lx9 export` and `lx9 report` run as programs on a pair written by the data-file writer: the
// export against `lx9 analyse` point for point, the PDF read back with pdftotext, the HTML's
// pictures, and bad input.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "data/data_file_writer.h"
#include "data/settings_store.h"
#include "tests/data/data_file_test_support.h"

namespace lx9 {
namespace {

using namespace lx9::testing_support;

struct ProgramRun {
    int exitCode = -1;
    std::string out;
};

ProgramRun run(const std::string& command) {
    ProgramRun r;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.out.append(buffer, n);
    const int status = ::pclose(pipe);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::vector<std::string> split(const std::string& line, char by) {
    std::vector<std::string> cells;
    std::stringstream in(line);
    for (std::string cell; std::getline(in, cell, by);)
        cells.push_back(cell);
    if (!line.empty() && line.back() == by) cells.emplace_back();
    return cells;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

// Three pipes, 40 levels, waves that arrive at sample 200 (260 at level 13, a defect; a weak
// wave at level 21), picks stored 30 samples early. The settings choose the building rules.
class ReportCommand : public ::testing::Test {
  protected:
    static constexpr int kLevels = 40;

    void SetUp() override {
        base = dir.base("pile 7");
        CInfo info = makeInfo(3, 512, kHorizontal, base);
        info.standard = std::string(kStandardHighway);
        Lists lists = makeLists(info.sampleLength);
        std::vector<uint16_t> wave(512);
        for (int l = 0; l < kLevels; ++l) {
            const int arrival = l == 13 ? 260 : 200;
            const double size = l == 21 ? 150 : 1500;
            for (int j = 0; j < 512; ++j) {
                const bool burst = j >= arrival && j < arrival + 64;
                wave[j] = static_cast<uint16_t>(
                    2048 + (burst ? std::lround(size * std::sin(2 * M_PI * (j - arrival) / 16.0)) : 0));
            }
            for (int e = 0; e < info.sectionCount; ++e) {
                ASSERT_TRUE(lists[e]->append(wave.data(), info.startDepth - l * 0.05f));
                auto guard = lists[e]->lock();
                SamplePoint& p = *lists[e]->tail;
                p.tIndex = arrival - 30;
                p.ampIndex = arrival + 4 + (l % 3);
                p.gain = static_cast<float>(info.sections[e].gain);
                p.delay = info.sections[e].delay;
            }
        }
        CSaveFile file;
        ASSERT_TRUE(file.saveAtEnd(info, listPointers(lists))) << file.errorText();
        CInfo settings;
        settings.resetToDefaults();
        settings.standard = std::string(kStandardBuilding);
        ASSERT_TRUE(storeSettings(settings, UploadSettings{}, dir.path() / "set.ini").ok);
        // Level 5 of 1-2 picked by hand; level 6 picked and restored; level 5 of 1-3 picked.
        writeText(
            dir.path() / "pile 7.picks.json",
            "{\"time\":\"2026-12-07T20:15:03\",\"tester\":\"张三\",\"section\":\"1-2\",\"level\":5,"
            "\"depth\":11.75,\"oldTIndex\":170,\"newTIndex\":168,\"oldAmpIndex\":206,\"newAmpIndex\":206}\n"
            "{\"time\":\"2026-12-07T20:16:00\",\"tester\":\"张三\",\"section\":\"1-2\",\"level\":6,"
            "\"depth\":11.7,\"oldTIndex\":170,\"newTIndex\":172,\"oldAmpIndex\":204,\"newAmpIndex\":204}\n"
            "{\"time\":\"2026-12-07T20:17:00\",\"tester\":\"张三\",\"section\":\"1-2\",\"level\":6,"
            "\"depth\":11.7,\"oldTIndex\":172,\"newTIndex\":170,\"oldAmpIndex\":204,\"newAmpIndex\":204,"
            "\"restore\":true}\n"
            "{\"time\":\"2026-12-07T20:18:00\",\"tester\":\"李四\",\"section\":\"1-3\",\"level\":5,"
            "\"depth\":11.75,\"oldTIndex\":170,\"newTIndex\":171,\"oldAmpIndex\":206,\"newAmpIndex\":206}\n"
            "{\"section\":\"1-2\",\"lev");
    }

    ProgramRun lx9(const std::string& arguments) {
        return run("cd '" + dir.path().string() + "' && LX9_CONFIG_DIR='" + dir.path().string() +
                   "' QT_QPA_PLATFORM=offscreen '" LX9_PROGRAM "' " + arguments);
    }

    TempDir dir;
    std::string base;
};

TEST_F(ReportCommand, ExportEqualsAnalyseOnEveryPointItLists) {
    for (const char* standard : {"建筑", "广东建筑", "公路", "铁路"}) {
        SCOPED_TRACE(standard);
        const ProgramRun analysed =
            lx9("analyse 'pile 7.CHT' --format csv --standard " + std::string(standard));
        const ProgramRun exported = lx9("export 'pile 7.CHT' --standard " + std::string(standard));
        ASSERT_EQ(analysed.exitCode, 0) << analysed.out;
        ASSERT_EQ(exported.exitCode, 0) << exported.out;
        const auto rows = lines(exported.out);
        ASSERT_EQ(rows.size(), 1u + 3 * kLevels);
        EXPECT_EQ(
            rows[0],
            "section,level,depth_m,time_us,velocity_kms,amplitude_db,psd_us2_per_m,grade,tIndex,ampIndex,"
            "hand_picked");
        std::map<std::pair<std::string, std::string>, std::vector<std::string>> byPoint;
        for (size_t i = 1; i < rows.size(); ++i) {
            const auto cells = split(rows[i], ',');
            ASSERT_EQ(cells.size(), 11u) << rows[i];
            byPoint[{cells[0], cells[1]}] = cells;
        }
        int findings = 0;
        for (const std::string& line : lines(analysed.out)) {
            const auto a = split(line, ',');
            if (a.empty() || a[0] != "point") continue;
            ++findings;
            // point,standard,rules,section,<13 empty>,index,depth,velocity,amplitude,grade,below...
            const auto e = byPoint.at({a[3], a[17]});
            EXPECT_EQ(e[2], a[18]) << line;  // depth
            EXPECT_EQ(e[4], a[19]) << line;  // velocity km/s
            EXPECT_EQ(e[5], a[20]) << line;  // amplitude dB
            EXPECT_EQ(e[7], a[21]) << line;  // grade
        }
        EXPECT_GE(findings, 3);  // the defect at level 13 in every section at least
        // By hand: level 0 of 1-2, T = (170 + 1) · 0.4 + 100 = 168.4 µs over 600 mm; PSD to level 1 0.
        const auto first = byPoint.at({"1-2", "0"});
        EXPECT_EQ(std::vector<std::string>(first.begin(), first.begin() + 5),
                  (std::vector<std::string>{"1-2", "0", "12.000", "168.40", "3.5629"}));
        EXPECT_EQ(first[6], "0.0");
        // The defect: (230 + 1) · 0.4 + 100 = 192.4 µs, PSD (192.4 − 168.4)² / 50 · 1000 = 11520.
        EXPECT_EQ(byPoint.at({"1-2", "12"})[6], "11520.0");
        EXPECT_EQ(byPoint.at({"1-2", "13"})[3], "192.40");
        EXPECT_EQ(byPoint.at({"1-2", "39"})[6], "");  // the last point has no pair
        EXPECT_EQ(byPoint.at({"1-2", "5"})[10], "1");
        EXPECT_EQ(byPoint.at({"1-2", "6"})[10], "0");  // restored
        EXPECT_EQ(byPoint.at({"1-3", "5"})[10], "1");
        EXPECT_EQ(byPoint.at({"2-3", "5"})[10], "0");
    }
    // The JSON form carries the same points.
    const ProgramRun json = lx9("export 'pile 7' --format json --standard 广东建筑");
    ASSERT_EQ(json.exitCode, 0) << json.out;
    const auto doc = nlohmann::json::parse(json.out);
    EXPECT_EQ(doc["rules"], "DBJ 15-60-2008");
    ASSERT_EQ(doc["points"].size(), 3u * kLevels);
    const auto& p = doc["points"][13];
    EXPECT_EQ(p["section"], "1-2");
    EXPECT_EQ(p["tIndex"], 230);
    EXPECT_FLOAT_EQ(p["time"].get<float>(), 192.4f);
    EXPECT_EQ(doc["points"][5]["handPicked"], true);
}

TEST_F(ReportCommand, PdfCarriesThePileEverySectionAndItsCriticalVelocityAsAnalysePrintsIt) {
    const ProgramRun analysed = lx9("analyse 'pile 7.CHT'");
    ASSERT_EQ(analysed.exitCode, 0) << analysed.out;
    std::map<std::string, std::string> critical;  // section -> "3.563 km/s"
    const std::regex section("^Section (\\S+): "), velocity("critical (-?[0-9.]+ km/s)");
    std::string current;
    for (const std::string& line : lines(analysed.out)) {
        std::smatch m;
        if (std::regex_search(line, m, section)) current = m[1];
        if (line.find("velocity   mean") != std::string::npos && std::regex_search(line, m, velocity))
            critical[current] = m[1];
    }
    ASSERT_EQ(critical.size(), 3u) << analysed.out;

    const ProgramRun report = lx9("report 'pile 7.CHT' --out report.pdf");
    ASSERT_EQ(report.exitCode, 0) << report.out;
    const ProgramRun text = run("pdftotext -layout '" + (dir.path() / "report.pdf").string() + "' -");
    ASSERT_EQ(text.exitCode, 0) << text.out;
    EXPECT_NE(text.out.find("A-12#"), std::string::npos);
    EXPECT_NE(text.out.find("建筑（JGJ 106-2003）"), std::string::npos);
    for (const auto& [name, value] : critical) {
        EXPECT_NE(text.out.find("剖面 " + name), std::string::npos) << name;
        bool inSummary = false;
        for (const std::string& line : lines(text.out))
            inSummary |= line.rfind(name, 0) == 0 && line.find(value) != std::string::npos;
        EXPECT_TRUE(inSummary) << name << " " << value << "\n" << text.out;
    }
    // Every page numbered out of the same total; the trail of the hand picks at the end.
    // (pdftotext keeps or drops the spaces between the footer's words as the layout falls.)
    std::string compact = text.out;
    compact.erase(std::remove(compact.begin(), compact.end(), ' '), compact.end());
    const size_t total = compact.find("/共");
    ASSERT_NE(total, std::string::npos) << text.out;
    const int pages = std::atoi(compact.c_str() + total + std::string("/共").size());
    EXPECT_GE(pages, 4);  // the title page and one per section at least
    EXPECT_EQ(count(compact, "页/共" + std::to_string(pages) + "页"), static_cast<size_t>(pages));
    EXPECT_EQ(count(compact, "第" + std::to_string(pages) + "页/"), 1u);
    EXPECT_NE(text.out.find("判读修改记录"), std::string::npos);
    EXPECT_EQ(count(text.out, "手动判读"), 3u);
    EXPECT_EQ(count(text.out, "恢复"), 1u);
    EXPECT_NE(text.out.find("1 行无法识别"), std::string::npos);
    // The CJK text is embedded, not left to the reader's fonts.
    const ProgramRun fonts = run("pdffonts '" + (dir.path() / "report.pdf").string() + "'");
    const auto fontLines = lines(fonts.out);
    ASSERT_GE(fontLines.size(), 3u) << fonts.out;
    for (size_t i = 2; i < fontLines.size(); ++i) {
        std::vector<std::string> words;
        std::stringstream in(fontLines[i]);
        for (std::string w; in >> w;)
            words.push_back(w);
        ASSERT_GE(words.size(), 7u) << fontLines[i];
        EXPECT_EQ(words[words.size() - 5], "yes") << "not embedded: " << fontLines[i];  // the emb column
    }
}

TEST_F(ReportCommand, HtmlHoldsOnePicturePerSectionAndView) {
    struct Case {
        std::string sections;
        std::vector<std::string> shown;
    };
    const Case cases[] = {{"", {"1-2", "1-3", "2-3"}}, {"--sections 2-3,1-3", {"1-3", "2-3"}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sections);
        const ProgramRun report =
            lx9("report 'pile 7.CHT' --out report.html --standard 广东建筑 " + c.sections);
        ASSERT_EQ(report.exitCode, 0) << report.out;
        const std::string html = readText(dir.path() / "report.html");
        EXPECT_EQ(count(html, "<img "), 2 * c.shown.size());
        EXPECT_EQ(count(html, "src=\"data:image/png;base64,iVBORw0KGgo"), 2 * c.shown.size());
        EXPECT_EQ(html.find("src=\"http"), std::string::npos);
        for (const std::string& name : c.shown) {
            EXPECT_EQ(count(html, "alt=\"" + name + " 波列图\""), 1u) << name;
            EXPECT_EQ(count(html, "alt=\"" + name + " 声速（红）、波幅（蓝）、PSD（绿）曲线\""), 1u) << name;
        }
        EXPECT_NE(html.find("桩身完整性类别"), std::string::npos);
    }
}

TEST_F(ReportCommand, BadInputIsRefusedWithExit2AndLeavesTheOldReportAlone) {
    writeText(dir.path() / "report.pdf", "the report of yesterday");
    struct Case {
        std::string arguments;
        std::string message;
    };
    const Case cases[] = {
        {"report 'pile 7.CHT' --out report.pdf --standard 港口", "unknown standard \"港口\""},
        {"report 'pile 7.CHT' --out report.pdf --sections 1-2,3-4",
         "section 3-4 is not in the test (present: 1-2 1-3 2-3)"},
        {"report 'pile 7.CHT' --out report.pdf --sections 1-2,", "--sections wants names"},
        {"report 'pile 8.CHT' --out report.pdf", "pile 8"},
        {"report 'pile 7.CHT' --out report.docx", "must be named .pdf or .html"},
        {"report 'pile 7.CHT' --out missing/report.pdf", "cannot write missing/report.pdf"},
        {"report 'pile 7.CHT'", "--out names the report"},
        {"export 'pile 7.CHT' --format xlsx", "unknown format \"xlsx\""},
        {"export 'pile 7.CHT' --standard 港口", "unknown standard \"港口\""},
        {"export 'pile 8.CHT'", "pile 8"},
    };
    for (const Case& c : cases) {
        const ProgramRun r = lx9(c.arguments);
        EXPECT_EQ(r.exitCode, 2) << c.arguments << "\n" << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.arguments << "\n" << r.out;
    }
    EXPECT_EQ(readText(dir.path() / "report.pdf"), "the report of yesterday");
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"pile 7.CHD", "pile 7.CHT", "pile 7.picks.json", "report.pdf",
                                              "set.ini"}));
}

}  // namespace
}  // namespace lx9
