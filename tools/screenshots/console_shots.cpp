// The console `CDlg_Main` after connecting (console.png) and during free sampling
// (console-sampling.png), its connection dialog after failing (link-dialog.png) and the file
// chooser of "新存" (file-chooser.png). The console runs against the instrument simulator on a
// loopback port, with the views and dialogs LX9 puts in it, as a field tester sees it on the
// 1024×768 screen.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include "acquisition/console_controller.h"
#include "acquisition/console_window.h"
#include "acquisition/link_dialog.h"
#include "acquisition/test_dialogs.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "instrument/kaxil_link.h"
#include "instrument_simulator.h"
#include "program/program_screens.h"
#include "tools/screenshots/screenshot_registry.h"
#include "ui/file_chooser_dialog.h"
#include "ui/message_box_sink.h"

namespace lx9::shots {
namespace {

namespace fs = std::filesystem;

// A 20 m pile with four pipes, set up as on site; the probes wait at the toe.
CInfo siteTest() {
    CInfo info;
    info.resetToDefaults();
    info.siteName = "滨江大道三标段";
    info.pileId = "P-17#";
    info.pipeCount = 4;
    info.sectionCount = 6;
    info.pileLength = 20.0f;
    info.startDepth = 20.0f;
    info.stepMm = 50;
    info.pileDiameter = 1200;
    info.cacheMode = 0;
    info.hotkeys = factoryHotkeys();
    info.showHotkeyLetters = 1;
    const int32_t spacing[kMaxSections] = {720, 1010, 720, 720, 1010, 720};
    for (int k = 0; k < kMaxSections; ++k)
        info.sections[static_cast<size_t>(k)].spacing = spacing[k];
    info.rebuildSectionNames();
    return info;
}

// The simulator, the console and its window, connected.
struct ConsoleRig {
    ConsoleRig() {
        folder = fs::temp_directory_path() / ("lx9-shots-console-" + std::to_string(::getpid()));
        fs::create_directories(folder);
        sim::SimulatorOptions o;
        o.port = 0;
        o.scenario.pileLengthM = 20.0;
        o.scenario.pipeCount = 4;
        o.scenario.pileDiameterMm = 1200.0;
        o.scenario.winch.startDelayS = 60.0;
        o.log = nullptr;
        simulator = std::make_unique<sim::InstrumentSimulator>(o);
        simulator->start();
        ::setenv("KAXIL_INSTRUMENT", ("127.0.0.1:" + std::to_string(simulator->port())).c_str(), 1);

        currentInfo = siteTest();
        // Every picture starts a console as the program does: nothing running, idle. Another
        // picture drawn before in this process may have left a file open for viewing.
        testRunning = false;
        pauseWorker = false;
        listsReady = true;
        testState = makeState(kStateIdle);
        window = std::make_unique<ConsoleWindow>();
        boxes = std::make_unique<ui::MessageBoxSink>(window.get());
        ConsoleOptions options;
        options.settingsFile = folder / "set.ini";
        options.loadSettings = false;
        controller = std::make_unique<ConsoleController>(link, *window, *boxes, options);
        window->attach(*controller);
        program::installConsoleParts(*window, *controller, *boxes, parts);
        window->setFileNameProvider(
            [this](ConsoleWindow::FileRequest) { return (folder / "P-17").string(); });
        window->showConsole(true);
        // The connection dialog waits for its "确定".
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [] {
            if (QWidget* modal = QApplication::activeModalWidget())
                for (QPushButton* b : modal->findChildren<QPushButton*>())
                    if (b->isVisible() && b->text() == QStringLiteral("确定")) b->click();
        });
        answer.start(20);
        window->start();
        if (!controller->connected()) throw std::runtime_error("the simulator did not answer");
    }
    ~ConsoleRig() {
        controller.reset();
        parts.dialogs.reset();
        window.reset();
        simulator->stop();
        for (auto& list : sectionLists)
            list.reset();
        std::error_code ec;
        fs::remove_all(folder, ec);
    }

