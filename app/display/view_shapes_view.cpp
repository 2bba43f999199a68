#include "display/view_shapes_view.h"

#include <QPen>
#include <QPolygon>
#include <QString>

namespace lx9 {

QFont viewFont(ViewFont font, int pixels) {
    QFont f;
    switch (font) {
        case ViewFont::Arial:
            f = QFont(QStringLiteral("Arial"));
            f.setStyleHint(QFont::SansSerif);
            break;
        case ViewFont::Song:
            f = QFont(QStringLiteral("宋体"));
            break;
        case ViewFont::TimesNewRoman:
            f = QFont(QStringLiteral("Times New Roman"));
            f.setStyleHint(QFont::Serif);
            break;
    }
    f.setWeight(QFont::Normal);
    f.setPixelSize(pixels);
    return f;
}

QRect viewQRect(const ViewRect& r) {
    return QRect(r.left, r.top, r.width(), r.height());
}

void paintViewLine(QPainter& p, const ViewLine& line) {
    p.setPen(QPen(viewQColor(line.colour), line.width));
    p.drawLine(line.from.x, line.from.y, line.to.x, line.to.y);
}

void paintViewPolyline(QPainter& p, const ViewPolyline& line) {
    if (line.points.empty()) return;
    QPolygon polygon(static_cast<int>(line.points.size()));
    for (size_t i = 0; i < line.points.size(); ++i)
        polygon[static_cast<int>(i)] = QPoint(line.points[i].x, line.points[i].y);
    p.setPen(QPen(viewQColor(line.colour), line.width));
    if (polygon.size() == 1)
        p.drawPoint(polygon[0]);
    else
        p.drawPolyline(polygon);
}

void paintViewText(QPainter& p, const ViewText& text) {
    p.setPen(viewQColor(text.colour));
    p.setFont(viewFont(text.font, text.pixels));
    int flags = text.noClip ? Qt::TextDontClip : 0;
    switch (text.align) {
        case ViewText::TopLeft:
            flags |= Qt::AlignLeft | Qt::AlignTop;
            break;
        case ViewText::BottomLeft:
            flags |= Qt::AlignLeft | Qt::AlignBottom;
            break;
        case ViewText::Centre:
            flags |= Qt::AlignCenter;
            break;
    }
    p.drawText(viewQRect(text.box), flags, QString::fromStdString(text.text));
}

ViewPaintScope::ViewPaintScope(QPainter& p) : p_(p) {
    p_.save();
    p_.setRenderHint(QPainter::Antialiasing, false);
    p_.setRenderHint(QPainter::TextAntialiasing, true);
    p_.setBackgroundMode(Qt::TransparentMode);
    p_.setBrush(Qt::NoBrush);
}

ViewPaintScope::~ViewPaintScope() {
    p_.restore();
}

}  // namespace lx9
