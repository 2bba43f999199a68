// TestDialogs over a running console (simulator on loopback): the console's 调整 and 模式 open
// their dialogs through the view's hooks, what the operator does there reaches the controller,
// and the dialogs go when the controller closes them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QTest>
#include <filesystem>

#include "acquisition/console_controller.h"
#include "acquisition/console_rules.h"
#include "acquisition/link_form.h"
#include "acquisition/reset_form.h"
#include "acquisition/test_dialogs.h"
#include "acquisition/test_time_dialog.h"
#include "data/globals.h"
#include "tests/acquisition/console_fakes.h"
#include "tests/acquisition/sim_rig.h"
#include "tests/acquisition/test_support.h"
#include "tests/ui/modal_driver.h"
#include "ui/gui_application.h"

namespace lx9 {
namespace {

// The console's view as the program's window forwards it to TestDialogs.
class ForwardingView : public ConsoleView {
  public:
    void redraw(uint32_t parts) override {
        if (dialogs && (parts & kViewDialogs)) dialogs->refresh();
        redraws |= parts;
    }
    void dialogOpened(ConsoleDialog d) override {
        if (dialogs) dialogs->open(d, nullptr);
    }
    void dialogClosed(ConsoleDialog d) override {
        if (dialogs) dialogs->close(d);
    }
    void runConnectionDialog(LinkForm& form) override {
        form.connect();
        if (form.phase() == LinkForm::Phase::Connected)
            form.accept();
        else
            form.abandon();
    }
    bool confirm(ResetForm&) override { return true; }
    std::optional<std::string> askDataFileName() override { return std::nullopt; }
    std::optional<std::string> askOpenFileName() override { return std::nullopt; }

    TestDialogs* dialogs = nullptr;
    uint32_t redraws = 0;
};

TEST(TestDialogsRun, ConsoleButtonsOpenDialogsThatReportBack) {
    ui::OffscreenWidgets gui;
    test::resetSharedFlags();
    const auto dir = std::filesystem::temp_directory_path() / ("lx9_dialogs_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    {
        test::SimRig rig(test::quietPile(2.0, 1.0, 5.0, 512), 0.01);
        currentInfo.resetToDefaults();
        currentInfo.startDepth = 2.0f;
        currentInfo.pileLength = 2.0f;
        currentInfo.stepMm = 100;
        currentInfo.sampleLength = 512;
        currentInfo.cacheMode = 0;
        currentInfo.rebuildSectionNames();
        ForwardingView view;
        test::ScriptedSink sink;
        ConsoleOptions o;
        o.settingsFile = dir / "set.ini";
        o.loadSettings = false;
        o.timing.worker = test::fastTiming();
        ConsoleController console(rig.link(), view, sink, o);
        TestDialogs dialogs(console, sink);
        view.dialogs = &dialogs;
        console.startUp();
        ASSERT_TRUE(console.connected());

        // 模式: untick both views; OK is refused with its text and the dialog stays.
        ASSERT_TRUE(console.buttons().at(kBtnMode));
        console.click(kBtnMode);
        TestTimeDialog* mode = dialogs.shown(ConsoleDialog::Modal);
        ASSERT_NE(mode, nullptr);
        EXPECT_TRUE(mode->isVisible());
        for (auto* box : mode->findChildren<QCheckBox*>())
            if (box->text() == QStringLiteral("波形") || box->text() == QStringLiteral("波列"))
                QTest::mouseClick(box, Qt::LeftButton);
        QTest::mouseClick(test::buttonOf(mode, QStringLiteral("确定")), Qt::LeftButton);
        EXPECT_EQ(sink.last(), "请在波形波列中至少选择一个");
        EXPECT_EQ(dialogs.shown(ConsoleDialog::Modal), mode);
        QTest::mouseClick(test::buttonOf(mode, QStringLiteral("取消")), Qt::LeftButton);
        EXPECT_EQ(dialogs.shown(ConsoleDialog::Modal), nullptr);
        EXPECT_EQ(console.modalForm(), nullptr);

        // 调整: OK stores the settings through the console.
        console.click(kBtnAdjust);
        TestTimeDialog* adjust = dialogs.shown(ConsoleDialog::PlusInput);
        ASSERT_NE(adjust, nullptr);
        QTest::mouseClick(test::buttonOf(adjust, QStringLiteral("确定")), Qt::LeftButton);
        EXPECT_EQ(dialogs.shown(ConsoleDialog::PlusInput), nullptr);
        EXPECT_TRUE(std::filesystem::exists(dir / "set.ini"));
        QApplication::processEvents();  // the closed dialogs are deleted
        console.close();
    }
    for (auto& list : sectionLists)
        list.reset();
    test::resetSharedFlags();
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace lx9
