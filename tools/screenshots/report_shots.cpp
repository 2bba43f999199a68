// The first two pages of a test report, painted by the report's own page painter into images
// (the PDF gets the same strokes as vectors): a 12 m pile, four pipes, a weak zone at 6 m,
// graded under the Guangdong rules, with two hand picks in its trail.
#include <QImage>
#include <QPainter>

#include <cmath>
#include <memory>

#include "analysis/pile_analysis.h"
#include "data/globals.h"
#include "data/point_metrics.h"
#include "data/run_state.h"
#include "report/pick_trail.h"
#include "report/report_model.h"
#include "report/report_pages.h"
#include "report/report_source.h"
#include "tools/screenshots/screenshot_registry.h"

namespace {

using namespace lx9;

std::unique_ptr<ReportTest> sampleTest() {
    auto t = std::make_unique<ReportTest>();
    CInfo& info = t->info;
    info.resetToDefaults();
    info.siteName = "滨江花园二期桩基工程";
    info.unitName = "市建设工程质量检测中心";
    info.personName = "张三";
    info.pileId = "A-12#";
    info.testDate = "2026-12-7";
    info.pipeCount = 4;
    info.sectionCount = 6;
    info.startDepth = 12.0f;
    info.pileLength = 12.0f;
    info.stepMm = 50;
    info.sampleInterval = 0.4f;
    info.sampleLength = 512;
    const int levels = 241;
    std::vector<uint16_t> wave(512);
    for (int k = 0; k < kMaxSections; ++k) {
        info.sections[k].spacing = k == 1 || k == 4 ? 850 : 600;
        info.sections[k].zeroTime = 12.5f;
        t->lists[k] = std::make_unique<CSampleDataList>(512, k);
        for (int l = 0; l < levels; ++l) {
            const float depth = info.startDepth - l * 0.05f;
            const bool weak = depth > 5.9f && depth < 6.35f && k != 5;
            const int arrival = static_cast<int>(info.sections[k].spacing / 4.0 / 0.4) - 250 +
                                (weak ? 35 : 0) + static_cast<int>(3 * std::sin(l * 0.7 + k));
            const double size = weak ? 300 : 1400 + 200 * std::sin(l * 0.3);
            for (int j = 0; j < 512; ++j) {
                const int d = j - arrival;
                const double v = d < 0 ? 0 : size * std::exp(-d / 60.0) * std::sin(2 * M_PI * d / 18.0);
                wave[j] = static_cast<uint16_t>(2048 + std::lround(v));
            }
            t->lists[k]->append(wave.data(), depth);
            auto guard = t->lists[k]->lock();
            SamplePoint& p = *t->lists[k]->tail;
            p.tIndex = arrival;
            p.ampIndex = arrival + 4;
            p.gain = 80.0f;
            p.delay = info.sections[k].delay;
            // As the data-file reader leaves it: the decibels of the stored pick.
            p.amplitudeDb = static_cast<float>(amplitudeToDb(
                pointMetrics(info, k + 1, p.tIndex, depth, p.gain, wave[p.ampIndex], p.delay).amplitude));
        }
    }
    return t;
}

QImage page(const ReportPages& pages, int index) {
    QImage image(1240, 1754, QImage::Format_RGB32);  // A4 at 150 dpi
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    pages.paint(p, index, image.width());
    return image;
}

}  // namespace

LX9_SCREENSHOT(report) {
    testState = makeState(kStateViewing);
    const auto test = sampleTest();
    const SectionLists lists = test->pointers();
    setWholeIntervals(test->info, lists);
    const PileAnalysis pile = analysePile(test->info, lists, kStandardGuangdong);
    const PickTrail trail = parsePickTrail(
        "{\"time\":\"2026-12-07T20:15:03\",\"tester\":\"张三\",\"section\":\"1-2\",\"level\":118,\"depth\":6."
        "1,"
        "\"oldTIndex\":141,\"newTIndex\":138,\"oldAmpIndex\":145,\"newAmpIndex\":142}\n");
    std::string error;
    const auto model =
        buildReportModel(test->info, pile, {"A-12#.CHT", "", {}, "2026-12-07 20:30"}, trail, error);
    if (!model) return;
    const ReportPages pages(*model, test->info, lists, pile);
    shot.save(page(pages, 0), "report-1");
    shot.save(page(pages, 1), "report-2");
}
