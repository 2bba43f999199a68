// Geometry of the waveform view: the received wave of one point of every displayed section side
// by side, one column each, with the first-arrival and amplitude marks, the readouts and the
// pointer readout. The upper panel (CDisplay_Wave) and the lower one (CDisplay_Assist) share it
// and differ only in which sections they take and how many columns they make.
//
// Inputs are a snapshot (takeWaveformSnapshot copies it out of a record and its lists under
// their locks), the panel and the widget size; outputs are plain shapes in pixels.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "data/cinfo.h"
#include "data/globals.h"
#include "data/sample_data_list.h"
#include "display/view_shapes.h"

namespace lx9 {

enum class WavePanel { Upper, Lower };

// What a paint needs of one point, copied out under the list lock.
struct WavePointCopy {
    std::vector<uint16_t> samples;  // min(waveform length, sampleLength) samples; empty: none
    float depth = 0.0f;
    float gain = 0.0f;
    float delay = 0.0f;
    int32_t tIndex = -1;
    int32_t ampIndex = 0;
};

struct WaveformSnapshot {
    CInfo info;                                                     // the record as it was at the copy
    std::array<std::optional<WavePointCopy>, kMaxSections> points;  // none: no list or no point
};

// Which point of each list to draw: the current one (the console), or chain position `level`
// (0 = the first, deepest point), as a saved test is looked at.
struct WaveSource {
    std::optional<int> level;
    // Writes the readout's amplitude and velocity back into the copied point, under the same
    // lock, as the live console does on every redraw. Never for a report or a picture.
    bool writeBack = false;
};

// Copies the record and the chosen point of every displayed section (under that list's lock).
// Never keeps a point pointer past its lock.
WaveformSnapshot takeWaveformSnapshot(const CInfo& info, const SectionLists& lists, WaveSource source = {});
// The same for a record other threads change: copied under its lock.
WaveformSnapshot takeWaveformSnapshot(SharedInfo info, const SectionLists& lists, WaveSource source = {});

// Columns and decimation of a panel for n displayed sections (display flag and present), and
// the displayed sections (slot numbers, in slot order) it draws.
struct WaveLayout {
    int columns = 0;
    int decimation = 1;
    std::vector<int> sectionSlots;
};
WaveLayout waveLayout(const CInfo& info, WavePanel panel, bool waveTrainShown);

// The three measures and the two readout texts of one point at sample `at` (tIndex for the
// plain redraw, the pointer's index for the pointer readout) with the amplitude read at
// `ampAt`. 跨距 is the distance pointMetrics divides by, so the printed time and velocity agree.
struct WaveReadout {
    float time = 0.0f;       // µs
    float amplitude = 0.0f;  // mV / 0.732
    float velocity = 0.0f;   // mm/s
    double distance = 0.0;   // mm
    std::string measured;    // "声时(us):%.1f\n波幅(mv):%.2f\n声速(km/s):%.3f"
    std::string placement;   // "深度(m):%.2f\n跨距(mm):%.0f\n增益:%.0f"
};
WaveReadout waveReadout(const CInfo& info, int slot, const WavePointCopy& point, int32_t at, int32_t ampAt);

struct WaveColumn {
    int slot = 0;
    ViewRect box;  // the column: left + k·w .. left + (k+1)·w, plot top .. plot bottom
    ViewPolyline trace;
    std::optional<ViewLine> arrival;
    std::optional<ViewLine> amplitude;
    std::optional<WaveReadout> readout;  // none when the point has no samples
    int pointerIndex = -1;               // the sample under the pointer, -1 without one
};

struct WaveformGeometry {
    ViewRect client;
    ViewRect plot;
    uint32_t background = 0;
    WaveLayout layout;
    std::vector<ViewLine> grid;  // column edges, then the top, middle and bottom lines
    std::vector<WaveColumn> columns;
    std::optional<ViewLine> pointerLine;
    std::vector<ViewText> texts;  // section names, then each column's two readouts
};

// pointerX: the pointer's x while the readout follows the pointer (ignored outside the plot).
WaveformGeometry waveformGeometry(const WaveformSnapshot& snapshot, WavePanel panel, bool waveTrainShown,
                                  int width, int height, std::optional<int> pointerX = std::nullopt);

}  // namespace lx9
