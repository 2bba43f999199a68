// The depth curves of one section (CDisplay_VAHeight) with its interval mode, and the painting
// that draws their geometry on any QPainter.
//
// Threading: the user-interface thread only. A redraw copies the record and the section's points
// under their locks, asks the standard's rules for the critical values after releasing them
// (curves_geometry.h), and paints.
#pragma once

#include <QImage>
#include <QPainter>
#include <QWidget>

#include "display/curves_geometry.h"
#include "display/panel_view.h"
#include "display/view_source.h"

namespace lx9 {

// Layers: background, PSD, amplitude, velocity, the critical lines, the grade panel, the
// current point.
void paintCurves(QPainter& p, const CurvesGeometry& g);
// White, the grade bands, the current point's marker, the limit lines and their handles.
void paintInterval(QPainter& p, const IntervalGeometry& g);

class CurvesView : public QWidget, public PanelView {
    Q_OBJECT

  public:
    explicit CurvesView(QWidget* parent);

    // Redraws for kViewCurves and kViewReset, once per paint however many requests arrived.
    void redraw(uint32_t parts) override;

    void setSource(const ViewSource& source);
    // The section drawn (slot 0..5); −1, the default, follows the first displayed section.
    void setSection(int slot);
    int section() const { return slot_; }
    void setVelocityCurve(bool on);
    void setIntervalMode(bool on);
    bool intervalMode() const { return intervalMode_; }
    // The cut limits as last entered (heights in m, point indices); the view keeps them for the
    // limit dialogs and tells the parent the upper one's index.
    void setIntervalLimits(double upperHeight, int upperIndex, double lowerHeight, int lowerIndex);
    double upperLimitHeight() const { return upperHeight_; }
    double lowerLimitHeight() const { return lowerHeight_; }

    const QImage& image();
    const CurvesSnapshot& snapshot() const { return snapshot_; }
    // The slot the next redraw draws.
    int drawnSection() const;

  signals:
    // A click picked point `index` of the drawn section.
    void pointPicked(int index);
    // Before the velocity curve is drawn: the axis maxima (dB and km/s), for the axis strips.
    void axisMaxima(double amplitudeMaxDb, double velocityMaxKmS);
    // Interval mode: a click in the plot picked a level, or the upper limit changed.
    void intervalLevelPicked(int index);
    // Interval mode: a double-click in the handle column asks for a limit dialog at `at`
    // (global position) with the limit's last height.
    void upperLimitRequested(QPoint at, double height);
    void lowerLimitRequested(QPoint at, double height);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    void rebuild();

    ViewSource source_;
    int slot_ = -1;
    bool velocityCurve_ = true;
    bool intervalMode_ = false;
    double upperHeight_ = 0.0;
    double lowerHeight_ = 0.0;
    int upperIndex_ = -1;
    int lowerIndex_ = -1;
    bool dirty_ = true;
    CurvesSnapshot snapshot_;
    CurvesGeometry curves_;
    IntervalGeometry interval_;
    QImage image_;
};

}  // namespace lx9
