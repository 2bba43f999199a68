// The algorithm object: computes the two critical values of one section under one standard.
//
// Callers create the class that the `standard` text selects (makeAlgorithm), call one or both
// operations, and drop it. An object reads the test record and the six section lists it was
// given; both must outlive it.
//
// Locking: the operations take each section list's lock while they read it and release it
// before they return. Never call them while holding a list's lock (std::mutex is not
// recursive); copy the values out first.
#pragma once

#include <array>
#include <memory>
#include <string_view>
#include <vector>

#include "data/cinfo.h"
#include "data/sample_data_list.h"

namespace lx9 {

// The program's own lists (sectionLists); for the composition root and its views.
SectionLists globalSectionLists();

class CAlgorithm {
  public:
    CAlgorithm(const CInfo& info, const SectionLists& lists) : info_(&info), lists_(lists) {}
    // Virtual so that an object chosen by makeAlgorithm is destroyed whole through the base.
    virtual ~CAlgorithm() = default;

    // values: count floats, one per point of section `section` (slot 0..5) in list order —
    // velocities for CriticalVelocity, amplitudes in dB for CriticalAmplitude; count is the
    // number of points in that list. The result is in the unit of the values, or −998/−999.
    // mode 0 (the only one) selects the values of points that hold a waveform. The caller's
    // array is never changed. The base class has no rule and returns 0.
    virtual float CriticalVelocity(const float* values, int count, int section, int mode = 0);
    virtual float CriticalAmplitude(const float* values, int count, int section, int mode = 0);

    // Value selection: values[j] for every point j = 0 … count − 1 − excludedTail of the
    // section's list that holds a waveform. A section without a list selects nothing.
    std::vector<float> SelectValues(const float* values, int count, int section) const;

    // Points at the end of a section's list that the selection leaves out.
    int excludedTail = 0;

  protected:
    const CInfo& info() const { return *info_; }
    CSampleDataList* list(int section) const;

  private:
    const CInfo* info_;
    SectionLists lists_;
};

// The class that serves a `standard` text: "公路" highway, "铁路" railway, "广东建筑" Guangdong
// building; anything else, "建筑" included, the building rules of JGJ 106-2003.
std::unique_ptr<CAlgorithm> makeAlgorithm(std::string_view standard, const CInfo& info,
                                          const SectionLists& lists);

// Human-readable name of the rules a `standard` text selects, e.g. "JGJ 106-2003".
std::string_view standardRules(std::string_view standard);

}  // namespace lx9
