#include "upload/section_image.h"

#include <gtest/gtest.h>

#include <QFont>
#include <QFontInfo>
#include <QGuiApplication>
#include <QImage>
#include <filesystem>

#include "ui/gui_application.h"
#include "upload/section_image_geometry.h"
#include "upload_fixtures.h"

namespace lx9 {
namespace {

using namespace lx9::testing;
namespace fs = std::filesystem;

// One offscreen application for the whole executable, made on the main thread.
class GuiEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { gui_ = std::make_unique<ui::OffscreenGui>(); }
    void TearDown() override { gui_.reset(); }

  private:
    std::unique_ptr<ui::OffscreenGui> gui_;
};
const auto* const kGui = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

class SectionImageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/lx9-image-XXXXXX";
        dir = ::mkdtemp(pattern);
        info = smallTest();
        fillSmallTest(info, lists, 401);  // 20 m at 50 mm: the plot is full
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    // Dark pixels inside and outside a rectangle (frames excluded by the caller's choice).
    static int darkPixels(const QImage& img, int l, int t, int r, int b) {
        int n = 0;
        for (int y = t; y < b; ++y)
            for (int x = l; x < r; ++x)
                n += qGray(img.pixel(x, y)) < 128;
        return n;
    }

    fs::path dir;
    CInfo info;
    OwnedLists lists;
};

TEST_F(SectionImageTest, FontNamesResolveThroughTheAliasFile) {
    EXPECT_FALSE(ui::fontAliasFile().empty());
    QFont times(QStringLiteral("Times New Roman"));
    times.setPixelSize(16);
    EXPECT_EQ(QFontInfo(times).family(), QStringLiteral("Liberation Serif"));
    QFont arial(QStringLiteral("Arial"));
    EXPECT_EQ(QFontInfo(arial).family(), QStringLiteral("Liberation Sans"));
    QFont song(QStringLiteral("宋体"));
    EXPECT_EQ(QFontInfo(song).family(), QStringLiteral("WenQuanYi Micro Hei"));
}

TEST_F(SectionImageTest, DrawsTheWaveTrainIntoAPng) {
    const fs::path path = dir / "Kolmer_UploadSegImage.png";
    ASSERT_TRUE(renderSectionImage(info, lists, 1, path));
    QImage img(QString::fromStdString(path.string()));
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.width(), 562);
    EXPECT_EQ(img.height(), 1090);
    // The frames: every pixel of the outer edge and of the plot's edge is black.
    for (int x = 0; x < 562; ++x) {
        ASSERT_EQ(qGray(img.pixel(x, 0)), 0) << x;
        ASSERT_EQ(qGray(img.pixel(x, 1089)), 0) << x;
    }
    for (int y = 90; y < 1050; ++y) {
        ASSERT_EQ(qGray(img.pixel(45, y)), 0) << y;
        ASSERT_EQ(qGray(img.pixel(556, y)), 0) << y;
    }
    // Traces fill the plot; nothing is drawn between the plot and the right edge.
    EXPECT_GT(darkPixels(img, 46, 91, 556, 1049), 20000);
    EXPECT_EQ(darkPixels(img, 557, 1, 561, 1089), 0);
    // The title and the depth labels are there.
    EXPECT_GT(darkPixels(img, 46, 1, 556, 50), 50);
    EXPECT_GT(darkPixels(img, 8, 91, 45, 1049), 50);
}

TEST_F(SectionImageTest, ASectionWithoutPointsDrawsOnlyTheFrame) {
    info.sections[0].present = true;
    lists[0] = std::make_unique<CSampleDataList>(512, 0);
    const fs::path path = dir / "empty.PNG";
    ASSERT_TRUE(renderSectionImage(info, lists, 0, path));
    QImage img(QString::fromStdString(path.string()));
    EXPECT_EQ(darkPixels(img, 46, 91, 556, 1049), 0);
}

TEST_F(SectionImageTest, PointsWithoutGainAreNotDrawn) {
    {
        auto g = lists[0]->lock();
        for (SamplePoint* p = lists[0]->first; p; p = p->next)
            p->gain = 0.0f;
    }
    const fs::path path = dir / "nogain.png";
    ASSERT_TRUE(renderSectionImage(info, lists, 0, path));
    QImage img(QString::fromStdString(path.string()));
    EXPECT_EQ(darkPixels(img, 46, 91, 556, 1049), 0);
}

TEST_F(SectionImageTest, RefusesAbsentSectionsAndPathsWithoutPng) {
    EXPECT_FALSE(renderSectionImage(info, lists, 2, dir / "a.png"));  // slot 2 not present
    EXPECT_FALSE(renderSectionImage(info, lists, 6, dir / "a.png"));
    EXPECT_FALSE(renderSectionImage(info, lists, 0, dir / "a.bmp"));
    EXPECT_FALSE(renderSectionImage(info, lists, 0, dir / "missing" / "a.png"));  // cannot be written
    EXPECT_FALSE(fs::exists(dir / "a.png"));
    EXPECT_FALSE(fs::exists(dir / "a.bmp"));
    info.stepMm = 0;
    EXPECT_FALSE(renderSectionImage(info, lists, 0, dir / "a.png"));
}

}  // namespace
}  // namespace lx9
