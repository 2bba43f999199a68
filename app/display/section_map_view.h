// The section map (CSectionMap): the pile's cross-section with its pipes and highlighted
// sections, and the painting that draws its geometry on any QPainter.
//
// Threading: the user-interface thread only.
#pragma once

#include <QImage>
#include <QPainter>
#include <QWidget>

#include "display/panel_view.h"
#include "display/section_map_geometry.h"
#include "display/view_source.h"

namespace lx9 {

// Layers: white, the pile, the pipes and labels, the section lines, the pipes and labels again
// over the lines.
void paintSectionMap(QPainter& p, const SectionMapGeometry& g);

class SectionMapView : public QWidget, public PanelView {
    Q_OBJECT

  public:
    explicit SectionMapView(QWidget* parent);

    // Redraws for kViewSectionMap and kViewReset. While the view follows the record (the
    // default), it shows the record's pipes and highlights every displayed section.
    void redraw(uint32_t parts) override;

    void setSource(const ViewSource& source);
    // Hands the map a model of its own (the workbench's panels); the view stops following the
    // record until followRecord() is called.
    void setModel(const SectionMapModel& model);
    void followRecord();
    const SectionMapModel& model() const { return model_; }

    const QImage& image();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void rebuild();

    ViewSource source_;
    bool followRecord_ = true;
    bool dirty_ = true;
    SectionMapModel model_;
    QImage image_;
};

}  // namespace lx9
