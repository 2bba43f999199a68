// `CDisplay_Segment`, the console's wave-train panel: paints a WaveTrainPicture (wave_train_geometry.h)
// in layers into off-screen images and blits the one the settings choose. Both wave-train forms
// are painted at every redraw, so switching between dash line and miniature waves is a blit.
//
// paintWaveTrain draws a picture on any QPainter: the widget's images, `lx9 render` PNGs and
// report pages (as vectors, the grey image excepted).
//
// Threading contract: the user-interface thread only. A redraw copies the record under its lock
// (sharedCurrentInfo()) and each list under its own lock (snapshotWaveTrain) and paints outside
// them.
#pragma once

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>

#include "data/run_state.h"
#include "display/panel_view.h"
#include "display/wave_train_geometry.h"

class QPainter;

namespace lx9 {

// Paints the picture with its top-left corner at the painter's origin.
void paintWaveTrain(QPainter& painter, const WaveTrainPicture& picture);

// A picture of `form` on a new image of its size (what `lx9 render` and the screenshots save).
QImage renderWaveTrainImage(const WaveTrainPicture& picture);
// The same into `image`, reused when it already has the picture's size.
void renderWaveTrainImage(const WaveTrainPicture& picture, QImage& image);

class WaveTrainView : public QWidget, public PanelView {
    Q_OBJECT

  public:
    explicit WaveTrainView(QWidget* parent = nullptr);

    // Redraws on kViewWaveTrain; kViewReset (new lists) also forgets the paging and the pick.
    void redraw(uint32_t parts) override;

    // WM_USER+109 / +110: one screen towards newer / older points. False when refused (at the
    // end, no points); otherwise redraws and emits levelSelected with the absolute level.
    bool pageForward();
    bool pageBack();

    // Draw a record and lists other than the program's globals (a file opened elsewhere); null
    // goes back to currentInfo and sectionLists. The record and lists must outlive the view.
    void setSource(const CInfo* info, SectionLists lists, uint32_t testState);
    // The newest absolute level of a real-time test (the worker's levels stored − 1); without it
    // the view assumes the ring has not come round.
    void setNewestLevelSource(std::function<std::optional<int32_t>()> source);
    // Force picking on or off; none: allowed by the test state (trainPickingEnabled).
    void setPickingEnabled(std::optional<bool> enabled) { pickingForced_ = enabled; }

    TrainForm form() const { return form_; }
    int32_t firstVisibleLevel() const { return pager_.first; }
    int rows() const;
    std::optional<int32_t> pickedLevel() const { return picked_; }
    // Where a level lies in the lists: itself, or its place in a real-time test's ring (what the
    // console's point lookup needs for a level it was told with levelSelected).
    int32_t chainIndexOfLevel(int32_t level) const { return snapshot_.levels.chainIndex(level); }
    // The image the paint event blits.
    const QImage& shownImage() const;

  signals:
    // WM_USER+91: the console is to show this absolute level (after a page or a pick).
    void levelSelected(int level);
    // The operator picked this absolute level.
    void pointPicked(int level);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    TrainSource currentSource();
    void paintImages();
    bool page(int direction);
    bool pickingEnabled() const;

    const CInfo* externalInfo_ = nullptr;
    SectionLists externalLists_{};
    uint32_t externalState_ = 0;
    CInfo info_;  // the record as copied at the last redraw
    uint32_t state_ = 0;
    std::function<std::optional<int32_t>()> newestSource_;
    std::optional<bool> pickingForced_;

    TrainForm form_ = TrainForm::Miniature;
    TrainPager pager_;
    WaveTrainSnapshot snapshot_;
    WaveTrainPicture picture_;  // kept for its memory
    std::optional<int32_t> picked_;
    QImage dashImage_;
    QImage mainImage_;  // miniature waves, grey scale or curves
};

}  // namespace lx9
