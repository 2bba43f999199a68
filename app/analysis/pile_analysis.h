// A pile analysed under one standard: the Guangdong evaluation that stores critical values and
// grades in the section lists, and the per-section result record that the command line, the
// views and the upload read.
//
// Every function here takes each list's lock while it works on that list; call none of them
// while holding a list's lock.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/algorithm.h"
#include "analysis/section_statistics.h"

namespace lx9 {

// Sets every present section's statistics interval to its whole list [0, count − 1], as the
// analysis does when it opens.
void setWholeIntervals(const CInfo& info, const SectionLists& lists);

// The Guangdong evaluation: for every present section the derived arrays (times, velocities,
// dB), then its critical amplitude over its interval, the pile's critical velocity, and the point
// grades; all stored in the lists (criticalAmplitudeDb, criticalVelocity, gradeArray). Returns
// the pile's critical velocity in km/s (0 when a section has none).
float EvaluatePileDbj(const CInfo& info, const SectionLists& lists);

// A point at which a section falls below a critical value, or (Guangdong) grades worse than 1.
struct PointFinding {
    int index = 0;             // point index in the section list (0 = deepest)
    float depth = 0.0f;        // m
    float velocity = 0.0f;     // km/s
    float amplitudeDb = 0.0f;  // dB
    bool belowVelocity = false;
    bool belowAmplitude = false;
    int grade = 0;  // 1 best .. 4 worst under the Guangdong rules; 0 where the standard grades nothing
};

// One present section under one standard.
struct SectionAnalysis {
    int slot = 0;  // 0..5
    std::string name;
    int pointCount = 0;             // points in the list
    ValueStatistics velocity;       // km/s, over the values the standard's statistics select
    ValueStatistics amplitude;      // dB, likewise
    float criticalVelocity = 0;     // km/s, or −998/−999 (criticalStatus); Guangdong: the pile's value
    float criticalVelocityMmS = 0;  // the same in mm/s, as the upload sends it (codes unchanged)
    float criticalAmplitudeDb = 0;  // dB, or −998/−999
    // Guangdong only: this section's own two-sided exclusion (status 1, 0, −998 or −999).
    DbjSectionResult dbjSection;
    std::vector<PsdValue> psd;  // PSD criterion series
    float psdMax = 0.0f;        // its largest value (µs²/m), 0 when the series is empty
    float psdMaxDepth = 0.0f;   // m, the depth at which it occurs
    std::vector<PointFinding> findings;
    std::array<int, 4> gradeCounts{};  // points of grade 1..4 (Guangdong)
};

struct PileAnalysis {
    std::string standard;                   // the text that chose the rules
    std::string_view rules;                 // e.g. "JGJ 106-2003"
    bool graded = false;                    // the rules grade points (Guangdong)
    float pileCriticalVelocity = 0.0f;      // Guangdong: km/s, 0 when a section has none
    std::vector<SectionAnalysis> sections;  // present sections that have a list, slot order
};

// Critical values, statistics, PSD and findings of every present section under `standard`.
// Non-Guangdong rules work on every point's velocity (mm/s) and dB amplitude from pointMetrics
// and store nothing. The Guangdong rules run EvaluatePileDbj with the intervals as they stand
// and read its stored results.
PileAnalysis analysePile(const CInfo& info, const SectionLists& lists, std::string_view standard);

// One point as analysePile judges it: velocity (km/s) and amplitude (dB) from pointMetrics, or
// under the Guangdong rules the list's velocityArray, dbArray and gradeArray. The findings of
// analysePile carry exactly these numbers.
struct PointValues {
    bool hasWave = false;
    float depth = 0.0f;        // m
    float timeUs = 0.0f;       // travel time from pointMetrics, the point's own delay
    float velocity = 0.0f;     // km/s
    float amplitudeDb = 0.0f;  // dB
    int grade = 0;             // 1..4 under the Guangdong rules, else 0
    int32_t tIndex = -1;
    int32_t ampIndex = -1;
};
// Every point of section `slot` in list order; call after analysePile under the same standard
// (`graded`: the Guangdong rules), whose stored arrays the graded values are read from.
std::vector<PointValues> sectionPointValues(const CInfo& info, CSampleDataList& list, int slot, bool graded);

// The criteria an upload sends: analysePile under info.standard, then each present list's
// uploadVelocityCritical (mm/s: the rule's value on every point's velocity; under the Guangdong
// rules the pile's critical velocity × 1 000 000) and uploadAmplitudeCritical (dB: the rule's
// value on every point's dB amplitude from pointMetrics).
PileAnalysis storeUploadCriticals(const CInfo& info, const SectionLists& lists);

}  // namespace lx9
