#include "display/waveform_view.h"

#include <QMouseEvent>
#include <QPaintEvent>

#include "display/panel_view.h"
#include "display/view_shapes_view.h"

namespace lx9 {

void paintWaveform(QPainter& p, const WaveformGeometry& g) {
    ViewPaintScope scope(p);
    p.fillRect(viewQRect(g.client), viewQColor(g.background));
    for (const ViewLine& line : g.grid)
        paintViewLine(p, line);
    for (const WaveColumn& col : g.columns)
        paintViewPolyline(p, col.trace);
    for (const WaveColumn& col : g.columns) {
        if (col.arrival) paintViewLine(p, *col.arrival);
        if (col.amplitude) paintViewLine(p, *col.amplitude);
    }
    if (g.pointerLine) paintViewLine(p, *g.pointerLine);
    for (const ViewText& text : g.texts)
        paintViewText(p, text);
}

WaveformView::WaveformView(QWidget* parent, WavePanel panel)
    : QWidget(parent), panel_(panel), source_(globalViewSource()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

void WaveformView::redraw(uint32_t parts) {
    if (!(parts & (kViewWaveform | kViewPointInfo | kViewReset))) return;
    dirty_ = true;
    update();
}

void WaveformView::setSource(const ViewSource& source) {
    source_ = source;
    dirty_ = true;
    update();
}

void WaveformView::setWaveTrainShown(bool shown) {
    setWaveTrainShown([shown] { return shown; });
}

void WaveformView::setWaveTrainShown(std::function<bool()> shown) {
    waveTrainShown_ = std::move(shown);
    dirty_ = true;
    update();
}

void WaveformView::setReadoutFollowsPointer(bool on) {
    followPointer_ = on;
    if (!on) pointerX_.reset();
    dirty_ = true;
    update();
}

void WaveformView::rebuild() {
    dirty_ = false;
    const QSize size = this->size();
    if (image_.size() != size) image_ = QImage(size, QImage::Format_RGB32);
    if (!source_.info) {
        image_.fill(Qt::white);
        geometry_ = {};
        return;
    }
    const WaveformSnapshot snap =
        takeWaveformSnapshot(*source_.info, source_.currentLists(), WaveSource{std::nullopt, source_.live});
    geometry_ = waveformGeometry(snap, panel_, waveTrainShown_ && waveTrainShown_(), size.width(),
                                 size.height(), followPointer_ ? pointerX_ : std::nullopt);
    QPainter p(&image_);
    paintWaveform(p, geometry_);
}

const QImage& WaveformView::image() {
    if (dirty_ || image_.size() != size()) rebuild();
    return image_;
}

void WaveformView::paintEvent(QPaintEvent* event) {
    const QImage& picture = image();
    QPainter p(this);
    p.drawImage(event->rect(), picture, event->rect());
}

void WaveformView::resizeEvent(QResizeEvent*) {
    dirty_ = true;
}

void WaveformView::pointerAt(int x) {
    if (!followPointer_) return;
    pointerX_ = x;
    rebuild();
    update();
    for (const WaveColumn& col : geometry_.columns) {
        if (col.pointerIndex >= 0 && col.readout) {
            emit pointerReadout(col.slot, col.pointerIndex, col.readout->time, col.readout->amplitude,
                                col.readout->velocity);
        }
    }
}

void WaveformView::mouseMoveEvent(QMouseEvent* event) {
    pointerAt(event->position().toPoint().x());
}

void WaveformView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) pointerAt(event->position().toPoint().x());
}

void WaveformView::leaveEvent(QEvent*) {
    if (!pointerX_) return;
    pointerX_.reset();
    dirty_ = true;
    update();
}

}  // namespace lx9
