// The views the console hosts: both wave panels, the depth curves and the section map, made and
// placed in the console window's panels in one call from the program's composition root (and the
// console's screenshot). The wave-train panel is hosted by its own view.
//
// Threading: the user-interface thread only.
#pragma once

#include <functional>

namespace lx9 {

class ConsoleWindow;
class CurvesView;
class SectionMapView;
class WaveformView;

struct ConsoleViews {
    WaveformView* upper = nullptr;
    WaveformView* lower = nullptr;
    CurvesView* curves = nullptr;
    SectionMapView* map = nullptr;
};

// Creates the views on the globals (currentInfo under currentInfoLock, sectionLists) and hosts
// them; the window owns them from then on. `waveTrainShown` is the console's "波列" switch, read
// at each redraw. A point picked on the curves becomes the current point of every displayed
// section and the views redraw, but only while no test runs (idle or a file viewed): during
// acquisition the worker stores into the current points.
ConsoleViews hostConsoleViews(ConsoleWindow& window, std::function<bool()> waveTrainShown);

// The curves' pick in the console: true when the point became current (see above).
bool selectConsolePoint(int index);

}  // namespace lx9
