#include "acquisition/leak_form.h"

#include "ui/number_text.h"

namespace lx9 {

double leakBaseHeight(const CInfo& info) {
    const SectionPara& first = info.sections[0];
    switch (info.testMode) {
        case kInclined:
            return first.sectionStartDepth;
        case kFan:
            return first.sectionStartDepth - first.heightDiff / 1000.0;
        default:
            return info.startDepth;
    }
}

LeakForm::LeakForm(const CInfo& info, int32_t currentCm, int32_t expectedCm) : base_(leakBaseHeight(info)) {
    refresh(currentCm, expectedCm);
}

void LeakForm::refresh(int32_t currentCm, int32_t expectedCm) {
    currentCm_ = currentCm;
    expectedCm_ = expectedCm;
    missed_ = formatFixed(base_ - expectedCm / 100.0, 2);
    current_ = formatFixed(base_ - currentCm / 100.0, 2);
}

}  // namespace lx9