    fs::path folder;
    std::unique_ptr<sim::InstrumentSimulator> simulator;
    KaxilLink link;
    std::unique_ptr<ConsoleWindow> window;
    std::unique_ptr<ui::MessageBoxSink> boxes;
    std::unique_ptr<ConsoleController> controller;
    program::ConsoleParts parts;
};

}  // namespace

LX9_SCREENSHOT(console) {
    ConsoleRig rig;
    shot.settle(600);  // the battery bar's first timer tick
    shot.save(*rig.window, "console");
}

LX9_SCREENSHOT(console_sampling) {
    ConsoleRig rig;
    rig.window->button(kBtnSample)->click();
    shot.settle(1500);
    if (stateCode(rig.controller->state()) != kStateFreeSampling) throw std::runtime_error("not sampling");
    shot.save(*rig.window, "console-sampling");
    rig.window->button(kBtnSample)->click();
}

}  // namespace lx9::shots

namespace lx9::shots {

// The connection dialog after the third try failed.
LX9_SCREENSHOT(link_dialog) {
    struct Silent : InstrumentLink {
        uint8_t GetCommunicateStatus() override { return 0; }
        uint8_t GetFirmwareVersion() override { return 0; }
        uint8_t GetBatteryQuantity() override { return 0; }
        uint8_t SetLEDStatus(uint8_t) override { return 0; }
        uint8_t SetLeakInfo() override { return 0; }
        uint8_t StartRecordHeight() override { return 0; }
        uint8_t StartSample() override { return 0; }
        uint8_t GetSampleStatus() override { return 0; }
        uint8_t GetSampleHeight(uint16_t*, uint16_t*) override { return 0; }
        uint8_t GetHeight(uint16_t, uint16_t*, uint16_t*) override { return 0; }
        uint8_t ReadSampleData(uint16_t, uint16_t*, uint16_t*) override { return 0; }
        uint8_t ReadData(uint16_t, uint16_t, uint16_t*, uint16_t*) override { return 0; }
        uint8_t SetSample(uint8_t) override { return 0; }
        uint8_t SetBegin(uint8_t) override { return 0; }
        uint8_t SetEnd(uint8_t) override { return 0; }
        uint8_t SetHeight(int32_t, uint16_t) override { return 0; }
        uint8_t Set(_Ctrl_Code_INFO_DLL*) override { return 0; }
        uint8_t SetPara1(_Ctrl_SET1_INFO_DLL) override { return 0; }
        uint8_t GetPara1(_Ctrl_SET1_INFO_DLL*) override { return 0; }
        uint8_t SetPara2(_Ctrl_SET2_INFO_DLL) override { return 0; }
        uint8_t GetPara2(_Ctrl_SET2_INFO_DLL*) override { return 0; }
        uint8_t SetPara3(uint8_t*, int32_t) override { return 0; }
        uint8_t GetPara3(uint8_t*, int32_t) override { return 0; }
    } link;
    LinkForm form(link);
    LinkDialog dialog(form);
    dialog.show();
    for (int i = 0; i < 50 && form.phase() == LinkForm::Phase::Connecting; ++i)
        shot.settle(40);
    shot.save(dialog, "link-dialog");
}

// "新存"'s file chooser in a data folder with a few tests.
LX9_SCREENSHOT(file_chooser) {
    const fs::path root = fs::temp_directory_path() / ("lx9-shots-chooser-" + std::to_string(::getpid()));
    fs::create_directories(root / "2026-12 滨江大道");
    fs::create_directories(root / "2026-11 北环桥");
    for (const char* f : {"P-15.CHT", "P-16.CHT", "P-16A.CHT"})
        std::ofstream((root / f).string()) << "x";
    ui::FileChooserDialog dialog(ui::FileChooserDialog::Mode::SaveFile, "新存", root);
    dialog.setName("P-17");
    shot.save(dialog, "file-chooser");
    std::error_code ec;
    fs::remove_all(root, ec);
}

}  // namespace lx9::shots
