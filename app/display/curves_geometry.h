// Geometry of the depth curves (CDisplay_VAHeight) of one section: velocity, amplitude and PSD
// against depth with the standard's critical lines, the Guangdong grade panel and the current
// point; and its interval mode, the grade bar between the two cut limits. Picking turns a
// click's height into a point index.
//
// Inputs are a snapshot (takeCurvesSnapshot copies the points out under the list lock and then
// asks the standard's rules for the critical values, which take the lock themselves) and the
// widget size; outputs are plain shapes in pixels.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "data/cinfo.h"
#include "data/globals.h"
#include "data/sample_data_list.h"
#include "display/view_shapes.h"

namespace lx9 {

// One point of the section as the curves use it.
struct CurvePoint {
    float depth = 0.0f;        // m
    bool measured = false;     // holds a picked waveform (placeholders and unpicked points do not)
    float time = 0.0f;         // µs, pointMetrics
    float velocity = 0.0f;     // km/s
    double amplitudeDb = 0.0;  // NaN for a zero amplitude (nothing to draw)
};

struct CurvesSnapshot {
    int slot = -1;  // none: nothing to draw
    float pileLength = 0.0f;
    int32_t stepMm = 0;
    bool guangdong = false;
    uint32_t background = 0;
    std::vector<CurvePoint> points;  // list order (0 = the first, deepest)
    int current = -1;                // the current point's index, −1 without one
    float criticalVelocity = 0.0f;   // km/s, or −998/−999
    float criticalAmplitudeDb = 0.0f;
    std::vector<float> grades;  // the list's gradeArray as it stands
    int intervalFirst = 0;      // the analysis' statistics interval, as stored
    int intervalLast = 0;
};

// Reads section `slot` of a record only this thread sees and copies its list (under its lock),
// then computes the critical values: the standard's rules on every point's velocity and dB
// amplitude, or under "广东建筑" the values the analysis stored with the list. `current`
// overrides the list's current point (a picture of a saved test marks the chosen level).
CurvesSnapshot takeCurvesSnapshot(const CInfo& info, const SectionLists& lists, int slot,
                                  std::optional<int> current = std::nullopt);
// The same for a record other threads change: copied under its lock first.
CurvesSnapshot takeCurvesSnapshot(SharedInfo info, const SectionLists& lists, int slot,
                                  std::optional<int> current = std::nullopt);

// The axes: velocity 0..6 km/s from the left, amplitude 0..150 dB from the right, PSD 0..20000.
inline constexpr double kCurvesVelocityMax = 6.0;
inline constexpr double kCurvesAmplitudeMax = 150.0;
inline constexpr double kCurvesPsdMax = 20000.0;

// Width of the Guangdong grade panel for a client width: a sixth of it, 30 to 60 pixels.
int gradePanelWidth(int clientWidth);

struct CurvesGeometry {
    ViewRect client;
    ViewRect plot;  // the client less the grade panel
    uint32_t background = 0;
    // Runs of consecutive measured points (a skipped point breaks the line).
    std::vector<ViewPolyline> velocity;
    std::vector<ViewPolyline> amplitude;
    std::vector<ViewPolyline> psd;
    std::optional<ViewLine> criticalVelocity;
    std::optional<ViewLine> criticalAmplitude;
    std::optional<ViewRect> gradePanel;
    std::vector<ViewLine> gradeFrame;  // the panel's two grey lines
    std::vector<ViewPolyline> grades;  // black, one run per stretch of valid grades
    std::optional<ViewLine> currentLine;
};

CurvesGeometry curvesGeometry(const CurvesSnapshot& snapshot, int width, int height,
                              bool velocityCurve = true);

// The point a click at height y picks: y to depth, snapped to the nearest step, then the point
// nearest that depth (a later point wins a tie). None when nothing can be drawn, when the
// snapped depth lies above the newest measured point, or when no measured point is within 100 m.
std::optional<int> curvesPick(const CurvesSnapshot& snapshot, int width, int height, int y);

// --- Interval mode.
struct IntervalGeometry {
    ViewRect client;
    ViewRect plot;
    ViewRect bar;  // the middle half of the plot width
    std::optional<int> upperY;
    std::optional<int> lowerY;
    struct Band {
        ViewRect rect;
        uint32_t colour = 0;
    };
    std::vector<Band> bands;
    std::vector<ViewLine> lines;      // the current point's line, the two limit lines
    std::vector<ViewRect> handles;    // upper, lower: black, right of the bar
    std::vector<ViewPoint> triangle;  // the current point's marker pointing at the bar
    int first = 0;                    // the interval as drawn, clamped to the list
    int last = -1;
};

IntervalGeometry intervalGeometry(const CurvesSnapshot& snapshot, int width, int height);

// Where a click in interval mode lands: the handle column right of the bar, or the plot.
enum class IntervalHit { None, Plot, UpperHandle, LowerHandle };
IntervalHit intervalHit(const IntervalGeometry& g, int x, int y);

}  // namespace lx9
