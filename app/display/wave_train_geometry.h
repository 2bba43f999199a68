// The wave-train view `CDisplay_Segment` without its widget: one column per displayed section in
// which the points of the test are drawn along depth as a dash line of the positive lobes, as
// miniature waves (15-pixel rows, the newest point kept in view, paged a screen at a time), as a
// grey-scale image or as velocity and amplitude curves over the depth span of the test.
//
// Everything here is a plain function of a snapshot (what a paint needs, copied out of the record
// and the point lists under their locks by snapshotWaveTrain) and the picture size, so the pictures
// and the picking are checked with exact numbers without a display. The widget, the `lx9 render`
// command and the reports paint the WaveTrainPicture that layoutWaveTrain returns.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "data/cinfo.h"
#include "data/run_state.h"
#include "data/sample_data_list.h"
#include "display/curves_geometry.h"

namespace lx9 {

inline constexpr int kTrainRowPixels = 15;

enum class TrainForm { Dash, Miniature, Grey, Curves };

// waveTrainStyle 2 grey, 3 curves; 0 and 1 are the wave train, drawn as the dash line when
// viewOption is 1 and as miniature waves otherwise (what the mode dialog stores together).
TrainForm trainForm(int32_t waveTrainStyle, int32_t viewOption);

// Picking changes each list's `current`, which the worker fills while it records: only allowed
// while the points stand still (a viewed file, a paused recording, the end of a test).
bool trainPickingEnabled(uint32_t testState);

// ---------------------------------------------------------------- grey scale

struct GreySettings {
    int32_t offset = 10;   // zoomInterval c, 1..10
    int32_t contrast = 1;  // grayLevels l, 1..10
    int32_t polarity = 1;  // grayColour: 0 largest positive amplitude white, 1 black
};

// Grey of one cell: d0 = c·4096/20, g = trunc((s + d0 − 2048)·255/4096) (255 minus that for the
// black polarity); after the first arrival g moves 15·(l − 1) away from 128; clamped to 0..255.
// c and l outside 1..10 (a damaged settings file) are taken as the nearest end.
int greyValue(int sample, bool afterArrival, const GreySettings& grey);

// The depth that the grey and curve forms spread over the plot height, in metres: the start
// depth (horizontal), or the start depth less the height difference of the displayed sections
// (inclined, fan). Zero when the record gives none (nothing is drawn by depth then).
double trainDepthSpan(const CInfo& info);

// ---------------------------------------------------------------- levels and paging

// Absolute levels held by the lists: a real-time test keeps only the newest ringSize levels, level
// L in chain position L mod ringSize.
struct LevelRange {
    int32_t oldest = 0;
    int32_t newest = -1;
    int32_t ringSize = 0;  // 0: level L is chain position L
    bool empty() const { return newest < oldest; }
    bool holds(int32_t level) const { return level >= oldest && level <= newest; }
    int32_t chainIndex(int32_t level) const { return ringSize > 0 ? level % ringSize : level; }
};

// At least one row, however low the panel.
int trainRows(int plotHeight);

struct TrainPager {
    int32_t first = 0;        // level drawn in the bottom row
    bool following = true;    // the newest point is kept at the top row as points arrive
    int32_t seenNewest = -1;  // the newest level at the last redraw
};

// At every redraw: while following (or when the newest level changed) the newest point goes to
// the top row once the rows are full; a paged-back window stays where it is, kept inside the range.
void followNewest(TrainPager& pager, const LevelRange& range, int rows);

// One screen towards newer (+1, WM_USER+109) or older (−1, WM_USER+110) points, stopping at the
// newest and at the oldest. Returns the absolute level the console is to show (first visible +
// rows/2, at most the newest), or none when nothing moved (already at the end, no points).
std::optional<int32_t> pageTrain(TrainPager& pager, const LevelRange& range, int rows, int direction);

// ---------------------------------------------------------------- columns and samples

struct TrainColumns {
    int plotWidth = 0;  // the client less 2 pixels at the right
    int plotHeight = 0;
    int count = 0;  // displayed sections
    int width = 0;  // plot width / count
    int left(int k) const { return k * width; }
};
TrainColumns trainColumns(int clientWidth, int clientHeight, int displayed);

// Samples drawn per column: every d-th, d = the number of displayed sections when the wave is at
// least as long as the column is wide (and never more than one sample per pixel), else every one.
int trainDecimation(int sampleCount, int columnWidth, int displayed);

// x of sample k in a column: left + k·w/N in integers, for the waves and the grey cells alike.
int trainSampleX(int columnLeft, int columnWidth, int64_t k, int sampleCount);

// Sample indices where the dash line's runs open and close: from max(tIndex, 0), the samples
// above 2047 + threshold whose left or right neighbour is not above it (a neighbour before the
// start or outside the trace is not above; a single-sample spike opens and closes a run). Pairs
// (open, close) in order.
std::vector<int> dashBoundaries(std::span<const uint16_t> samples, int32_t tIndex, float threshold);

// A band of the grey image: the rows [top, bottom) of point `index` (an index into the depths).
struct GreyBand {
    int index = 0;
    int top = 0;
    int bottom = 0;
};

// Bands from the newest point to the oldest (the painting order; a later band wins where two
// overlap): point i spans y(depth of point i+1) .. y(its depth), the newest from y(depth − step);
// y(d) = trunc(d·H/D). Empty, or reversed bands (a point above the next one) are left out, and
// the bands are clipped to the plot. None at all when D ≤ 0 or the step is not positive.
std::vector<GreyBand> greyBands(std::span<const float> depths, double depthSpan, int stepMm, int plotHeight);

// ---------------------------------------------------------------- snapshot

// One point as a picture needs it. `samples` is filled only where the picture draws the wave.
struct TrainPoint {
    int32_t level = 0;  // absolute level
    float depth = 0.0f;
    float threshold = 0.0f;
    int32_t tIndex = -1;
    bool hasWave = false;
    std::vector<uint16_t> samples;
};

struct TrainSection {
    int slot = 0;
    std::string name;
    int32_t selectedLevel = -1;      // the list's `current`
    std::vector<TrainPoint> points;  // ascending level (dash, miniature, grey)
    // Curve form: the depth curves' own snapshot with its critical values, the points in level
    // order from curvesFirstLevel, scaled to the train's depth span (pileLength = D).
    CurvesSnapshot curves;
    int32_t curvesFirstLevel = 0;
};

struct WaveTrainSnapshot {
    TrainForm form = TrainForm::Miniature;
    GreySettings grey;
    double depthSpan = 0.0;
    int32_t stepMm = 0;
    int32_t background = 0xFFFFFF;  // colours[1], 0x00BBGGRR
    int32_t grid = 0;               // colours[3]
    bool viewingFile = false;
    LevelRange levels;
    std::vector<TrainSection> sections;  // displayed sections, column order
};

// Where the points come from: a record, its lists, the test state, and for a real-time test the
// ring size and the newest absolute level (the lists alone cannot tell it once the ring came round).
struct TrainSource {
    const CInfo* info = nullptr;
    SectionLists lists{};
    uint32_t testState = 0;
    int32_t ringSize = 0;
    std::optional<int32_t> newestLevel;  // none: the largest list's count − 1
};

// The ring of a real-time test (maxPointCount levels), none for a viewed file or a last-save test.
int32_t trainRingSize(const CInfo& info, uint32_t testState, int32_t maxPointCount);

// Levels held by the displayed sections' lists (takes each list's lock).
LevelRange trainLevels(const TrainSource& source);

// Copies what `form` needs for a picture of the given size whose bottom row shows level
// `firstVisible`: the visible rows' waves (dash, miniature), the waves of the points whose grey
// band shows (grey), every point's measures and the critical values of the record's standard
// (curves). Takes each list's lock while it copies; call it holding none.
WaveTrainSnapshot snapshotWaveTrain(const TrainSource& source, TrainForm form, int width, int height,
                                    int32_t firstVisible);
// The same into `into`, reusing its memory (a redraw of 20 000 levels allocates nothing new).
void snapshotWaveTrain(const TrainSource& source, TrainForm form, int width, int height, int32_t firstVisible,
                       WaveTrainSnapshot& into);

// ---------------------------------------------------------------- picture

struct HorizontalSpan {
    int x0 = 0;  // inclusive
    int x1 = 0;  // inclusive
    int y = 0;
    bool operator==(const HorizontalSpan&) const = default;
};

struct VerticalLine {
    int x = 0;
    int y0 = 0;
    int y1 = 0;        // inclusive
    uint32_t rgb = 0;  // 0xRRGGBB
};

struct TrainLabel {
    int x = 0;
    int y = 0;
    std::string text;
};

struct WaveTrainPicture {
    int width = 0;
    int height = 0;
    TrainColumns columns;
    TrainForm form = TrainForm::Miniature;
    uint32_t background = 0xFFFFFF;  // 0xRRGGBB
    uint32_t grid = 0;
    std::vector<int> columnEdges;                   // x of each vertical edge, grid colour
    std::vector<std::vector<ViewPoint>> waves;      // miniature waves, red
    std::vector<HorizontalSpan> dashes;             // dash line, red
    std::vector<uint32_t> grey;                     // plot pixels row by row, 0xFFRRGGBB (grey form)
    std::vector<std::vector<ViewPoint>> velocity;   // red
    std::vector<std::vector<ViewPoint>> amplitude;  // blue
    std::vector<VerticalLine> criticalLines;
    std::vector<HorizontalSpan> selected;  // the console's point while a file is viewed, black
    std::optional<HorizontalSpan> marker;  // the picked point, red
    std::vector<TrainLabel> names;         // section names, grid colour
};

inline constexpr uint32_t kTrainRed = 0xFF0000;
inline constexpr uint32_t kTrainBlue = 0x0000FF;

// 0x00BBGGRR as 0xRRGGBB.
uint32_t recordColourRgb(int32_t colour);

// The picture of `form` (the snapshot's or, for the second wave-train bitmap, the other train
// form) with `firstVisible` in the bottom row; `picked` is marked in red.
WaveTrainPicture layoutWaveTrain(const WaveTrainSnapshot& snapshot, TrainForm form, int width, int height,
                                 int32_t firstVisible, std::optional<int32_t> picked = std::nullopt);
// The same into `into`, reusing the grey buffer's memory.
void layoutWaveTrain(const WaveTrainSnapshot& snapshot, TrainForm form, int width, int height,
                     int32_t firstVisible, std::optional<int32_t> picked, WaveTrainPicture& into);

// The level under the pointer, in the column's section: in the train forms the row under it; in
// the grey form the point whose band is under it (nothing when the newest point has no wave); in
// the curve form the depth curves' own rule (curvesPick) on the column's scale.
std::optional<int32_t> pickTrainLevel(const WaveTrainSnapshot& snapshot, TrainForm form, int width,
                                      int height, int32_t firstVisible, int x, int y);

}  // namespace lx9
