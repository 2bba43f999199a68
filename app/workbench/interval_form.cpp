#include "workbench/interval_form.h"

#include <algorithm>

#include "analysis/pile_analysis.h"

namespace lx9 {

IntervalForm::IntervalForm(const CInfo& info, const SectionLists& lists, int section, int point)
    : info_(info), lists_(lists) {
    int common = -1;
    bool first = true;
    for (int k = 0; k < kMaxSections; ++k) {
        if (!info.sections[k].present || !lists[k]) continue;
        present_.push_back(k);
        auto guard = lists[k]->lock();
        const int last = static_cast<int>(lists[k]->count) - 1;
        common = first ? last : std::min(common, last);
        first = false;
    }
    lastLevel_ = common;
    const auto at = std::find(present_.begin(), present_.end(), section);
    if (at != present_.end()) {
        const int position = static_cast<int>(at - present_.begin());
        group_ = position / kIntervalPanels;
        active_ = position % kIntervalPanels;
    }
    if (lastLevel_ >= 0) level_ = std::clamp(point, 0, lastLevel_);
}

std::array<int, kIntervalPanels> IntervalForm::shownSections() const {
    std::array<int, kIntervalPanels> shown{-1, -1, -1};
    for (int i = 0; i < kIntervalPanels; ++i) {
        const size_t at = static_cast<size_t>(group_ * kIntervalPanels + i);
        if (at < present_.size()) shown[i] = present_[at];
    }
    return shown;
}

int IntervalForm::currentSection() const {
    const auto shown = shownSections();
    return shown[active_] >= 0 ? shown[active_] : shown[0];
}

std::string IntervalForm::caption(int id) const {
    switch (id) {
        case kWbSection:
            return "剖面切换";
        case kWbInterval:
            return "H-Vp";
        default:
            return workbenchCommonCaption(id, zoom_);
    }
}

bool IntervalForm::enabled(int id) const {
    if (id == kWbPageForward || id == kWbPageBack) return false;
    if (id == kWbSection) return present_.size() > static_cast<size_t>(kIntervalPanels);
    return true;
}

IntervalAction IntervalForm::click(int id) {
    if (!enabled(id)) return {};
    switch (id) {
        case kWbSection:
            group_ = 1 - group_;
            active_ = 0;
            return {kIvWaves};
        case kWbInterval:
            return {0, IntervalOpen::Workbench};
        case kWbExit:
            return {0, IntervalOpen::CloseAll};
        case kWbZoom:
            zoom_ = zoom_ == 4 ? 1 : zoom_ * 2;
            return {kIvWaves | kIvButtons};
        case kWbNextWave:
            if (level_ < 0 || level_ >= lastLevel_) return {};
            ++level_;
            return {kIvWaves | kIvCurves};
        case kWbPrevWave:
            if (level_ <= 0) return {};
            --level_;
            return {kIvWaves | kIvCurves};
        case kWbLeft:
        case kWbRight: {
            const int slot = shownSections()[active_];
            if (slot < 0 || level_ < 0) return {};
            const PointPicks p = picksOf(*lists_[slot], level_);
            const int from = selector_ == PickKind::Arrival ? p.tIndex : p.ampIndex;
            int samples = 0;
            {
                auto guard = lists_[slot]->lock();
                const SamplePoint* point = lists_[slot]->pointAt(level_);
                samples = point ? static_cast<int>(point->samples.size()) : 0;
            }
            const int to = from + (id == kWbLeft ? -1 : 1);
            if (to < 0 || to > samples - 1) return {};
            return {pickAt(active_, selector_, to)};
        }
        case kWbReread:
            if (present_.empty()) return {};
            // Each section's interval as the cut heights left it.
            EvaluatePileDbj(info_, lists_);
            return {kIvAll};
        default:
            return {};
    }
}

uint32_t IntervalForm::selectPick(int panel, PickKind kind) {
    if (panel < 0 || panel >= kIntervalPanels || shownSections()[panel] < 0) return 0;
    active_ = panel;
    selector_ = kind;
    return 0;
}

uint32_t IntervalForm::pickAt(int panel, PickKind kind, int sample) {
    if (panel < 0 || panel >= kIntervalPanels || level_ < 0 || sample < 0) return 0;
    const int slot = shownSections()[panel];
    if (slot < 0) return 0;
    active_ = panel;
    if (!writeHandPick(info_, *lists_[slot], slot, level_, kind, sample)) return 0;
    return kIvWaves | kIvCurves;
}

uint32_t IntervalForm::clickWaveform(int panel, int x, int y, int width, int height) {
    if (panel < 0 || panel >= kIntervalPanels || level_ < 0) return 0;
    const int slot = shownSections()[panel];
    if (slot < 0) return 0;
    int samples = 0;
    {
        auto guard = lists_[slot]->lock();
        const SamplePoint* point = lists_[slot]->pointAt(level_);
        samples = point ? static_cast<int>(point->samples.size()) : 0;
    }
    const PickKind kind = pickHalfAt(y, height);
    selectPick(panel, kind);
    return pickAt(panel, kind, pickSampleAt(x, width, samples));
}

uint32_t IntervalForm::setLevel(int level) {
    if (level < 0 || level > lastLevel_) return 0;
    level_ = level;
    return kIvWaves | kIvCurves;
}

}  // namespace lx9
