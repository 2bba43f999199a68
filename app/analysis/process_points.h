// Per-cycle processing of the points the acquisition worker has just filled: condition each
// section's current waveform (when the digital filter is on), pick its first arrival and first
// peak by the chosen method, and store the pick with travel-time figures from pointMetrics.
//
// Threading: ProcessCurrentPoints runs on the acquisition worker (or the UI thread for a
// re-pick) while views read the same lists. Each list's lock is held only to copy the current
// point's waveform out and to write the results back; filtering and picking run outside it.
// The CInfo passed in must not change during the call (the console leaves it alone while a
// test runs).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "data/cinfo.h"
#include "data/sample_data_list.h"

namespace lx9 {

// What a pick stores in a point.
struct PointPick {
    int32_t tIndex = 0;
    int32_t ampIndex = 0;
    float threshold = 0.0f;
    float gain = 0.0f;
    float delay = 0.0f;
    float velocity = 0.0f;
    float amplitude = 0.0f;
};

// Samples a pick examines: the settings' sample length, or fewer when the waveform is shorter.
int pickLength(const CInfo& info, size_t sampleCount);

// Conditions (when the digital filter is on) and picks one waveform of section sectionIndex
// (0-based) taken at depth; samples are overwritten by the conditioned ones. Any thread, no lock.
PointPick PickWaveform(const CInfo& info, int sectionIndex, std::span<uint16_t> samples, float depth);

// Writes a pick into a point (caller holds the point's list lock, or owns the point).
void StorePick(SamplePoint& point, const PointPick& pick);

// A current point copied out of its list.
struct PointWork {
    const SamplePoint* point = nullptr;  // identity only: never dereferenced outside the lock
    std::vector<uint16_t> taken;         // the waveform as it was copied out
    std::vector<uint16_t> samples;       // the waveform to store (conditioned when enabled)
    float depth = 0.0f;
    PointPick pick;
};

// Copies the list's current point under its lock; nothing when it has none or no waveform.
std::optional<PointWork> TakeCurrentPoint(CSampleDataList& list);

// Writes samples and pick back under the lock, provided the list's current point is still the
// one taken, unchanged (same waveform and depth). False, list untouched, otherwise: the point
// was removed or replaced meanwhile, and its successor gets its own pick.
bool StoreCurrentPoint(CSampleDataList& list, const PointWork& work);

// Sections 0 … sectionCount − 1 whose list has a current point with a waveform.
void ProcessCurrentPoints(const CInfo& info,
                          const std::array<std::unique_ptr<CSampleDataList>, kMaxSections>& lists);

// The worker's form: currentInfo and sectionLists.
void ProcessCurrentPoints();

}  // namespace lx9
