// Figures of the console's views: one frame of each view (upper and lower wave panels, depth
// curves, section map) for six sections, from the lists to a finished image, for a 401-level and
// a 20 001-level test. Prints median and p99 in milliseconds; the goal is < 16 ms per view and
// frame, so free sampling at ~94 frames a second never backs up the user-interface thread.
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <vector>

#include "../../tests/display/view_fixtures.h"
#include "display/curves_view.h"
#include "display/section_map_view.h"
#include "display/waveform_view.h"
#include "ui/gui_application.h"

namespace {

using namespace lx9;
using Clock = std::chrono::steady_clock;

struct Test {
    CInfo info;
    testing::ViewLists lists;
    explicit Test(int levels) {
        testing::fillDefectPile(info, lists, levels);
        info.standard = std::string(kStandardBuilding);
    }
};

struct Figures {
    double median = 0;
    double p99 = 0;
};

template <typename Frame>
Figures measure(int frames, Frame frame) {
    std::vector<double> ms;
    ms.reserve(static_cast<size_t>(frames));
    frame();  // fonts and caches warm
    for (int i = 0; i < frames; ++i) {
        const auto t0 = Clock::now();
        frame();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2],
            ms[std::min(ms.size() - 1, static_cast<size_t>(std::ceil(ms.size() * 0.99)) - 1)]};
}

void run(int levels, int frames) {
    Test t(levels);
    std::mutex infoLock;  // as the console's record: the views copy it under its lock
    const ViewSource source{SharedInfo{t.info, infoLock}, t.lists.pointers(), true};
    // The console's panels at 1024 × 768 with the waves shown and the wave train hidden.
    WaveformView upper(nullptr, WavePanel::Upper);
    WaveformView lower(nullptr, WavePanel::Lower);
    CurvesView curves(nullptr);
    SectionMapView map(nullptr);
    upper.setSource(source);
    lower.setSource(source);
    curves.setSource(source);
    curves.setSection(0);
    map.setSource(source);
    upper.resize(974, 328);
    lower.resize(974, 328);
    curves.resize(220, 660);
    map.resize(150, 150);

    CInfo stored = t.info;  // the Guangdong rules' values are read, not computed
    stored.standard = std::string(kStandardGuangdong);
    struct Row {
        const char* name;
        Figures f;
    };
    const Row rows[] = {
        {"upper wave panel 974x328", measure(frames,
                                             [&] {
                                                 upper.redraw(~0u);
                                                 (void)upper.image();
                                             })},
        {"lower wave panel 974x328", measure(frames,
                                             [&] {
                                                 lower.redraw(~0u);
                                                 (void)lower.image();
                                             })},
        {"depth curves 220x660", measure(frames,
                                         [&] {
                                             curves.redraw(~0u);
                                             (void)curves.image();
                                         })},
        {"  of which copy + rules",
         measure(frames,
                 [&] {
                     (void)takeCurvesSnapshot(SharedInfo{t.info, infoLock}, t.lists.pointers(), 0);
                 })},
        {"    of which copy",
         measure(frames,
                 [&] {
                     (void)takeCurvesSnapshot(SharedInfo{stored, infoLock}, t.lists.pointers(), 0);
                 })},
        {"section map 150x150", measure(frames,
                                        [&] {
                                            map.redraw(~0u);
                                            (void)map.image();
                                        })},
    };
    std::printf("%d levels, six sections of 1024 samples, %d frames each:\n", levels, frames);
    for (const Row& r : rows)
        std::printf("  %-26s median %7.3f ms   p99 %7.3f ms\n", r.name, r.f.median, r.f.p99);
}

}  // namespace

int main() {
    ui::OffscreenWidgets gui;
    run(401, 300);
    run(20001, 100);
    return 0;
}
