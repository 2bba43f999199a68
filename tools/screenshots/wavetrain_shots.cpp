// The wave-train panel in each form over a whole simulated test (20 m at 50 mm, four pipes, six
// sections, a weak zone on 1-2 and 1-3), at the size the console gives it on the 1024×768
// screen. Until the console window hosts the view these are the panel on its own.
#include <QWidget>

#include "acquisition/console_view.h"
#include "bench/display/bench_wave_train_pile.h"
#include "data/globals.h"
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
