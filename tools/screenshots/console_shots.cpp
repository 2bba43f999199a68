// The console `CDlg_Main` after connecting (console.png) and during free sampling
// (console-sampling.png), against the instrument simulator on a loopback port, as a field tester
// sees it on the 1024×768 screen. The views are drawn by their own areas; here their panels are
// the console's frames.
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <stdexcept>

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include "acquisition/console_controller.h"
#include "acquisition/console_window.h"
#include "acquisition/kaxil_link.h"
#include "acquisition/shared_flags.h"
#include "data/globals.h"
#include "instrument_simulator.h"
#include "tools/screenshots/screenshot_registry.h"
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
        window = std::make_unique<ConsoleWindow>();
        boxes = std::make_unique<ui::MessageBoxSink>(window.get());
        ConsoleOptions options;
        options.settingsFile = folder / "set.ini";
        options.loadSettings = false;
        controller = std::make_unique<ConsoleController>(link, *window, *boxes, options);
        window->attach(*controller);
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
