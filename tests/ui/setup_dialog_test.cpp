// The setup dialog driven through its widgets: a value typed on a pad reaches the record and
// "set.ini", each refusal shows its exact text and puts the focus on its field (without a pad
// popping up again), and the quick-set line runs on Enter only while it is shown.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "display/curves_geometry.h"
#include "setup/colour_dialog.h"
#include "setup/hotkey_dialog.h"
#include "setup/instrument_params_dialog.h"
#include "setup/setup_dialog.h"
#include "tests/acquisition/console_fakes.h"
#include "tests/ui/file_console.h"
#include "tests/ui/modal_driver.h"
#include "ui/gui_application.h"
#include "ui/num_input_dialog.h"
#include "ui/touch_keyboard_dialog.h"

namespace lx9 {
namespace {

class SetupDialogTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { app_ = new ui::OffscreenWidgets; }
    static void TearDownTestSuite() {
        delete app_;
        app_ = nullptr;
    }
    void SetUp() override {
        current.resetToDefaults();
        current.siteName = "工地";
        current.unitName = "单位";
        current.personName = "张三";
        current.pileId = "P1";
        current.sampleInterval = 0.5f;
        saved = current;
        dialog = std::make_unique<CDlg_Set>(SharedInfo{current, infoLock}, saved, console, sink, nullptr);
        dialog->show();
    }
    QWidget* w(SetupField f, int index = 0) { return dialog->widgetOf({f, index}); }
    // Taps a pad field and types `keys` + Enter on the keypad that opens.
    void typeOnPad(QWidget* field, const char* keys) {
        test::onNextModal(
            [keys](QWidget* pad) {
                QTest::keyClicks(pad, keys);
                QTest::keyClick(pad, Qt::Key_Return);
            },
            dialog.get());
        QTest::mouseClick(field, Qt::LeftButton);
    }

