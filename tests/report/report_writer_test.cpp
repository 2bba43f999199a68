// writeReport as the workbench calls it: the test in memory with the statistics intervals the
// tester set, the progress it reports, and where the workbench puts the file.
#include <gtest/gtest.h>

#include <set>

#include "report/report_writer.h"
#include "tests/data/data_file_test_support.h"
#include "ui/gui_application.h"

namespace lx9 {
namespace {

using namespace lx9::testing_support;

TEST(ReportWriter, AnOpenTestKeepsItsIntervalsAndReportsEveryStepInOrder) {
    ui::OffscreenGui gui;
    ViewingState viewing;
    TempDir dir;
    CInfo info = makeInfo(3, 512, kHorizontal, dir.base("pile 7"));
    Lists lists = makeLists(info.sampleLength);
    fillLists(info, lists, 0, 60);
    for (int k = 0; k < kMaxSections; ++k)
        info.sections[k].present = k < info.sectionCount;  // as the reader leaves a three-pipe test
    const SectionLists pointers = listPointers(lists);

    // Amplitudes 80, 81 … 139 dB by level. Over the whole interval (the last point left out) the
    // critical amplitude would be mean(80..138) − 6 = 103.00 dB; over the tester's [0, 29] it is
    // mean(80..109) − 6 = 88.50 dB.
    for (int k = 0; k < 3; ++k) {
        auto guard = lists[k]->lock();
        for (int i = 0; i < lists[k]->count; ++i)
            lists[k]->pointAt(i)->amplitudeDb = 80.0f + i;
        lists[k]->intervalFirst = 0;
        lists[k]->intervalLast = 29;
    }

    ReportRequest request;
    request.file = info.chtPath;  // no pair on disk: the test is the one in memory
    request.info = &info;
    request.lists = pointers;
    request.standard = std::string(kStandardGuangdong);
    request.out = dir.path() / "report.html";
    std::vector<std::tuple<int, int, std::string>> steps;
    const ReportOutcome outcome = writeReport(request, [&](int done, int total, const std::string& what) {
        steps.emplace_back(done, total, what);
    });
    ASSERT_EQ(outcome.exitCode, 0) << outcome.error;
    EXPECT_EQ(outcome.pictures, 6);

    const std::string html = readText(request.out);
    size_t rows = 0;
    for (size_t at = html.find("<td>88.50 dB</td>"); at != std::string::npos;
         at = html.find("<td>88.50 dB</td>", at + 1))
        ++rows;
    EXPECT_EQ(rows, 6u);  // each section's summary row and its statistics
    EXPECT_EQ(html.find("103.00 dB"), std::string::npos);

    ASSERT_FALSE(steps.empty());
    std::multiset<std::string> pictures;
    for (size_t i = 0; i < steps.size(); ++i) {
        const auto& [done, total, what] = steps[i];
        EXPECT_EQ(total, 1000);
        if (i > 0) EXPECT_GE(done, std::get<0>(steps[i - 1])) << what;
        if (what.rfind("剖面 ", 0) == 0) pictures.insert(what);
    }
    EXPECT_EQ(std::get<0>(steps.back()), 1000);
    const std::multiset<std::string> expected = {"剖面 1-2 波列图", "剖面 1-3 波列图", "剖面 2-3 波列图",
                                                 "剖面 1-2 曲线图", "剖面 1-3 曲线图", "剖面 2-3 曲线图"};
    EXPECT_EQ(pictures, expected);

    EXPECT_EQ(defaultReportPath("/d/pile 7.CHT"), "/d/pile 7-报告.pdf");
    EXPECT_EQ(defaultReportPath("/d/pile 7"), "/d/pile 7-报告.pdf");
}

}  // namespace
}  // namespace lx9
