#include "workbench/workbench_data.h"

#include <algorithm>
#include <cmath>

#include "analysis/algorithm.h"
#include "data/point_metrics.h"

namespace lx9 {

int pickSampleAt(int x, int width, int samples) {
    if (samples <= 0 || width <= 0) return -1;
    const int64_t at = static_cast<int64_t>(std::max(x, 0)) * samples / width;
    return static_cast<int>(std::min<int64_t>(at, samples - 1));
}

PickKind pickHalfAt(int y, int height) {
    return y < height / 2 ? PickKind::Arrival : PickKind::Amplitude;
}

float finiteAmplitudeDb(double amplitude) {
    return static_cast<float>(amplitudeToDb(amplitude));
}

namespace {

int32_t ampCodeOf(const SamplePoint& p) {
    const bool inRange = p.ampIndex >= 0 && static_cast<size_t>(p.ampIndex) < p.samples.size();
    return inRange ? p.samples[static_cast<size_t>(p.ampIndex)] : 2048;
}

}  // namespace

SectionCurves sectionCurves(const CInfo& info, const SectionLists& lists, int slot) {
    SectionCurves out;
    if (slot < 0 || slot >= kMaxSections || !lists[slot]) return out;
    CSampleDataList& l = *lists[slot];
    auto guard = l.lock();
    out.points.resize(l.count);
    for (int i = 0; i < l.count; ++i) {
        const SamplePoint* p = l.pointAt(i);
        if (!p) continue;
        SectionCurvePoint& c = out.points[static_cast<size_t>(i)];
        const PointMetrics m =
            pointMetrics(info, slot + 1, p->tIndex, p->depth, p->gain, ampCodeOf(*p), p->delay);
        c.hasWave = !p->samples.empty();
        c.depth = p->depth;
        c.time = m.time;
        c.velocity = m.velocity;
        c.amplitudeDb = finiteAmplitudeDb(m.amplitude);
        if (static_cast<size_t>(i) < l.gradeArray.size()) c.grade = static_cast<int>(l.gradeArray[i]);
    }
    out.psd = PsdSeries(info, l, slot);
    return out;
}

CriticalLines sectionCriticals(const CInfo& info, const SectionLists& lists, int slot,
                               std::string_view standard, const SectionCurves& curves) {
    CriticalLines c;
    if (slot < 0 || slot >= kMaxSections || !lists[slot]) return c;
    if (standard == kStandardGuangdong) {
        auto guard = lists[slot]->lock();
        c.velocityMmS = static_cast<float>(static_cast<double>(lists[slot]->criticalVelocity) * 1000000.0);
        c.amplitudeDb = lists[slot]->criticalAmplitudeDb;
        return c;
    }
    std::vector<float> velocity, db;
    velocity.reserve(curves.points.size());
    db.reserve(curves.points.size());
    for (const SectionCurvePoint& p : curves.points) {
        velocity.push_back(p.velocity);
        db.push_back(p.amplitudeDb);
    }
    const std::unique_ptr<CAlgorithm> rules = makeAlgorithm(standard, info, lists);
    c.velocityMmS = rules->CriticalVelocity(velocity.data(), static_cast<int>(velocity.size()), slot);
    c.amplitudeDb = rules->CriticalAmplitude(db.data(), static_cast<int>(db.size()), slot);
    return c;
}

PointPicks picksOf(CSampleDataList& list, int index) {
    auto guard = list.lock();
    const SamplePoint* p = list.pointAt(index);
    if (!p) return {-1, -1};
    return {p->tIndex, p->ampIndex};
}

bool writeHandPick(const CInfo& info, CSampleDataList& list, int slot, int index, PickKind kind, int sample) {
    auto guard = list.lock();
    SamplePoint* p = list.pointAt(index);
    if (!p || p->samples.empty()) return false;
    const int last = static_cast<int>(p->samples.size()) - 1;
    const int32_t at = std::clamp(sample, 0, last);
    if (kind == PickKind::Arrival) {
        p->tIndex = at;
    } else {
        p->ampIndex = at;
    }
    const PointMetrics m =
        pointMetrics(info, slot + 1, p->tIndex, p->depth, p->gain, ampCodeOf(*p), p->delay);
    p->amplitudeDb = finiteAmplitudeDb(m.amplitude);
    return true;
}

}  // namespace lx9
