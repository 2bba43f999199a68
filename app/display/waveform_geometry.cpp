#include "display/waveform_geometry.h"

#include <algorithm>
#include <cstdio>

#include "data/point_metrics.h"
#include "display/view_colours.h"

namespace lx9 {
namespace {

bool shown(const SectionPara& s) {
    return s.display && s.present;
}

// The converter code, limited to its 12 bits so a damaged sample stays inside the plot.
int code(uint16_t sample) {
    return std::min<int>(sample, 4095);
}

// Drawn sample positions of one column: every sample when the wave is narrower than the
// column, else every d-th.
struct TraceMap {
    int left = 0;   // column left
    int width = 0;  // column width w
    int plotW = 0;  // plot width W
    int n = 0;      // samples in the wave
    int d = 1;      // decimation
    bool every() const { return n < width; }
    int drawn() const { return every() ? n : n / d; }
    int drawnIndex(int sample) const { return every() ? sample : sample / d; }
    int sampleOf(int drawnIndex) const { return every() ? drawnIndex : drawnIndex * d; }
    // (i·w)/N rather than i·(w/N): the quotient first would pile every point at the left edge.
    int x(int i) const {
        return every() ? left + static_cast<int>(static_cast<int64_t>(i) * width / n)
                       : left + static_cast<int>(static_cast<int64_t>(i) * plotW / n);
    }
};

int traceY(const ViewRect& plot, bool every, int sample) {
    const int h = plot.height();
    if (every) return static_cast<int>(plot.bottom - sample * (h / 4095.0));
    return plot.top + (4095 - sample) * h / 4095;
}

// The points of a snapshot whose record is already copied.
void copyWavePoints(WaveformSnapshot& s, const SectionLists& lists, WaveSource source) {
    const size_t length = static_cast<size_t>(std::max<int32_t>(s.info.sampleLength, 0));
    for (int k = 0; k < kMaxSections; ++k) {
        CSampleDataList* list = lists[k];
        if (!list || !shown(s.info.sections[k])) continue;
        auto guard = list->lock();
        SamplePoint* p = source.level ? list->pointAt(*source.level) : list->current;
        if (!p) continue;
        WavePointCopy c;
        const size_t n = std::min(p->samples.size(), length);
        c.samples.assign(p->samples.begin(), p->samples.begin() + static_cast<std::ptrdiff_t>(n));
        c.depth = p->depth;
        c.gain = p->gain;
        c.delay = p->delay;
        c.tIndex = p->tIndex;
        c.ampIndex = p->ampIndex;
        // Only a picked point gets its measures, and only the point just copied: the lock is
        // still held, so it is the one the picture shows.
        if (source.writeBack && c.tIndex >= 0 && static_cast<size_t>(c.tIndex) < n) {
            const WaveReadout r = waveReadout(s.info, k, c, c.tIndex, c.ampIndex);
            p->amplitude = r.amplitude;
            p->velocity = r.velocity;
        }
        s.points[k] = std::move(c);
    }
}

}  // namespace

WaveformSnapshot takeWaveformSnapshot(const CInfo& info, const SectionLists& lists, WaveSource source) {
    WaveformSnapshot s;
    s.info = info;
    copyWavePoints(s, lists, source);
    return s;
}

WaveformSnapshot takeWaveformSnapshot(SharedInfo info, const SectionLists& lists, WaveSource source) {
    WaveformSnapshot s;
    s.info = info.copy();
    copyWavePoints(s, lists, source);
    return s;
}

WaveLayout waveLayout(const CInfo& info, WavePanel panel, bool waveTrainShown) {
    std::vector<int> displayed;
    for (int k = 0; k < kMaxSections; ++k) {
        if (shown(info.sections[k])) displayed.push_back(k);
    }
    const int n = static_cast<int>(displayed.size());
    WaveLayout l;
    int skip = 0;
    if (panel == WavePanel::Upper) {
        if (n == 0) return l;
        l.columns = n <= 3 || waveTrainShown ? n : n == 4 ? 2 : 3;
    } else {
        if (waveTrainShown || n < 4) return l;
        l.columns = n == 6 ? 3 : 2;
        skip = n == 4 ? 2 : 3;
    }
    l.decimation = l.columns;
    l.sectionSlots.assign(displayed.begin() + skip, displayed.begin() + std::min(n, skip + l.columns));
    return l;
}

WaveReadout waveReadout(const CInfo& info, int slot, const WavePointCopy& point, int32_t at, int32_t ampAt) {
    const bool ampInRange = ampAt >= 0 && static_cast<size_t>(ampAt) < point.samples.size();
    const int32_t ampCode = ampInRange ? point.samples[static_cast<size_t>(ampAt)] : 2048;
    const PointMetrics m = pointMetrics(info, slot + 1, at, point.depth, point.gain, ampCode, point.delay);
    WaveReadout r;
    r.time = m.time;
    r.amplitude = m.amplitude;
    r.velocity = m.velocity;
    r.distance = sectionPathLength(info, slot + 1, point.depth);
    char text[160];
    std::snprintf(text, sizeof text, "声时(us):%.1f\n波幅(mv):%.2f\n声速(km/s):%.3f", m.time, m.amplitude,
                  m.velocity / 1e6);
    r.measured = text;
    // + 0.01 so a distance that lies on .5 rounds up whatever the printf rounding rule.
    std::snprintf(text, sizeof text, "深度(m):%.2f\n跨距(mm):%.0f\n增益:%.0f", point.depth, r.distance + 0.01,
                  point.gain);
    r.placement = text;
    return r;
}

WaveformGeometry waveformGeometry(const WaveformSnapshot& snap, WavePanel panel, bool waveTrainShown,
                                  int width, int height, std::optional<int> pointerX) {
    WaveformGeometry g;
    const CInfo& info = snap.info;
    g.client = {0, 0, std::max(width, 0), std::max(height, 0)};
    g.plot = {0, 2, width - 2, height - 2};
    g.background = recordColour(info.colours[0]);
    const uint32_t textColour = recordColour(info.colours[2]);
    const uint32_t gridColour = recordColour(info.colours[3]);
    const uint32_t waveColour = recordColour(info.colours[4]);
    const ViewRect& plot = g.plot;
    if (plot.width() <= 0 || plot.height() <= 0) return g;

    g.layout = waveLayout(info, panel, waveTrainShown);
    const int cols = g.layout.columns;
    const int W = plot.width();
    const int h = plot.height();
    const int w = cols > 0 ? W / cols : W;

    // Grid: the column edges (the plot's two sides when there is no column), then three rows.
    if (cols == 0) {
        g.grid.push_back({{plot.left, plot.top}, {plot.left, plot.bottom}, gridColour});
        g.grid.push_back({{plot.right, plot.top}, {plot.right, plot.bottom}, gridColour});
    }
    for (int k = 0; k <= cols && cols > 0; ++k) {
        const int x = plot.left + k * w;
        g.grid.push_back({{x, plot.top}, {x, plot.bottom}, gridColour});
    }
    for (int y : {plot.top, (plot.top + plot.bottom) / 2, plot.bottom})
        g.grid.push_back({{plot.left, y}, {plot.right, y}, gridColour});

    const bool pointerIn = pointerX && *pointerX >= plot.left && *pointerX < plot.right;
    if (pointerIn) g.pointerLine = ViewLine{{*pointerX, 2}, {*pointerX, plot.bottom}, textColour};

    std::vector<ViewText> readouts;
    for (int k = 0; k < static_cast<int>(g.layout.sectionSlots.size()); ++k) {
        const int slot = g.layout.sectionSlots[static_cast<size_t>(k)];
        WaveColumn col;
        col.slot = slot;
        col.box = {plot.left + k * w, plot.top, plot.left + (k + 1) * w, plot.bottom};
        g.texts.push_back({{col.box.right - 25, plot.bottom - 15, col.box.right, plot.bottom},
                           info.sections[static_cast<size_t>(slot)].name,
                           textColour,
                           ViewFont::Song,
                           12});

        const WavePointCopy* point = snap.points[static_cast<size_t>(slot)] ? &*snap.points[slot] : nullptr;
        const int n = point ? static_cast<int>(point->samples.size()) : 0;
        if (n == 0 || w <= 0) {
            g.columns.push_back(std::move(col));
            continue;
        }
        const TraceMap map{col.box.left, w, W, n, g.layout.decimation};
        const int drawn = map.drawn();
        col.trace.colour = waveColour;
        col.trace.points.reserve(static_cast<size_t>(drawn));
        for (int i = 0; i < drawn; ++i) {
            const int s = code(point->samples[static_cast<size_t>(map.sampleOf(i))]);
            col.trace.points.push_back({map.x(i), traceY(plot, map.every(), s)});
        }
        // Marks only for indices that name a sample: an unpicked point has tIndex −1.
        // A decimated wave may not draw the last samples: their marks go on the last drawn point.
        auto drawnAt = [&](int sample) { return std::min(map.drawnIndex(sample), drawn - 1); };
        if (point->tIndex >= 0 && point->tIndex < n && drawn > 0) {
            const int x = map.x(drawnAt(point->tIndex));
            col.arrival = ViewLine{{x, plot.top + h / 8}, {x, plot.top + h * 7 / 8}, textColour};
        }
        if (point->ampIndex >= 0 && point->ampIndex < n && drawn > 0) {
            const int j = drawnAt(point->ampIndex);
            const ViewPoint peak = col.trace.points[static_cast<size_t>(j)];
            int y = peak.y;
            if (j + 1 < drawn) y = std::min(y, col.trace.points[static_cast<size_t>(j) + 1].y);
            col.amplitude = ViewLine{{peak.x - W / 16, y}, {peak.x + W / 16, y}, textColour};
        }

        int32_t at = point->tIndex;
        int32_t ampAt = point->ampIndex;
        if (pointerIn && col.box.left <= *pointerX && *pointerX < col.box.right) {
            const int64_t index = static_cast<int64_t>(*pointerX - col.box.left) * n / w;
            col.pointerIndex = static_cast<int>(std::min<int64_t>(index, n - 1));
            at = ampAt = col.pointerIndex;
        }
        col.readout = waveReadout(info, slot, *point, at, ampAt);
        readouts.push_back({{col.box.left + 3, plot.top, col.box.left + 3 + w / 2, plot.top + h / 4},
                            col.readout->measured,
                            gridColour,
                            ViewFont::Song,
                            12});
        readouts.push_back({{col.box.left + 3, plot.bottom - 36, col.box.left + 3 + w / 2, plot.bottom},
                            col.readout->placement,
                            gridColour,
                            ViewFont::Song,
                            12,
                            ViewText::BottomLeft});
        g.columns.push_back(std::move(col));
    }
    g.texts.insert(g.texts.end(), readouts.begin(), readouts.end());
    return g;
}

}  // namespace lx9
