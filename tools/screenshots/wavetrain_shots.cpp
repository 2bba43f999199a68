// The wave-train panel in each form over a whole simulated test (20 m at 50 mm, four pipes, six
// sections, a weak zone on 1-2 and 1-3), at the size the console gives it on the 1024×768
// screen (wavetrain-*.png), and the console viewing that test saved and opened again, with the
// grey-scale train in its panel (console-grey.png).
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include "acquisition/console_controller.h"
#include "acquisition/console_window.h"
#include "acquisition/messages.h"
#include "data/data_file_writer.h"
#include "display/curves_view.h"
#include "display/section_map_view.h"
#include "display/waveform_view.h"
#include "instrument/kaxil_link.h"
#include "instrument_simulator.h"
#include "ui/message_box_sink.h"

#include "acquisition/console_view.h"
#include "bench/display/bench_wave_train_pile.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "display/wave_train_view.h"
#include "tools/screenshots/screenshot_registry.h"

namespace {

using namespace lx9;

bench::SimulatedTrainTest& wholeTest() {
    static auto t = bench::simulatedTrainTest(20.0f, 50);
    return *t;
}

void shoot(shots::Shot& shot, const char* name, int style, int viewOption, uint32_t state) {
    bench::SimulatedTrainTest& t = wholeTest();
    CInfo info = t.info;
    info.waveTrainStyle = style;
    info.viewOption = viewOption;
    info.zoomInterval = 10;
    info.grayLevels = 3;
    info.grayColour = 1;
    WaveTrainView view;
    view.resize(974, 422);  // the console's wave-train panel with waves and train shown
    view.setSource(&info, t.lists, state);
    view.redraw(kViewWaveTrain);
    shot.save(view, name);
}

}  // namespace

LX9_SCREENSHOT(wavetrain_dash) {
    shoot(shot, "wavetrain-dash", 0, 1, makeState(kStateEndContinuous));
}
LX9_SCREENSHOT(wavetrain_mini) {
    shoot(shot, "wavetrain-mini", 1, 0, makeState(kStateEndContinuous));
}
LX9_SCREENSHOT(wavetrain_grey) {
    shoot(shot, "wavetrain-grey", 2, 0, makeState(kStateEndContinuous));
}
// A viewed file: the console's selected point is marked across the curves.
LX9_SCREENSHOT(wavetrain_curves) {
    shoot(shot, "wavetrain-curves", 3, 0, makeState(kStateViewing));
}

// The console after "打开" on the saved simulated test, the train in grey (the mode dialog's
// 灰度, 区间放大 10, 灰度等级 3, 最大正幅值黑色), the hosted views drawing the opened file.
LX9_SCREENSHOT(console_grey) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("lx9-shots-wavetrain-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    bench::SimulatedTrainTest& t = wholeTest();
    CInfo saved = t.info;
    saved.siteName = "滨江大道三标段";
    saved.pileId = "P-17#";
    saved.chtPath = (folder / "P-17.CHT").string();
    saved.chdPath = (folder / "P-17.CHD").string();
    if (!CSaveFile().saveAtEnd(saved, t.lists)) throw std::runtime_error("could not save the simulated test");

    sim::SimulatorOptions o;
    o.port = 0;
    o.scenario.pileLengthM = 20.0;
    o.scenario.winch.startDelayS = 600.0;
    o.log = nullptr;
    sim::InstrumentSimulator simulator(o);
    simulator.start();
    ::setenv("KAXIL_INSTRUMENT", ("127.0.0.1:" + std::to_string(simulator.port())).c_str(), 1);

    currentInfo = t.info;
    currentInfo.waveTrainStyle = 2;
    currentInfo.viewOption = 0;
    currentInfo.zoomInterval = 10;
    currentInfo.grayLevels = 3;
    currentInfo.grayColour = 1;
    currentInfo.cacheMode = 0;
    {
        KaxilLink link;
        auto window = std::make_unique<ConsoleWindow>();
        ui::MessageBoxSink boxes(window.get());
        ConsoleOptions options;
        options.settingsFile = folder / "set.ini";
        options.loadSettings = false;
        auto controller = std::make_unique<ConsoleController>(link, *window, boxes, options);
        window->attach(*controller);
        window->setFileNameProvider([&](ConsoleWindow::FileRequest) { return (folder / "P-17").string(); });

        auto* train = new WaveTrainView;
        window->setPanelView(ConsolePanel::WaveTrain, train, train);
        window->setWaveTrainPager(
            [train](int direction) { direction > 0 ? train->pageForward() : train->pageBack(); });
        QObject::connect(train, &WaveTrainView::levelSelected, [&controller](int level) {
            controller->mailbox().post(kMsgSelectPoint, static_cast<uintptr_t>(level));
        });
        auto* wave = new WaveformView(nullptr);
        window->setPanelView(ConsolePanel::UpperWave, wave, wave);
        auto* curves = new CurvesView(nullptr);
        window->setPanelView(ConsolePanel::Curves, curves, curves);
        auto* map = new SectionMapView(nullptr);
        window->setPanelView(ConsolePanel::SectionMap, map, map);

        window->showConsole(true);
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [] {
            if (QWidget* modal = QApplication::activeModalWidget())
                for (QPushButton* b : modal->findChildren<QPushButton*>())
                    if (b->isVisible() && b->text() == QStringLiteral("确定")) b->click();
        });
        answer.start(20);
        window->start();
        window->button(kBtnOpen)->click();
        for (int i = 0; i < 100 && !(controller->viewingFile() && !controller->promptForm()); ++i)
            shot.settle(50);
        if (stateCode(controller->state()) != kStateViewing)
            throw std::runtime_error("the test did not open");
        shot.settle(300);
        // The operator touches the weak zone of 1-2: the console shows that level.
        const QPoint at(train->width() / 12, train->height() * 64 / 100);
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), train->mapToGlobal(QPointF(at)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(train, &press);
        shot.settle(300);
        shot.save(*window, "console-grey");
        controller.reset();
        window.reset();
    }
    simulator.stop();
    for (auto& list : sectionLists)
        list.reset();
    std::error_code ec;
    fs::remove_all(folder, ec);
}
