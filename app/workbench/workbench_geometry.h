// Where the workbench's views put things, in pixels: the waveform trace with its zoom and pick
// marks, the wave-train rows, and the depth-curve scales. Plain numbers, so
// the layout is tested without a display.
#pragma once

#include <cstdint>
#include <vector>

#include "workbench/workbench_form.h"

namespace lx9 {

struct PlotPoint {
    double x = 0.0, y = 0.0;
};

// Sample j's left edge: j·width / samples (the inverse of pickSampleAt).
double sampleX(int sample, int width, int samples);

// A waveform in a box: x by sampleX, y = mid − (code − 2048)·zoom·(height / 2) / 2048, clipped
// to the box (the zoom only scales the amplitude, never the time axis). At most one point per
// pixel column pair (first and extreme values kept) so long waveforms stay cheap to draw.
std::vector<PlotPoint> waveTrace(const uint16_t* samples, int count, double left, double top, double width,
                                 double height, int zoom);

// Wave-train rows of `rowHeight` pixels; rows that fit a view `height` high (at least one).
inline constexpr int kTrainRowHeight = 24;
int trainRows(int height, int rowHeight = kTrainRowHeight);

// Depth curves (the scales of the depth-curve view): x of a value in a plot `width` wide and y of
// a depth in a plot `height` high for a pile `pileLength` long.
double curveX(CurveMode mode, double value, double width);
double depthY(double depth, double height, double pileLength);
// The point whose depth is nearest to the one under y (the later point on a tie); -1 when none.
int pointNearestY(const std::vector<SectionCurvePoint>& points, double y, double height, double pileLength);

}  // namespace lx9
