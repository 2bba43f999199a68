#include "report/report_pages.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>

#include <numeric>

namespace lx9 {

struct ReportPages::Block {
    double height = 0;
    std::function<void(QPainter&, const QRectF&, const PictureHook&)> paint;
    const Block* header = nullptr;  // table rows: the header row repeated atop a new page
    bool breakBefore = false;
    bool keepWithNext = false;  // headings stay with what they introduce
};

namespace {

constexpr double kLeft = 150, kRight = kReportPageWidth - 150, kTop = 150;
constexpr double kBottom = kReportPageHeight - 200;  // the footer lies below
constexpr double kWidth = kRight - kLeft;
constexpr double kRow = 44;       // table row
constexpr double kFieldRow = 50;  // label-value rows
constexpr double kTextPixels = 27;
constexpr double kPictureHeight = 1300;

QFont pageFont(double pixels, bool bold = false) {
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(static_cast<int>(pixels));
    font.setBold(bold);
    return font;
}

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

// Text that fits its cell: elided rather than running into the next one. Drawn at a point, not
// in a rectangle: a long findings table has tens of thousands of cells, and the rectangle form
// lays every one of them out again.
void cellText(QPainter& p, const QRectF& r, const QString& text, Qt::Alignment align) {
    const QFontMetricsF fm(p.font());
    const double room = r.width() - 12;
    QString shown = text;
    double width = fm.horizontalAdvance(shown);
    if (width > room) {
        shown = fm.elidedText(text, Qt::ElideRight, room);
        width = fm.horizontalAdvance(shown);
    }
    const double x = align & Qt::AlignHCenter ? r.center().x() - width / 2 : r.left() + 6;
    const double baseline = r.center().y() + (fm.ascent() - fm.descent()) / 2;
    p.drawText(QPointF(x, baseline), shown);
}

// Column widths of a table: proportional to the longest text of each column, within bounds.
std::vector<double> columnWidths(const ReportTable& t) {
    const QFontMetricsF fm(pageFont(kTextPixels));
    std::vector<double> w(t.columns.size(), 0.0);
    for (size_t c = 0; c < t.columns.size(); ++c)
        w[c] = fm.horizontalAdvance(q(t.columns[c])) + 24;
    for (const auto& row : t.rows) {
        for (size_t c = 0; c < row.size() && c < w.size(); ++c)
            w[c] = std::max(w[c], fm.horizontalAdvance(q(row[c])) + 24);
    }
    const double total = std::accumulate(w.begin(), w.end(), 0.0);
    for (double& x : w)
        x = total > 0 ? x * kWidth / total : kWidth / static_cast<double>(w.size());
    return w;
}

void tableRow(QPainter& p, const QRectF& r, const std::vector<std::string>& cells,
              const std::vector<double>& widths, bool header) {
    if (header) p.fillRect(r, QColor(230, 230, 230));
    p.setFont(pageFont(kTextPixels, header));
    p.setPen(QPen(QColor(150, 150, 150), 1.5));
    p.drawLine(r.bottomLeft(), r.bottomRight());
    if (header) p.drawLine(r.topLeft(), r.topRight());
    p.setPen(Qt::black);
    double x = r.left();
    for (size_t c = 0; c < widths.size(); ++c) {
        const QRectF cell(x, r.top(), widths[c], r.height());
        if (c < cells.size()) cellText(p, cell, q(cells[c]), c == 0 ? Qt::AlignLeft : Qt::AlignHCenter);
        x += widths[c];
    }
}

}  // namespace

ReportPages::ReportPages(const ReportModel& model, const CInfo& info, const SectionLists& lists,
                         const PileAnalysis& pile)
    : model_(model), info_(info), lists_(lists), pile_(pile) {
    layout();
}

ReportPages::~ReportPages() = default;

int ReportPages::pageCount() const {
    return static_cast<int>(pages_.size());
}

int ReportPages::pictureCount() const {
    return pictures_;
}

// The kinds of block a report is made of, appended in reading order.
class ReportPages::Builder {
  public:
    explicit Builder(std::vector<std::unique_ptr<Block>>& blocks) : blocks_(blocks) {}

