// A view hosted in one of the console's panels. The console window forwards its redraw requests
// (ViewPart bits of console_view.h) to every hosted view; each view decides whether the parts
// concern it, snapshots what it draws under the list lock and repaints outside it.
//
// Threading: the user-interface thread only.
#pragma once

#include <cstdint>

namespace lx9 {

// The console's view areas.
enum class ConsolePanel { UpperWave, LowerWave, WaveTrain, Curves, SectionMap };

class PanelView {
  public:
    virtual ~PanelView() = default;
    virtual void redraw(uint32_t parts) = 0;
};

}  // namespace lx9
