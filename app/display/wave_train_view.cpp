#include "display/wave_train_view.h"

#include <QFont>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>

#include <mutex>

#include "analysis/algorithm.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "display/panel_view.h"

namespace lx9 {
namespace {

QColor rgb(uint32_t c) {
    return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

void polyline(QPainter& p, const std::vector<ViewPoint>& points, QPolygon& scratch) {
    if (points.size() < 2) return;
    scratch.resize(static_cast<int>(points.size()));
    for (size_t i = 0; i < points.size(); ++i)
        scratch[static_cast<int>(i)] = QPoint(points[i].x, points[i].y);
    p.drawPolyline(scratch);
}

void span(QPainter& p, const HorizontalSpan& s, const QColor& colour) {
    p.fillRect(QRect(s.x0, s.y, s.x1 - s.x0 + 1, 1), colour);
}

}  // namespace

void paintWaveTrain(QPainter& p, const WaveTrainPicture& pic) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setClipRect(QRect(0, 0, pic.width, pic.height));
    // Background.
    p.fillRect(QRect(0, 0, pic.width, pic.height), rgb(pic.background));
    const TrainColumns& cols = pic.columns;
    if (!pic.grey.empty()) {
        const QImage grey(reinterpret_cast<const uchar*>(pic.grey.data()), cols.plotWidth, cols.plotHeight,
                          cols.plotWidth * 4, QImage::Format_RGB32);
        p.drawImage(QPoint(0, 0), grey);
    }
    // Traces.
    QPolygon scratch;
    const QColor red = rgb(kTrainRed);
    p.setPen(QPen(red, 0));
    for (const auto& wave : pic.waves)
        polyline(p, wave, scratch);
    for (const HorizontalSpan& s : pic.dashes)
        span(p, s, red);
    for (const auto& curve : pic.velocity)
        polyline(p, curve, scratch);
    p.setPen(QPen(rgb(kTrainBlue), 0));
    for (const auto& curve : pic.amplitude)
        polyline(p, curve, scratch);
    // Marks.
    p.setPen(QPen(rgb(pic.grid), 0));
    for (int x : pic.columnEdges)
        p.drawLine(x, 0, x, cols.plotHeight - 1);
    for (const VerticalLine& line : pic.criticalLines) {
        p.setPen(QPen(rgb(line.rgb), 0));
        p.drawLine(line.x, line.y0, line.x, line.y1);
    }
    for (const HorizontalSpan& s : pic.selected)
        span(p, s, Qt::black);
    if (pic.marker) span(p, *pic.marker, red);
    // Text.
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    font.setWeight(QFont::Normal);
    p.setFont(font);
    p.setPen(rgb(pic.grid));
    for (const TrainLabel& label : pic.names)
        p.drawText(QRect(label.x, label.y, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                   QString::fromStdString(label.text));
    p.restore();
}

QImage renderWaveTrainImage(const WaveTrainPicture& pic) {
    QImage image;
    renderWaveTrainImage(pic, image);
    return image;
}

void renderWaveTrainImage(const WaveTrainPicture& pic, QImage& image) {
    const QSize size(std::max(pic.width, 1), std::max(pic.height, 1));
    if (image.size() != size || image.format() != QImage::Format_RGB32)
        image = QImage(size, QImage::Format_RGB32);
    QPainter p(&image);
    paintWaveTrain(p, pic);
}

// ---------------------------------------------------------------- widget

WaveTrainView::WaveTrainView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void WaveTrainView::setSource(const CInfo* info, SectionLists lists, uint32_t testState) {
    externalInfo_ = info;
    externalLists_ = lists;
    externalState_ = testState;
    pager_ = {};
    picked_.reset();
}

void WaveTrainView::setNewestLevelSource(std::function<std::optional<int32_t>()> source) {
    newestSource_ = std::move(source);
}

int WaveTrainView::rows() const {
    return trainRows(trainColumns(width(), height(), 1).plotHeight);
}

TrainSource WaveTrainView::currentSource() {
    TrainSource source;
    if (externalInfo_) {
        info_ = *externalInfo_;
        source.lists = externalLists_;
        state_ = externalState_;
    } else {
        info_ = sharedCurrentInfo().copy();
        source.lists = globalSectionLists();
        state_ = testState.load();
    }
    source.info = &info_;
    source.testState = state_;
    source.ringSize = externalInfo_ ? 0 : trainRingSize(info_, state_, maxPointCount.load());
    if (newestSource_ && source.ringSize > 0) source.newestLevel = newestSource_();
    return source;
}

void WaveTrainView::redraw(uint32_t parts) {
    if ((parts & (kViewWaveTrain | kViewReset)) == 0) return;
    if (parts & kViewReset) {
        pager_ = {};
        picked_.reset();
    }
    const TrainSource source = currentSource();
    form_ = trainForm(info_.waveTrainStyle, info_.viewOption);
    followNewest(pager_, trainLevels(source), rows());
    snapshotWaveTrain(source, form_, width(), height(), pager_.first, snapshot_);
    paintImages();
}

void WaveTrainView::paintImages() {
    const int w = std::max(width(), 1);
    const int h = std::max(height(), 1);
    if (form_ == TrainForm::Dash || form_ == TrainForm::Miniature) {
        // Both renderings of the train from one snapshot: a switch is a blit.
        layoutWaveTrain(snapshot_, TrainForm::Dash, w, h, pager_.first, picked_, picture_);
        renderWaveTrainImage(picture_, dashImage_);
        layoutWaveTrain(snapshot_, TrainForm::Miniature, w, h, pager_.first, picked_, picture_);
    } else {
        dashImage_ = QImage();
        layoutWaveTrain(snapshot_, form_, w, h, pager_.first, picked_, picture_);
    }
    renderWaveTrainImage(picture_, mainImage_);
    update();
}

const QImage& WaveTrainView::shownImage() const {
    return form_ == TrainForm::Dash && !dashImage_.isNull() ? dashImage_ : mainImage_;
}

bool WaveTrainView::page(int direction) {
    const std::optional<int32_t> level = pageTrain(pager_, snapshot_.levels, rows(), direction);
    if (!level) return false;
    redraw(kViewWaveTrain);
    emit levelSelected(*level);
    return true;
}

bool WaveTrainView::pageForward() {
    return page(+1);
}
bool WaveTrainView::pageBack() {
    return page(-1);
}

bool WaveTrainView::pickingEnabled() const {
    return pickingForced_ ? *pickingForced_ : trainPickingEnabled(state_);
}

void WaveTrainView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QImage& image = shownImage();
    if (image.isNull()) {
        p.fillRect(rect(), rgb(recordColourRgb(info_.colours[1])));
        return;
    }
    p.drawImage(QPoint(0, 0), image);
}

void WaveTrainView::resizeEvent(QResizeEvent*) {
    redraw(kViewWaveTrain);
}

void WaveTrainView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pickingEnabled()) return;
    const QPoint at = event->position().toPoint();
    const auto level = pickTrainLevel(snapshot_, form_, width(), height(), pager_.first, at.x(), at.y());
    if (!level) return;
    picked_ = level;
    paintImages();
    emit pointPicked(*level);
    emit levelSelected(*level);
}

}  // namespace lx9
