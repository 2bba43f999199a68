// A view hosted in one of the console's panels. The console window forwards its redraw requests
// (ViewPart bits) to every hosted view; each view decides whether the parts
// concern it, snapshots what it draws under the list lock and repaints outside it.
//
// Threading: the user-interface thread only.
#pragma once

#include <cstdint>

namespace lx9 {

// What changed, for a redraw request.
enum ViewPart : uint32_t {
    kViewWaveform = 1u << 0,    // the waveform view and its marks
    kViewWaveTrain = 1u << 1,   // the wave-train view
    kViewCurves = 1u << 2,      // the depth curves (velocity, amplitude, PSD)
    kViewPointInfo = 1u << 3,   // the point information texts
    kViewSectionMap = 1u << 4,  // the section map
    kViewButtons = 1u << 5,     // enabling, visibility and captions of the buttons
    kViewBattery = 1u << 6,     // the battery bar
    kViewLiftSpeed = 1u << 7,   // the lift-speed bar
    kViewReset = 1u << 8,       // the point lists were re-created: start the views again
    kViewDialogs = 1u << 9,     // the texts of an open dialog changed (heights, progress, prompt)
    kViewAll = (1u << 10) - 1,
};

// The console's view areas.
enum class ConsolePanel { UpperWave, LowerWave, WaveTrain, Curves, SectionMap };

class PanelView {
  public:
    virtual ~PanelView() = default;
    virtual void redraw(uint32_t parts) = 0;
};

}  // namespace lx9
