// The analysis workbench `CDlg_Analysis` without its window: the section, the current point, the
// wave-train page, the waveform zoom, the curve mode and the pick selector; every button and every
// notification of the child views as a method that says what to redraw; the point texts and the
// button captions. The window shows this state and forwards what the operator does.
//
// Points run from the deepest (index 0) upwards; the wave-train page shows the points
// top, top − 1, …, top − pageSize + 1.
//
// Threading: the user-interface thread only. The form reads and writes the point lists through
// their locks (hand picks through writeHandPick); never call it while holding a list's lock.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "data/cinfo.h"
#include "data/sample_data_list.h"
#include "workbench/workbench_data.h"

namespace lx9 {

// What a change asks the window to redraw.
enum WorkbenchPart : uint32_t {
    kWbWaveform = 1u << 0,   // the waveform view with its picks and texts
    kWbAxis = 1u << 1,       // the axis strip beside the curves
    kWbWaveTrain = 1u << 2,  // the wave-train page
    kWbCurves = 1u << 3,     // the depth curves and their critical lines
    kWbButtons = 1u << 4,    // captions and enabling
    kWbAll = (1u << 5) - 1,
};

// Button ids, in their order along the bottom edge (position 0 … 10).
inline constexpr int kWbSection = 1169;
inline constexpr int kWbInterval = 1170;
inline constexpr int kWbZoom = 1171;
inline constexpr int kWbPageForward = 1172;
inline constexpr int kWbPageBack = 1175;
inline constexpr int kWbNextWave = 1174;
inline constexpr int kWbPrevWave = 1176;
inline constexpr int kWbLeft = 1177;
inline constexpr int kWbRight = 1178;
inline constexpr int kWbReread = 1179;
inline constexpr int kWbExit = 1012;
// The captions the workbench and the interval view share (zoom, paging, waves, moves, 重读,
// 退出); empty for the two buttons each view names itself.
std::string workbenchCommonCaption(int id, int zoom);

inline constexpr std::array<int, 11> kWbButtonOrder = {kWbSection,  kWbInterval, kWbZoom,     kWbPageForward,
                                                       kWbPageBack, kWbNextWave, kWbPrevWave, kWbLeft,
                                                       kWbRight,    kWbReread,   kWbExit};

// Curve modes of the depth-curve view.
enum class CurveMode { Velocity = 1, Amplitude = 2, Psd = 3 };

// A button's rectangle: one eleventh of the screen wide, 3 × (height / 50) high, on the bottom.
struct ButtonRect {
    int x = 0, y = 0, width = 0, height = 0;
};
ButtonRect workbenchButtonRect(int position, int screenWidth, int screenHeight);

// What a button asks the window to do besides redrawing.
enum class WorkbenchOpen { None, SectionChooser, IntervalView, Close };
struct WorkbenchAction {
    uint32_t redraw = 0;
    WorkbenchOpen open = WorkbenchOpen::None;
};

// The two text blocks of the waveform view and its caption.
struct PointTexts {
    std::string caption;   // "当前剖面号：1-2"
    std::string measures;  // depth, travel time, amplitude, dB
    std::string geometry;  // path, velocity, gain
};

// Ticks of an axis strip: labels ("%d") at positions in the unit of the curve.
struct AxisStrip {
    std::string unit;  // "(km/s)", "(dB)", "(us2/m)"
    std::vector<int> ticks;
    int low = 0, high = 0;  // the axis's ends, in the curve's unit (high at the strip's right)
};
AxisStrip axisStrip(CurveMode mode);

inline constexpr int kDefaultPageSize = 50;

class WorkbenchForm {
  public:
    WorkbenchForm(const CInfo& info, const SectionLists& lists);

    // Opening: every present section's interval becomes the whole section, the Guangdong
    // standard evaluates the pile, the first present section with points is shown at its last
    // point. A test without such a section shows empty views.
    void open();

    // --- State.
    int section() const { return section_; }       // slot, -1 when no section has points
    int currentPoint() const { return current_; }  // -1 when the section is empty
    int pageTop() const { return top_; }
    int pageSize() const { return pageSize_; }
    int zoom() const { return zoom_; }
    CurveMode curveMode() const { return curveMode_; }
    PickKind pickSelector() const { return selector_; }
    bool guangdong() const { return info_.standard == kStandardGuangdong; }
    int pointCount() const;  // of the current section
    // The page size follows the wave-train view's height (rows that fit); at least 1.
    uint32_t setPageSize(int rows);

    // --- Buttons (by id); a disabled button or one that would move past an end does nothing.
    WorkbenchAction click(int id);
    std::string caption(int id) const;
    bool enabled(int id) const;

    // --- Notifications of the child views.
    uint32_t selectPick(PickKind kind);                           // pointer over a half of the waveform view
    uint32_t pickAt(PickKind kind, int sample);                   // a hand pick in the waveform view
    uint32_t clickWaveform(int x, int y, int width, int height);  // the same from a click
    uint32_t selectPoint(int point);                              // wave-train click (points outside ignored)
    uint32_t jumpToPoint(int point);                              // depth-curve click: the page follows
    uint32_t showSection(int slot);                               // section chooser / interval view's section
    uint32_t cycleCurveMode();                                    // tap on the axis strip
    // Back from the interval view with its section and level.
    uint32_t returnFromInterval(int slot, int level);
    // The wave-train row under y (rows `rowHeight` high from the page top), -1 outside the list.
    int pointAtRow(int y, int rowHeight) const;

    // --- What the views show.
    PointTexts pointTexts() const;
    // Present sections with a list, in slot order (what the section chooser offers).
    std::vector<int> sectionsOffered() const;
    const CInfo& info() const { return info_; }
    const SectionLists& lists() const { return lists_; }

    // Re-evaluates the pile with the Guangdong rules ("重读"), whatever the standard.
    uint32_t reread();

  private:
    int lastPoint() const { return pointCount() - 1; }
    bool hasPoint() const { return current_ >= 0; }
    uint32_t shiftPick(int delta);
    void bringOnPage(int point);
    bool onPage(int point) const { return point <= top_ && point > top_ - pageSize_; }

    const CInfo& info_;
    SectionLists lists_;
    int section_ = -1;
    int current_ = -1;
    int top_ = -1;
    int pageSize_ = kDefaultPageSize;
    int zoom_ = 1;
    CurveMode curveMode_ = CurveMode::Velocity;
    PickKind selector_ = PickKind::Arrival;
};

}  // namespace lx9
