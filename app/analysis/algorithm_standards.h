// The four standards' rules for the critical velocity and the critical amplitude.
//
//   class                       velocity                              amplitude
//   CAlgorithm_JGJ106_2003      λ exclusion, table rows 1..60          mean − 6 dB
//   CAlgorithm_DBJ15_60_2008    pile mean of two-sided λ exclusions   mean − 6 dB over the interval
//   CAlgorithm_JTGF81012004     exclusion with the factor 2           mean − 6 dB, 0 below 2 values
//   CAlgorithm_TB10218_2008     mean − 2 deviations                   exclusion with the factor 2
#pragma once

#include <vector>

#include "analysis/algorithm.h"
#include "analysis/section_statistics.h"

namespace lx9 {

// JGJ 106-2003, buildings.
class CAlgorithm_JGJ106_2003 : public CAlgorithm {
  public:
    using CAlgorithm::CAlgorithm;
    float CriticalVelocity(const float* values, int count, int section, int mode = 0) override;
    float CriticalAmplitude(const float* values, int count, int section, int mode = 0) override;
};

// JTG/T F81-01-2004, highways.
class CAlgorithm_JTGF81012004 : public CAlgorithm {
  public:
    using CAlgorithm::CAlgorithm;
    float CriticalVelocity(const float* values, int count, int section, int mode = 0) override;
    float CriticalAmplitude(const float* values, int count, int section, int mode = 0) override;
};

// TB 10218-2008, railways.
class CAlgorithm_TB10218_2008 : public CAlgorithm {
  public:
    using CAlgorithm::CAlgorithm;
    float CriticalVelocity(const float* values, int count, int section, int mode = 0) override;
    float CriticalAmplitude(const float* values, int count, int section, int mode = 0) override;
};

// DBJ 15-60-2008, Guangdong buildings. Works on the lists' derived arrays and statistics
// intervals (intervalFirst, intervalLast) rather than on values the caller derives.
class CAlgorithm_DBJ15_60_2008 : public CAlgorithm {
  public:
    using CAlgorithm::CAlgorithm;
    // One critical velocity (km/s) for the whole pile: the mean of the present sections'
    // two-sided exclusions over their intervals, or 0 when any of them fails (or none is
    // present). values and count are not used. Sets each present list's sectionIndex.
    float CriticalVelocity(const float* values, int count, int section, int mode = 0) override;
    // values: the section's dbArray; mean − 6 over the interval, −998 with no value.
    float CriticalAmplitude(const float* values, int count, int section, int mode = 0) override;

    // values[p] for p = intervalFirst … intervalLast (clamped to the list) whose point holds a
    // waveform; the list's last point is left out when the interval reaches it.
    std::vector<float> SelectInterval(const float* values, int count, int section) const;
    // The two-sided exclusion of one section over its velocityArray (km/s) and interval.
    DbjSectionResult SectionCriticalVelocityDbj(int section);
};

}  // namespace lx9
