// What the geometry cannot show: the record's colours in their roles, the order of the layers,
// text that runs past its box, and the widgets' mouse notifications.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <mutex>

#include "display/curves_view.h"
#include "display/section_map_view.h"
#include "display/view_shapes_view.h"
#include "display/waveform_view.h"
#include "ui/gui_application.h"
#include "view_fixtures.h"

namespace lx9 {
namespace {

using namespace lx9::testing;

class GuiEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { gui_ = std::make_unique<ui::OffscreenWidgets>(); }
    void TearDown() override { gui_.reset(); }

  private:
    std::unique_ptr<ui::OffscreenWidgets> gui_;
};
const auto* const kGui = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

int count(const QImage& img, QColor colour, QRect area) {
    int n = 0;
    area = area.intersected(img.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += img.pixelColor(x, y) == colour;
    return n;
}

// Pixels where one channel stands out (0 red, 1 green, 2 blue): antialiased glyphs are not all
// of the exact colour, but they keep its hue.
int tinted(const QImage& img, QRect area, int channel) {
    int n = 0;
    area = area.intersected(img.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = img.pixelColor(x, y);
            const int v[3] = {c.red(), c.green(), c.blue()};
            n += v[channel] > v[(channel + 1) % 3] + 60 && v[channel] > v[(channel + 2) % 3] + 60;
        }
    return n;
}

// Pixels that differ from the background.
int inked(const QImage& img, QRect area, QColor background) {
    int n = 0;
    area = area.intersected(img.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += img.pixelColor(x, y) != background;
    return n;
}

TEST(WaveformPaintTest, RecordColoursInTheirRolesMarksOverTracesTextPastItsBox) {
    CInfo info = viewRecord(3, 512);
    std::mutex infoLock;
    info.colours = {0x102030, 0xFFFFFF, 0x0000FF, 0xFF0000, 0x00FF00};  // 0x00BBGGRR
    const QColor background(0x30, 0x20, 0x10), text(Qt::red), grid(Qt::blue), wave(Qt::green);
    ViewLists lists;
    std::vector<uint16_t> square(512);
    for (int i = 0; i < 512; ++i)
        square[static_cast<size_t>(i)] = static_cast<uint16_t>((i / 32) % 2 ? 3500 : 600);
    square[198] = 2048;  // drawn point 66: the trace crosses the arrival mark at mid-height
    for (int k = 0; k < 3; ++k) {
        lists.owned[static_cast<size_t>(k)] = std::make_unique<CSampleDataList>(512, k);
        addPoint(*lists.owned[static_cast<size_t>(k)], square, 10.0f, 198, 64);
    }
    WaveformView view(nullptr);
    view.setSource({SharedInfo{info, infoLock}, lists.pointers(), false});
    view.resize(302, 304);  // columns 100 wide: the readouts are wider than their w/2 boxes
    const QImage img = view.image();
    const WaveformGeometry& g = view.geometry();
    ASSERT_EQ(g.columns.size(), 3u);

    EXPECT_EQ(img.pixelColor(301, 150), background);   // right of the plot
    EXPECT_EQ(img.pixelColor(0, 100), grid);           // the first column edge
    EXPECT_EQ(img.pixelColor(150, g.plot.top), grid);  // the top row
    EXPECT_GT(count(img, wave, QRect(0, 0, 200, 304)), 300);
    const ViewLine arrival = *g.columns[0].arrival;
    EXPECT_EQ(img.pixelColor(arrival.from.x, (g.plot.top + g.plot.bottom) / 2), text);
    // Readouts in the grid colour, running past their boxes; the section names in the text colour.
    const ViewText& measured = g.texts[3];
    ASSERT_NE(measured.text.find("声时"), std::string::npos);
    EXPECT_GT(tinted(img, QRect(measured.box.right, measured.box.top + 2, 40, 40), 2), 5);
    EXPECT_EQ(tinted(img, QRect(measured.box.right, measured.box.top + 2, 40, 40), 0), 0);
    const ViewText& name = g.texts[0];
    EXPECT_GT(tinted(img, viewQRect(name.box), 0), 5);
    EXPECT_EQ(tinted(img, viewQRect(name.box), 2), 0);
}

TEST(CurvesPaintTest, CurrentLineOverTheCurvesAndPickByClick) {
    CInfo info = viewRecord(1);
    std::mutex infoLock;
    info.stepMm = 250;
    ViewLists lists;
    lists.owned[0] = std::make_unique<CSampleDataList>(512, 0);
    std::vector<uint16_t> wave(512, 2048);
    wave[150] = 3048;
    for (int i = 0; i < 21; ++i)
        addPoint(*lists.owned[0], wave, 15.0f - 0.25f * i, 99 + i % 3, 150);
    lists.owned[0]->setCurrentAt(10);  // 12.5 m
    CurvesView view(nullptr);
    view.setSource({SharedInfo{info, infoLock}, lists.pointers(), false});
    view.resize(600, 200);
    QSignalSpy axes(&view, &CurvesView::axisMaxima);
    const QImage img = view.image();
    ASSERT_EQ(axes.count(), 1);
    EXPECT_EQ(axes.at(0).at(0).toDouble(), 150.0);
    EXPECT_EQ(axes.at(0).at(1).toDouble(), 6.0);
    // The amplitude curve is a vertical blue line at x 134; the current line crosses it in red.
    EXPECT_EQ(img.pixelColor(134, 140), QColor(Qt::blue));
    EXPECT_EQ(img.pixelColor(134, 125), QColor(Qt::red));
    EXPECT_GT(count(img, QColor(Qt::green), img.rect()), 10);  // the PSD curve

    view.show();
    QSignalSpy picked(&view, &CurvesView::pointPicked);
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(300, 148));  // 14.8 m → 14.75 m, point 1
    ASSERT_EQ(picked.count(), 1);
    EXPECT_EQ(picked.at(0).at(0).toInt(), 1);
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(300, 20));  // above the newest point
    EXPECT_EQ(picked.count(), 1);
}

TEST(SectionMapPaintTest, PipesOverTheLinesAndLabelsUnclipped) {
    SectionMapModel m;
    m.setPipeCount(4);
    m.labels = PipeLabels::Capitals;
    m.highlightPair(3, 1);  // B (right) to D (left) through the middle
    SectionMapView view(nullptr);
    view.setModel(m);
    view.resize(200, 200);
    const QImage img = view.image();
    EXPECT_EQ(img.pixelColor(100, 100), QColor(0, 128, 0));  // the section line
    EXPECT_EQ(img.pixelColor(134, 100), QColor(Qt::white));  // inside pipe B, drawn over the line
    EXPECT_EQ(img.pixelColor(30, 30), QColor(Qt::white));
    EXPECT_EQ(img.pixelColor(100, 25), QColor(204, 204, 204));  // the pile
    // "A" at (100, 57) is wider than its 6 × 14 box: ink on both sides of the box.
    EXPECT_GT(inked(img, QRect(92, 50, 5, 14), Qt::white), 0);
    EXPECT_GT(inked(img, QRect(103, 50, 5, 14), Qt::white), 0);
}

TEST(WaveformPaintTest, PointerReadoutFollowsThePointerOnlyWhenSwitchedOn) {
    CInfo info = viewRecord(1, 4);
    std::mutex infoLock;
    ViewLists lists;
    lists.owned[0] = std::make_unique<CSampleDataList>(4, 0);
    addPoint(*lists.owned[0], {0, 4095, 2048, 1000}, 12.5f, 2, 0);
    WaveformView view(nullptr);
    view.setSource({SharedInfo{info, infoLock}, lists.pointers(), false});
    view.resize(102, 200);
    view.show();
    QSignalSpy readout(&view, &WaveformView::pointerReadout);
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(99, 50));
    EXPECT_EQ(readout.count(), 0);
    view.setReadoutFollowsPointer(true);
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(99, 50));
    ASSERT_EQ(readout.count(), 1);
    EXPECT_EQ(readout.at(0).at(1).toInt(), 3);                       // the last sample at the right edge
    EXPECT_FLOAT_EQ(readout.at(0).at(2).toFloat(), 4.0f);            // (3 + 1)·1 µs
    EXPECT_EQ(view.image().pixelColor(99, 100), QColor(Qt::black));  // the pointer line
}

}  // namespace
}  // namespace lx9
