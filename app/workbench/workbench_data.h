// What the workbench's views read and the one place a hand pick is written: per-point curve data
// of one section, the critical values under a standard without re-evaluating anything, the pick
// geometry of the waveform view and the hand-pick writer.
//
// Locking: every function takes the list's lock itself; call none while holding it.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "analysis/section_statistics.h"
#include "data/cinfo.h"
#include "data/sample_data_list.h"

namespace lx9 {

// Which pick a hand pick or a shift moves: the first arrival or the amplitude reading.
enum class PickKind { Arrival = 1, Amplitude = 0 };

// The sample under a click at x in a view `width` pixels wide showing `samples` samples:
// clamp(x·samples / width, 0, samples − 1) in integers, so a click at the right edge is the last
// sample and no sampling interval takes part. -1 when there are no samples or no width.
int pickSampleAt(int x, int width, int samples);

// Which half of a waveform view `height` pixels high holds y: the upper (Arrival) half is rows
// 0 … height/2 − 1, the border row belongs to the lower (Amplitude) half.
PickKind pickHalfAt(int y, int height);

// 20·log10(|a| / 0.000025) of a point's amplitude, kept finite as the files keep it: a flat
// reading (0 mV, whose logarithm is −∞) and anything below 0 dB count as kAmplitudeDbFloor.
float finiteAmplitudeDb(double amplitude);

// One point of a section's depth curves, from pointMetrics.
struct SectionCurvePoint {
    bool hasWave = false;
    float depth = 0.0f;        // m
    float time = 0.0f;         // µs
    float velocity = 0.0f;     // mm/s
    float amplitudeDb = 0.0f;  // dB, finite
    int grade = 0;             // stored Guangdong grade, 0 when none was computed
};

struct SectionCurves {
    std::vector<SectionCurvePoint> points;  // list order, 0 = deepest
    std::vector<PsdValue> psd;
};

// The curve data of section `slot`; empty when the slot has no list.
SectionCurves sectionCurves(const CInfo& info, const SectionLists& lists, int slot);

// The critical lines of one section under `standard`. Guangdong: the values the last evaluation
// stored (criticalVelocity × 10⁶ mm/s, criticalAmplitudeDb), nothing is re-evaluated. Otherwise
// the rule's values computed afresh from the curve data's velocities and dB amplitudes, stored
// nowhere. −998/−999 pass through.
struct CriticalLines {
    float velocityMmS = 0.0f;
    float amplitudeDb = 0.0f;
};
CriticalLines sectionCriticals(const CInfo& info, const SectionLists& lists, int slot,
                               std::string_view standard, const SectionCurves& curves);

// A point's two picks.
struct PointPicks {
    int32_t tIndex = 0;
    int32_t ampIndex = 0;
    bool operator==(const PointPicks&) const = default;
};

// The picks of point `index` of the list, none (-1, -1) when there is no such point.
PointPicks picksOf(CSampleDataList& list, int index);

// The hand-pick writer: sets the chosen pick of point `index` of section `slot` to `sample`
// (clamped to the waveform) and refreshes the point's amplitudeDb from pointMetrics, all under
// the list's lock. False, nothing changed, for a missing point or a point without a waveform.
bool writeHandPick(const CInfo& info, CSampleDataList& list, int slot, int index, PickKind kind, int sample);

}  // namespace lx9
