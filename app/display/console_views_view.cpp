#include "display/console_views_view.h"

#include "acquisition/console_view.h"
#include "acquisition/console_window.h"
#include "data/globals.h"
#include "display/curves_view.h"
#include "display/section_map_view.h"
#include "display/waveform_view.h"

namespace lx9 {

bool selectConsolePoint(int index) {
    const uint32_t code = stateCode(testState.load());
    if (code != kStateIdle && code != kStateViewing) return false;
    bool moved = false;
    for (int k = 0; k < kMaxSections; ++k) {
        CSampleDataList* list = sectionLists[static_cast<size_t>(k)].get();
        if (!list || !currentInfo.sections[static_cast<size_t>(k)].display) continue;
        moved = list->setCurrentAt(index) || moved;
    }
    return moved;
}

ConsoleViews hostConsoleViews(ConsoleWindow& window, std::function<bool()> waveTrainShown) {
    ConsoleViews v;
    v.upper = new WaveformView(nullptr, WavePanel::Upper);
    v.lower = new WaveformView(nullptr, WavePanel::Lower);
    v.curves = new CurvesView(nullptr);
    v.map = new SectionMapView(nullptr);
    v.upper->setWaveTrainShown(std::move(waveTrainShown));
    QObject::connect(v.curves, &CurvesView::pointPicked, &window, [&window](int index) {
        if (selectConsolePoint(index))
            window.redraw(kViewWaveform | kViewWaveTrain | kViewCurves | kViewPointInfo | kViewSectionMap);
    });
    window.setPanelView(ConsolePanel::UpperWave, v.upper, v.upper);
    window.setPanelView(ConsolePanel::LowerWave, v.lower, v.lower);
    window.setPanelView(ConsolePanel::Curves, v.curves, v.curves);
    window.setPanelView(ConsolePanel::SectionMap, v.map, v.map);
    return v;
}

}  // namespace lx9
