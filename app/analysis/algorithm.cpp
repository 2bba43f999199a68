#include "analysis/algorithm.h"

#include <algorithm>

#include "analysis/algorithm_standards.h"
#include "data/globals.h"
#include "data/sample_data_list.h"

namespace lx9 {

SectionLists globalSectionLists() {
    SectionLists lists{};
    for (int k = 0; k < kMaxSections; ++k)
        lists[k] = sectionLists[k].get();
    return lists;
}

float CAlgorithm::CriticalVelocity(const float*, int, int, int) {
    return 0.0f;
}
float CAlgorithm::CriticalAmplitude(const float*, int, int, int) {
    return 0.0f;
}

CSampleDataList* CAlgorithm::list(int section) const {
    if (section < 0 || section >= kMaxSections) return nullptr;
    return lists_[section];
}

std::vector<float> CAlgorithm::SelectValues(const float* values, int count, int section) const {
    std::vector<float> selected;
    CSampleDataList* l = list(section);
    if (!values || !l) return selected;
    auto guard = l->lock();
    // Points beyond the list hold nothing; the indexed access would answer them with `current`.
    const int last = std::min(count - excludedTail, static_cast<int>(l->count));
    selected.reserve(static_cast<size_t>(std::max(last, 0)));
    for (int j = 0; j < last; ++j) {
        const SamplePoint* p = l->point(j);
        if (p && !p->samples.empty()) selected.push_back(values[j]);
    }
    return selected;
}

std::unique_ptr<CAlgorithm> makeAlgorithm(std::string_view standard, const CInfo& info,
                                          const SectionLists& lists) {
    if (standard == kStandardHighway) return std::make_unique<CAlgorithm_JTGF81012004>(info, lists);
    if (standard == kStandardRailway) return std::make_unique<CAlgorithm_TB10218_2008>(info, lists);
    if (standard == kStandardGuangdong) return std::make_unique<CAlgorithm_DBJ15_60_2008>(info, lists);
    return std::make_unique<CAlgorithm_JGJ106_2003>(info, lists);
}

std::string_view standardRules(std::string_view standard) {
    if (standard == kStandardHighway) return "JTG/T F81-01-2004";
    if (standard == kStandardRailway) return "TB 10218-2008";
    if (standard == kStandardGuangdong) return "DBJ 15-60-2008";
    return "JGJ 106-2003";
}

}  // namespace lx9
