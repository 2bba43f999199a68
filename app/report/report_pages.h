// The report's A4 pages: the model laid out once into pages, then each page painted into any
// QPainter (a PDF page, or an image for the screenshots). Coordinates are tenths of a
// millimetre on the page, so the layout is the same on every device.
#pragma once

#include <QRectF>

#include <functional>
#include <memory>
#include <vector>

#include "report/report_model.h"
#include "report/report_pictures.h"

class QPainter;

namespace lx9 {

inline constexpr double kReportPageWidth = 2100.0;  // A4, 0.1 mm
inline constexpr double kReportPageHeight = 2970.0;

class ReportPages {
  public:
    // Called before each picture is painted (progress).
    using PictureHook = std::function<void(const ReportSection& section, ReportPicture picture)>;

    ReportPages(const ReportModel& model, const CInfo& info, const SectionLists& lists,
                const PileAnalysis& pile);
    ~ReportPages();

    int pageCount() const;
    int pictureCount() const;
    // Paints page `page` (0-based) on a device `deviceWidth` pixels wide showing the whole page.
    void paint(QPainter& painter, int page, double deviceWidth, const PictureHook& hook = {}) const;

    struct Block;

  private:
    class Builder;
    void layout();
    void layoutTitlePage(Builder& b);
    void layoutSection(Builder& b, const ReportSection& s);
    void layoutTrail(Builder& b);
    void paginate();
    const ReportModel& model_;
    const CInfo& info_;
    SectionLists lists_;
    const PileAnalysis& pile_;
    std::vector<std::unique_ptr<Block>> blocks_;
    struct Placed {
        const Block* block;
        double y;
    };
    std::vector<std::vector<Placed>> pages_;
    int pictures_ = 0;
};

}  // namespace lx9
