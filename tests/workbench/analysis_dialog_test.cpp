// The workbench's windows offscreen: a synthetic click picks the sample under the pointer and
// the curves follow, the section chooser and the interval view hand their choice back, "保存判读"
// asks first and writes the pair, and "退出" offers to save unsaved picks.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include "../data/data_file_test_support.h"
#include "data/data_file_reader.h"
#include "data/data_file_writer.h"
#include "ui/gui_application.h"
#include "ui/message_sink.h"
#include "workbench/analysis_dialog.h"
#include "workbench/workbench_view.h"

namespace lx9 {
namespace {

using namespace lx9::testing_support;

struct ScriptedSink : MessageSink {
    std::vector<std::string> said;
    bool answer = true;
    void showMessage(const std::string& text) override { said.push_back(text); }
    bool askYesNo(const std::string& text) override {
        said.push_back(text);
        return answer;
    }
};

class WorkbenchWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        base = dir.base("pile 9");
        CInfo written = makeInfo(3, 512, kHorizontal, base);
        Lists source = makeLists(512);
        fillLists(written, source, 0, 30);
        CSaveFile writer([] { return std::string("2026-12-7"); });
        ASSERT_TRUE(writer.saveAtEnd(written, listPointers(source)));
        original = readText(base + ".CHT");
        info.resetToDefaults();
        ASSERT_TRUE(openDataFile(base, info, [this](const CInfo&) { return listPointers(lists); }).ok);
        info.chtPath = base + ".CHT";
        info.standard = std::string(kStandardBuilding);
        options.sink = &sink;
        options.fullScreen = false;
        options.auditTime = [] { return std::string("2026-12-07T21:00:00"); };
    }

    ui::OffscreenWidgets app;
    TempDir dir;
    ViewingState viewing;
    std::string base, original;
    CInfo info;
    Lists lists = makeLists(512);
    ScriptedSink sink;
    AnalysisDialogOptions options;
};

TEST_F(WorkbenchWindow, ClickPicksTheSampleUnderThePointerAndTheCurvesFollow) {
    CDlg_Analysis dialog(info, listPointers(lists), options);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.geometry().size(), QSize(1024, 768));
    for (int id : kWbButtonOrder) {
        EXPECT_EQ(dialog.button(id)->height(), 45) << id;
        EXPECT_EQ(dialog.button(id)->width(), 93) << id;
    }
    const int slot = dialog.form().section();
    const int point = dialog.form().currentPoint();
    ASSERT_EQ(point, 29);
    const float before = dialog.curves()->criticals().velocityMmS;
    AnalysisWaveView* wave = dialog.wave();
    const int x = 301;
    QTest::mouseClick(wave, Qt::LeftButton, {}, QPoint(x, 5));
    EXPECT_EQ(picksOf(*lists[slot], point).tIndex, x * 512 / wave->width());
    EXPECT_NE(dialog.curves()->criticals().velocityMmS, before);
    QTest::mouseClick(wave, Qt::LeftButton, {}, QPoint(wave->width() - 1, wave->height() / 2));
    const int last = (wave->width() - 1) * 512 / wave->width();  // the sample under the last column
    EXPECT_EQ(picksOf(*lists[slot], point).ampIndex, last);
    QTest::mouseClick(dialog.button(kWbLeft), Qt::LeftButton);  // the amplitude pick, last selected
    EXPECT_EQ(picksOf(*lists[slot], point).ampIndex, last - 1);

    // The wave train: a click on the third row selects the point two below the page top.
    QTest::mouseClick(dialog.train(), Qt::LeftButton, {}, QPoint(40, 2 * 24 + 3));
    EXPECT_EQ(dialog.form().currentPoint(), 27);

    // "退出" with unsaved picks asks; declining leaves the file as it was.
    sink.answer = false;
    QTest::mouseClick(dialog.button(kWbExit), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(sink.said.back(), "判读已修改，是否保存到数据文件？");
    EXPECT_EQ(readText(base + ".CHT"), original);
}

