// Copying what a wave-train picture needs out of a record and its point lists.
#include <algorithm>
#include <cmath>
#include <memory>

#include "analysis/algorithm.h"
#include "data/globals.h"
#include "data/point_metrics.h"
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

struct CurveValues {
    std::vector<float> velocityMmS;  // chain order, for the critical values
    std::vector<float> amplitudeDb;
};

void copySection(const TrainSource& src, const WaveTrainSnapshot& snap, TrainForm form, int height,
                 int32_t firstVisible, CSampleDataList& list, TrainSection& section, CurveValues& curves,
                 bool& guangdongStored) {
    const CInfo& info = *src.info;
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
    curves.velocityMmS.assign(static_cast<size_t>(count), 0.0f);
    curves.amplitudeDb.assign(static_cast<size_t>(count), 0.0f);
    for (TrainPoint& p : section.points) {
        const SamplePoint& sp = *list.pointAt(r.chainIndex(p.level));
        if (!p.hasWave) continue;
        const bool inRange = sp.ampIndex >= 0 && static_cast<size_t>(sp.ampIndex) < sp.samples.size();
        const int32_t ampCode = inRange ? sp.samples[static_cast<size_t>(sp.ampIndex)] : 2048;
        const PointMetrics m =
            pointMetrics(info, section.slot + 1, sp.tIndex, sp.depth, sp.gain, ampCode, sp.delay);
        p.velocityKmS = static_cast<float>(m.velocity / 1e6);
        p.amplitudeDb = static_cast<float>(amplitudeToDb(m.amplitude));
        curves.velocityMmS[static_cast<size_t>(r.chainIndex(p.level))] = m.velocity;
        curves.amplitudeDb[static_cast<size_t>(r.chainIndex(p.level))] = p.amplitudeDb;
    }
    if (info.standard == kStandardGuangdong) {
        // The Guangdong analysis stores its values with the list.
        section.criticalVelocity = list.criticalVelocity;
        section.criticalAmplitudeDb = list.criticalAmplitudeDb;
        guangdongStored = true;
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
        section.criticalVelocity = 0.0f;
        section.criticalAmplitudeDb = 0.0f;
        CSampleDataList* list = source.lists[static_cast<size_t>(k)];
        if (!list) continue;  // a column without a list stays empty; the others are drawn
        CurveValues curves;
        bool stored = false;
        copySection(source, snap, form, plotHeight, firstVisible, *list, section, curves, stored);
        if (form != TrainForm::Curves || stored || curves.velocityMmS.empty()) continue;
        // The rule objects take the list locks themselves: called with none held.
        std::unique_ptr<CAlgorithm> rules = makeAlgorithm(info.standard, info, source.lists);
        const int n = static_cast<int>(curves.velocityMmS.size());
        const float vc = rules->CriticalVelocity(curves.velocityMmS.data(), n, k);
        section.criticalVelocity = vc > 0.0f ? static_cast<float>(vc / 1e6) : vc;
        section.criticalAmplitudeDb = rules->CriticalAmplitude(curves.amplitudeDb.data(), n, k);
    }
}

}  // namespace lx9
