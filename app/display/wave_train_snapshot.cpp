// Copying what a wave-train picture needs out of a record and its point lists.
#include <algorithm>
#include <cmath>
#include <memory>

#include "data/globals.h"
#include "data/run_state.h"
#include "display/wave_train_geometry.h"

namespace lx9 {

int32_t trainRingSize(const CInfo& info, uint32_t testState, int32_t maxCount) {
    if (info.saveMode != kSaveRealTime || stateCode(testState) == kStateViewing) return 0;
    return std::max<int32_t>(maxCount, 0);
}

namespace {

std::vector<int> displayedSlots(const CInfo& info) {
    std::vector<int> slots;
    for (int k = 0; k < kMaxSections; ++k) {
        if (info.sections[static_cast<size_t>(k)].display) slots.push_back(k);
    }
    return slots;
}

// Levels of one list inside the test's range: a ring holds the newest `count` of them.
LevelRange listLevels(const LevelRange& test, int count) {
    LevelRange r = test;
    if (count <= 0) {
        r.newest = r.oldest - 1;
    } else if (test.ringSize > 0) {
        r.oldest = std::max(0, test.newest - count + 1);
    } else {
        r.oldest = 0;
        r.newest = count - 1;
    }
    return r;
}

int32_t levelOfChain(const LevelRange& r, int chain) {
    if (r.ringSize <= 0) return chain;
    const int32_t newestChain = r.newest % r.ringSize;
    return r.newest - (newestChain - chain + r.ringSize) % r.ringSize;
}

void copyHeader(const SamplePoint& sp, int32_t level, TrainPoint& p) {
    p.level = level;
    p.depth = sp.depth;
    p.threshold = sp.threshold;
    p.tIndex = sp.tIndex;
    p.hasWave = !sp.samples.empty();
}

void copyWave(const SamplePoint& sp, TrainPoint& p) {
    p.samples.assign(sp.samples.begin(), sp.samples.end());
}

void copySection(const WaveTrainSnapshot& snap, TrainForm form, int height, int32_t firstVisible,
                 CSampleDataList& list, TrainSection& section) {
    auto guard = list.lock();
    const int count = list.count;
    const LevelRange r = listLevels(snap.levels, count);
    if (r.empty()) return;
    for (int c = 0; c < count; ++c) {
        if (list.pointAt(c) == list.current) {
            section.selectedLevel = levelOfChain(r, c);
            break;
        }
    }
    if (form == TrainForm::Curves) return;  // the depth curves copy their own
    if (form == TrainForm::Dash || form == TrainForm::Miniature) {
        const int32_t from = std::max(firstVisible, r.oldest);
        const int32_t to = std::min(firstVisible + trainRows(height) - 1, r.newest);
        for (int32_t level = from; level <= to; ++level) {
            const SamplePoint* sp = list.pointAt(r.chainIndex(level));
            if (!sp) continue;
            TrainPoint& p = section.points.emplace_back();
            copyHeader(*sp, level, p);
            copyWave(*sp, p);
        }
        return;
    }
    section.points.reserve(static_cast<size_t>(r.newest - r.oldest + 1));
    for (int32_t level = r.oldest; level <= r.newest; ++level) {
        const SamplePoint* sp = list.pointAt(r.chainIndex(level));
        if (!sp) continue;
        copyHeader(*sp, level, section.points.emplace_back());
    }
    if (form == TrainForm::Grey) {
        // Only the points whose band shows are worth their waveform.
        std::vector<float> depths;
        depths.reserve(section.points.size());
        for (const TrainPoint& p : section.points)
            depths.push_back(p.depth);
        for (const GreyBand& band : greyBands(depths, snap.depthSpan, snap.stepMm, height)) {
            TrainPoint& p = section.points[static_cast<size_t>(band.index)];
            if (p.samples.empty()) copyWave(*list.pointAt(r.chainIndex(p.level)), p);
        }
        return;
    }
}

}  // namespace

LevelRange trainLevels(const TrainSource& source) {
    LevelRange range;
    range.ringSize = std::max(source.ringSize, 0);
    if (!source.info) return range;
    int count = 0;
    for (int k : displayedSlots(*source.info)) {
        if (CSampleDataList* list = source.lists[static_cast<size_t>(k)]) {
            auto guard = list->lock();
            count = std::max<int>(count, list->count);
        }
    }
    if (count == 0) return range;
    if (range.ringSize > 0) {
        range.newest = std::max(source.newestLevel.value_or(count - 1), count - 1);
        range.oldest = std::max(0, range.newest - std::min(count, range.ringSize) + 1);
    } else {
        range.newest = count - 1;
    }
    return range;
}

WaveTrainSnapshot snapshotWaveTrain(const TrainSource& source, TrainForm form, int width, int height,
                                    int32_t firstVisible) {
    WaveTrainSnapshot snap;
    snapshotWaveTrain(source, form, width, height, firstVisible, snap);
    return snap;
}

void snapshotWaveTrain(const TrainSource& source, TrainForm form, int width, int height, int32_t firstVisible,
                       WaveTrainSnapshot& snap) {
    snap.form = form;
    if (!source.info) {
        snap.sections.clear();
        return;
    }
    const CInfo& info = *source.info;
    snap.grey = {info.zoomInterval, info.grayLevels, info.grayColour};
    snap.depthSpan = trainDepthSpan(info);
    snap.stepMm = info.stepMm;
    snap.background = info.colours[1];
    snap.grid = info.colours[3];
    snap.viewingFile = stateCode(source.testState) == kStateViewing;
    snap.levels = trainLevels(source);
    const int plotHeight = trainColumns(width, height, 1).plotHeight;
    const std::vector<int> slots = displayedSlots(info);
    // The sections' point arrays keep their memory from one redraw to the next.
    snap.sections.resize(slots.size());
    for (size_t c = 0; c < slots.size(); ++c) {
        const int k = slots[c];
        TrainSection& section = snap.sections[c];
        section.points.clear();
        section.slot = k;
        section.name = info.sections[static_cast<size_t>(k)].name;
        section.selectedLevel = -1;
        section.curves = CurvesSnapshot{};
        section.curvesFirstLevel = 0;
        CSampleDataList* list = source.lists[static_cast<size_t>(k)];
        if (!list) continue;  // a column without a list stays empty; the others are drawn
        copySection(snap, form, plotHeight, firstVisible, *list, section);
        if (form != TrainForm::Curves) continue;
        // The depth curves' snapshot takes the list's lock and then asks the rules, which take
        // it again: called with none held.
        CurvesSnapshot& curves = section.curves;
        curves = takeCurvesSnapshot(info, source.lists, k);
        const LevelRange r = listLevels(snap.levels, static_cast<int>(curves.points.size()));
        if (!r.empty()) {
            // A ring's chain starts anywhere: the curves are drawn in level order.
            const auto oldest = static_cast<size_t>(r.chainIndex(r.oldest));
            if (oldest < curves.points.size())
                std::rotate(curves.points.begin(), curves.points.begin() + static_cast<ptrdiff_t>(oldest),
                            curves.points.end());
            section.curvesFirstLevel = r.oldest;
        }
        curves.pileLength = static_cast<float>(snap.depthSpan);  // the column's depth scale
        curves.guangdong = false;                                // no grade panel in a column
    }
}

}  // namespace lx9
