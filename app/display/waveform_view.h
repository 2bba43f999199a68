// The waveform view of the console's upper (CDisplay_Wave) and lower (CDisplay_Assist) wave
// panels, and the painting that draws its geometry on any QPainter.
//
// Threading: the user-interface thread only. A redraw copies the record and the points under
// their locks (waveform_geometry.h) and paints outside them.
#pragma once

#include <QImage>
#include <QPainter>
#include <QWidget>
#include <optional>

#include "display/panel_view.h"
#include "display/view_source.h"
#include "display/waveform_geometry.h"

namespace lx9 {

// Layers: background, grid, traces, marks, then the texts.
void paintWaveform(QPainter& p, const WaveformGeometry& g);

class WaveformView : public QWidget, public PanelView {
    Q_OBJECT

  public:
    explicit WaveformView(QWidget* parent, WavePanel panel = WavePanel::Upper);

    // Redraws for kViewWaveform, kViewPointInfo and kViewReset; the work is done once per paint,
    // however many requests arrived since the last one.
    void redraw(uint32_t parts) override;

    void setSource(const ViewSource& source);
    void setWaveTrainShown(bool shown);
    // The pointer readout: while on, moving or pressing over the plot shows the measures at the
    // sample under the pointer.
    void setReadoutFollowsPointer(bool on);
    bool readoutFollowsPointer() const { return followPointer_; }
    WavePanel panel() const { return panel_; }

    // The picture as it stands (rebuilt first when a redraw is pending).
    const QImage& image();
    const WaveformGeometry& geometry() const { return geometry_; }

  signals:
    // The measures under the pointer (slot 0..5, sample index) while the readout follows it.
    void pointerReadout(int slot, int sampleIndex, float timeUs, float amplitude, float velocityMmS);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    void rebuild();
    void pointerAt(int x);

    WavePanel panel_;
    ViewSource source_;
    bool waveTrainShown_ = false;
    bool followPointer_ = false;
    std::optional<int> pointerX_;
    bool dirty_ = true;
    WaveformGeometry geometry_;
    QImage image_;
};

}  // namespace lx9