    static inline ui::OffscreenWidgets* app_ = nullptr;
    CInfo current, saved;
    std::mutex infoLock;
    test::FileConsole console;
    test::ScriptedSink sink;
    std::unique_ptr<CDlg_Set> dialog;
};

TEST_F(SetupDialogTest, PadAndTypedValuesReachTheRecordAndSetIni) {
    sink.answers = {false};  // keep the start depth when the pile grows
    typeOnPad(w(SetupField::PileLength), "25.5");
    EXPECT_EQ(sink.texts(),
              std::vector<std::string>{"输入桩长大于始测深度，是否将 始测深度 设为与 桩长 相等？"});
    EXPECT_EQ(static_cast<QLineEdit*>(w(SetupField::PileLength))->text(), QStringLiteral("25.50"));
    typeOnPad(w(SetupField::RowSpacing, 0), "612.9");
    auto* site = static_cast<QLineEdit*>(w(SetupField::SiteName));
    site->clear();
    QTest::keyClicks(site, "Bridge 7");
    QTest::mouseClick(test::buttonOf(dialog.get(), QStringLiteral("确定")), Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    const CInfo stored = console.readBack();
    EXPECT_FLOAT_EQ(stored.pileLength, 25.5f);
    EXPECT_EQ(stored.sections[0].spacing, 612);
    EXPECT_EQ(stored.siteName, "Bridge 7");
    EXPECT_EQ(current.siteName, "Bridge 7");
}

TEST_F(SetupDialogTest, EachRefusalShowsItsTextAndFocusesItsField) {
    struct Case {
        SetupField field;
        int index;
        const char* keys;  // typed on the pad; nullptr: the text field is emptied and OK pressed
        std::string text;
    } cases[] = {
        {SetupField::OffsetAngle, 0, "361", "输入无效，偏移角超出范围(-360-360)！"},
        {SetupField::RowDelay, 1, "-0.5", "修改失败,剖面 2 的延时不能为负！"},
        {SetupField::StartDepth, 0, "200.01", "输入无效，始测深度超出范围(0-200)！"},
        {SetupField::PileId, 0, nullptr, "请输入桩号！"},
    };
    for (const auto& c : cases) {
        sink.said.clear();
        QWidget* field = w(c.field, c.index);
        if (c.keys) {
            typeOnPad(field, c.keys);
        } else {
            static_cast<QLineEdit*>(field)->clear();
            QTest::keyClicks(field, " ");
            QTest::keyClick(field, Qt::Key_Backspace);
            QTest::mouseClick(test::buttonOf(dialog.get(), QStringLiteral("确定")), Qt::LeftButton);
            EXPECT_TRUE(dialog->isVisible());
        }
        EXPECT_EQ(sink.texts(), std::vector<std::string>{c.text});
        EXPECT_EQ(dialog->focusWidget(), field) << c.text;
        QApplication::processEvents();
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "a pad reopened: " << c.text;
    }
    EXPECT_TRUE(console.calls.empty());  // nothing stored
}

TEST_F(SetupDialogTest, QuickSetLineRunsOnEnterOnlyWhileShown) {
    QLineEdit* line = dialog->quickSetLine();
    EXPECT_FALSE(line->isVisible());
    line->setText(QStringLiteral("l=30,c1=100"));
    QTest::keyClick(line, Qt::Key_Return);  // hidden: not the line's key
    EXPECT_EQ(dialog->form().controls().pileLength, "20.00");

    dialog->showQuickSet(true);
    QTest::keyClick(line, Qt::Key_Return);
    EXPECT_EQ(dialog->form().controls().pileLength, "30");
    EXPECT_EQ(dialog->form().controls().rows[0].spacing, "100");
    EXPECT_EQ(line->text(), QString());
    EXPECT_EQ(dialog->quickSetStatus()->text().toStdString(), QuickSet::successStatusText());

    QTest::keyClicks(line, "C1=-5");
    QTest::keyClick(line, Qt::Key_Return);
    EXPECT_EQ(dialog->quickSetStatus()->text().toStdString(), "错误：C1的值输入不正确，请输入一个正数！");
    EXPECT_EQ(line->text(), QStringLiteral("C1=-5"));  // kept after a failure
    QTest::keyClick(line, Qt::Key_Up);                 // the newest history line, shown but not run
    EXPECT_EQ(line->text(), QStringLiteral("l=30,c1=100"));
    EXPECT_EQ(current.historyCount, 1);

    dialog->showQuickSet(false);
    EXPECT_EQ(dialog->result(), 0);
}

TEST_F(SetupDialogTest, BuiltInKeyboardTypesIntoTheFocusedJobText) {
    SystemKeyboard keyboard(dialog.get(), QString());  // no desktop keyboard: the built-in one
    auto* pile = static_cast<QLineEdit*>(w(SetupField::PileId));
    QApplication::setActiveWindow(dialog.get());
    pile->setFocus();
    pile->selectAll();
    keyboard.open();
    ASSERT_TRUE(keyboard.isOpen());
    for (const char* key : {"D", "-", "1", "2", "后退"})
        QTest::mouseClick(test::buttonOf(keyboard.builtIn(), QString::fromUtf8(key)), Qt::LeftButton);
    EXPECT_EQ(QApplication::focusWidget(), pile);
    EXPECT_EQ(dialog->form().controls().pileId, "D-1");
    keyboard.close();
    EXPECT_FALSE(keyboard.isOpen());
}

TEST_F(SetupDialogTest, SideDialogsRefuseWithTheirTextsAndFocus) {
    // 快捷键设置: 采样 given 设置's S on the console screen (typed on a keyboard into its field).
    CQuickyKey keys({current, infoLock}, sink);
    keys.show();
    QTest::keyClick(keys.keyField(1), Qt::Key_S);
    EXPECT_EQ(keys.keyField(1)->text(), QStringLiteral("S"));
    QTest::mouseClick(test::buttonOf(&keys, QStringLiteral("确定")), Qt::LeftButton);
    EXPECT_EQ(sink.last(), "主界面中的 \"设置\" 快捷键和 \"采样\" 快捷键相同，请重新输入！");
    EXPECT_EQ(keys.result(), 0);
    EXPECT_EQ(current.hotkeys[1].key, 'C');

    // 仪器参数 in buffered mode: the length is forced and locked; an interval below 0.1 is refused.
    current.sampleLength = 1024;
    CodeConfig config{};
    CDlg_ApparatusPara params({current, infoLock}, config, sink, true);
    params.show();
    EXPECT_EQ(current.sampleLength, 512);
    auto fields = params.findChildren<PadField*>();
    ASSERT_EQ(fields.size(), 5);
    EXPECT_FALSE(fields[1]->isEnabled());
    test::onNextModal(
        [](QWidget* pad) {
            EXPECT_EQ(pad->windowTitle(), QStringLiteral("采样间隔"));
            QTest::keyClicks(pad, "0.09");
            QTest::keyClick(pad, Qt::Key_Return);
        },
        &params);
    QTest::mouseClick(fields[0], Qt::LeftButton);
    EXPECT_EQ(sink.last(), "修改失败!采样间隔不能小于0.1!");
    EXPECT_EQ(params.focusWidget(), fields[0]);
    EXPECT_EQ(fields[0]->text(), QStringLiteral("0.5"));
}

TEST(ColourDialog, TheChosenColourIsTheColourTheViewsPaint) {
    ui::OffscreenWidgets app;
    CInfo info;
    info.resetToDefaults();
    std::mutex infoLock;
    CDlg_ColorAdjust dialog({info, infoLock});
    dialog.show();
    test::onNextModal(
        [](QWidget* chooser) {
            for (auto* b : chooser->findChildren<QPushButton*>())
                if (b->toolTip() == QStringLiteral("#ffff00")) QTest::mouseClick(b, Qt::LeftButton);
        },
        &dialog);
    QTest::mouseClick(dialog.swatch(0), Qt::LeftButton);  // 背景颜色
    EXPECT_EQ(info.colours[0], 0xFFFFFF) << "nothing is stored before OK";
    const QImage preview = dialog.preview()->grab().toImage();
    EXPECT_EQ(preview.pixelColor(2, preview.height() / 4), QColor(255, 255, 0));
    QTest::mouseClick(test::buttonOf(&dialog, QStringLiteral("确定")), Qt::LeftButton);
    EXPECT_EQ(info.colours[0], 0x0000FFFF);  // 0x00BBGGRR
    const SectionLists none{};
    EXPECT_EQ(takeCurvesSnapshot(info, none, -1, std::nullopt).background, viewRgb(255, 255, 0));
}

}  // namespace
}  // namespace lx9
