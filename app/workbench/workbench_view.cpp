#include "workbench/workbench_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cstdio>

#include "workbench/workbench_geometry.h"

namespace lx9 {
namespace {

QFont viewFont(const char* family, int pixels) {
    QFont f(QString::fromUtf8(family));
    f.setPixelSize(pixels);
    return f;
}

void polyline(QPainter& p, const std::vector<PlotPoint>& points) {
    if (points.size() < 2) return;
    QPainterPath path(QPointF(points[0].x, points[0].y));
    for (size_t i = 1; i < points.size(); ++i)
        path.lineTo(points[i].x, points[i].y);
    p.drawPath(path);
}

void blit(QWidget* w, const QImage& image) {
    QPainter p(w);
    p.drawImage(0, 0, image);
}

const QColor kGradeColours[4] = {QColor(128, 128, 128), QColor(255, 255, 0), QColor(128, 64, 64),
                                 QColor(255, 0, 0)};

}  // namespace

// --- Waveform.

AnalysisWaveView::AnalysisWaveView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
}

void AnalysisWaveView::show(const CInfo* info, CSampleDataList* list, int slot, int index, int zoom,
                            const PointTexts& texts) {
    (void)info;
    (void)slot;
    samples_.clear();
    tIndex_ = ampIndex_ = -1;
    zoom_ = zoom;
    texts_ = texts;
    if (list && index >= 0) {
        auto guard = list->lock();
        if (const SamplePoint* p = list->pointAt(index)) {
            samples_.assign(p->samples.begin(), p->samples.end());
            tIndex_ = p->tIndex;
            ampIndex_ = p->ampIndex;
        }
    }
    rebuild();
    update();
}

void AnalysisWaveView::resizeEvent(QResizeEvent*) {
    rebuild();
}

void AnalysisWaveView::rebuild() {
    if (width() <= 0 || height() <= 0) return;
    image_ = QImage(size(), QImage::Format_RGB32);
    image_.fill(Qt::white);
    QPainter p(&image_);
    const int w = width(), h = height();
    // Background: the halves and the zero line.
    p.fillRect(0, 0, w, h / 2, QColor(250, 250, 240));
    p.setPen(QPen(QColor(200, 200, 200), 1, Qt::DashLine));
    p.drawLine(0, h / 2, w, h / 2);
    p.setPen(QPen(QColor(0, 0, 0), 1));
    p.drawRect(0, 0, w - 1, h - 1);
    if (!samples_.empty()) {
        // Trace.
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(QPen(QColor(0, 0, 160), 1));
        polyline(p, waveTrace(samples_.data(), static_cast<int>(samples_.size()), 0, 0, w, h, zoom_));
        p.setRenderHint(QPainter::Antialiasing, false);
        // Marks: the arrival in the upper half, the amplitude reading in the lower.
        const int n = static_cast<int>(samples_.size());
        if (tIndex_ >= 0) {
            const int x = static_cast<int>(sampleX(tIndex_, w, n));
            p.setPen(QPen(QColor(255, 0, 0), 2));
            p.drawLine(x, 0, x, h / 2);
        }
        if (ampIndex_ >= 0) {
            const int x = static_cast<int>(sampleX(ampIndex_, w, n));
            p.setPen(QPen(QColor(0, 150, 0), 2));
            p.drawLine(x, h / 2, x, h);
        }
    }
    // Texts.
    p.setPen(Qt::black);
    p.setFont(viewFont("宋体", 14));
    p.drawText(QRect(8, 6, w - 16, 20), Qt::AlignLeft | Qt::TextDontClip,
               QString::fromStdString(texts_.caption));
    p.drawText(QRect(8, 28, w / 2, 80), Qt::AlignLeft | Qt::TextDontClip,
               QString::fromStdString(texts_.measures));
    p.drawText(QRect(w / 2, 28, w / 2 - 8, 80), Qt::AlignLeft | Qt::TextDontClip,
               QString::fromStdString(texts_.geometry));
}

void AnalysisWaveView::paintEvent(QPaintEvent*) {
    blit(this, image_);
}

void AnalysisWaveView::mouseMoveEvent(QMouseEvent* e) {
    if (hovered) hovered(pickHalfAt(e->position().toPoint().y(), height()));
}

void AnalysisWaveView::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && clicked) {
        const QPoint at = e->position().toPoint();
        clicked(at.x(), at.y(), width(), height());
    }
}

// --- Wave train.

