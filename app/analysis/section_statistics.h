// Section statistics shared by the four standards: the λ table, sorting and trimming, the
// one-sided and two-sided outlier exclusions, mean minus two deviations, mean minus 6 dB, and the
// PSD series. Plain functions on float arrays; none changes what the caller owns unless it says
// so (SortDescending sorts in place).
//
// Critical values come back as floats; −998 and −999 stand in for a value (see CriticalStatus).
// Means and deviations are taken from exact sums (exact_moments.h), so the fast exclusions and
// their literal counterparts agree bit for bit.
#pragma once

#include <cstdint>
#include <vector>

namespace lx9 {

class CInfo;
class CSampleDataList;

// Result codes returned in place of a critical value.
inline constexpr float kTooFewValues = -998.0f;  // none selected, one value only, or nothing below
inline constexpr float kNoValueLeft = -999.0f;   // nothing valid after trimming, or all excluded

enum class CriticalStatus { Value, TooFewValues, NoValueLeft };
CriticalStatus criticalStatus(float result);

// Values below this count as absent. Values that are not finite count as absent as well: a NaN
// cannot be ordered and an infinity has no mean.
inline constexpr double kAbsentBelow = -9.99e20;
bool isAbsent(float v);

// The λ table: 70 rows of (n, λ); the building standard reads the first 60.
inline constexpr int kLambdaRows = 70;
inline constexpr int kLambdaRowsBuilding = 60;
float LambdaFor(int n, int rows);

// Factor of the one-sided exclusion: λ from the first 60 or all 70 rows, or the constant 2.
enum class FactorRule { Lambda60, Lambda70, Two };
float factorFor(FactorRule rule, int n);

// Sorts values[first..last] in place, largest first; absent values go to the end.
void SortDescending(float* values, int first, int last);
// Number of values left when the absent ones are dropped from the end of a sorted array.
int TrimAbsent(const float* sorted, int count);

// One-sided exclusion on a descending array (sorted by SortDescending): trims, then cuts the
// values below μ − factor·s until none is left below; the last μ − factor·s is the result.
// −998 when one value remains after trimming or c lies at or above every value; −999 when none
// remains or fewer than two would. Sorts once and keeps running sums: O(n) after the sort.
float ExcludeLow(const float* sorted, int count, FactorRule rule);
// The same procedure as written, recomputing the sums and scanning linearly on every pass
// (quadratic). The reference the fast one is tested and measured against.
float ExcludeLowLiteral(const float* sorted, int count, FactorRule rule);

// Sorts a copy of the values and runs ExcludeLow on it.
float CriticalByExclusion(const float* values, int count, FactorRule rule);

// μ − 2·s over the finite values: none → −998, one → 0.
float MeanMinusTwoSigma(const float* values, int count);
// Mean of the finite values minus 6: none → −998.
float MeanMinusSixDb(const float* values, int count);

// Statistics of a set of values (finite ones only): count, mean, deviation (divisor n − 1).
struct ValueStatistics {
    int count = 0;
    double mean = 0.0;
    double deviation = 0.0;
};
ValueStatistics describeValues(const std::vector<float>& values);

// Two-sided exclusion of the Guangdong building rules on one section's selected velocities
// (km/s). status: 1 converged, 0 narrowed to one value, −998 or −999 failed; criticalVelocity is
// the last lower limit computed (0 when none was).
struct DbjSectionResult {
    int status = -998;
    float criticalVelocity = 0.0f;
};
// values: the interval-selected velocities; they are capped at 9.999, sorted and trimmed here.
DbjSectionResult SectionCriticalVelocityDbj(std::vector<float> values);
// Literal counterpart of the passes (quadratic), same input.
DbjSectionResult SectionCriticalVelocityDbjLiteral(std::vector<float> values);

// PSD criterion series: K_i = (t_{i+1} − t_i)² / step · 1000 (µs²/m) for consecutive travel
// times; count − 1 values, none when stepMm is not positive.
std::vector<float> PsdSeries(const float* times, int count, int32_t stepMm);

struct PsdValue {
    float depth = 0.0f;  // m: depth of point i, against which K_i is drawn
    float value = 0.0f;  // µs²/m
};
// The series of one section list, times from pointMetrics with each point's own delay.
// sectionSlot is 0-based. Caller holds list.lock().
std::vector<PsdValue> PsdSeries(const CInfo& info, CSampleDataList& list, int sectionSlot);

}  // namespace lx9
