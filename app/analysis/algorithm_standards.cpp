#include "analysis/algorithm_standards.h"

#include <algorithm>

#include "data/sample_data_list.h"

namespace lx9 {

namespace {

float excludeSelected(const std::vector<float>& selected, FactorRule rule) {
    return CriticalByExclusion(selected.data(), static_cast<int>(selected.size()), rule);
}

// Interval selection on a list whose lock the caller holds.
std::vector<float> selectInterval(CSampleDataList& l, const float* values, int count) {
    std::vector<float> selected;
    if (!values) return selected;
    const int listLast = static_cast<int>(l.count) - 1;
    const int first = std::max(l.intervalFirst, 0);
    const int last = std::min({l.intervalLast, listLast, count - 1});
    for (int p = first; p <= last; ++p) {
        // The list's last point never enters the statistics, even when the interval ends on it.
        if (p == listLast) break;
        const SamplePoint* point = l.point(p);
        if (point && !point->samples.empty()) selected.push_back(values[p]);
    }
    return selected;
}

}  // namespace

float CAlgorithm_JGJ106_2003::CriticalVelocity(const float* values, int count, int section, int) {
    return excludeSelected(SelectValues(values, count, section), FactorRule::Lambda60);
}

float CAlgorithm_JGJ106_2003::CriticalAmplitude(const float* values, int count, int section, int) {
    const std::vector<float> selected = SelectValues(values, count, section);
    return MeanMinusSixDb(selected.data(), static_cast<int>(selected.size()));
}

float CAlgorithm_JTGF81012004::CriticalVelocity(const float* values, int count, int section, int) {
    return excludeSelected(SelectValues(values, count, section), FactorRule::Two);
}

float CAlgorithm_JTGF81012004::CriticalAmplitude(const float* values, int count, int section, int) {
    const ValueStatistics s = describeValues(SelectValues(values, count, section));
    if (s.count < 2) return 0.0f;
    return static_cast<float>(s.mean - 6.0);
}

float CAlgorithm_TB10218_2008::CriticalVelocity(const float* values, int count, int section, int) {
    const std::vector<float> selected = SelectValues(values, count, section);
    return MeanMinusTwoSigma(selected.data(), static_cast<int>(selected.size()));
}

float CAlgorithm_TB10218_2008::CriticalAmplitude(const float* values, int count, int section, int) {
    return excludeSelected(SelectValues(values, count, section), FactorRule::Two);
}

std::vector<float> CAlgorithm_DBJ15_60_2008::SelectInterval(const float* values, int count,
                                                            int section) const {
    CSampleDataList* l = list(section);
    if (!l) return {};
    auto guard = l->lock();
    return selectInterval(*l, values, count);
}

float CAlgorithm_DBJ15_60_2008::CriticalAmplitude(const float* values, int count, int section, int) {
    const std::vector<float> selected = SelectInterval(values, count, section);
    return MeanMinusSixDb(selected.data(), static_cast<int>(selected.size()));
}

DbjSectionResult CAlgorithm_DBJ15_60_2008::SectionCriticalVelocityDbj(int section) {
    CSampleDataList* l = list(section);
    if (!l) return {};
    std::vector<float> selected;
    {
        auto guard = l->lock();
        l->sectionIndex = section;
        selected = selectInterval(*l, l->velocityArray.data(), static_cast<int>(l->velocityArray.size()));
    }
    return lx9::SectionCriticalVelocityDbj(std::move(selected));
}

float CAlgorithm_DBJ15_60_2008::CriticalVelocity(const float*, int, int, int) {
    double sum = 0.0;
    int sections = 0;
    bool failed = false;
    for (int k = 0; k < kMaxSections; ++k) {
        if (!info().sections[k].present) continue;
        const DbjSectionResult r = SectionCriticalVelocityDbj(k);
        if (r.status == -998 || r.status == -999) {
            failed = true;
        } else {
            sum += r.criticalVelocity;
            ++sections;
        }
    }
    // No present section has no critical value either: 0, like a failed one.
    if (failed || sections == 0) return 0.0f;
    return static_cast<float>(sum / sections);
}

}  // namespace lx9
