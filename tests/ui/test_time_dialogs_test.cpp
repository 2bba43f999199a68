// The test-time dialogs driven through their widgets: 参数调整's Up/Down walk, a refused delay
// with its exact text and the focus back on the field, a chosen gain reaching the record and
// "set.ini"; the save dialog's phases.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QTest>

#include "acquisition/plus_input_dialog.h"
#include "acquisition/test_time_dialog.h"
#include "tests/acquisition/console_fakes.h"
#include "tests/ui/file_console.h"
#include "tests/ui/modal_driver.h"
#include "ui/gui_application.h"
#include "ui/num_input_dialog.h"

namespace lx9 {
namespace {

class TestTimeDialogs : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { app_ = new ui::OffscreenWidgets; }
    static void TearDownTestSuite() {
        delete app_;
        app_ = nullptr;
    }
    void SetUp() override {
        current.resetToDefaults();
        current.sectionCount = 5;  // slots 0..4 in use, slot 5 not
        current.sections[5].present = false;
        current.sampleInterval = 0.5f;
        saved = current;
    }
    static void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }

    static inline ui::OffscreenWidgets* app_ = nullptr;
    CInfo current, saved;
    std::mutex infoLock;
    test::FileConsole console;
    test::ScriptedSink sink;
    int changes = 0;
};

TEST_F(TestTimeDialogs, PlusInputUpDownWalkSkipsUnusedRows) {
    PlusInputForm form({current, infoLock}, saved, console, sink);
    CDlg_PlusInput dialog(form, sink, [this] { ++changes; });
    dialog.show();
    // From → Down, Up (-1: the key does nothing and the focus stays).
    struct Case {
        int from, down, up;
    } cases[] = {
        {0, 1, -1}, {3, 4, 2},   {4, 6, 3},    // gain 5 unused: Down passes to delay 1-2
        {6, 7, 4},  {10, 12, 9}, {12, 0, 10},  // delay 6 unused; Down on OK wraps to the first gain
    };
    for (const auto& c : cases) {
        for (const auto [key, expected] : {std::pair{Qt::Key_Down, c.down}, std::pair{Qt::Key_Up, c.up}}) {
            dialog.control(c.from)->setFocus();
            QTest::keyClick(dialog.control(c.from), key);
            EXPECT_EQ(dialog.focusWidget(), dialog.control(expected < 0 ? c.from : expected))
                << "from " << c.from << (key == Qt::Key_Down ? " down" : " up");
        }
    }
    EXPECT_FALSE(dialog.control(5)->isEnabled());
    EXPECT_EQ(changes, 0);
}

TEST_F(TestTimeDialogs, PlusInputRefusesNegativeDelayAndStoresTheChosenGain) {
    PlusInputForm form({current, infoLock}, saved, console, sink);
    CDlg_PlusInput dialog(form, sink, [this] { ++changes; });
    dialog.show();
    QWidget* delay2 = dialog.control(PlusInputForm::kFirstDelay + 1);
    test::onNextModal(
        [](QWidget* pad) {
            EXPECT_EQ(pad->windowTitle(), QStringLiteral("剖面2的延时"));
            QTest::keyClicks(pad, "-5");
            QTest::keyClick(pad, Qt::Key_Return);
        },
        &dialog);
    click(delay2);
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"修改失败,剖面 2 的延时不能为负！"});
    EXPECT_EQ(dialog.focusWidget(), delay2);
    EXPECT_EQ(static_cast<PadField*>(delay2)->text().toStdString(), "100.0");
    EXPECT_TRUE(console.calls.empty());

    test::onNextModal(
        [](QWidget* picker) {
            EXPECT_EQ(picker->windowTitle(), QStringLiteral("剖面2的增益"));
            click(test::buttonOf(picker, QStringLiteral("400")));
        },
        &dialog);
    click(dialog.control(1));
    EXPECT_EQ(current.sections[1].gain, 400);
    click(test::buttonOf(&dialog, QStringLiteral("确定")));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(console.calls, (std::vector<std::string>{"push", "push", "store"}));
    EXPECT_EQ(console.readBack().sections[1].gain, 400);
    EXPECT_EQ(saved.sections[1].gain, 400);
}

// The save dialog hides its choices and shows the service thread's progress.
class NoHost : public TestDialogHost {
  public:
    void stopWorkerForEnd() override { calls.push_back("stop"); }
    bool postToService(Message) override {
        calls.push_back("service");
        return true;
    }
    void postToConsole(Message) override { calls.push_back("console"); }
    void resetAfterTest() override { calls.push_back("reset"); }
    void resetViews() override {}
    void recreateForFile() override {}
    int32_t levelsCollected() const override { return 10; }
    bool testWroteFiles() const override { return false; }
    InstrumentLink& instrument() override { throw std::logic_error("no instrument in this test"); }
    std::vector<std::string> calls;
};

TEST_F(TestTimeDialogs, SaveShowsProgressThenEnds) {
    NoHost host;
    std::atomic<uint32_t> state{0xABCD0000u};
    current.chdPath = "/data/P1.CHD";
    SaveForm form({current, infoLock}, saved, state, host, sink, true, 7);
    CDlg_Save dialog(form, sink, [this] { ++changes; });
    dialog.show();
    EXPECT_FALSE(test::buttonOf(&dialog, QStringLiteral("返回实验"))->isEnabled());  // final
    click(test::buttonOf(&dialog, QStringLiteral("保存")));
    form.onProgress(3, 12);
    dialog.refresh();
    EXPECT_FALSE(test::buttonOf(&dialog, QStringLiteral("保存"))->isVisible());
    EXPECT_EQ(dialog.findChild<QProgressBar*>()->value(), 25);
    bool found = false;
    for (auto* l : dialog.findChildren<QLabel*>())
        found |= l->text() == QStringLiteral("已保存25%\n保存路径：/data/P1.CHD");
    EXPECT_TRUE(found);
    EXPECT_EQ(changes, 1);
}

TEST_F(TestTimeDialogs, NoSaveAsksAndCancelKeepsEverything) {
    NoHost host;
    std::atomic<uint32_t> state{0xFA000000u};
    SaveForm form({current, infoLock}, saved, state, host, sink, false, 8);
    CDlg_Save dialog(form, sink, [this] { ++changes; });
    dialog.show();
    sink.answers = {false};
    QTest::mouseClick(test::buttonOf(&dialog, QStringLiteral("不保存")), Qt::LeftButton);
    ASSERT_EQ(sink.said.size(), 1u);
    EXPECT_EQ(sink.said[0], (test::Said{"是否确认不保存？选择确认将会结束实验", "结束实验", true}));
    EXPECT_EQ(form.phase(), SaveForm::Phase::Choice);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_TRUE(test::buttonOf(&dialog, QStringLiteral("返回实验"))->isEnabled());
    QTest::mouseClick(test::buttonOf(&dialog, QStringLiteral("返回实验")), Qt::LeftButton);
    EXPECT_EQ(form.result(), SaveForm::Result::ReturnedToTest);
    EXPECT_EQ(state.load(), 0xFA000000u);
}

}  // namespace
}  // namespace lx9
