// Every view drawn on the user-interface thread while another thread appends, overwrites and
// removes points and changes the record under its lock, as the worker does during a test. Run
// under ThreadSanitizer (build-tsan) it must report nothing; in the plain build it must not crash.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "display/curves_view.h"
#include "display/section_map_view.h"
#include "display/waveform_view.h"
#include "ui/gui_application.h"
#include "view_fixtures.h"

namespace lx9 {
namespace {

using namespace lx9::testing;

TEST(ViewThreadsTest, ViewsDrawWhileAWorkerChangesTheLists) {
    ui::OffscreenWidgets gui;
    CInfo info = viewRecord(6, 512);
    info.standard = std::string(kStandardBuilding);
    std::mutex infoLock;
    ViewLists lists;
    for (int k = 0; k < kMaxSections; ++k)
        lists.owned[static_cast<size_t>(k)] = std::make_unique<CSampleDataList>(512, k);
    const ViewSource source{SharedInfo{info, infoLock}, lists.pointers(), true};

    WaveformView upper(nullptr, WavePanel::Upper);
    WaveformView lower(nullptr, WavePanel::Lower);
    CurvesView curves(nullptr);
    SectionMapView map(nullptr);
    upper.setSource(source);
    lower.setSource(source);
    curves.setSource(source);
    map.setSource(source);
    upper.resize(800, 200);
    lower.resize(800, 200);
    curves.resize(200, 500);
    map.resize(150, 150);
    upper.setReadoutFollowsPointer(true);

    std::atomic<bool> stop{false};
    std::thread worker([&] {
        std::vector<uint16_t> wave(512, 2048);
        int level = 0;
        while (!stop.load()) {
            for (int i = 0; i < 512; ++i)
                wave[static_cast<size_t>(i)] = static_cast<uint16_t>(2048 + ((i + level) % 64 - 32) * 40);
            for (int k = 0; k < kMaxSections; ++k) {
                CSampleDataList& l = *lists.owned[static_cast<size_t>(k)];
                const float depth = 20.0f - 0.05f * level;
                if (level % 7 == 6) {
                    l.removeLast();
                    continue;
                }
                if (level % 11 == 5) {
                    l.appendPlaceholder();
                    continue;
                }
                if (level % 5 == 0)
                    l.storeCurrent(wave.data(), wave.size(), depth);  // free sampling: overwrite
                else
                    l.append(wave.data(), depth);
                auto guard = l.lock();
                l.current->tIndex = 100 + level % 50;
                l.current->ampIndex = 200;
                l.current->gain = 80.0f;
            }
            {
                std::lock_guard<std::mutex> guard(infoLock);
                info.sections[level % 6].spacing = 300 + level % 40;
                info.offsetAngle = level % 90;
            }
            ++level;
            std::this_thread::sleep_for(std::chrono::microseconds(300));  // about a worker's pace
        }
    });

    for (int frame = 0; frame < 150; ++frame) {
        upper.redraw(~0u);
        lower.redraw(~0u);
        curves.redraw(~0u);
        map.redraw(~0u);
        EXPECT_EQ(upper.image().size(), QSize(800, 200));
        EXPECT_EQ(lower.image().size(), QSize(800, 200));
        EXPECT_EQ(curves.image().size(), QSize(200, 500));
        EXPECT_EQ(map.image().size(), QSize(150, 150));
    }
    stop = true;
    worker.join();
    EXPECT_EQ(upper.geometry().columns.size(), 3u);
    EXPECT_EQ(lower.geometry().columns.size(), 3u);
}

}  // namespace
}  // namespace lx9
