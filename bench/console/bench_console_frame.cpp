// The console's work on the user-interface thread for one frame message (WM_USER+128) with six
// sections of 1024 samples, before any view draws: the controller's handling, the window's point
// information and bars, the forwarding to the panels (empty here). Two figures: the handler
// alone, and the handler with the event processing that repaints the changed widgets (offscreen).
// Goal: under 2 ms, so the views keep their 16 ms. A measurement, not a test.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "acquisition/console_controller.h"
#include "acquisition/console_window.h"
#include "acquisition/messages.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "data/sample_data_list.h"
#include "ui/gui_application.h"
#include "ui/message_box_sink.h"

namespace {

using namespace lx9;
using Clock = std::chrono::steady_clock;

// An instrument that agrees to everything; the worker stays paused, so no frame is read.
class AgreeingLink : public InstrumentLink {
  public:
    uint8_t GetCommunicateStatus() override { return 1; }
    uint8_t GetFirmwareVersion() override { return 5; }
    uint8_t GetBatteryQuantity() override { return 8; }
    uint8_t SetLEDStatus(uint8_t) override { return 1; }
    uint8_t SetLeakInfo() override { return 1; }
    uint8_t StartRecordHeight() override { return 1; }
    uint8_t StartSample() override { return 1; }
    uint8_t GetSampleStatus() override { return 1; }
    uint8_t GetSampleHeight(uint16_t* d, uint16_t* s) override { return *d = 0, *s = 0, 1; }
    uint8_t GetHeight(uint16_t, uint16_t* d, uint16_t* s) override { return *d = 0, *s = 0, 1; }
    uint8_t ReadSampleData(uint16_t, uint16_t*, uint16_t*) override { return 0; }
    uint8_t ReadData(uint16_t, uint16_t, uint16_t*, uint16_t*) override { return 0; }
    uint8_t SetSample(uint8_t) override { return 1; }
    uint8_t SetBegin(uint8_t) override { return 1; }
    uint8_t SetEnd(uint8_t) override { return 1; }
    uint8_t SetHeight(int32_t, uint16_t) override { return 1; }
    uint8_t Set(_Ctrl_Code_INFO_DLL*) override { return 1; }
    uint8_t SetPara1(_Ctrl_SET1_INFO_DLL) override { return 1; }
    uint8_t GetPara1(_Ctrl_SET1_INFO_DLL*) override { return 1; }
    uint8_t SetPara2(_Ctrl_SET2_INFO_DLL) override { return 1; }
    uint8_t GetPara2(_Ctrl_SET2_INFO_DLL*) override { return 1; }
    uint8_t SetPara3(uint8_t*, int32_t) override { return 1; }
    uint8_t GetPara3(uint8_t*, int32_t) override { return 1; }
};

// CPU time of this thread: the work itself, whatever else the machine is doing.
double threadCpuUs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
}

}  // namespace

int main() {
    lx9::ui::OffscreenWidgets gui;
    currentInfo.resetToDefaults();
    currentInfo.pipeCount = 4;
    currentInfo.sectionCount = 6;
    currentInfo.sampleLength = 1024;
    currentInfo.pileLength = 30.0f;
    currentInfo.startDepth = 30.0f;
    currentInfo.rebuildSectionNames();

    AgreeingLink link;
    ConsoleWindow window;
    lx9::ui::MessageBoxSink boxes(&window);
    ConsoleOptions options;
    options.settingsFile = "/dev/null/none";  // never written: the console is not closed
    options.loadSettings = false;
    {
        ConsoleController controller(link, window, boxes, options);
        window.attach(controller);
        window.showConsole(true);
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [] {
            if (QWidget* modal = QApplication::activeModalWidget())
                for (QPushButton* b : modal->findChildren<QPushButton*>())
                    if (b->isVisible() && b->text() == QStringLiteral("确定")) b->click();
        });
        answer.start(5);
        window.start();
        answer.stop();

        // Six lists of 600 levels, as in the middle of a 30 m test.
        std::vector<uint16_t> wave(1024);
        for (size_t i = 0; i < wave.size(); ++i)
            wave[i] = static_cast<uint16_t>(2048 + ((i * 37) % 1200) - 600);
        for (auto& list : sectionLists)
            for (int level = 0; level < 600; ++level)
                list->append(wave.data(), 30.0f - 0.05f * static_cast<float>(level));
        testState = makeState(kStateFreeSampling);

        const int frames = 3000;
        std::vector<double> handler, withPaint, cpuHandler, cpuWithPaint;
        for (int i = 0; i < frames; ++i) {
            {
                // A new pick every frame, so the point information changes and repaints.
                auto g = sectionLists[0]->lock();
                sectionLists[0]->current->tIndex = 100 + i % 50;
            }
            controller.mailbox().post(kMsgFrameReady, 1, 0);
            const double c0 = threadCpuUs();
            const auto t0 = Clock::now();
            window.drainMailbox();
            const auto t1 = Clock::now();
            const double c1 = threadCpuUs();
            QApplication::processEvents();
            const auto t2 = Clock::now();
            const double c2 = threadCpuUs();
            cpuHandler.push_back(c1 - c0);
            cpuWithPaint.push_back(c2 - c0);
            handler.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
            withPaint.push_back(std::chrono::duration<double, std::micro>(t2 - t0).count());
        }
        std::printf("console work per frame message, 6 sections x 1024 samples, %d frames\n", frames);
        auto line = [](const char* what, const std::vector<double>& wall, const std::vector<double>& cpu) {
            std::printf("  %-26s wall median %7.1f us  p99 %7.1f us | CPU median %7.1f us  p99 %7.1f us\n",
                        what, percentile(wall, 0.5), percentile(wall, 0.99), percentile(cpu, 0.5),
                        percentile(cpu, 0.99));
        };
        line("handler alone", handler, cpuHandler);
        line("handler + widget repaint", withPaint, cpuWithPaint);
        std::printf("  goal: under 2000 us per frame message\n");
        std::printf("  point information shown: %s\n", window.pointInfo()->text().toStdString().c_str());
        testState = makeState(kStateIdle);
    }
    for (auto& list : sectionLists)
        list.reset();
    return 0;
}
