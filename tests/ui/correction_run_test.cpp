// 误差修正 against the simulator's winch, through the widgets: 开始修正 puts the console into live
// depth, the encoder field follows the worker's readings as the probes rise, 修正 turns the cable
// depth typed on the pad into the ratio that 滑轮参数 applies, and the console is idle and paused
// again afterwards.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <chrono>
#include <filesystem>

#include "acquisition/console_controller.h"
#include "acquisition/console_rules.h"
#include "acquisition/link_form.h"
#include "acquisition/reset_form.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "setup/calibration_dialog.h"
#include "tests/acquisition/console_fakes.h"
#include "tests/acquisition/sim_rig.h"
#include "tests/acquisition/test_support.h"
#include "tests/ui/modal_driver.h"
#include "ui/gui_application.h"
#include "ui/num_input_dialog.h"
#include "ui/number_text.h"

namespace lx9 {
namespace {

using namespace std::chrono_literals;

class QuietView : public ConsoleView {
  public:
    void redraw(uint32_t) override {}
    void dialogOpened(ConsoleDialog) override {}
    void dialogClosed(ConsoleDialog) override {}
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
};

TEST(CorrectionRun, FollowsTheWinchAndCorrectsThePulley) {
    ui::OffscreenWidgets gui;
    test::resetSharedFlags();
    const auto dir = std::filesystem::temp_directory_path() / ("lx9_amend_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    {
        test::SimRig rig(test::quietPile(10.0, 1.0, 0.2, 512), 0.01);
        currentInfo.resetToDefaults();
        currentInfo.startDepth = 10.0f;
        currentInfo.pileLength = 10.0f;
        currentInfo.stepMm = 100;
        currentInfo.sampleLength = 512;
        currentInfo.cacheMode = 0;
        currentInfo.pulleyDiameter = 63.0f;
        currentInfo.cableDiameter = 10.0f;
        currentInfo.rebuildSectionNames();
        QuietView view;
        test::ScriptedSink sink;
        ConsoleOptions o;
        o.settingsFile = dir / "set.ini";
        o.loadSettings = false;
        o.timing.worker = test::fastTiming();
        ConsoleController console(rig.link(), view, sink, o);
        console.startUp();
        ASSERT_TRUE(console.connected());

        CDlg_Wheelpara wheel(sharedCurrentInfo(), console, sink,
                             [&console](std::function<void(uint16_t)> listener) {
                                 console.setDepthListener(std::move(listener));
                             });
        wheel.show();
        std::string encoderAtCorrection;
        bool liveDuringRun = false;
        test::onNextModal(
            [&](QWidget* amend) {
                QTest::mouseClick(test::buttonOf(amend, QStringLiteral("开始修正")), Qt::LeftButton);
                liveDuringRun = stateCode(testState.load()) == kStateLiveDepth && !pauseWorker.load();
                auto fields = amend->findChildren<PadField*>();
                ASSERT_EQ(fields.size(), 2);
                // The probes rise from 10 m: wait until the encoder reads at least a metre less.
                const auto deadline = std::chrono::steady_clock::now() + 30s;
                while (parseFloatText(fields[0]->text().toStdString()) > 9.0 || fields[0]->text().isEmpty()) {
                    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "no depth reports";
                    console.dispatchMessages(2ms);
                }
                encoderAtCorrection = fields[0]->text().toStdString();
                test::onNextModal(
                    [](QWidget* pad) {
                        QTest::keyClicks(pad, "9.5");
                        QTest::keyClick(pad, Qt::Key_Return);
                    },
                    amend);
                QTest::mouseClick(fields[1], Qt::LeftButton);
                QTest::mouseClick(test::buttonOf(amend, QStringLiteral("修正")), Qt::LeftButton);
            },
            &wheel);
        QTest::mouseClick(test::buttonOf(&wheel, QStringLiteral("误差修正")), Qt::LeftButton);

        EXPECT_TRUE(liveDuringRun);
        EXPECT_EQ(stateCode(testState.load()), kStateIdle);
        EXPECT_TRUE(pauseWorker.load());
        const double encoder = parseFloatText(encoderAtCorrection);
        const double k = (9.5 - encoder) / 10.0;
        auto fields = wheel.findChildren<PadField*>();
        EXPECT_EQ(fields[0]->text().toStdString(), formatFixed((63.0 + 10.0) * (1 - k) - 10.0, 1))
            << "encoder " << encoderAtCorrection;
        EXPECT_FLOAT_EQ(currentInfo.pulleyDiameter, 63.0f) << "nothing is stored before OK";
        QTest::mouseClick(test::buttonOf(&wheel, QStringLiteral("确定")), Qt::LeftButton);
        EXPECT_FLOAT_EQ(currentInfo.pulleyDiameter,
                        static_cast<float>(parseFloatText(fields[0]->text().toStdString())));
        console.close();
    }
    for (auto& list : sectionLists)
        list.reset();
    test::resetSharedFlags();
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace lx9
