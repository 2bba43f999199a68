// The console's views on a 401-level pile with a defect between 8 and 10 m in sections 1-2, 1-3
// and 1-4: both wave panels, the depth curves (building rules, Guangdong with its grade panel,
// the interval bar) and the section map.
#include <QApplication>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <QWidget>
#include <mutex>

#include "../../tests/display/view_fixtures.h"
#include "analysis/pile_analysis.h"
#include "display/curves_view.h"
#include "display/section_map_view.h"
#include "display/waveform_view.h"
#include "tools/screenshots/screenshot_registry.h"

namespace {

using namespace lx9;

struct DemoPile {
    CInfo info;
    std::mutex infoLock;  // no other thread: never contended
    testing::ViewLists lists;
    DemoPile() {
        testing::fillDefectPile(info, lists, 401);
        for (auto& list : lists.owned)
            list->setCurrentAt(180);  // 11 m, just below the defect
    }
    ViewSource source() { return {SharedInfo{info, infoLock}, lists.pointers(), false}; }
};

}  // namespace

LX9_SCREENSHOT(view_waveform) {
    DemoPile pile;
    QWidget box;
    box.setStyleSheet(QStringLiteral("background: #404040"));
    auto* layout = new QVBoxLayout(&box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(25);
    auto* upper = new WaveformView(&box, WavePanel::Upper);
    auto* lower = new WaveformView(&box, WavePanel::Lower);
    for (WaveformView* v : {upper, lower}) {
        v->setSource(pile.source());
        v->setFixedSize(974, 328);
        layout->addWidget(v);
    }
    shot.save(box, "view-waveform");
}

LX9_SCREENSHOT(view_waveform_pointer) {
    DemoPile pile;
    WaveformView view(nullptr, WavePanel::Upper);
    view.setSource(pile.source());
    view.setWaveTrainShown(true);  // all six in one row
    view.setReadoutFollowsPointer(true);
    view.resize(974, 256);
    view.show();
    QMouseEvent move(QEvent::MouseMove, QPointF(230, 120), view.mapToGlobal(QPointF(230, 120)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &move);
    shot.save(view.image(), "view-waveform-pointer");
}

LX9_SCREENSHOT(view_curves) {
    DemoPile pile;
    QWidget box;
    auto* layout = new QHBoxLayout(&box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    // Building rules on section 1-2; Guangdong with its grade panel on 1-3; the interval bar.
    static CInfo guangdong;
    guangdong = pile.info;
    guangdong.standard = std::string(kStandardGuangdong);
    setWholeIntervals(guangdong, pile.lists.pointers());
    EvaluatePileDbj(guangdong, pile.lists.pointers());
    pile.info.standard = std::string(kStandardBuilding);
    for (auto& list : pile.lists.owned)
        list->setCurrentAt(180);  // the evaluation walked the lists from their first point
    const ViewSource building = pile.source();
    const ViewSource dbj{SharedInfo{guangdong, pile.infoLock}, pile.lists.pointers(), false};
    {
        auto guard = pile.lists.owned[1]->lock();
        pile.lists.owned[1]->intervalFirst = 40;
        pile.lists.owned[1]->intervalLast = 360;
    }
    auto* a = new CurvesView(&box);
    a->setSource(building);
    a->setSection(0);
    auto* b = new CurvesView(&box);
    b->setSource(dbj);
    b->setSection(1);
    auto* c = new CurvesView(&box);
    c->setSource(dbj);
    c->setSection(1);
    c->setIntervalMode(true);
    for (CurvesView* v : {a, b, c}) {
        v->setFixedSize(220, 660);
        layout->addWidget(v);
    }
    shot.save(box, "view-curves");
}

LX9_SCREENSHOT(view_map) {
    DemoPile pile;
    QWidget box;
    auto* layout = new QHBoxLayout(&box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    auto* record = new SectionMapView(&box);  // the console's: every displayed section
    record->setSource(pile.source());
    SectionMapModel one;
    one.setPipeCount(5);
    one.offsetAngle = 15;
    one.labels = PipeLabels::Capitals;
    one.colourState = 4;
    one.highlightSection("2-4");
    auto* single = new SectionMapView(&box);
    single->setModel(one);
    for (SectionMapView* v : {record, single}) {
        v->setFixedSize(200, 200);
        layout->addWidget(v);
    }
    shot.save(box, "view-map");
}
