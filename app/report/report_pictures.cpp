#include "report/report_pictures.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cstdio>

#include "data/sample_data_list.h"
#include "upload/section_image_geometry.h"

namespace lx9 {
namespace {

QFont pictureFont(const char* family, double pixels) {
    QFont font(QString::fromUtf8(family));
    font.setPixelSize(std::max(1, static_cast<int>(pixels + 0.5)));
    return font;
}

QRectF qrect(const ImageRect& r) {
    return QRectF(r.left, r.top, r.width(), r.height());
}

// Maps a picture drawn on a fixed canvas into `rect`, keeping its proportions, centred.
void fitCanvas(QPainter& p, const QRectF& rect, double width, double height) {
    const double s = std::min(rect.width() / width, rect.height() / height);
    p.translate(rect.center().x() - width * s / 2, rect.center().y() - height * s / 2);
    p.scale(s, s);
}

// ---- wave train: the upload's wave-train image, on its own canvas ----

void paintWaveTrain(QPainter& p, const CInfo& info, const SectionLists& lists, int slot) {
    const ImageRect& plot = kSectionPlotArea;
    const QPen pen(Qt::black, 1.0);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.fillRect(qrect(kSectionImageFrame), Qt::white);
    p.drawRect(qrect(kSectionImageFrame).adjusted(0.5, 0.5, -0.5, -0.5));
    p.drawRect(qrect(plot).adjusted(0.5, 0.5, -0.5, -0.5));

    p.setFont(pictureFont("Times New Roman", kTitleFontPixels));
    p.drawText(QRectF(plot.left, 6, plot.width(), kSectionTitleBand.top - 6), Qt::AlignCenter,
               QString::fromStdString(info.sections[slot].name) + QStringLiteral("剖面"));
    char sub[64];
    std::snprintf(sub, sizeof sub, "(桩长:%.2fm)", info.startDepth);
    p.setFont(pictureFont("Times New Roman", kTextFontPixels));
    p.drawText(qrect(kSectionTitleBand), Qt::AlignCenter, QString::fromUtf8(sub));

    for (const ScaleLabel& tick : timeScaleTicks(info.sampleInterval, info.sampleLength)) {
        p.drawLine(QPointF(tick.at, plot.bottom - 1), QPointF(tick.at, plot.bottom + 4));
        p.drawText(QRectF(tick.at - 40, plot.bottom + 5, 80, kSectionBottomBand.height() - 5),
                   Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip, QString::fromStdString(tick.text));
    }
    const double h = p.fontMetrics().height();
    for (const ScaleLabel& label : depthLabels(info.startDepth, info.stepMm)) {
        p.drawLine(QPointF(plot.left - 4, label.at), QPointF(plot.left, label.at));
        p.drawText(QRectF(kDepthLabelLeft, label.at - h / 2, plot.left - 5 - kDepthLabelLeft, h),
                   Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(label.text));
    }

    const auto scale = traceScale(info.startDepth, info.stepMm);
    CSampleDataList* list = lists[slot];
    if (!scale || !list) return;
    // A deep pile at a fine step puts many levels on one pixel row of the canvas: a trace every
    // second row (a quarter millimetre on the page) is all the eye can take, and keeps the PDF small.
    constexpr double kTraceGap = 2.0;
    p.setPen(QPen(Qt::black, 0.6));
    auto guard = list->lock();
    double lastDrawn = 1e9;
    QPolygonF line;
    int i = 0;
    for (const SamplePoint* pt = list->first; pt; pt = pt->next, ++i) {
        if (pt->samples.empty() || pt->gain == 0.0f) continue;
        const double y0 = traceBaseline(i, *scale);
        if (std::abs(lastDrawn - y0) < kTraceGap) continue;
        const auto points = tracePolyline(pt->samples, y0, *scale);
        if (points.size() < 2) continue;
        lastDrawn = y0;
        line.resize(static_cast<int>(points.size()));
        for (size_t n = 0; n < points.size(); ++n)
            line[static_cast<int>(n)] = QPointF(points[n].x, points[n].y);
        p.drawPolyline(line);
    }
}

// ---- depth curves: velocity, amplitude and PSD against depth with the critical lines ----

constexpr double kCurvesWidth = 562, kCurvesHeight = 1090;
constexpr QRectF kCurvesPlot(45, 90, 440, 960);
constexpr QRectF kGradePanel(495, 90, 62, 960);

void paintCurves(QPainter& p, const CInfo& info, const SectionLists& lists, const PileAnalysis& pile,
                 const SectionAnalysis& s) {
    const QRectF plot = kCurvesPlot;
    p.fillRect(QRectF(0, 0, kCurvesWidth, kCurvesHeight), Qt::white);
    p.setPen(QPen(Qt::black, 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, kCurvesWidth - 1, kCurvesHeight - 1));
    p.drawRect(plot);
    p.setFont(pictureFont("Times New Roman", kTitleFontPixels));
    p.drawText(QRectF(plot.left(), 6, plot.width(), 44), Qt::AlignCenter,
               QString::fromStdString(s.name) + QStringLiteral("剖面"));
    p.setFont(pictureFont("Times New Roman", kTextFontPixels));

    const double length = info.pileLength > 0 ? info.pileLength : std::max(1.0f, info.startDepth);
    auto yOf = [&](double depth) { return plot.top() + depth * plot.height() / length; };
    auto vx = [&](double kms) { return plot.left() + kms * plot.width() / 6.0; };
    auto ax = [&](double db) { return plot.right() - db * plot.width() / 150.0; };
    auto px = [&](double psd) { return plot.left() + psd * plot.width() / 20000.0; };

    // Axis words and scales.
    const double h = p.fontMetrics().height();
    p.drawText(QRectF(plot.left(), 50, plot.width(), 40), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("声速 0–6 km/s"));
    p.drawText(QRectF(plot.left(), 50, plot.width(), 40), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("波幅 150–0 dB"));
    p.drawText(QRectF(plot.left(), plot.bottom() + 5, plot.width(), 35), Qt::AlignLeft | Qt::AlignTop,
               QStringLiteral("PSD 0–20000 µs²/m"));
    for (const ScaleLabel& label : depthLabels(static_cast<float>(length), info.stepMm)) {
        // depthLabels places labels on the upload canvas' level grid; read the depth back from the text.
        const double depth = std::atof(label.text.c_str());
        const double y = yOf(depth);
        p.drawLine(QPointF(plot.left() - 4, y), QPointF(plot.left(), y));
        p.drawText(QRectF(kDepthLabelLeft, y - h / 2, plot.left() - 5 - kDepthLabelLeft, h),
                   Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(label.text));
    }

    std::vector<PointValues> values;
    if (CSampleDataList* list = lists[s.slot]) values = sectionPointValues(info, *list, s.slot, pile.graded);
    p.save();
    p.setClipRect(plot);
    QPolygonF v, a, k;
    for (const PointValues& pv : values) {
        if (!pv.hasWave) continue;
        v << QPointF(vx(pv.velocity), yOf(pv.depth));
        a << QPointF(ax(pv.amplitudeDb), yOf(pv.depth));
    }
    for (const PsdValue& q : s.psd)
        k << QPointF(px(q.value), yOf(q.depth));
    p.setPen(QPen(QColor(0, 160, 0), 0.8));
    p.drawPolyline(k);
    p.setPen(QPen(QColor(255, 0, 0), 0.8));
    p.drawPolyline(v);
    if (criticalStatus(s.criticalVelocity) == CriticalStatus::Value) {
        p.drawLine(QPointF(vx(s.criticalVelocity), plot.top()),
                   QPointF(vx(s.criticalVelocity), plot.bottom()));
    }
    p.setPen(QPen(QColor(0, 0, 255), 0.8));
    p.drawPolyline(a);
    if (criticalStatus(s.criticalAmplitudeDb) == CriticalStatus::Value) {
        p.drawLine(QPointF(ax(s.criticalAmplitudeDb), plot.top()),
                   QPointF(ax(s.criticalAmplitudeDb), plot.bottom()));
    }
    p.restore();

    if (!pile.graded) return;
    // Guangdong: one grade per point, Ⅰ at the right edge of the panel to Ⅳ at its left.
    const QRectF panel = kGradePanel;
    p.setPen(QPen(QColor(128, 128, 128), 1.0));
    p.drawLine(panel.topLeft(), panel.bottomLeft());
    p.drawLine(panel.topRight(), panel.bottomRight());
    p.setPen(QPen(Qt::black, 1.0));
    p.drawText(QRectF(panel.left(), 50, panel.width(), 40), Qt::AlignCenter, QStringLiteral("类别"));
    QPolygonF g;
    for (const PointValues& pv : values) {
        if (pv.grade >= 1 && pv.grade <= 4)
            g << QPointF(panel.left() + panel.width() / 4 * (4 - pv.grade) + panel.width() / 8,
                         yOf(pv.depth));
    }
    p.setPen(QPen(Qt::black, 0.8));
    p.drawPolyline(g);
}

}  // namespace

const char* reportPictureCaption(ReportPicture picture) {
    return picture == ReportPicture::WaveTrain ? "波列图" : "声速、波幅、PSD 曲线";
}

double reportPictureAspect(ReportPicture picture) {
    return picture == ReportPicture::WaveTrain ? double(kSectionImageWidth) / kSectionImageHeight
                                               : kCurvesWidth / kCurvesHeight;
}

void paintReportPicture(QPainter& painter, const QRectF& rect, ReportPicture picture, const CInfo& info,
                        const SectionLists& lists, const PileAnalysis& pile, const SectionAnalysis& section) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    switch (picture) {
        case ReportPicture::WaveTrain:
            fitCanvas(painter, rect, kSectionImageWidth, kSectionImageHeight);
            paintWaveTrain(painter, info, lists, section.slot);
            break;
        case ReportPicture::Curves:
            fitCanvas(painter, rect, kCurvesWidth, kCurvesHeight);
            paintCurves(painter, info, lists, pile, section);
            break;
    }
    painter.restore();
}

}  // namespace lx9