AnalysisTrainView::AnalysisTrainView(QWidget* parent) : QWidget(parent) {}

int AnalysisTrainView::rows() const {
    return trainRows(height());
}

void AnalysisTrainView::show(CSampleDataList* list, int top, int rows, int current) {
    rows_.clear();
    current_ = current;
    if (list) {
        auto guard = list->lock();
        for (int r = 0; r < rows; ++r) {
            const SamplePoint* p = list->pointAt(top - r);
            if (!p) break;
            rows_.push_back(
                {top - r, p->depth, p->tIndex, std::vector<uint16_t>(p->samples.begin(), p->samples.end())});
        }
    }
    rebuild();
    update();
}

void AnalysisTrainView::resizeEvent(QResizeEvent*) {
    rebuild();
}

void AnalysisTrainView::rebuild() {
    if (width() <= 0 || height() <= 0) return;
    image_ = QImage(size(), QImage::Format_RGB32);
    image_.fill(Qt::white);
    QPainter p(&image_);
    const int w = width(), label = 52, rh = kTrainRowHeight;
    p.setFont(viewFont("Arial", 11));
    for (size_t r = 0; r < rows_.size(); ++r) {
        const Row& row = rows_[r];
        const int top = static_cast<int>(r) * rh;
        if (row.index == current_) p.fillRect(0, top, w, rh, QColor(255, 240, 180));
        p.setPen(QColor(90, 90, 90));
        char depth[32];
        std::snprintf(depth, sizeof depth, "%.2f", static_cast<double>(row.depth));
        p.drawText(QRect(2, top, label - 4, rh), Qt::AlignRight | Qt::AlignVCenter, depth);
        p.setPen(QPen(QColor(0, 0, 0), 1));
        polyline(p, waveTrace(row.samples.data(), static_cast<int>(row.samples.size()), label, top + 1,
                              w - label - 2, rh - 2, 1));
        if (row.tIndex >= 0 && !row.samples.empty()) {
            const int x = label + static_cast<int>(sampleX(row.tIndex, w - label - 2,
                                                           static_cast<int>(row.samples.size())));
            p.setPen(QPen(QColor(255, 0, 0), 2));
            p.drawLine(x, top + 2, x, top + rh - 2);
        }
    }
    p.setPen(Qt::black);
    p.drawRect(0, 0, w - 1, height() - 1);
}

void AnalysisTrainView::paintEvent(QPaintEvent*) {
    blit(this, image_);
}

void AnalysisTrainView::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && clicked) clicked(e->position().toPoint().y(), kTrainRowHeight);
}

// --- Depth curves.

AnalysisCurvesView::AnalysisCurvesView(QWidget* parent) : QWidget(parent) {}

void AnalysisCurvesView::show(const CInfo* info, const SectionLists& lists, int slot, CurveMode mode,
                              int current) {
    mode_ = mode;
    current_ = current;
    curves_ = {};
    criticals_ = {};
    pileLength_ = info ? info->pileLength : 0.0f;
    guangdong_ = info && info->standard == kStandardGuangdong;
    first_ = 0;
    last_ = -1;
    if (info && slot >= 0 && slot < kMaxSections && lists[slot]) {
        curves_ = sectionCurves(*info, lists, slot);
        criticals_ = sectionCriticals(*info, lists, slot, info->standard, curves_);
        auto guard = lists[slot]->lock();
        first_ = std::max(0, lists[slot]->intervalFirst);
        last_ = std::min<int>(lists[slot]->intervalLast, lists[slot]->count - 1);
    }
    rebuild();
    update();
}

void AnalysisCurvesView::resizeEvent(QResizeEvent*) {
    rebuild();
}

QRect AnalysisCurvesView::handleColumn() const {
    return QRect(width() * 3 / 4, 0, width() / 4, height());
}

