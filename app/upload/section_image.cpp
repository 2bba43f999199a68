#include "upload/section_image.h"

#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <QSaveFile>
#include <QString>

#include <cstdio>

#include "upload/section_image_geometry.h"

namespace lx9 {
namespace {

QFont imageFont(int pixels) {
    QFont font(QStringLiteral("Times New Roman"));
    font.setStyleHint(QFont::Serif);
    font.setWeight(QFont::Normal);
    font.setPixelSize(pixels);
    return font;
}

// A frame as the areas are given: the outline covers left..right-1 and top..bottom-1.
void frame(QPainter& p, const ImageRect& r) {
    p.drawRect(QRect(r.left, r.top, r.width() - 1, r.height() - 1));
}

QRect rect(const ImageRect& r) {
    return QRect(r.left, r.top, r.width(), r.height());
}

void drawTitle(QPainter& p, const CInfo& info, const SectionPara& section) {
    const ImageRect& plot = kSectionPlotArea;
    p.setFont(imageFont(kTitleFontPixels));
    p.drawText(QRect(plot.left, 6, plot.width(), kSectionTitleBand.top - 6),
               Qt::AlignHCenter | Qt::AlignVCenter,
               QString::fromStdString(section.name) + QStringLiteral("剖面"));
    char sub[64];
    std::snprintf(sub, sizeof sub, "(桩长:%.2fm)", info.startDepth);
    p.setFont(imageFont(kTextFontPixels));
    p.drawText(rect(kSectionTitleBand), Qt::AlignHCenter | Qt::AlignVCenter, QString::fromUtf8(sub));
}

void drawTimeScale(QPainter& p, const CInfo& info) {
    const ImageRect& plot = kSectionPlotArea;
    p.setFont(imageFont(kTextFontPixels));
    for (const ScaleLabel& tick : timeScaleTicks(info.sampleInterval, info.sampleLength)) {
        p.drawLine(tick.at, plot.bottom - 1, tick.at, plot.bottom + 4);
        const QString text = QString::fromStdString(tick.text);
        const int w = p.fontMetrics().horizontalAdvance(text);
        const int x = std::clamp(tick.at - w / 2, kSectionBottomBand.left, kSectionBottomBand.right - w);
        p.drawText(QRect(x, plot.bottom + 5, w, kSectionBottomBand.height() - 5),
                   Qt::AlignLeft | Qt::AlignTop, text);
    }
}

void drawTraces(QPainter& p, CSampleDataList& list, const TraceScale& scale) {
    auto guard = list.lock();
    int i = 0;
    QPolygon polygon;
    for (const SamplePoint* pt = list.first; pt; pt = pt->next, ++i) {
        if (pt->samples.empty() || pt->gain == 0.0f) continue;
        const auto line = tracePolyline(pt->samples, traceBaseline(i, scale), scale);
        if (line.size() < 2) continue;
        polygon.resize(static_cast<int>(line.size()));
        for (std::size_t n = 0; n < line.size(); ++n)
            polygon[static_cast<int>(n)] = QPoint(line[n].x, line[n].y);
        p.drawPolyline(polygon);
    }
}

void drawDepthLabels(QPainter& p, const CInfo& info) {
    const ImageRect& plot = kSectionPlotArea;
    p.setFont(imageFont(kTextFontPixels));
    const int h = p.fontMetrics().height();
    for (const ScaleLabel& label : depthLabels(info.startDepth, info.stepMm)) {
        p.drawLine(plot.left - 4, label.at, plot.left, label.at);
        p.drawText(QRect(kDepthLabelLeft, label.at - h / 2, plot.left - 5 - kDepthLabelLeft, h),
                   Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(label.text));
    }
}

}  // namespace

bool renderSectionImage(const CInfo& info, const SectionLists& lists, int slot,
                        const std::filesystem::path& path) {
    if (slot < 0 || slot >= kMaxSections || !info.sections[slot].present) return false;
    const std::string name = path.string();
    if (name.find(".png") == std::string::npos && name.find(".PNG") == std::string::npos) return false;
    const auto scale = traceScale(info.startDepth, info.stepMm);
    // Text needs the platform's font database: without an application there is nothing to draw with.
    if (!scale || !QGuiApplication::instance()) return false;

    QImage image(kSectionImageWidth, kSectionImageHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setRenderHint(QPainter::TextAntialiasing, true);
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(Qt::NoBrush);
        p.setBackgroundMode(Qt::TransparentMode);
        frame(p, kSectionImageFrame);
        frame(p, kSectionPlotArea);
        drawTitle(p, info, info.sections[slot]);
        drawTimeScale(p, info);
        if (CSampleDataList* list = lists[slot]) drawTraces(p, *list, *scale);
        drawDepthLabels(p, info);
    }

    // The encoder follows the extension; the file appears whole or not at all.
    const QString file = QString::fromStdString(name);
    const QByteArray format = QFileInfo(file).suffix().toLower().toLatin1();
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) return false;
    if (!image.save(&out, format.isEmpty() ? nullptr : format.constData())) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

}  // namespace lx9
