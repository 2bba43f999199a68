// Painting the views' plain shapes with any QPainter: the widgets' off-screen images, the PNGs
// of `lx9 render` and report pages (vectors on a PDF painter) all go through these.
#pragma once

#include <QFont>
#include <QPainter>

#include "display/view_colours_view.h"
#include "display/view_shapes.h"

namespace lx9 {

QFont viewFont(ViewFont font, int pixels);
QRect viewQRect(const ViewRect& r);

void paintViewLine(QPainter& p, const ViewLine& line);
void paintViewPolyline(QPainter& p, const ViewPolyline& line);
// Multi-line text in its box; noClip texts may run past the box (Qt clips rectangle text
// otherwise, and a capital in a 6 × 14 box would lose part of its strokes).
void paintViewText(QPainter& p, const ViewText& text);

// Wraps a paint in save/restore with the views' common settings: no antialiasing for the
// shapes (pixel-exact like the geometry), antialiased text, transparent text background.
class ViewPaintScope {
  public:
    explicit ViewPaintScope(QPainter& p);
    ~ViewPaintScope();
    ViewPaintScope(const ViewPaintScope&) = delete;
    ViewPaintScope& operator=(const ViewPaintScope&) = delete;

  private:
    QPainter& p_;
};

}  // namespace lx9
