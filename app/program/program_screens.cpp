#include "program/program_screens.h"

#include <optional>
#include <type_traits>

#include "acquisition/console_controller.h"
#include "acquisition/console_window.h"
#include "acquisition/messages.h"
#include "acquisition/test_dialogs.h"
#include "display/section_map_view.h"
#include "display/view_source.h"
#include "display/wave_train_view.h"
#include "display/waveform_view.h"
#include "program/screen_entries.h"
#include "setup/setup_dialog.h"
#include "upload/upload_dialog.h"
#include "upload/upload_job.h"
#include "workbench/analysis_dialog.h"

namespace lx9::program {
namespace {

// A view that reads the program's globals through a ViewSource holds the six lists' pointers:
// the console re-creates the lists for every test (and announces it with kViewReset), so the
// source is taken again then. A wave panel also follows the console's "波列" switch: with the
// train shown, every displayed section shares the upper panel in one row.
template <class View>
class GlobalSourceAdapter : public PanelView {
  public:
    GlobalSourceAdapter(View& view, ConsoleController& controller) : view_(view), controller_(controller) {}
    void redraw(uint32_t parts) override {
        if (parts & kViewReset) view_.setSource(globalViewSource());
        if constexpr (std::is_same_v<View, WaveformView>) {
            if (parts & (kViewButtons | kViewReset)) {
                const bool shown = controller_.display().showWaveTrain;
                if (!shown_ || *shown_ != shown) view_.setWaveTrainShown(shown);
                shown_ = shown;
            }
        }
        view_.redraw(parts);
    }

  private:
    View& view_;
    ConsoleController& controller_;
    std::optional<bool> shown_;
};

}  // namespace

ConsoleParts::ConsoleParts() = default;
ConsoleParts::~ConsoleParts() = default;

void installConsoleParts(ConsoleWindow& window, ConsoleController& controller, MessageSink& sink,
                         ConsoleParts& parts) {
    for (auto [panel, which] : {std::pair{ConsolePanel::UpperWave, WavePanel::Upper},
                                std::pair{ConsolePanel::LowerWave, WavePanel::Lower}}) {
        auto* view = new WaveformView(nullptr, which);
        view->setSource(globalViewSource());
        view->setWaveTrainShown(controller.display().showWaveTrain);
        parts.adapters.push_back(std::make_unique<GlobalSourceAdapter<WaveformView>>(*view, controller));
        window.setPanelView(panel, view, parts.adapters.back().get());
    }

    auto* train = new WaveTrainView(nullptr);
    train->setNewestLevelSource([&controller]() -> std::optional<int32_t> {
        const int32_t levels = controller.levelsStored();
        return levels > 0 ? std::optional<int32_t>(levels - 1) : std::nullopt;
    });
    // WM_USER+91: the console shows the level the operator paged or picked to.
    QObject::connect(train, &WaveTrainView::levelSelected, &window, [&controller](int level) {
        controller.mailbox().post(kMsgSelectPoint, static_cast<uintptr_t>(level), 0);
    });
    window.setPanelView(ConsolePanel::WaveTrain, train, train);
    window.setWaveTrainPager(
        [train](int direction) { direction < 0 ? train->pageBack() : train->pageForward(); });

    auto* map = new SectionMapView(nullptr);
    map->setSource(globalViewSource());
    parts.adapters.push_back(std::make_unique<GlobalSourceAdapter<SectionMapView>>(*map, controller));
    window.setPanelView(ConsolePanel::SectionMap, map, parts.adapters.back().get());

    parts.dialogs = std::make_unique<TestDialogs>(controller, sink);
    ConsoleScreens screens;
    TestDialogs* dialogs = parts.dialogs.get();
    screens.openTestDialog = [dialogs](ConsoleDialog d, QWidget* console) { dialogs->open(d, console); };
    screens.closeTestDialog = [dialogs](ConsoleDialog d) { dialogs->close(d); };
    screens.refreshTestDialogs = [dialogs] { dialogs->refresh(); };
    screens.openSetup = [&controller, &sink](QWidget* console) {
        openSetupDialog(controller, sink, console);
    };
    screens.openAnalysis = [&controller, &sink](QWidget* console) {
        openAnalysisDialog(controller, sink, console);
    };
    screens.openUpload = [&controller, &sink, &parts](QWidget* console) {
        // Without the program's upload thread (the screenshot tool), one of the parts' own.
        if (!parts.upload) {
            parts.ownUpload = std::make_unique<UploadJob>();
            parts.upload = parts.ownUpload.get();
        }
        openUploadDialog(controller, sink, *parts.upload, console);
    };
    window.setScreens(std::move(screens));
}

}  // namespace lx9::program
