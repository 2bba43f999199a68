#include "display/wave_train_geometry.h"

#include <algorithm>
#include <cmath>

#include "data/globals.h"
#include "data/run_state.h"

namespace lx9 {

TrainForm trainForm(int32_t waveTrainStyle, int32_t viewOption) {
    if (waveTrainStyle == 2) return TrainForm::Grey;
    if (waveTrainStyle == 3) return TrainForm::Curves;
    return viewOption == 1 ? TrainForm::Dash : TrainForm::Miniature;
}

bool trainPickingEnabled(uint32_t state) {
    const uint32_t code = stateCode(state);
    if (code == kStateViewing || code == kStateEndContinuous || code == kStateEndFixed) return true;
    const bool recording =
        code == kStateRecordStart || code == kStateRecordContinuous || code == kStateRecordFixed;
    return recording && (subState(state) & kSubStatePaused) != 0;
}

int greyValue(int sample, bool afterArrival, const GreySettings& grey) {
    const int c = std::clamp(grey.offset, 1, 10);
    const int l = std::clamp(grey.contrast, 1, 10);
    const int d0 = c * 4096 / 20;
    const int v = sample + d0 - 2048;
    // Integer division truncates towards zero, as the cell formula does.
    int g = grey.polarity == 1 ? (255 * 4096 - v * 255) / 4096 : v * 255 / 4096;
    if (afterArrival) {
        if (g < 128) g -= 15 * (l - 1);
        if (g > 128) g += 15 * (l - 1);
    }
    return std::clamp(g, 0, 255);
}

double trainDepthSpan(const CInfo& info) {
    std::vector<const SectionPara*> shown;
    for (const SectionPara& s : info.sections) {
        if (s.display) shown.push_back(&s);
    }
    double span = 0.0;
    if (info.testMode == kInclined || info.testMode == kFan) {
        if (shown.empty()) return 0.0;
        const SectionPara& base = info.testMode == kFan ? *shown.front() : *shown.back();
        int32_t diff = base.heightDiff;
        if (info.testMode == kInclined && shown.size() > 1) {
            for (const SectionPara* s : shown)
                diff = std::max(diff, s->heightDiff);
        }
        span = static_cast<double>(base.sectionStartDepth) - diff / 1000.0;
    } else {
        span = info.startDepth;
    }
    return std::isfinite(span) && span > 0.0 ? span : 0.0;
}

// ---------------------------------------------------------------- paging

int trainRows(int plotHeight) {
    return std::max(1, plotHeight / kTrainRowPixels);
}

namespace {

int32_t followFirst(const LevelRange& range, int rows) {
    return std::max(range.oldest, range.newest - rows + 1);
}

}  // namespace

void followNewest(TrainPager& pager, const LevelRange& range, int rows) {
    if (range.empty()) {
        pager = TrainPager{range.oldest, true, range.newest};
        return;
    }
    const int32_t top = followFirst(range, rows);
    if (pager.following || range.newest != pager.seenNewest) {
        pager.first = top;
        pager.following = true;
    } else {
        pager.first = std::clamp(pager.first, range.oldest, top);
    }
    pager.seenNewest = range.newest;
}

std::optional<int32_t> pageTrain(TrainPager& pager, const LevelRange& range, int rows, int direction) {
    if (range.empty() || rows < 1 || direction == 0) return std::nullopt;
    const int32_t top = followFirst(range, rows);
    const int32_t from = std::clamp(pager.first, range.oldest, top);
    const int32_t to = direction > 0 ? std::min(from + rows, top) : std::max(from - rows, range.oldest);
    if (to == pager.first) return std::nullopt;
    pager.first = to;
    pager.following = to == top;
    pager.seenNewest = range.newest;
    return std::min(to + rows / 2, range.newest);
}

// ---------------------------------------------------------------- columns

TrainColumns trainColumns(int clientWidth, int clientHeight, int displayed) {
    TrainColumns c;
    c.plotWidth = std::max(0, clientWidth - 2);
    c.plotHeight = std::max(0, clientHeight);
    c.count = std::max(0, displayed);
    c.width = c.count > 0 ? c.plotWidth / c.count : 0;
    return c;
}

int trainDecimation(int sampleCount, int columnWidth, int displayed) {
    if (sampleCount < columnWidth || columnWidth <= 0) return 1;
    const int perPixel = (sampleCount + columnWidth - 1) / columnWidth;
    return std::max({1, displayed, perPixel});
}

int trainSampleX(int columnLeft, int columnWidth, int64_t k, int sampleCount) {
    if (sampleCount <= 0) return columnLeft;
    return columnLeft + static_cast<int>(k * columnWidth / sampleCount);
}

std::vector<int> dashBoundaries(std::span<const uint16_t> samples, int32_t tIndex, float threshold) {
    std::vector<int> bounds;
    const int n = static_cast<int>(samples.size());
    const int start = std::max(tIndex, 0);
    const double level = 2047.0 + threshold;
    auto above = [&](int i) { return i >= start && i < n && samples[static_cast<size_t>(i)] > level; };
    for (int i = start; i < n; ++i) {
        if (!above(i)) continue;
        const bool opens = !above(i - 1);
        const bool closes = !above(i + 1);
        if (opens) bounds.push_back(i);
        if (closes) bounds.push_back(i);
    }
    if (bounds.size() % 2 == 1) bounds.push_back(n - 1);
    return bounds;
}

std::vector<GreyBand> greyBands(std::span<const float> depths, double depthSpan, int stepMm, int plotHeight) {
    std::vector<GreyBand> bands;
    if (!(depthSpan > 0.0) || stepMm <= 0 || plotHeight <= 0) return bands;
    const double scale = plotHeight / depthSpan;
    auto y = [&](double depth) {
        const double v = std::clamp(depth * scale, -1.0, plotHeight + 1.0);
        return static_cast<int>(v);  // truncated, as the cells are
    };
    const int n = static_cast<int>(depths.size());
    for (int i = n - 1; i >= 0; --i) {
        const double own = depths[static_cast<size_t>(i)];
        const double above = i == n - 1 ? own - stepMm / 1000.0 : depths[static_cast<size_t>(i) + 1];
        if (!std::isfinite(own) || !std::isfinite(above)) continue;
        const int top = std::max(y(above), 0);
        const int bottom = std::min(y(own), plotHeight);
        if (bottom > top) bands.push_back({i, top, bottom});
    }
    return bands;
}

uint32_t recordColourRgb(int32_t colour) {
    const auto c = static_cast<uint32_t>(colour);
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

// ---------------------------------------------------------------- picture

namespace {

int baselineOfRow(int plotHeight, int row) {
    return plotHeight - 7 - row * kTrainRowPixels;
}

int depthY(double depth, double span, int plotHeight) {
    return static_cast<int>(std::clamp(depth * plotHeight / span, -1.0e6, 1.0e6));
}

void layoutTrainRows(const WaveTrainSnapshot& s, TrainForm form, const TrainColumns& cols, int32_t first,
                     WaveTrainPicture& pic) {
    const int rows = trainRows(cols.plotHeight);
    for (int k = 0; k < cols.count; ++k) {
        const int left = cols.left(k);
        for (const TrainPoint& p : s.sections[static_cast<size_t>(k)].points) {
            const int row = p.level - first;
            if (row < 0 || row >= rows || p.samples.empty()) continue;
            const int baseline = baselineOfRow(cols.plotHeight, row);
            const int n = static_cast<int>(p.samples.size());
            if (form == TrainForm::Miniature) {
                const int d = trainDecimation(n, cols.width, cols.count);
                std::vector<ViewPoint> line;
                line.reserve(static_cast<size_t>(n / d + 1));
                for (int i = 0; i < n; i += d) {
                    const int y = baseline + 12 - p.samples[static_cast<size_t>(i)] * 25 / 4095;
                    line.push_back({trainSampleX(left, cols.width, i, n), y});
                }
                pic.waves.push_back(std::move(line));
            } else {
                const std::vector<int> b = dashBoundaries(p.samples, p.tIndex, p.threshold);
                for (size_t j = 0; j + 1 < b.size(); j += 2) {
                    pic.dashes.push_back({trainSampleX(left, cols.width, b[j], n),
                                          trainSampleX(left, cols.width, b[j + 1], n), baseline});
                }
            }
        }
    }
}

void layoutGrey(const WaveTrainSnapshot& s, const TrainColumns& cols, WaveTrainPicture& pic) {
    const int W = cols.plotWidth;
    const int H = cols.plotHeight;
    pic.grey.assign(static_cast<size_t>(W) * static_cast<size_t>(H),
                    0xFF000000u | pic.background);  // keeps capacity
    std::vector<uint32_t> row;
    std::vector<float> depths;
    for (int k = 0; k < cols.count; ++k) {
        const TrainSection& section = s.sections[static_cast<size_t>(k)];
        depths.clear();
        for (const TrainPoint& p : section.points)
            depths.push_back(p.depth);
        const int left = cols.left(k);
        for (const GreyBand& band : greyBands(depths, s.depthSpan, s.stepMm, H)) {
            const TrainPoint& p = section.points[static_cast<size_t>(band.index)];
            const int n = static_cast<int>(p.samples.size());
            if (n == 0) continue;
            const int d = trainDecimation(n, cols.width, cols.count);
            // One row of the band, then copied down the band.
            const int x0 = std::clamp(trainSampleX(left, cols.width, 0, n) + 1, 0, W);
            const int xEnd = std::clamp(trainSampleX(left, cols.width, n, n) + 1, 0, W);
            if (xEnd <= x0) continue;
            row.assign(static_cast<size_t>(xEnd - x0), 0);
            for (int i = 0; i < n; i += d) {
                const int a = std::clamp(trainSampleX(left, cols.width, i, n) + 1, x0, xEnd);
                const int b = std::clamp(trainSampleX(left, cols.width, std::min(i + d, n), n) + 1, x0, xEnd);
                const uint32_t g =
                    static_cast<uint32_t>(greyValue(p.samples[static_cast<size_t>(i)], i > p.tIndex, s.grey));
                std::fill(row.begin() + (a - x0), row.begin() + (b - x0), 0xFF000000u | g << 16 | g << 8 | g);
            }
            for (int y = band.top; y < band.bottom; ++y)
                std::copy(row.begin(), row.end(), pic.grey.begin() + static_cast<ptrdiff_t>(y) * W + x0);
        }
    }
}

// A curve of 20 000 points crosses each pixel row dozens of times: of a run of points on one row
// only the first, the leftmost, the rightmost and the last change the pixels drawn.
class RowReducer {
  public:
    explicit RowReducer(std::vector<ViewPoint>& out) : out_(out) {}
    ~RowReducer() { flush(); }
    void add(ViewPoint p) {
        if (!run_.empty() && p.y != run_.front().y) flush();
        run_.push_back(p);
    }

  private:
    void flush() {
        if (run_.empty()) return;
        size_t lo = 0;
        size_t hi = 0;
        for (size_t i = 1; i < run_.size(); ++i) {
            if (run_[i].x < run_[lo].x) lo = i;
            if (run_[i].x > run_[hi].x) hi = i;
        }
        size_t keep[4] = {0, std::min(lo, hi), std::max(lo, hi), run_.size() - 1};
        for (size_t i = 0; i < 4; ++i) {
            if (i > 0 && keep[i] == keep[i - 1]) continue;
            out_.push_back(run_[keep[i]]);
        }
        run_.clear();
    }

    std::vector<ViewPoint>& out_;
    std::vector<ViewPoint> run_;
};

// The depth curves of each section, drawn by their own geometry at the column's width over the
// train's depth span, moved into the column.
void layoutCurves(const WaveTrainSnapshot& s, const TrainColumns& cols, WaveTrainPicture& pic) {
    const int H = cols.plotHeight;
    for (int k = 0; k < cols.count; ++k) {
        const TrainSection& section = s.sections[static_cast<size_t>(k)];
        const int left = cols.left(k);
        const CurvesGeometry g = curvesGeometry(section.curves, cols.width, H, true);
        auto move = [&](const std::vector<ViewPolyline>& runs, std::vector<std::vector<ViewPoint>>& out) {
            for (const ViewPolyline& run : runs) {
                std::vector<ViewPoint>& line = out.emplace_back();
                RowReducer reduce(line);
                for (const ViewPoint& p : run.points)
                    reduce.add({left + p.x, p.y});
            }
        };
        move(g.velocity, pic.velocity);
        move(g.amplitude, pic.amplitude);
        if (g.criticalVelocity)
            pic.criticalLines.push_back({left + g.criticalVelocity->from.x, 0, H - 1, kTrainRed});
        if (g.criticalAmplitude)
            pic.criticalLines.push_back({left + g.criticalAmplitude->from.x, 0, H - 1, kTrainBlue});
        const int32_t selected = section.selectedLevel - section.curvesFirstLevel;
        if (s.viewingFile && selected >= 0 && selected < static_cast<int32_t>(section.curves.points.size())) {
            const float depth = section.curves.points[static_cast<size_t>(selected)].depth;
            if (std::isfinite(depth))
                pic.selected.push_back({left, left + cols.width - 1, depthY(depth, s.depthSpan, H)});
        }
    }
}

const TrainPoint* findLevel(const TrainSection& section, int32_t level) {
    auto it = std::lower_bound(section.points.begin(), section.points.end(), level,
                               [](const TrainPoint& p, int32_t l) { return p.level < l; });
    return it != section.points.end() && it->level == level ? &*it : nullptr;
}

}  // namespace

WaveTrainPicture layoutWaveTrain(const WaveTrainSnapshot& s, TrainForm form, int width, int height,
                                 int32_t firstVisible, std::optional<int32_t> picked) {
    WaveTrainPicture pic;
    layoutWaveTrain(s, form, width, height, firstVisible, picked, pic);
    return pic;
}

void layoutWaveTrain(const WaveTrainSnapshot& s, TrainForm form, int width, int height, int32_t firstVisible,
                     std::optional<int32_t> picked, WaveTrainPicture& pic) {
    // Everything but the grey buffer's memory starts afresh.
    std::vector<uint32_t> grey = std::move(pic.grey);
    pic = WaveTrainPicture{};
    pic.grey = std::move(grey);
    pic.grey.clear();
    pic.width = std::max(0, width);
    pic.height = std::max(0, height);
    pic.form = form;
    pic.columns = trainColumns(pic.width, pic.height, static_cast<int>(s.sections.size()));
    pic.background = recordColourRgb(s.background);
    pic.grid = recordColourRgb(s.grid);
    const TrainColumns& cols = pic.columns;
    if (cols.count == 0 || cols.plotWidth == 0 || cols.plotHeight == 0) return;
    for (int k = 0; k <= cols.count; ++k)
        pic.columnEdges.push_back(std::min(cols.left(k), cols.plotWidth - 1));
    const bool byDepth = form == TrainForm::Grey || form == TrainForm::Curves;
    if (byDepth && !(s.depthSpan > 0.0)) return;  // no span: nothing can be placed by depth
    switch (form) {
        case TrainForm::Dash:
        case TrainForm::Miniature:
            layoutTrainRows(s, form, cols, firstVisible, pic);
            break;
        case TrainForm::Grey:
            layoutGrey(s, cols, pic);
            break;
        case TrainForm::Curves:
            layoutCurves(s, cols, pic);
            break;
    }
    for (int k = 0; k < cols.count; ++k) {
        pic.names.push_back(
            {cols.left(k) + cols.width - 25, cols.plotHeight - 15, s.sections[static_cast<size_t>(k)].name});
    }
    if (picked) {
        if (!byDepth) {
            const int row = *picked - firstVisible;
            if (row >= 0 && row < trainRows(cols.plotHeight))
                pic.marker = HorizontalSpan{0, cols.plotWidth - 1, baselineOfRow(cols.plotHeight, row)};
        } else {
            for (const TrainSection& section : s.sections) {
                const int32_t i = *picked - section.curvesFirstLevel;
                if (form == TrainForm::Curves && i >= 0 &&
                    i < static_cast<int32_t>(section.curves.points.size())) {
                    pic.marker = HorizontalSpan{0, cols.plotWidth - 1,
                                                depthY(section.curves.points[static_cast<size_t>(i)].depth,
                                                       s.depthSpan, cols.plotHeight)};
                    break;
                }
                if (const TrainPoint* p = findLevel(section, *picked)) {
                    pic.marker =
                        HorizontalSpan{0, cols.plotWidth - 1, depthY(p->depth, s.depthSpan, cols.plotHeight)};
                    break;
                }
            }
        }
    }
    return;
}

std::optional<int32_t> pickTrainLevel(const WaveTrainSnapshot& s, TrainForm form, int width, int height,
                                      int32_t firstVisible, int x, int y) {
    const TrainColumns cols = trainColumns(width, height, static_cast<int>(s.sections.size()));
    if (cols.width <= 0 || x < 0 || y < 0 || y >= cols.plotHeight) return std::nullopt;
    const int k = x / cols.width;
    if (k >= cols.count) return std::nullopt;
    const TrainSection& section = s.sections[static_cast<size_t>(k)];
    if (form == TrainForm::Dash || form == TrainForm::Miniature) {
        const int row = (cols.plotHeight - y) / kTrainRowPixels;
        if (row >= trainRows(cols.plotHeight)) return std::nullopt;
        const int32_t level = firstVisible + row;
        if (!findLevel(section, level)) return std::nullopt;
        return level;
    }
    if (form == TrainForm::Curves) {
        // The depth curves' own rule, on the column's scale.
        const std::optional<int> i = curvesPick(section.curves, cols.width, cols.plotHeight, y);
        if (!i) return std::nullopt;
        return section.curvesFirstLevel + *i;
    }
    if (!(s.depthSpan > 0.0) || s.stepMm <= 0 || section.points.empty()) return std::nullopt;
    const TrainPoint& newest = section.points.back();
    if (!newest.hasWave) return std::nullopt;
    // The point whose band is under the pointer, the last painted where bands overlap.
    std::vector<float> depths;
    depths.reserve(section.points.size());
    for (const TrainPoint& p : section.points)
        depths.push_back(p.depth);
    std::optional<int32_t> found;
    for (const GreyBand& band : greyBands(depths, s.depthSpan, s.stepMm, cols.plotHeight)) {
        if (y >= band.top && y < band.bottom) found = section.points[static_cast<size_t>(band.index)].level;
    }
    return found;
}

}  // namespace lx9
