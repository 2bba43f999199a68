// `lx9 analyse` on a pair written by the data-file writer, against the library's own analysis
// of the same pair.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <cmath>
#include <string>
#include <vector>

#include "analysis/analysis_report.h"
#include "analysis/pile_analysis.h"
#include "analysis/process_points.h"
#include "data/data_file_reader.h"
#include "data/data_file_writer.h"
#include "data/point_metrics.h"
#include "data/settings_store.h"
#include "tests/data/data_file_test_support.h"

namespace lx9 {
namespace {

using namespace lx9::testing_support;

struct ProgramRun {
    int exitCode = -1;
    std::string out;
};

ProgramRun runLx9(const std::string& configDir, const std::string& arguments) {
    const std::string command =
        "LX9_CONFIG_DIR='" + configDir + "' '" LX9_CLI_PATH "' " + arguments + " 2>&1";
    ProgramRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Three pipes, three sections, 40 levels. Each waveform is silent up to its arrival at sample
// 200 (260 at level 13: a defect), then a burst of 1500 codes with a 16-sample period. The
// stored picks are 30 samples early, so a re-pick moves every arrival.
class AnalyseCommand : public ::testing::Test {
  protected:
    static constexpr int kLevels = 40;
    static constexpr int kArrival = 200;

    void SetUp() override {
        base = dir.base("pile 7");
        CInfo info = makeInfo(3, 512, kHorizontal, base);
        info.standard = std::string(kStandardHighway);
        Lists lists = makeLists(info.sampleLength);
        std::vector<uint16_t> wave(512);
        for (int l = 0; l < kLevels; ++l) {
            const int arrival = l == 13 ? kArrival + 60 : kArrival;
            for (int j = 0; j < 512; ++j) {
                const bool burst = j >= arrival && j < arrival + 64;
                wave[j] = static_cast<uint16_t>(
                    2048 + (burst ? std::lround(1500 * std::sin(2 * M_PI * (j - arrival) / 16.0)) : 0));
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

        // The settings the command starts from: amplitude picking at 100 codes, no filter.
        CInfo settings;
        settings.resetToDefaults();
        settings.pickMethod = std::string(kPickAmplitude);
        settings.amplitudeThreshold = 100.0f;
        settings.digitalFilter = false;
        ASSERT_TRUE(storeSettings(settings, UploadSettings{}, dir.path() / "set.ini").ok);
    }

    // What the library says about the pair, opened as the command opens it.
    std::string libraryCsv(bool repick) {
        ViewingState viewing;
        CInfo info;
        UploadSettings upload;
        EXPECT_EQ(loadSettings(info, upload, dir.path() / "set.ini"), LoadResult::Loaded);
        Lists lists;
        const OpenReport opened = openDataFile(base + ".CHT", info, [&](const CInfo& header) {
            lists = makeLists(header.sampleLength);
            return listPointers(lists);
        });
        EXPECT_TRUE(opened.ok) << opened.error;
        if (repick) {
            for (int k = 0; k < kMaxSections; ++k) {
                if (!info.sections[k].present) continue;
                auto guard = lists[k]->lock();
                for (int i = 0; i < lists[k]->count; ++i) {
                    SamplePoint& p = *lists[k]->pointAt(i);
                    const PointPick pick = PickWaveform(info, k, p.samples, p.depth);
                    StorePick(p, pick);
                    p.amplitudeDb = static_cast<float>(amplitudeToDb(pick.amplitude));
                }
            }
        }
        std::vector<PileAnalysis> analyses;
        for (std::string_view s :
             {kStandardBuilding, kStandardGuangdong, kStandardHighway, kStandardRailway}) {
            if (s == kStandardGuangdong) setWholeIntervals(info, listPointers(lists));
            analyses.push_back(analysePile(info, listPointers(lists), s));
        }
        return formatReport({}, analyses, ReportFormat::Csv);
    }

    TempDir dir;
    std::string base;
};

TEST_F(AnalyseCommand, PrintsWhatTheLibraryComputes) {
    const ProgramRun run =
        runLx9(dir.path().string(), "analyse '" + base + ".CHT' --standard all --format csv");
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(run.out, libraryCsv(false));
    // The defect at level 13 (60 samples late: 24 µs) is below the critical velocity everywhere.
    EXPECT_NE(run.out.find("\r\npoint,公路,JTG/T F81-01-2004,1-2,,,,,,,,,,,,,,13,11.350,"), std::string::npos)
        << run.out;
}

TEST_F(AnalyseCommand, RepickUsesTheSettingsMethod) {
    const ProgramRun run =
        runLx9(dir.path().string(), "analyse '" + base + "' --standard all --format csv --repick");
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(run.out, libraryCsv(true));
    // The amplitude pick finds the burst's first sample above 2147: sample 201. Highway, 1-2:
    // the defect leaves, the rest is constant at 600 mm / ((201 + 1) · 0.4 + 100) µs.
    const double v = 600.0 / ((kArrival + 2) * static_cast<double>(0.4f) + 100.0);
    char expected[96];
    std::snprintf(expected, sizeof expected, "section,公路,JTG/T F81-01-2004,1-2,40,40,");
    const size_t row = run.out.find(expected);
    ASSERT_NE(row, std::string::npos) << run.out;
    std::snprintf(expected, sizeof expected, ",%.4f,value,", v);
    EXPECT_NE(run.out.find(expected, row), std::string::npos) << expected << "\n" << run.out;
}

TEST_F(AnalyseCommand, TableAndJson) {
    ProgramRun run = runLx9(dir.path().string(), "analyse '" + base + ".CHT'");  // the settings' standard
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find("Pile A-12#, site 示例工程（一期）"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Standard 公路 (JTG/T F81-01-2004)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Section 2-3: 40 points, 40 used"), std::string::npos) << run.out;

    run = runLx9(dir.path().string(), "analyse '" + base + ".CHT' --standard 广东建筑 --format json");
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find("\"standard\": \"广东建筑\", \"rules\": \"DBJ 15-60-2008\", \"graded\": true"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\"gradeCounts\": ["), std::string::npos);
}

TEST_F(AnalyseCommand, FileThatCannotBeOpened) {
    ProgramRun run = runLx9(dir.path().string(), "analyse '" + dir.base("missing") + ".CHT'");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.out.find("lx9 analyse: cannot open"), std::string::npos) << run.out;

    writeText(dir.path() / "empty.CHT", "");
    run = runLx9(dir.path().string(), "analyse '" + dir.base("empty") + ".CHT'");
    EXPECT_EQ(run.exitCode, 2) << run.out;

    run = runLx9(dir.path().string(), "analyse '" + base + ".CHT' --standard 水利");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.out.find("--standard"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace lx9

namespace lx9 {
namespace {

TEST_F(AnalyseCommand, SaysWhenTheTestCarriesHandPicks) {
    ProgramRun run = runLx9(dir.path().string(), "analyse '" + base + ".CHT'");
    EXPECT_EQ(run.out.find("hand picks"), std::string::npos) << run.out;
    // One point changed and kept, one changed and restored: one point carries a hand pick.
    writeText(
        dir.path() / "pile 7.picks.json",
        "{\"time\":\"2026-12-07T20:15:03\",\"tester\":\"张三\",\"section\":\"1-2\",\"level\":2,\"depth\":11."
        "9,"
        "\"oldTIndex\":170,\"newTIndex\":180,\"oldAmpIndex\":190,\"newAmpIndex\":190}\n"
        "{\"time\":\"2026-12-07T20:15:03\",\"tester\":\"张三\",\"section\":\"1-3\",\"level\":4,\"depth\":11."
        "8,"
        "\"oldTIndex\":170,\"newTIndex\":175,\"oldAmpIndex\":190,\"newAmpIndex\":190}\n"
        "{\"time\":\"2026-12-07T20:16:00\",\"tester\":\"张三\",\"section\":\"1-3\",\"level\":4,\"depth\":11."
        "8,"
        "\"oldTIndex\":175,\"newTIndex\":170,\"oldAmpIndex\":190,\"newAmpIndex\":190,\"restore\":true}\n");
    run = runLx9(dir.path().string(), "analyse '" + base + ".CHT'");
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find("hand picks: 1 point(s) carry picks corrected by hand (pile 7.picks.json)\n"),
              std::string::npos)
        << run.out;
}

}  // namespace
}  // namespace lx9
