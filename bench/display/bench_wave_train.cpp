// Figures of the wave-train view on a 200 m pile at 10 mm (20 001 levels, six sections of 512
// samples) in the console's panel (974 × 422): one page in each form (snapshot under the list
// locks, layout, paint into the off-screen image), and paging through the whole test. Each
// benchmark reports the median and the 99th percentile per page. The goal is below 16 ms a page,
// the grey form of the whole pile below 50 ms.
#include <benchmark/benchmark.h>

#include <QImage>

#include <algorithm>
#include <chrono>
#include <vector>

#include "bench/display/bench_wave_train_pile.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "display/wave_train_geometry.h"
#include "display/wave_train_view.h"
#include "ui/gui_application.h"

namespace {

using namespace lx9;

constexpr int kWidth = 974;
constexpr int kHeight = 422;

bench::SimulatedTrainTest& pile() {
    static auto t = bench::simulatedTrainTest(200.0f, 10);
    return *t;
}

TrainSource sourceOf(const bench::SimulatedTrainTest& t) {
    return TrainSource{&t.info, t.lists, makeState(kStateViewing), 0, std::nullopt};
}

// One page as the widget draws it: it keeps its snapshot, picture and image from one redraw to
// the next.
const QImage& drawPage(const TrainSource& source, TrainForm form, int32_t first) {
    static WaveTrainSnapshot s;
    static WaveTrainPicture picture;
    static QImage image;
    snapshotWaveTrain(source, form, kWidth, kHeight, first, s);
    layoutWaveTrain(s, form, kWidth, kHeight, first, std::nullopt, picture);
    renderWaveTrainImage(picture, image);
    return image;
}

void report(benchmark::State& state, std::vector<double>& ms) {
    if (ms.empty()) return;
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["p99_ms"] = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
    state.counters["pages"] = static_cast<double>(ms.size());
}

double elapsedMs(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

void BM_NewestPage(benchmark::State& state) {
    const TrainForm form = static_cast<TrainForm>(state.range(0));
    const TrainSource source = sourceOf(pile());
    const LevelRange range = trainLevels(source);
    TrainPager pager;
    followNewest(pager, range, trainRows(kHeight));
    std::vector<double> ms;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(drawPage(source, form, pager.first).constBits());
        ms.push_back(elapsedMs(t0));
    }
    report(state, ms);
}
BENCHMARK(BM_NewestPage)->ArgName("form")->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Every page from the newest back to the oldest, as 后翻 pressed until it is refused.
void BM_PageThroughAll(benchmark::State& state) {
    const TrainForm form = static_cast<TrainForm>(state.range(0));
    const TrainSource source = sourceOf(pile());
    const LevelRange range = trainLevels(source);
    const int rows = trainRows(kHeight);
    std::vector<double> ms;
    for (auto _ : state) {
        TrainPager pager;
        followNewest(pager, range, rows);
        do {
            const auto t0 = std::chrono::steady_clock::now();
            benchmark::DoNotOptimize(drawPage(source, form, pager.first).constBits());
            ms.push_back(elapsedMs(t0));
        } while (pageTrain(pager, range, rows, -1));
    }
    report(state, ms);
}
BENCHMARK(BM_PageThroughAll)->ArgName("form")->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    lx9::ui::OffscreenGui gui;
    benchmark::Initialize(&argc, argv);
    pile();  // built before the clock runs
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
