#include "analysis/process_points.h"

#include <algorithm>
#include <cmath>

#include "analysis/auto_pick.h"
#include "analysis/first_arrival.h"
#include "analysis/signal_filter.h"
#include "analysis/variance_pick.h"
#include "data/globals.h"
#include "data/point_metrics.h"

namespace lx9 {
namespace {

// Index for a time after the delay (µs), kept inside the trace.
int32_t timeToIndex(double time, double dt, int n) {
    if (!(dt > 0) || n <= 0) return 0;
    const double index = std::trunc(time / dt);
    return static_cast<int32_t>(std::clamp(index, 0.0, n - 1.0));
}

}  // namespace

int pickLength(const CInfo& info, size_t sampleCount) {
    const int available = static_cast<int>(std::min<size_t>(sampleCount, 1u << 30));
    if (info.sampleLength > 0 && info.sampleLength < available) return info.sampleLength;
    return available;
}

PointPick PickWaveform(const CInfo& info, int sectionIndex, std::span<uint16_t> samples, float depth) {
    const int section = std::clamp(sectionIndex, 0, kMaxSections - 1);
    const SectionPara& para = info.sections[section];
    const double dt = info.sampleInterval;
    const int n = pickLength(info, samples.size());
    uint16_t* s = samples.data();

    if (info.digitalFilter) ConditionWave(s, n, dt, kConditionHighCutHz, kConditionLowCutHz);

    ArrivalPick found;
    if (info.pickMethod == kPickAmplitude) {
        found = PickByAmplitude(s, n, 2047.0 + info.amplitudeThreshold);
    } else if (info.pickMethod == kPickAutomatic) {
        const AutoPick times = PickAuto(s, n, dt, para.delay, kAutoNominalHz);
        found.arrival = timeToIndex(times.arrivalTime, dt, n);
        found.peak = timeToIndex(times.peakTime, dt, n);
    } else {
        VarianceSettings v;
        v.window = VarianceWindow(info.mainFrequency, dt);
        v.firstWavePositive = info.variancePolarity;
        v.start = info.varianceStart;
        v.multiplier = info.varianceThreshold;
        v.tangentToBaseline = info.pickMethod == kPickVariance;
        // "Not found" is 511, which lies beyond a trace shorter than 512 samples: keep the pick
        // on the trace's last sample there, as the amplitude method does.
        found.arrival = std::min(PickByVariance(s, n, v), std::max(n - 1, 0));
        found.peak = FindPeakAfter(s, n, found.arrival);
    }

    PointPick pick;
    pick.tIndex = found.arrival;
    pick.ampIndex = found.peak;
    pick.threshold = info.amplitudeThreshold;
    pick.gain = static_cast<float>(para.gain);
    pick.delay = para.delay;
    // A peak outside the trace (only for a trace too short to hold one) reads as the zero line.
    const int32_t ampCode = found.peak >= 0 && found.peak < n ? s[found.peak] : 2048;
    const PointMetrics m =
        pointMetrics(info, section + 1, found.arrival, depth, pick.gain, ampCode, para.delay);
    pick.velocity = m.velocity;
    pick.amplitude = m.amplitude;
    return pick;
}

void StorePick(SamplePoint& point, const PointPick& pick) {
    point.tIndex = pick.tIndex;
    point.ampIndex = pick.ampIndex;
    point.threshold = pick.threshold;
    point.gain = pick.gain;
    point.delay = pick.delay;
    point.velocity = pick.velocity;
    point.amplitude = pick.amplitude;
}

std::optional<PointWork> TakeCurrentPoint(CSampleDataList& list) {
    auto guard = list.lock();
    const SamplePoint* p = list.current;
    if (!p || p->samples.empty()) return std::nullopt;
    PointWork work;
    work.point = p;
    work.taken.assign(p->samples.begin(), p->samples.end());
    work.depth = p->depth;
    return work;
}

bool StoreCurrentPoint(CSampleDataList& list, const PointWork& work) {
    auto guard = list.lock();
    SamplePoint* p = list.current;
    // The address alone could belong to a new point that reused the memory of a removed one.
    if (!p || p != work.point || p->depth != work.depth ||
        !std::equal(p->samples.begin(), p->samples.end(), work.taken.begin(), work.taken.end()))
        return false;
    p->samples.assign(work.samples.begin(), work.samples.end());
    StorePick(*p, work.pick);
    return true;
}

void ProcessCurrentPoints(const CInfo& info,
                          const std::array<std::unique_ptr<CSampleDataList>, kMaxSections>& lists) {
    const int sections = std::clamp(info.sectionCount, 0, kMaxSections);
    for (int i = 0; i < sections; ++i) {
        CSampleDataList* list = lists[i].get();
        if (!list) continue;
        std::optional<PointWork> work = TakeCurrentPoint(*list);
        if (!work) continue;
        work->samples = work->taken;
        work->pick = PickWaveform(info, i, work->samples, work->depth);
        StoreCurrentPoint(*list, *work);
    }
}

void ProcessCurrentPoints() {
    ProcessCurrentPoints(currentInfo, sectionLists);
}

}  // namespace lx9
