// Geometry of the upload's wave-train image, computed apart from the painting so it can be
// checked alone: the fixed canvas and areas, trace spacing and height, one polyline per
// waveform, the time scale and the depth labels.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace lx9 {

// Rectangles as (left, top, right, bottom), right and bottom exclusive.
struct ImageRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

inline constexpr int kSectionImageWidth = 562;
inline constexpr int kSectionImageHeight = 1090;
inline constexpr ImageRect kSectionImageFrame{0, 0, 562, 1090};
inline constexpr ImageRect kSectionPlotArea{45, 90, 557, 1050};
inline constexpr ImageRect kSectionTitleBand{45, 50, 557, 90};
inline constexpr ImageRect kSectionBottomBand{45, 1050, 557, 1090};
inline constexpr int kDepthLabelLeft = 8;  // the depth labels stand between x 8 and the plot
inline constexpr int kTitleFontPixels = 35;
inline constexpr int kTextFontPixels = 16;

struct TraceScale {
    double spacing = 0.0;  // c: pixels between neighbouring depth levels
    double height = 0.0;   // b: pixels for the full converter range
};

// c = 960 / (startDepth × 1000 / stepMm + 1); b = 2c limited to 15..50. None when the step is
// not positive or the start depth is negative or not finite (no level grid to draw on).
std::optional<TraceScale> traceScale(float startDepth, int32_t stepMm);

// Baseline of point i (0 = the first, deepest level): bottom − i·c − c/2.
double traceBaseline(int i, const TraceScale& scale);

struct PixelPoint {
    int x = 0;
    int y = 0;
    bool operator==(const PixelPoint&) const = default;
};

// The polyline of one waveform on baseline y0: the start (plot left, y0), then every sample (every
// second one beyond 512 samples) at x = left + width·j/length, y = y0 − (code − 2048)·b/4095,
// limited to y0 ± b/2 and to the plot area. Empty when the baseline lies outside the plot area or
// there are no samples.
std::vector<PixelPoint> tracePolyline(std::span<const uint16_t> samples, double y0, const TraceScale& scale);

struct ScaleLabel {
    int at = 0;  // x of a time tick, y of a depth label
    std::string text;
};

// A time value in µs as its tick label: "%4.0f" from 1000, "%3.0f" from 100, "%2.0f" from 10,
// "%2.1f" for a fraction below 10, "%1.0f" for a whole number below 10.
std::string timeLabel(double us);

// Ticks of the time scale under the plot: 0 to sampleLength × sampleInterval µs in steps of 1, 2
// or 5 × 10^k chosen for at most eight intervals.
std::vector<ScaleLabel> timeScaleTicks(float sampleInterval, int32_t sampleLength);

// Depth labels "%.0f" (metres) from startDepth at the deepest level to 0 at the top, placed on the
// baselines of the levels they name, every 1, 2, 5, 10 … m so that they stand 30 pixels apart.
std::vector<ScaleLabel> depthLabels(float startDepth, int32_t stepMm);

}  // namespace lx9