TEST_F(WorkbenchWindow, SaveAsksThenWritesAndRestoreBringsTheBytesBack) {
    CDlg_Analysis dialog(info, listPointers(lists), options);
    dialog.show();
    QTest::mouseClick(dialog.saveButton(), Qt::LeftButton);
    EXPECT_EQ(sink.said, (std::vector<std::string>{"没有修改过的判读。"}));
    QTest::mouseClick(dialog.wave(), Qt::LeftButton, {}, QPoint(100, 5));
    sink.answer = false;
    QTest::mouseClick(dialog.saveButton(), Qt::LeftButton);
    EXPECT_EQ(readText(base + ".CHT"), original);
    sink.answer = true;
    QTest::mouseClick(dialog.saveButton(), Qt::LeftButton);
    EXPECT_EQ(sink.said.back(), "判读已保存。");
    EXPECT_NE(readText(base + ".CHT"), original);
    EXPECT_EQ(handPickedPoints(info, base + ".CHT"), 1);
    QTest::mouseClick(dialog.restoreButton(), Qt::LeftButton);
    EXPECT_EQ(sink.said.back(), "已恢复原始判读。");
    EXPECT_EQ(readText(base + ".CHT"), original);
}

TEST_F(WorkbenchWindow, ChooserAndIntervalViewHandTheirChoiceBack) {
    info.standard = std::string(kStandardGuangdong);
    CDlg_Analysis dialog(info, listPointers(lists), options);
    dialog.show();
    // The real chooser, answered by tapping its second section.
    QTimer::singleShot(0, [] {
        auto* chooser = dynamic_cast<SectionChooserDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(chooser, nullptr);
        EXPECT_EQ(chooser->windowTitle(), QStringLiteral("剖面选择"));
        EXPECT_GE(chooser->button(1)->height(), 40);
        chooser->button(1)->click();
    });
    QTest::mouseClick(dialog.button(kWbSection), Qt::LeftButton);
    EXPECT_EQ(dialog.form().section(), 1);

    // The interval view: a level down, then back with "H-Vp".
    dialog.runInterval = [](CDlg_Analysis_K& k) {
        EXPECT_EQ(k.form().currentSection(), 1);
        EXPECT_FALSE(k.button(kWbPageForward)->isEnabled());
        k.button(kWbPrevWave)->click();
        k.button(kWbInterval)->click();
    };
    QTest::mouseClick(dialog.button(kWbInterval), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.form().section(), 1);
    EXPECT_EQ(dialog.form().currentPoint(), 28);
    // "退出" in the interval view closes the workbench too.
    dialog.runInterval = [](CDlg_Analysis_K& k) { k.button(kWbExit)->click(); };
    QTest::mouseClick(dialog.button(kWbInterval), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(WorkbenchWindow, CutHeightDialogTakesTheKeypadAndShowsTheRefusal) {
    info.standard = std::string(kStandardGuangdong);
    WorkbenchForm opened(info, listPointers(lists));
    opened.open();
    options.numberPad = [](QWidget*, const std::string& title, double) -> std::optional<double> {
        EXPECT_EQ(title, "下滑块高度");
        return 11.0;  // level 20: 29 − 20 = 9 points, refused
    };
    CDlgKBottom bottom(info, listPointers(lists), 0, 12000, options);
    EXPECT_EQ(bottom.windowTitle(), QStringLiteral("修改下截取范围"));
    EXPECT_EQ(bottom.heightField()->text(), QStringLiteral("12.00"));
    bottom.show();
    QTest::mouseClick(bottom.heightField(), Qt::LeftButton);
    EXPECT_EQ(bottom.heightField()->text(), QStringLiteral("11.00"));
    QTest::mouseClick(bottom.okButton(), Qt::LeftButton);
    EXPECT_EQ(sink.said, (std::vector<std::string>{"请确定区间的间隔点不少于10个！"}));
    EXPECT_TRUE(bottom.isVisible());
    QTest::mouseClick(bottom.restoreButton(), Qt::LeftButton);
    QTest::mouseClick(bottom.okButton(), Qt::LeftButton);
    EXPECT_FALSE(bottom.isVisible());
    EXPECT_EQ(lists[0]->intervalFirst, 0);
}

}  // namespace
}  // namespace lx9
