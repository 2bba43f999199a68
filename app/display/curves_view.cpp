#include "display/curves_view.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPolygon>

#include "display/panel_view.h"
#include "display/view_shapes_view.h"

namespace lx9 {

void paintCurves(QPainter& p, const CurvesGeometry& g) {
    ViewPaintScope scope(p);
    p.fillRect(viewQRect(g.client), viewQColor(g.background));
    p.save();
    p.setClipRect(viewQRect(g.plot));
    for (const ViewPolyline& run : g.psd)
        paintViewPolyline(p, run);
    for (const ViewPolyline& run : g.amplitude)
        paintViewPolyline(p, run);
    for (const ViewPolyline& run : g.velocity)
        paintViewPolyline(p, run);
    if (g.criticalVelocity) paintViewLine(p, *g.criticalVelocity);
    if (g.criticalAmplitude) paintViewLine(p, *g.criticalAmplitude);
    p.restore();
    for (const ViewLine& line : g.gradeFrame)
        paintViewLine(p, line);
    for (const ViewPolyline& run : g.grades)
        paintViewPolyline(p, run);
    if (g.currentLine) paintViewLine(p, *g.currentLine);
}

void paintInterval(QPainter& p, const IntervalGeometry& g) {
    ViewPaintScope scope(p);
    p.fillRect(viewQRect(g.client), Qt::white);
    for (const IntervalGeometry::Band& band : g.bands)
        p.fillRect(viewQRect(band.rect), viewQColor(band.colour));
    for (const ViewLine& line : g.lines)
        paintViewLine(p, line);
    if (!g.triangle.empty()) {
        QPolygon triangle;
        for (const ViewPoint& v : g.triangle)
            triangle << QPoint(v.x, v.y);
        p.setPen(Qt::black);
        p.setBrush(Qt::black);
        p.drawPolygon(triangle);
    }
    for (const ViewRect& handle : g.handles)
        p.fillRect(viewQRect(handle), Qt::black);
}

CurvesView::CurvesView(QWidget* parent) : QWidget(parent), source_(globalViewSource()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CurvesView::redraw(uint32_t parts) {
    if (!(parts & (kViewCurves | kViewReset))) return;
    dirty_ = true;
    update();
}

void CurvesView::setSource(const ViewSource& source) {
    source_ = source;
    dirty_ = true;
    update();
}

void CurvesView::setSection(int slot) {
    slot_ = slot >= 0 && slot < kMaxSections ? slot : -1;
    dirty_ = true;
    update();
}

void CurvesView::setVelocityCurve(bool on) {
    velocityCurve_ = on;
    dirty_ = true;
    update();
}

void CurvesView::setIntervalMode(bool on) {
    intervalMode_ = on;
    dirty_ = true;
    update();
}

void CurvesView::setIntervalLimits(double upperHeight, int upperIndex, double lowerHeight, int lowerIndex) {
    upperHeight_ = upperHeight;
    upperIndex_ = upperIndex;
    lowerHeight_ = lowerHeight;
    lowerIndex_ = lowerIndex;
    dirty_ = true;
    update();
    emit intervalLevelPicked(upperIndex_);
}

int CurvesView::drawnSection() const {
    if (slot_ >= 0 || !source_.info) return slot_;
    std::lock_guard<std::mutex> guard(source_.info->lock());
    for (int k = 0; k < kMaxSections; ++k) {
        const SectionPara& s = source_.info->record().sections[static_cast<size_t>(k)];
        if (s.present && s.display) return k;
    }
    return -1;
}

void CurvesView::rebuild() {
    dirty_ = false;
    const QSize size = this->size();
    if (image_.size() != size) image_ = QImage(size, QImage::Format_RGB32);
    snapshot_ = source_.info ? takeCurvesSnapshot(*source_.info, source_.currentLists(), drawnSection())
                             : CurvesSnapshot{};
    QPainter p(&image_);
    if (intervalMode_) {
        interval_ = intervalGeometry(snapshot_, size.width(), size.height());
        paintInterval(p, interval_);
        return;
    }
    if (velocityCurve_) emit axisMaxima(kCurvesAmplitudeMax, kCurvesVelocityMax);
    curves_ = curvesGeometry(snapshot_, size.width(), size.height(), velocityCurve_);
    paintCurves(p, curves_);
}

const QImage& CurvesView::image() {
    if (dirty_ || image_.size() != size()) rebuild();
    return image_;
}

void CurvesView::paintEvent(QPaintEvent* event) {
    const QImage& picture = image();
    QPainter p(this);
    p.drawImage(event->rect(), picture, event->rect());
}

void CurvesView::resizeEvent(QResizeEvent*) {
    dirty_ = true;
}

void CurvesView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    image();  // the pick works on what is shown
    const QPoint at = event->position().toPoint();
    if (intervalMode_) {
        if (intervalHit(interval_, at.x(), at.y()) != IntervalHit::Plot) return;
        if (const auto index = curvesPick(snapshot_, width(), height(), at.y()))
            emit intervalLevelPicked(*index);
        return;
    }
    if (const auto index = curvesPick(snapshot_, width(), height(), at.y())) emit pointPicked(*index);
}

void CurvesView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!intervalMode_ || event->button() != Qt::LeftButton) return;
    image();
    const QPoint at = event->position().toPoint();
    switch (intervalHit(interval_, at.x(), at.y())) {
        case IntervalHit::UpperHandle:
            emit upperLimitRequested(mapToGlobal(at), upperHeight_);
            break;
        case IntervalHit::LowerHandle:
            emit lowerLimitRequested(mapToGlobal(at), lowerHeight_);
            break;
        default:
            break;
    }
}

}  // namespace lx9
