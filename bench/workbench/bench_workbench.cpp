// A hand pick on a section of 20 001 levels, from the click on the waveform view to the redrawn
// waveform, axis strip and depth curves with their new critical values, under each standard that
// computes its critical values afresh; and "重读" (the Guangdong evaluation and a full redraw).
// Offscreen, at the field computer's 1024×768.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "data/globals.h"
#include "data/run_state.h"
#include "ui/gui_application.h"
#include "ui/message_sink.h"
#include "workbench/analysis_dialog.h"
#include "workbench/workbench_view.h"

namespace lx9 {
namespace {

constexpr int kLevels = 20001;

struct QuietSink : MessageSink {
    void showMessage(const std::string&) override {}
    bool askYesNo(const std::string&) override { return false; }
};

// One section (1-2) of 20 001 levels, 512 samples, arrivals scattered around 4.2 km/s.
struct LongPile {
    CInfo info;
    std::unique_ptr<CSampleDataList> list;
    SectionLists lists{};

    explicit LongPile(const std::string& standard) {
        info.resetToDefaults();
        info.standard = standard;
        info.pipeCount = 2;
        info.sampleLength = 512;
        info.sampleInterval = 0.4f;
        info.stepMm = 50;
        info.startDepth = 1000.0f;
        info.pileLength = 1001.0f;
        for (int k = 0; k < kMaxSections; ++k)
            info.sections[k].present = k == 0;
        info.sections[0].name = "1-2";
        info.sections[0].spacing = 600;
        info.sections[0].delay = 0.0f;
        list = std::make_unique<CSampleDataList>(512, 0);
        lists[0] = list.get();
        std::vector<uint16_t> wave(512);
        for (int i = 0; i < kLevels; ++i) {
            const int arrival = 357 + (i * 7919) % 9 - 4;
            for (int j = 0; j < 512; ++j)
                wave[j] =
                    static_cast<uint16_t>(2048 + (j < arrival ? 0
                                                              : 1200 * std::exp(-(j - arrival) / 150.0) *
                                                                    std::sin((j - arrival) * 0.125)));
            list->append(wave.data(), 1000.0f - 0.05f * static_cast<float>(i));
            auto guard = list->lock();
            list->tail->tIndex = arrival;
            list->tail->ampIndex = arrival + 12;
            list->tail->gain = 80.0f;
            list->tail->delay = 0.0f;
        }
    }
};

ui::OffscreenWidgets& gui() {
    static ui::OffscreenWidgets app;
    return app;
}

void HandPick(benchmark::State& state, const char* standard) {
    gui();
    const uint32_t kept = testState.load();
    testState = makeState(kStateViewing);
    LongPile pile(standard);
    QuietSink sink;
    AnalysisDialogOptions options;
    options.sink = &sink;
    options.fullScreen = false;
    CDlg_Analysis dialog(pile.info, pile.lists, options);
    dialog.show();
    dialog.redraw(dialog.form().jumpToPoint(kLevels / 2));
    AnalysisWaveView* wave = dialog.wave();
    int x = 200;
    for (auto _ : state) {
        // A click in the upper half: the pick, then every view the form names redrawn.
        x = x == 200 ? 201 : 200;
        wave->clicked(x, 5, wave->width(), wave->height());
        benchmark::DoNotOptimize(dialog.curves()->criticals());
    }
    state.counters["levels"] = kLevels;
    testState = kept;
}

void Reread(benchmark::State& state) {
    gui();
    const uint32_t kept = testState.load();
    testState = makeState(kStateViewing);
    LongPile pile("广东建筑");
    QuietSink sink;
    AnalysisDialogOptions options;
    options.sink = &sink;
    options.fullScreen = false;
    CDlg_Analysis dialog(pile.info, pile.lists, options);
    dialog.show();
    for (auto _ : state) {
        dialog.redraw(dialog.form().click(kWbReread).redraw);
        benchmark::DoNotOptimize(dialog.curves()->criticals());
    }
    testState = kept;
}

BENCHMARK_CAPTURE(HandPick, building, "建筑")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HandPick, highway, "公路")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HandPick, railway, "铁路")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HandPick, guangdong_stored, "广东建筑")->Unit(benchmark::kMillisecond);
BENCHMARK(Reread)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lx9

BENCHMARK_MAIN();
