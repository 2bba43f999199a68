// The workbench's views: the analysis waveform (`Display_WaveAnalysis`) with its two pick
// halves, the wave-train page of one section (`Display_SegAnalysis`), the depth curves with
// their critical lines (or, in the interval view, the grade bar between the interval bounds),
// and the axis strip above
// the curves.
//
// Each view copies what it draws under the list's lock when it is told to redraw, paints into
// an off-screen image outside the lock, and hands the operator's clicks to its owner as plain
// callbacks; the owner (the dialog) asks its form what they mean.
//
// Threading: the user-interface thread only.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "workbench/workbench_data.h"
#include "workbench/workbench_form.h"

namespace lx9 {

class AnalysisWaveView : public QWidget {
  public:
    explicit AnalysisWaveView(QWidget* parent = nullptr);

    // The point shown (none: an empty view) with the texts printed over it.
    void show(const CInfo* info, CSampleDataList* list, int slot, int index, int zoom,
              const PointTexts& texts);
    const QImage& image() const { return image_; }

    std::function<void(PickKind)> hovered;                             // WM_USER+0x6F
    std::function<void(int x, int y, int width, int height)> clicked;  // a hand pick

  protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mousePressEvent(QMouseEvent*) override;

  private:
    void rebuild();

    std::vector<uint16_t> samples_;
    int tIndex_ = -1, ampIndex_ = -1, zoom_ = 1;
    PointTexts texts_;
    QImage image_;
};

class AnalysisTrainView : public QWidget {
  public:
    explicit AnalysisTrainView(QWidget* parent = nullptr);

    // The page of `list` from `top` downwards, `current` highlighted.
    void show(CSampleDataList* list, int top, int rows, int current);
    int rows() const;
    const QImage& image() const { return image_; }

    std::function<void(int y, int rowHeight)> clicked;  // WM_USER+0x70 through the form

  protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent*) override;

  private:
    void rebuild();

    struct Row {
        int index = -1;
        float depth = 0.0f;
        int tIndex = -1;
        std::vector<uint16_t> samples;
    };
    std::vector<Row> rows_;
    int current_ = -1;
    QImage image_;
};

class AnalysisCurvesView : public QWidget {
  public:
    explicit AnalysisCurvesView(QWidget* parent = nullptr);

    // The curves of section `slot` in `mode`, critical lines under `standard`, `current` marked.
    void show(const CInfo* info, const SectionLists& lists, int slot, CurveMode mode, int current);
    // Interval mode: the grade bar between the section's interval bounds and their handles.
    void setIntervalMode(bool on) { interval_ = on; }
    const QImage& image() const { return image_; }
    const CriticalLines& criticals() const { return criticals_; }

    std::function<void(int index)> picked;                      // WM_USER+0x75 / the level
    std::function<void(bool upper, QPoint global)> limitAsked;  // double click on a handle half

  protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;

  private:
    void rebuild();
    QRect handleColumn() const;

    SectionCurves curves_;
    CriticalLines criticals_;
    CurveMode mode_ = CurveMode::Velocity;
    int current_ = -1;
    float pileLength_ = 0.0f;
    int first_ = 0, last_ = -1;
    bool interval_ = false;
    bool guangdong_ = false;
    QImage image_;
};

// The strip above the curves: unit and tick labels; a tap changes the curve mode.
class AxisStripView : public QWidget {
  public:
    explicit AxisStripView(QWidget* parent = nullptr);
    void show(CurveMode mode);
    std::function<void()> tapped;

  protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;

  private:
    CurveMode mode_ = CurveMode::Velocity;
};

}  // namespace lx9
