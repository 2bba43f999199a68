#include "display/curves_geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/algorithm.h"
#include "analysis/section_statistics.h"
#include "data/point_metrics.h"
#include "display/view_colours.h"

namespace lx9 {
namespace {

// A coordinate limited to [lo, hi] before it becomes an int: a huge or infinite value would
// otherwise be undefined behaviour in the conversion.
int pixel(double v, int lo, int hi) {
    if (std::isnan(v)) return lo;
    return static_cast<int>(std::clamp(v, static_cast<double>(lo), static_cast<double>(hi)));
}

bool drawable(const CurvesSnapshot& s, const ViewRect& plot) {
    return s.slot >= 0 && std::isfinite(s.pileLength) && s.pileLength > 0.0f && s.stepMm > 0 &&
           plot.width() > 0 && plot.height() > 0;
}

ViewRect plotOf(const CurvesSnapshot& s, int width, int height) {
    const int panel = s.guangdong ? gradePanelWidth(width) : 0;
    return {0, 0, width - panel, height};
}

// Depth to y on a plot of height h; far-off depths are held a plot height beyond either edge.
int depthY(const CurvesSnapshot& s, const ViewRect& plot, double depth) {
    const double h = plot.height();
    return pixel(plot.top + depth * h / s.pileLength, plot.top - plot.height(), plot.bottom + plot.height());
}

// A usable critical value: a number, not a result code, and not 0 (a rule that found nothing).
bool criticalValue(float v) {
    return std::isfinite(v) && v != 0.0f && criticalStatus(v) == CriticalStatus::Value;
}

// Adds p to the run in progress; `breakRun` ends the run.
void extend(std::vector<ViewPolyline>& runs, bool& open, std::optional<ViewPoint> p, uint32_t colour) {
    if (!p) {
        open = false;
        return;
    }
    if (!open) runs.push_back({{}, colour, 1});
    open = true;
    runs.back().points.push_back(*p);
}

// Many levels share a pixel row on a long pile. Within a run of points on one row only the
// first, the leftmost, the rightmost and the last shape the line: the rest are dropped, so a
// 20 001-level curve costs what a few thousand points do and looks the same.
void compact(std::vector<ViewPolyline>& runs) {
    for (ViewPolyline& run : runs) {
        std::vector<ViewPoint>& pts = run.points;
        std::vector<ViewPoint> out;
        out.reserve(pts.size());
        size_t i = 0;
        while (i < pts.size()) {
            size_t j = i;
            size_t lo = i, hi = i;
            while (j + 1 < pts.size() && pts[j + 1].y == pts[i].y) {
                ++j;
                if (pts[j].x < pts[lo].x) lo = j;
                if (pts[j].x > pts[hi].x) hi = j;
            }
            size_t keep[4] = {i, std::min(lo, hi), std::max(lo, hi), j};
            for (int k = 0; k < 4; ++k) {
                if (k == 0 || keep[k] != keep[k - 1]) out.push_back(pts[keep[k]]);
            }
            i = j + 1;
        }
        pts.swap(out);
    }
}

// Grade g when it is one of 1..4, else none.
std::optional<int> grade(const std::vector<float>& grades, int i) {
    if (i < 0 || i >= static_cast<int>(grades.size())) return std::nullopt;
    const float g = grades[static_cast<size_t>(i)];
    if (!(g >= 1.0f && g <= 4.0f) || g != std::floor(g)) return std::nullopt;
    return static_cast<int>(g);
}

}  // namespace

CurvesSnapshot takeCurvesSnapshot(SharedInfo info, const SectionLists& lists, int slot,
                                  std::optional<int> current) {
    const CInfo record = info.copy();
    return takeCurvesSnapshot(record, lists, slot, current);
}

CurvesSnapshot takeCurvesSnapshot(const CInfo& record, const SectionLists& lists, int slot,
                                  std::optional<int> current) {
    CurvesSnapshot s;
    s.pileLength = record.pileLength;
    s.stepMm = record.stepMm;
    s.guangdong = record.standard == kStandardGuangdong;
    s.background = recordColour(record.colours[0]);
    if (slot < 0 || slot >= kMaxSections || !record.sections[static_cast<size_t>(slot)].present) return s;
    CSampleDataList* list = lists[static_cast<size_t>(slot)];
    if (!list) return s;
    s.slot = slot;

    std::vector<float> velocityMmS, amplitudeDb;
    {
        auto guard = list->lock();
        const int n = list->count;
        s.points.resize(static_cast<size_t>(n));
        velocityMmS.resize(static_cast<size_t>(n));
        amplitudeDb.resize(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            // Chain positions, never the wrapping point(i): a ring would repeat its points.
            const SamplePoint* p = list->pointAt(i);
            if (p == list->current && !current) s.current = i;
            const size_t size = p->samples.size();
            const bool ampInRange = p->ampIndex >= 0 && static_cast<size_t>(p->ampIndex) < size;
            const int32_t ampCode = ampInRange ? p->samples[static_cast<size_t>(p->ampIndex)] : 2048;
            const PointMetrics m =
                pointMetrics(record, slot + 1, p->tIndex, p->depth, p->gain, ampCode, p->delay);
            CurvePoint& c = s.points[static_cast<size_t>(i)];
            c.depth = p->depth;
            // Placeholders carry no gain; an unpicked point has no travel time yet.
            c.measured =
                size > 0 && p->gain != 0.0f && p->tIndex >= 0 && static_cast<size_t>(p->tIndex) < size;
            c.time = m.time;
            c.velocity = static_cast<float>(m.velocity / 1e6);
            // The rules get the analysis' values; the curve leaves a zero amplitude out rather
            // than draw it at the floor of the decibel scale.
            const double db = amplitudeToDb(m.amplitude);
            c.amplitudeDb = m.amplitude != 0.0f ? db : std::nan("");
            velocityMmS[static_cast<size_t>(i)] = m.velocity;
            amplitudeDb[static_cast<size_t>(i)] = static_cast<float>(db);
        }
        if (current && *current >= 0 && *current < n) s.current = *current;
        s.grades = list->gradeArray;
        s.intervalFirst = list->intervalFirst;
        s.intervalLast = list->intervalLast;
        s.criticalVelocity = list->criticalVelocity;
        s.criticalAmplitudeDb = list->criticalAmplitudeDb;
    }
    if (!s.guangdong) {
        // The rules take the list's lock themselves: only now that it is released.
        const int n = static_cast<int>(s.points.size());
        auto rules = makeAlgorithm(record.standard, record, lists);
        const float vc = rules->CriticalVelocity(velocityMmS.data(), n, slot);
        s.criticalVelocity = criticalStatus(vc) == CriticalStatus::Value ? static_cast<float>(vc / 1e6) : vc;
        s.criticalAmplitudeDb = rules->CriticalAmplitude(amplitudeDb.data(), n, slot);
    }
    return s;
}

int gradePanelWidth(int clientWidth) {
    return std::clamp(clientWidth / 6, 30, 60);
}

CurvesGeometry curvesGeometry(const CurvesSnapshot& s, int width, int height, bool velocityCurve) {
    CurvesGeometry g;
    g.client = {0, 0, std::max(width, 0), std::max(height, 0)};
    g.plot = plotOf(s, width, height);
    g.background = s.background;
    const ViewRect& plot = g.plot;
    if (!drawable(s, plot)) return g;
    const double W = plot.width();
    const int n = static_cast<int>(s.points.size());
    const int xLo = plot.left;
    const int xHi = plot.right - 1;

    bool open = false;
    if (velocityCurve) {
        for (int i = n - 1; i >= 0; --i) {
            const CurvePoint& p = s.points[static_cast<size_t>(i)];
            std::optional<ViewPoint> at;
            if (p.measured && std::isfinite(p.velocity))
                at = ViewPoint{pixel(plot.left + p.velocity * W / kCurvesVelocityMax, xLo, xHi),
                               depthY(s, plot, p.depth)};
            extend(g.velocity, open, at, kViewRed);
        }
        if (criticalValue(s.criticalVelocity)) {
            const double x = plot.left + s.criticalVelocity * W / kCurvesVelocityMax;
            if (x >= plot.left && x < plot.right)
                g.criticalVelocity =
                    ViewLine{{static_cast<int>(x), plot.top}, {static_cast<int>(x), plot.bottom}, kViewRed};
        }
    }

    open = false;
    for (int i = n - 1; i >= 0; --i) {
        const CurvePoint& p = s.points[static_cast<size_t>(i)];
        std::optional<ViewPoint> at;
        if (p.measured && std::isfinite(p.amplitudeDb))
            at = ViewPoint{pixel(plot.right - p.amplitudeDb * W / kCurvesAmplitudeMax, xLo, xHi),
                           depthY(s, plot, p.depth)};
        extend(g.amplitude, open, at, kViewBlue);
    }
    if (criticalValue(s.criticalAmplitudeDb)) {
        const double x = plot.right - s.criticalAmplitudeDb * W / kCurvesAmplitudeMax;
        if (x >= plot.left && x < plot.right)
            g.criticalAmplitude =
                ViewLine{{static_cast<int>(x), plot.top}, {static_cast<int>(x), plot.bottom}, kViewBlue};
    }

    open = false;
    for (int i = n - 2; i >= 0; --i) {
        const CurvePoint& a = s.points[static_cast<size_t>(i)];
        const CurvePoint& b = s.points[static_cast<size_t>(i) + 1];
        std::optional<ViewPoint> at;
        if (a.measured && b.measured) {
            const double dt = static_cast<double>(a.time) - b.time;
            const double psd = dt * dt / s.stepMm * 1000.0;
            if (std::isfinite(psd))
                at =
                    ViewPoint{pixel(plot.left + psd * W / kCurvesPsdMax, xLo, xHi), depthY(s, plot, a.depth)};
        }
        extend(g.psd, open, at, kViewGreen);
    }

    if (s.guangdong && plot.right < width) {
        const ViewRect panel{plot.right, 0, width, height};
        g.gradePanel = panel;
        g.gradeFrame.push_back({{panel.left, panel.top}, {panel.left, panel.bottom}, kViewGrey});
        g.gradeFrame.push_back({{panel.right - 1, panel.top}, {panel.right - 1, panel.bottom}, kViewGrey});
        open = false;
        const int quarter = panel.width() / 4;
        for (int i = 0; i < n; ++i) {
            const std::optional<int> k = grade(s.grades, i);
            std::optional<ViewPoint> at;
            if (k && s.points[static_cast<size_t>(i)].measured)
                at = ViewPoint{panel.left + quarter * (4 - *k),
                               depthY(s, plot, s.points[static_cast<size_t>(i)].depth)};
            extend(g.grades, open, at, kViewBlack);
        }
    }

    for (auto* runs : {&g.velocity, &g.amplitude, &g.psd, &g.grades})
        compact(*runs);

    if (s.current >= 0 && s.current < n) {
        const int y = depthY(s, plot, s.points[static_cast<size_t>(s.current)].depth);
        g.currentLine = ViewLine{{0, y}, {width, y}, kViewRed};
    }
    return g;
}

std::optional<int> curvesPick(const CurvesSnapshot& s, int width, int height, int y) {
    const ViewRect plot = plotOf(s, width, height);
    if (!drawable(s, plot)) return std::nullopt;
    int newest = -1;
    for (int i = static_cast<int>(s.points.size()) - 1; i >= 0 && newest < 0; --i) {
        if (s.points[static_cast<size_t>(i)].measured) newest = i;
    }
    if (newest < 0) return std::nullopt;
    const double step = s.stepMm / 1000.0;
    const double depth = static_cast<double>(y - plot.top) * s.pileLength / plot.height();
    const double snapped = std::round(depth / step) * step;
    // A tenth of a millimetre of slack: the stored depths are float, the snapped one double.
    if (snapped < s.points[static_cast<size_t>(newest)].depth - 1e-4) return std::nullopt;
    std::optional<int> pick;
    double best = 100.0;
    for (int i = 0; i < static_cast<int>(s.points.size()); ++i) {
        const CurvePoint& p = s.points[static_cast<size_t>(i)];
        if (!p.measured) continue;
        const double d = std::fabs(p.depth - snapped);
        if (d <= best) {
            best = d;
            pick = i;
        }
    }
    return pick;
}

IntervalGeometry intervalGeometry(const CurvesSnapshot& s, int width, int height) {
    IntervalGeometry g;
    g.client = {0, 0, std::max(width, 0), std::max(height, 0)};
    g.plot = plotOf(s, width, height);
    const ViewRect& plot = g.plot;
    const int W = plot.width();
    g.bar = {plot.left + W / 4, plot.top, plot.left + W * 3 / 4, plot.bottom};
    const int n = static_cast<int>(s.points.size());
    if (!drawable(s, plot) || n == 0) return g;

    g.first = std::clamp(s.intervalFirst, 0, n - 1);
    g.last = std::clamp(s.intervalLast, 0, n - 1);
    const double scale = plot.height() / static_cast<double>(s.pileLength);
    auto depth = [&](int i) { return static_cast<double>(s.points[static_cast<size_t>(i)].depth); };
    double lowerDepth = depth(g.first);
    if (lowerDepth == 0.0 && g.first + 1 < n) lowerDepth = depth(g.first + 1);
    const double lower = plot.top + lowerDepth * scale;
    const double upper = plot.top + depth(g.last) * scale;
    if (g.first > g.last || upper > lower) return g;

    const double half = s.stepMm / 1000.0 * scale / 2.0;
    for (int i = g.last; i >= g.first; --i) {
        const double y = plot.top + depth(i) * scale;
        const std::optional<int> k = grade(s.grades, i);
        if (y < upper || y > lower || !k) continue;
        double top = std::max(y - half, upper);
        double bottom = std::min(y + half, lower);
        // Neighbouring bands meet half-way; float depths put that a hair off half a step, which
        // must not leave a white line between two bands.
        if (i + 1 < n) {
            const double mid = (y + plot.top + depth(i + 1) * scale) / 2.0;
            top = mid >= top - 1.0 ? std::max(mid, upper) : top;
        }
        if (i - 1 >= 0) {
            const double mid = (y + plot.top + depth(i - 1) * scale) / 2.0;
            bottom = mid <= bottom + 1.0 ? std::min(mid, lower) : bottom;
        }
        if (bottom <= top) continue;
        g.bands.push_back({{g.bar.left, pixel(std::floor(top), plot.top, plot.bottom), g.bar.right,
                            pixel(std::floor(bottom), plot.top, plot.bottom)},
                           gradeColour(*k)});
    }

    const bool hasCurrent = s.current >= 0 && s.current < n;
    const int cy = hasCurrent ? pixel(plot.top + depth(s.current) * scale, plot.top, plot.bottom) : 0;
    if (g.bands.empty()) {
        if (hasCurrent) g.lines.push_back({{g.bar.left, cy}, {g.bar.right, cy}, kViewBlack});
        return g;
    }
    g.upperY = pixel(upper, plot.top, plot.bottom);
    g.lowerY = pixel(lower, plot.top, plot.bottom);
    if (hasCurrent) {
        const int tip = g.bar.left * 6 / 7;
        g.lines.push_back({{0, cy}, {tip, cy}, kViewBlack});
        g.triangle = {{tip, cy - 4}, {g.bar.left, cy}, {tip, cy + 4}};
    }
    g.lines.push_back({{0, *g.upperY}, {width, *g.upperY}, kViewBlack});
    g.lines.push_back({{0, *g.lowerY}, {width, *g.lowerY}, kViewBlack});
    const int handleLeft = g.bar.right + 4;
    const int handleRight = std::min(plot.right, handleLeft + std::max(4, W / 8));
    g.handles.push_back({handleLeft, *g.upperY - 10, handleRight, *g.upperY});
    g.handles.push_back({handleLeft, *g.lowerY, handleRight, *g.lowerY + 10});
    return g;
}

IntervalHit intervalHit(const IntervalGeometry& g, int x, int y) {
    if (!g.plot.contains(x, y)) return IntervalHit::None;
    if (x < g.bar.right) return IntervalHit::Plot;
    return y < g.plot.top + g.plot.height() / 2 ? IntervalHit::UpperHandle : IntervalHit::LowerHandle;
}

}  // namespace lx9
