#include "report/report_pictures.h"

#include <QFont>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "data/globals.h"
#include "data/run_state.h"
#include "display/curves_geometry.h"
#include "display/curves_view.h"
#include "display/wave_train_geometry.h"
#include "display/wave_train_view.h"

namespace lx9 {
namespace {

// Each picture: a depth ruler, then the view at the size it is laid out for.
constexpr int kRulerWidth = 44;
constexpr int kViewWidth = 400;
constexpr int kViewHeight = 1000;
constexpr double kCanvasWidth = kRulerWidth + kViewWidth;
constexpr double kCanvasHeight = kViewHeight;

// Maps the canvas into `rect`, keeping its proportions, centred.
void fitCanvas(QPainter& p, const QRectF& rect) {
    const double s = std::min(rect.width() / kCanvasWidth, rect.height() / kCanvasHeight);
    p.translate(rect.center().x() - kCanvasWidth * s / 2, rect.center().y() - kCanvasHeight * s / 2);
    p.scale(s, s);
}

// Depth labels left of a view whose depth d lies at y = top + d · height / span: every 1, 2, 5,
// 10 … m, at least 40 pixels apart.
void paintDepthRuler(QPainter& p, double top, double height, double span) {
    if (!(span > 0.0) || height <= 0) return;
    double step = 1.0;
    for (const double s : {1.0, 2.0, 5.0, 10.0, 20.0, 50.0, 100.0}) {
        step = s;
        if (s * height / span >= 40.0) break;
    }
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(16);
    p.setFont(font);
    p.setPen(QPen(Qt::black, 1.0));
    for (double d = 0.0; d <= span + 1e-6; d += step) {
        const double y = top + d * height / span;
        p.drawLine(QPointF(kRulerWidth - 6, y), QPointF(kRulerWidth, y));
        p.drawText(QRectF(0, y - 10, kRulerWidth - 8, 20),
                   Qt::AlignRight | Qt::AlignVCenter | Qt::TextDontClip, QString::number(d, 'f', 0));
    }
}

void frameView(QPainter& p) {
    p.setPen(QPen(Qt::black, 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(kRulerWidth, 0, kViewWidth, kViewHeight));
}

// The wave-train view of one section over the whole pile. The grey form spreads the pile over
// the height; the chosen train form is kept when every level fits its 15-pixel rows.
void paintWaveTrainPicture(QPainter& p, const CInfo& info, const SectionLists& lists, int slot) {
    CInfo shown = info;
    for (int k = 0; k < kMaxSections; ++k)
        shown.sections[k].display = k == slot && info.sections[k].present;
    TrainSource source;
    source.info = &shown;
    source.lists = lists;
    source.testState = makeState(kStateViewing);
    const LevelRange levels = trainLevels(source);
    const int rows = trainRows(trainColumns(kViewWidth, kViewHeight, 1).plotHeight);
    TrainForm form = trainForm(info.waveTrainStyle, info.viewOption);
    if (form == TrainForm::Curves || levels.newest - levels.oldest + 1 > rows) form = TrainForm::Grey;
    TrainPager pager;
    followNewest(pager, levels, rows);
    const WaveTrainSnapshot snapshot = snapshotWaveTrain(source, form, kViewWidth, kViewHeight, pager.first);
    p.save();
    p.translate(kRulerWidth, 0);
    paintWaveTrain(p, layoutWaveTrain(snapshot, form, kViewWidth, kViewHeight, pager.first));
    p.restore();
    frameView(p);
    if (form == TrainForm::Grey) paintDepthRuler(p, 0, kViewHeight, trainDepthSpan(shown));
}

// The depth-curve view of one section, its critical lines those of the report's standard.
void paintCurvesPicture(QPainter& p, const CInfo& info, const SectionLists& lists, const PileAnalysis& pile,
                        int slot) {
    CInfo shown = info;
    shown.standard = pile.standard;
    const CurvesSnapshot snapshot = takeCurvesSnapshot(shown, lists, slot, -1);
    const CurvesGeometry g = curvesGeometry(snapshot, kViewWidth, kViewHeight);
    p.save();
    p.translate(kRulerWidth, 0);
    paintCurves(p, g);
    p.restore();
    frameView(p);
    paintDepthRuler(p, g.plot.top, g.plot.height(), snapshot.pileLength);
}

}  // namespace

const char* reportPictureCaption(ReportPicture picture) {
    return picture == ReportPicture::WaveTrain ? "波列图" : "声速（红）、波幅（蓝）、PSD（绿）曲线";
}

const char* reportPictureName(ReportPicture picture) {
    return picture == ReportPicture::WaveTrain ? "波列图" : "曲线图";
}

double reportPictureAspect(ReportPicture) {
    return kCanvasWidth / kCanvasHeight;
}

void paintReportPicture(QPainter& painter, const QRectF& rect, ReportPicture picture, const CInfo& info,
                        const SectionLists& lists, const PileAnalysis& pile, const SectionAnalysis& section) {
    painter.save();
    fitCanvas(painter, rect);
    painter.fillRect(QRectF(0, 0, kCanvasWidth, kCanvasHeight), Qt::white);
    switch (picture) {
        case ReportPicture::WaveTrain:
            paintWaveTrainPicture(painter, info, lists, section.slot);
            break;
        case ReportPicture::Curves:
            paintCurvesPicture(painter, info, lists, pile, section.slot);
            break;
    }
    painter.restore();
}

}  // namespace lx9
