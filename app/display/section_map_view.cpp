#include "display/section_map_view.h"

#include <QPaintEvent>

#include "display/panel_view.h"
#include "display/view_shapes_view.h"

namespace lx9 {
namespace {

void paintPipes(QPainter& p, const SectionMapGeometry& g) {
    for (const SectionMapGeometry::Ellipse& pipe : g.pipes) {
        p.setPen(QPen(viewQColor(pipe.outline), 1));
        p.setBrush(viewQColor(pipe.fill));
        p.drawEllipse(viewQRect(pipe.box));
    }
    p.setBrush(Qt::NoBrush);
    for (const ViewText& label : g.labels)
        paintViewText(p, label);
}

}  // namespace

void paintSectionMap(QPainter& p, const SectionMapGeometry& g) {
    ViewPaintScope scope(p);
    p.fillRect(viewQRect(g.client), Qt::white);
    if (g.outline) {
        p.setPen(QPen(viewQColor(g.outline->outline), 1));
        p.setBrush(viewQColor(g.outline->fill));
        p.drawEllipse(viewQRect(g.outline->box));
        p.setBrush(Qt::NoBrush);
    }
    paintPipes(p, g);
    for (const ViewLine& line : g.sections)
        paintViewLine(p, line);
    if (!g.sections.empty()) paintPipes(p, g);
}

SectionMapView::SectionMapView(QWidget* parent) : QWidget(parent), source_(globalViewSource()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SectionMapView::redraw(uint32_t parts) {
    if (!(parts & (kViewSectionMap | kViewReset))) return;
    dirty_ = true;
    update();
}

void SectionMapView::setSource(const ViewSource& source) {
    source_ = source;
    dirty_ = true;
    update();
}

void SectionMapView::setModel(const SectionMapModel& model) {
    model_ = model;
    followRecord_ = false;
    dirty_ = true;
    update();
}

void SectionMapView::followRecord() {
    followRecord_ = true;
    dirty_ = true;
    update();
}

void SectionMapView::rebuild() {
    dirty_ = false;
    if (image_.size() != size()) image_ = QImage(size(), QImage::Format_RGB32);
    if (followRecord_ && source_.info) model_ = sectionMapFromRecord(*source_.info);
    QPainter p(&image_);
    paintSectionMap(p, sectionMapGeometry(model_, width(), height()));
}

const QImage& SectionMapView::image() {
    if (dirty_ || image_.size() != size()) rebuild();
    return image_;
}

void SectionMapView::paintEvent(QPaintEvent* event) {
    const QImage& picture = image();
    QPainter p(this);
    p.drawImage(event->rect(), picture, event->rect());
}

void SectionMapView::resizeEvent(QResizeEvent*) {
    dirty_ = true;
}

}  // namespace lx9
