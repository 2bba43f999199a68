#include "display/wave_train_view.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <vector>

#include "acquisition/console_view.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "ui/gui_application.h"

namespace lx9 {
namespace {

class WaveTrainViewTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { app_ = std::make_unique<ui::OffscreenWidgets>(); }
    static void TearDownTestSuite() { app_.reset(); }

    // 100 levels of one section from 20 m, each wave a 600-code square wave of period 16.
    void SetUp() override {
        info_.resetToDefaults();
        info_.startDepth = 20.0f;
        info_.stepMm = 200;
        info_.waveTrainStyle = 1;
        info_.viewOption = 0;
        for (int k = 0; k < kMaxSections; ++k)
            info_.sections[k].display = k == 0;
        list_ = std::make_unique<CSampleDataList>(64, 0);
        std::vector<uint16_t> wave(64);
        for (int j = 0; j < 64; ++j)
            wave[j] = static_cast<uint16_t>(2048 + ((j / 8) % 2 ? -600 : 600));
        for (int i = 0; i < 100; ++i)
            list_->append(wave.data(), 20.0f - 0.2f * i);
        lists_[0] = list_.get();
    }

    static std::unique_ptr<ui::OffscreenWidgets> app_;
    CInfo info_;
    std::unique_ptr<CSampleDataList> list_;
    SectionLists lists_{};
};
std::unique_ptr<ui::OffscreenWidgets> WaveTrainViewTest::app_;

TEST_F(WaveTrainViewTest, MiniatureWavesArePureRed) {
    const TrainSource source{&info_, lists_, makeState(kStateViewing), 0, std::nullopt};
    const WaveTrainSnapshot s = snapshotWaveTrain(source, TrainForm::Miniature, 202, 150, 90);
    const QImage image = renderWaveTrainImage(layoutWaveTrain(s, TrainForm::Miniature, 202, 150, 90));
    int red = 0;
    // Above the section name every pixel is the background, a grid edge or the wave's own red.
    for (int y = 0; y < 130; ++y) {
        for (int x = 0; x < 202; ++x) {
            const QRgb c = image.pixel(x, y) & 0xFFFFFF;
            ASSERT_TRUE(c == 0xFFFFFF || c == 0x000000 || c == 0xFF0000)
                << x << "," << y << " " << std::hex << c;
            red += c == 0xFF0000;
        }
    }
    EXPECT_GT(red, 9 * 200);  // nine rows of waves across the column
    // Level 99 in the top row (baseline 150 − 7 − 9·15 = 8): its first sample, 2648, at y 8 + 12 − 3.
    EXPECT_EQ(image.pixel(1, 8 + 12 - 2648 * 25 / 4095) & 0xFFFFFF, 0xFF0000u);
}

TEST_F(WaveTrainViewTest, GreyCellsKeepTheirValuesThroughThePainter) {
    info_.zoomInterval = 10;
    info_.grayColour = 0;
    const TrainSource source{&info_, lists_, makeState(kStateViewing), 0, std::nullopt};
    const WaveTrainSnapshot s = snapshotWaveTrain(source, TrainForm::Grey, 130, 200, 0);
    const QImage image = renderWaveTrainImage(layoutWaveTrain(s, TrainForm::Grey, 130, 200, 0));
    // 10 px per metre; level 0 (20 m) fills y 198..199; 64 samples over 128 px: sample j at x 2j + 1.
    // tIndex 0 from append: sample 0 stays, later ones get the contrast of l = 1 (none).
    const int high = (2648 * 255) / 4096;  // 164
    const int low = (1448 * 255) / 4096;   // 90
    EXPECT_EQ(image.pixel(1, 199) & 0xFFFFFF, QColor(high, high, high).rgb() & 0xFFFFFF);
    EXPECT_EQ(image.pixel(17, 199) & 0xFFFFFF, QColor(low, low, low).rgb() & 0xFFFFFF);
    EXPECT_EQ(image.pixel(17, 100) & 0xFFFFFF, QColor(low, low, low).rgb() & 0xFFFFFF);
    // The newest point (0.2 m) fills from a step above it, 0 m, down to y 2.
    EXPECT_EQ(image.pixel(17, 0) & 0xFFFFFF, QColor(low, low, low).rgb() & 0xFFFFFF);
    EXPECT_EQ(image.pixel(0, 100) & 0xFFFFFF, 0u);  // the column edge over the cells
}

TEST_F(WaveTrainViewTest, PagingAndPickingNotifyAbsoluteLevels) {
    WaveTrainView view;
    view.resize(202, 150);  // 10 rows
    view.setSource(&info_, lists_, makeState(kStateRecordContinuous));
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.redraw(kViewWaveTrain);
    EXPECT_EQ(view.firstVisibleLevel(), 90);
    QSignalSpy levels(&view, &WaveTrainView::levelSelected);
    QSignalSpy picks(&view, &WaveTrainView::pointPicked);

    EXPECT_FALSE(view.pageForward());
    ASSERT_TRUE(view.pageBack());
    EXPECT_EQ(view.firstVisibleLevel(), 80);
    ASSERT_EQ(levels.count(), 1);
    EXPECT_EQ(levels.takeFirst().at(0).toInt(), 85);  // not the row offset 5

    // While recording runs the points move: no picking.
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(50, 149));
    EXPECT_EQ(picks.count(), 0);

    view.setSource(&info_, lists_, makeState(kStateRecordContinuous, kSubStatePaused));
    view.redraw(kViewWaveTrain);
    ASSERT_TRUE(view.pageBack());
    levels.clear();
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(50, 149 - 15));  // second row from the bottom
    ASSERT_EQ(picks.count(), 1);
    EXPECT_EQ(picks.takeFirst().at(0).toInt(), 81);
    ASSERT_EQ(levels.count(), 1);
    EXPECT_EQ(levels.takeFirst().at(0).toInt(), 81);
    EXPECT_EQ(view.pickedLevel(), 81);
    // The red marker on the picked row's baseline (150 − 7 − 15).
    EXPECT_EQ(view.shownImage().pixel(100, 128) & 0xFFFFFF, 0xFF0000u);

    // The dash line is the other bitmap of the same redraw.
    info_.viewOption = 1;
    info_.waveTrainStyle = 0;
    view.redraw(kViewWaveTrain);
    EXPECT_EQ(view.form(), TrainForm::Dash);
    EXPECT_FALSE(view.shownImage().isNull());
}

}  // namespace
}  // namespace lx9