    template <class Paint>
    Block& add(double height, Paint paint) {
        blocks_.push_back(std::make_unique<Block>());
        blocks_.back()->height = height;
        blocks_.back()->paint = paint;
        return *blocks_.back();
    }
    void heading(const std::string& text, double pixels, bool breakBefore) {
        Block& b = add(pixels * 2.2, [text, pixels](QPainter& p, const QRectF& r, const PictureHook&) {
            p.setFont(pageFont(pixels, true));
            p.setPen(Qt::black);
            p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, q(text));
        });
        b.breakBefore = breakBefore;
        b.keepWithNext = true;
    }
    // Label and value pairs, two to a row.
    void fields(const std::vector<ReportField>& list) {
        for (size_t i = 0; i < list.size(); i += 2) {
            std::vector<ReportField> pair(list.begin() + static_cast<long>(i),
                                          list.begin() + static_cast<long>(std::min(i + 2, list.size())));
            add(kFieldRow, [pair](QPainter& p, const QRectF& r, const PictureHook&) {
                const double half = r.width() / 2;
                for (size_t k = 0; k < pair.size(); ++k) {
                    const QRectF label(r.left() + k * half, r.top(), 270, r.height());
                    const QRectF value(label.right(), r.top(), half - 270, r.height());
                    p.setFont(pageFont(kTextPixels, true));
                    cellText(p, label, q(pair[k].label), Qt::AlignLeft);
                    p.setFont(pageFont(kTextPixels));
                    cellText(p, value, q(pair[k].value), Qt::AlignLeft);
                }
            });
        }
    }
    // A header row, then one block per row that repeats the header atop a new page.
    void table(const ReportTable& t) {
        const std::vector<double> widths = columnWidths(t);
        Block& header = add(kRow, [&t, widths](QPainter& p, const QRectF& r, const PictureHook&) {
            tableRow(p, r, t.columns, widths, true);
        });
        header.keepWithNext = true;
        for (const auto& row : t.rows) {
            add(kRow, [&row, widths](QPainter& p, const QRectF& r, const PictureHook&) {
                tableRow(p, r, row, widths, false);
            }).header = &header;
        }
    }
    void text(const std::string& line) {
        add(kFieldRow, [line](QPainter& p, const QRectF& r, const PictureHook&) {
            p.setFont(pageFont(kTextPixels));
            p.setPen(Qt::black);
            p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, q(line));
        });
    }
    void gap(double h) {
        add(h, [](QPainter&, const QRectF&, const PictureHook&) {});
    }

  private:
    std::vector<std::unique_ptr<Block>>& blocks_;
};

void ReportPages::layout() {
    Builder b(blocks_);
    layoutTitlePage(b);
    for (const ReportSection& s : model_.sections)
        layoutSection(b, s);
    layoutTrail(b);
    paginate();
}

// The job, the settings, the results in brief.
void ReportPages::layoutTitlePage(Builder& b) {
    b.add(130, [this](QPainter& p, const QRectF& r, const PictureHook&) {
        p.setFont(pageFont(62, true));
        p.setPen(Qt::black);
        p.drawText(r, Qt::AlignCenter, q(model_.title));
    });
    b.fields(model_.header);
    b.gap(30);
    b.heading("各剖面仪器参数", 36, false);
    b.table(model_.settings);
    b.gap(30);
    b.heading("检测结果", 36, false);
    b.table(model_.summary);
    if (model_.graded) {
        b.gap(20);
        b.text("桩身完整性类别（各测点类别中最差者）：" +
               (model_.pileClass ? pileClassText(model_.pileClass) : std::string("无分类测点")));
    }
}