void AnalysisCurvesView::rebuild() {
    if (width() <= 0 || height() <= 0) return;
    image_ = QImage(size(), QImage::Format_RGB32);
    image_.fill(Qt::white);
    QPainter p(&image_);
    const double w = width(), h = height();
    const auto& pts = curves_.points;
    auto y = [&](double depth) { return depthY(depth, h, pileLength_); };
    if (interval_) {
        // The grade bar between the bounds, the bounds' lines and their handles.
        const double barLeft = w / 4, barWidth = w / 2;
        for (int i = first_; i <= last_ && i < static_cast<int>(pts.size()); ++i) {
            const int g = std::clamp(pts[static_cast<size_t>(i)].grade, 1, 4);
            const double yc = y(pts[static_cast<size_t>(i)].depth);
            const double half = std::max(1.0, y(0.025 * 2) / 2);
            p.fillRect(QRectF(barLeft, yc - half, barWidth, 2 * half), kGradeColours[g - 1]);
        }
        p.setPen(QPen(Qt::black, 2));
        for (int bound : {first_, last_}) {
            if (bound < 0 || bound >= static_cast<int>(pts.size())) continue;
            const double yb = y(pts[static_cast<size_t>(bound)].depth);
            p.drawLine(QPointF(0, yb), QPointF(w, yb));
            p.fillRect(QRectF(barLeft + barWidth + 4, yb - 5, w / 4 - 8, 10), Qt::black);
        }
    } else {
        std::vector<PlotPoint> line;
        if (mode_ == CurveMode::Psd) {
            for (const PsdValue& k : curves_.psd)
                line.push_back({curveX(mode_, k.value, w), y(k.depth)});
        } else {
            for (size_t i = pts.size(); i-- > 0;) {
                if (!pts[i].hasWave) continue;
                const double v = mode_ == CurveMode::Velocity ? pts[i].velocity / 1e6 : pts[i].amplitudeDb;
                line.push_back({curveX(mode_, v, w), y(pts[i].depth)});
            }
        }
        const QColor colour = mode_ == CurveMode::Velocity    ? QColor(255, 0, 0)
                              : mode_ == CurveMode::Amplitude ? QColor(0, 0, 255)
                                                              : QColor(0, 160, 0);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(QPen(colour, 1));
        polyline(p, line);
        p.setRenderHint(QPainter::Antialiasing, false);
        // The critical line (a code such as −998 lands off the plot, as it always did).
        if (mode_ != CurveMode::Psd) {
            const double value =
                mode_ == CurveMode::Velocity ? criticals_.velocityMmS / 1e6 : criticals_.amplitudeDb;
            const double x = curveX(mode_, value, w);
            p.setPen(QPen(colour, 1, Qt::DashLine));
            p.drawLine(QPointF(x, 0), QPointF(x, h));
        }
    }
    if (current_ >= 0 && current_ < static_cast<int>(pts.size())) {
        p.setPen(QPen(QColor(255, 0, 0), 1));
        const double yc = y(pts[static_cast<size_t>(current_)].depth);
        p.drawLine(QPointF(0, yc), QPointF(w, yc));
    }
    p.setPen(Qt::black);
    p.drawRect(0, 0, width() - 1, height() - 1);
}

void AnalysisCurvesView::paintEvent(QPaintEvent*) {
    blit(this, image_);
}

void AnalysisCurvesView::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !picked) return;
    const QPoint at = e->position().toPoint();
    if (interval_ && handleColumn().contains(at)) return;
    const int index = pointNearestY(curves_.points, at.y(), height(), pileLength_);
    if (index >= 0) picked(index);
}

void AnalysisCurvesView::mouseDoubleClickEvent(QMouseEvent* e) {
    const QPoint at = e->position().toPoint();
    if (!interval_ || !limitAsked || !handleColumn().contains(at)) return;
    limitAsked(at.y() < height() / 2, mapToGlobal(at));
}

// --- Axis strip.

AxisStripView::AxisStripView(QWidget* parent) : QWidget(parent) {}

void AxisStripView::show(CurveMode mode) {
    mode_ = mode;
    update();
}

void AxisStripView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(236, 236, 236));
    const AxisStrip strip = axisStrip(mode_);
    const double w = width();
    p.setPen(Qt::black);
    p.setFont(viewFont("Times New Roman", 14));
    for (int tick : strip.ticks) {
        const double x = curveX(mode_, tick, w);
        p.drawLine(QPointF(x, height() - 6), QPointF(x, height()));
        const int labelX = std::clamp(static_cast<int>(x) - 20, 0, width() - 40);
        p.drawText(QRect(labelX, height() - 24, 40, 16), Qt::AlignCenter | Qt::TextDontClip,
                   QString::number(tick));
    }
    const char* names[] = {"H-Vp", "H-A", "PSD"};
    p.setFont(viewFont("宋体", 13));
    p.drawText(
        QRect(4, 2, width() - 8, 16), Qt::AlignLeft | Qt::TextDontClip,
        QString::fromUtf8(names[static_cast<int>(mode_) - 1]) + " " + QString::fromStdString(strip.unit));
}

void AxisStripView::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && tapped) tapped();
}

}  // namespace lx9
