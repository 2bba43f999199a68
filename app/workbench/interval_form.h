// The Guangdong interval view `CDlg_Analysis_K` without its window: three waveform panels of
// present sections at one common level, the group of three shown, the zoom, the active panel's
// pick selector, and the buttons of the workbench's row with their meanings here.
//
// Threading: the user-interface thread; lists are read and changed under their locks.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "workbench/workbench_data.h"
#include "workbench/workbench_form.h"

namespace lx9 {

enum IntervalPart : uint32_t {
    kIvWaves = 1u << 0,    // the three waveform panels and their section maps
    kIvCurves = 1u << 1,   // the depth-curve view with the interval bounds
    kIvButtons = 1u << 2,  // captions and enabling
    kIvAll = (1u << 3) - 1,
};

enum class IntervalOpen { None, Workbench, CloseAll };
struct IntervalAction {
    uint32_t redraw = 0;
    IntervalOpen open = IntervalOpen::None;
};

inline constexpr int kIntervalPanels = 3;

class IntervalForm {
  public:
    // Opened with the workbench's current section and point.
    IntervalForm(const CInfo& info, const SectionLists& lists, int section, int point);

    // The slots of the three panels (-1: a panel without a section).
    std::array<int, kIntervalPanels> shownSections() const;
    int group() const { return group_; }
    int level() const { return level_; }          // -1 when no level is common to all sections
    int lastLevel() const { return lastLevel_; }  // the last level every present section has
    int zoom() const { return zoom_; }
    int activePanel() const { return active_; }
    PickKind pickSelector() const { return selector_; }
    // The section the workbench shows on return: the active panel's, else the first shown.
    int currentSection() const;

    IntervalAction click(int id);
    std::string caption(int id) const;
    bool enabled(int id) const;

    // Notifications of a waveform panel.
    uint32_t selectPick(int panel, PickKind kind);
    uint32_t pickAt(int panel, PickKind kind, int sample);
    uint32_t clickWaveform(int panel, int x, int y, int width, int height);
    // The depth-curve view after a cut-height dialog: the level when it is reachable.
    uint32_t setLevel(int level);

  private:
    std::vector<int> present_;  // present sections with a list, slot order
    const CInfo& info_;
    SectionLists lists_;
    int group_ = 0;
    int level_ = -1;
    int lastLevel_ = -1;
    int zoom_ = 1;
    int active_ = 0;
    PickKind selector_ = PickKind::Arrival;
};

}  // namespace lx9