// One part per section: the pictures, the statistics, the points below the critical values.
void ReportPages::layoutSection(Builder& b, const ReportSection& s) {
    b.heading("剖面 " + s.name, 44, true);
    b.add(kPictureHeight + 60, [this, &s](QPainter& p, const QRectF& r, const PictureHook& hook) {
        const double w = kPictureHeight * reportPictureAspect(ReportPicture::WaveTrain);
        const double gapX = (r.width() - 2 * w) / 3;
        double x = r.left() + gapX;
        for (ReportPicture picture : kReportPictures) {
            if (hook) hook(s, picture);
            const QRectF area(x, r.top(), w, kPictureHeight);
            paintReportPicture(p, area, picture, info_, lists_, pile_, s.analysis);
            p.setFont(pageFont(kTextPixels));
            p.setPen(Qt::black);
            p.drawText(QRectF(x, area.bottom(), w, 60), Qt::AlignCenter,
                       q(s.name + " " + reportPictureCaption(picture)));
            x += w + gapX;
        }
    });
    pictures_ += 2;
    b.heading("统计结果", 34, false);
    b.fields(s.statistics);
    b.gap(20);
    b.heading(model_.graded ? "低于临界值或类别为Ⅱ至Ⅳ的测点" : "低于临界值的测点", 34, false);
    if (s.findings.rows.empty()) {
        b.text("无。");
    } else {
        b.table(s.findings);
    }
}

// The hand-pick trail, when there is one.
void ReportPages::layoutTrail(Builder& b) {
    if (model_.trail.rows.empty() && model_.trailSkipped == 0) return;
    b.heading("判读修改记录", 44, true);
    if (!model_.trail.rows.empty()) b.table(model_.trail);
    if (model_.trailSkipped > 0)
        b.text("记录文件中有 " + std::to_string(model_.trailSkipped) + " 行无法识别，未列出。");
}

// A block that does not fit starts a new page; a table row carried over gets its header again; a
// heading never ends a page.
void ReportPages::paginate() {
    pages_.assign(1, {});
    double y = kTop;
    for (size_t i = 0; i < blocks_.size(); ++i) {
        const Block* b = blocks_[i].get();
        double need = b->height;
        for (size_t j = i; j < blocks_.size() && blocks_[j]->keepWithNext && j + 1 < blocks_.size(); ++j)
            need += blocks_[j + 1]->height;
        const bool full = y + need > kBottom && y > kTop;
        if ((b->breakBefore && y > kTop) || full) {
            pages_.emplace_back();
            y = kTop;
            if (full && b->header && b->header != b) {
                pages_.back().push_back({b->header, y});
                y += b->header->height;
            }
        }
        pages_.back().push_back({b, y});
        y += b->height;
    }
}

void ReportPages::paint(QPainter& painter, int page, double deviceWidth, const PictureHook& hook) const {
    if (page < 0 || page >= pageCount()) return;
    painter.save();
    painter.scale(deviceWidth / kReportPageWidth, deviceWidth / kReportPageWidth);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    for (const Placed& placed : pages_[page])
        placed.block->paint(painter, QRectF(kLeft, placed.y, kWidth, placed.block->height), hook);

    // Footer: what the page belongs to, and where it stands.
    painter.setFont(pageFont(24));
    painter.setPen(QPen(QColor(120, 120, 120), 1.5));
    painter.drawLine(QPointF(kLeft, kBottom + 40), QPointF(kRight, kBottom + 40));
    painter.setPen(Qt::black);
    const QRectF footer(kLeft, kBottom + 50, kWidth, 60);
    painter.drawText(footer, Qt::AlignLeft | Qt::AlignVCenter,
                     q(model_.title + "  桩号 " + (info_.pileId.empty() ? "-" : info_.pileId)));
    painter.drawText(footer, Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("第 %1 页 / 共 %2 页").arg(page + 1).arg(pageCount()));
    painter.restore();
}

}  // namespace lx9
