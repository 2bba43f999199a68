// The analysis workbench, its interval view and section chooser, and the upload dialog during
// an upload to the reference result server, on a synthetic 15 m pile with a defect in 1-2.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <cmath>
#include <memory>
#include <mutex>

#include "data/globals.h"
#include "data/run_state.h"
#include "result_server.h"
#include "tools/screenshots/screenshot_registry.h"
#include "ui/message_sink.h"
#include "upload/upload_dialog.h"
#include "workbench/analysis_dialog.h"
#include "workbench/workbench_form.h"

namespace lx9::shots {
namespace {

struct QuietSink : MessageSink {
    void showMessage(const std::string&) override {}
    bool askYesNo(const std::string&) override { return false; }
};

// Three pipes, 281 levels from 15.00 m up to 1.00 m. The concrete carries 4.2 km/s; 1-2 has a
// weak zone from 8.0 to 8.6 m (3.3 km/s, a third of the amplitude), 2-3 a milder one at 11.3 m.
struct DemoPile {
    CInfo info;
    std::array<std::unique_ptr<CSampleDataList>, kMaxSections> owned;
    SectionLists lists{};

    explicit DemoPile(const std::string& standard) {
        info.resetToDefaults();
        info.pileId = "ZK-17#";
        info.siteName = "滨江大道桥梁工程";
        info.personName = "张工";
        info.standard = standard;
        info.pipeCount = 3;
        info.sectionCount = 3;
        info.sampleLength = 1024;
        info.sampleInterval = 0.4f;
        info.stepMm = 50;
        info.startDepth = 15.0f;
        info.pileLength = 15.5f;
        info.testMode = kHorizontal;
        const char* names[] = {"1-2", "1-3", "2-3"};
        const int spacing[] = {600, 610, 590};
        for (int k = 0; k < kMaxSections; ++k) {
            info.sections[k].present = info.sections[k].display = k < 3;
            if (k < 3) {
                info.sections[k].name = names[k];
                info.sections[k].spacing = spacing[k];
                info.sections[k].delay = 0.0f;
            }
        }
        std::vector<uint16_t> wave(1024);
        for (int k = 0; k < kMaxSections; ++k) {
            owned[k] = std::make_unique<CSampleDataList>(1024, k);
            lists[k] = owned[k].get();
            if (k >= 3) continue;
            for (int i = 0; i <= 280; ++i) {
                const double depth = 15.0 - 0.05 * i;
                double velocity = 4200.0 + 60.0 * std::sin(depth * 1.7 + k);
                double amplitude = 1500.0;
                if (k == 0 && depth >= 8.0 && depth <= 8.6) velocity = 3300.0, amplitude = 480.0;
                if (k == 2 && depth >= 11.2 && depth <= 11.4) velocity = 3800.0, amplitude = 900.0;
                const int arrival = static_cast<int>(spacing[k] / velocity * 1000.0 / 0.4);
                for (int j = 0; j < 1024; ++j) {
                    double v = ((j * 7919 + i * 31 + k * 17) % 13) - 6.0;
                    if (j >= arrival) {
                        const double t = (j - arrival) * 0.4;
                        v += amplitude * std::exp(-t / 60.0) * std::sin(2 * 3.14159265 * t / 20.0);
                    }
                    wave[static_cast<size_t>(j)] = static_cast<uint16_t>(std::clamp(2048.0 + v, 0.0, 4095.0));
                }
                lists[k]->append(wave.data(), static_cast<float>(depth));
                auto guard = lists[k]->lock();
                SamplePoint& p = *lists[k]->tail;
                p.tIndex = arrival;
                p.ampIndex = arrival + 12;
                p.gain = 80.0f;
                p.delay = 0.0f;
            }
        }
    }
};

AnalysisDialogOptions windowOptions(MessageSink& sink) {
    AnalysisDialogOptions o;
    o.sink = &sink;
    o.fullScreen = false;
    return o;
}

void showDefect(CDlg_Analysis& dialog) {
    // 1-2 with the weak zone (8.3 m = level 134) on the page and current.
    dialog.redraw(dialog.form().showSection(0));
    dialog.redraw(dialog.form().jumpToPoint(134));
}

}  // namespace

LX9_SCREENSHOT(workbench) {
    const uint32_t state = testState.load();
    testState = makeState(kStateViewing);
    DemoPile pile{std::string(kStandardGuangdong)};
    QuietSink sink;
    CDlg_Analysis dialog(pile.info, pile.lists, windowOptions(sink));
    dialog.show();
    shot.settle(50);
    showDefect(dialog);
    shot.save(dialog, "workbench");
    testState = state;
}

LX9_SCREENSHOT(sections) {
    const uint32_t state = testState.load();
    testState = makeState(kStateViewing);
    DemoPile pile{std::string(kStandardGuangdong)};
    QuietSink sink;
    CDlg_Analysis dialog(pile.info, pile.lists, windowOptions(sink));
    dialog.show();
    shot.settle(50);
    showDefect(dialog);
    QImage image = dialog.grab().toImage();
    SectionChooserDialog chooser(pile.info, dialog.form().sectionsOffered(), dialog.form().section(),
                                 dialog.button(kWbSection)->geometry(), &dialog);
    chooser.show();
    shot.settle(50);
    QPainter p(&image);
    p.drawImage(chooser.pos() - dialog.pos(), chooser.grab().toImage());
    p.end();
    shot.save(image, "sections");
    testState = state;
}

LX9_SCREENSHOT(workbench_interval) {
    const uint32_t state = testState.load();
    testState = makeState(kStateViewing);
    DemoPile pile{std::string(kStandardGuangdong)};
    QuietSink sink;
    const AnalysisDialogOptions options = windowOptions(sink);
    WorkbenchForm opened(pile.info, pile.lists);
    opened.open();  // whole intervals and the Guangdong evaluation, as the workbench does
    {
        // Bounds moved in from both ends, then "重读".
        for (int k = 0; k < 3; ++k) {
            auto guard = pile.lists[k]->lock();
            pile.lists[k]->intervalFirst = 20;
            pile.lists[k]->intervalLast = 260;
        }
        opened.reread();
    }
    CDlg_Analysis_K dialog(pile.info, pile.lists, 0, 134, options);
    dialog.show();
    shot.settle(50);
    shot.save(dialog, "workbench-interval");
    testState = state;
}

LX9_SCREENSHOT(upload) {
    const uint32_t state = testState.load();
    testState = makeState(kStateViewing);
    DemoPile pile{std::string(kStandardGuangdong)};
    pile.info.uploadFile = "/home/tester/LX9 data/ZK-17.CHT";
    const std::filesystem::path store = std::filesystem::temp_directory_path() / "lx9-shots-upload";
    server::ServerOptions serverOptions;
    serverOptions.port = 0;
    serverOptions.store = store;
    server::ResultServer server(serverOptions);
    if (!server.start()) return;
    UploadSettings settings{"LX9-0001", "2026-1207-03", 0x7F000001, server.port()};
    QuietSink sink;
    UploadDialogContext c;
    std::mutex infoLock;  // no console runs beside the shot
    c.info = SharedInfo{pile.info, infoLock};
    c.lists = [&pile] { return pile.lists; };
    c.settings = &settings;
    c.sink = &sink;
    CDlgUpdataSet dialog(std::move(c));
    dialog.show();
    shot.settle(50);
    dialog.startUpload();
    // Until the wave-train images are on their way.
    for (int i = 0; i < 400 && dialog.uploading(); ++i) {
        shot.settle(25);
        if (dialog.progressBar()->value() > 600) break;
    }
    shot.save(dialog, "upload");
    dialog.exitButton()->click();  // cancels the upload
    std::error_code ec;
    std::filesystem::remove_all(store, ec);
    testState = state;
}

}  // namespace lx9::shots
