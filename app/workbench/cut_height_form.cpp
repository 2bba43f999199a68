#include "workbench/cut_height_form.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <vector>

#include "data/data_file_text.h"

namespace lx9 {
namespace {

bool isPlaceholder(const SamplePoint& p) {
    if (depthMm(p.depth) != 0) return false;
    return std::all_of(p.samples.begin(), p.samples.end(), [](uint16_t v) { return v == 2048; });
}

// The depths (mm) of the real points of a list with their indices, deepest first.
struct Level {
    int index;
    int64_t mm;
};
std::vector<Level> realLevels(CSampleDataList& list) {
    std::vector<Level> out;
    for (int i = 0; i < list.count; ++i) {
        const SamplePoint* p = list.pointAt(i);
        if (p && !isPlaceholder(*p)) out.push_back({i, depthMm(p->depth)});
    }
    return out;
}

}  // namespace

int64_t depthMm(double metres) {
    return std::llround(metres * 1000.0);
}

std::string heightText(int64_t mm, int32_t stepMm) {
    const int decimals = stepMm > 0 && stepMm % 100 == 0 ? 1 : stepMm > 0 && stepMm % 10 == 0 ? 2 : 3;
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, static_cast<double>(mm) / 1000.0);
    return text;
}

int cutIndexAt(CSampleDataList& list, int64_t mm) {
    const std::vector<Level> levels = realLevels(list);
    if (levels.empty() || mm < levels.back().mm || mm > levels.front().mm) return -1;
    for (size_t j = 0; j < levels.size(); ++j) {
        const bool nextAbove = j + 1 == levels.size() || levels[j + 1].mm < mm;
        if (levels[j].mm >= mm && nextAbove) return levels[j].index;
    }
    return -1;
}

CutHeightForm::CutHeightForm(CutBound bound, const CInfo& info, const SectionLists& lists, int section,
                             int64_t heightMm)
    : bound_(bound), info_(info), lists_(lists), section_(section), heightMm_(heightMm) {}

std::string_view CutHeightForm::caption() const {
    return bound_ == CutBound::Upper ? kCutTopCaption : kCutBottomCaption;
}
std::string_view CutHeightForm::prompt() const {
    return bound_ == CutBound::Upper ? kCutTopPrompt : kCutBottomPrompt;
}
std::string_view CutHeightForm::padTitle() const {
    return bound_ == CutBound::Upper ? kCutTopPad : kCutBottomPad;
}

bool CutHeightForm::setText(std::string_view text) {
    const std::string_view t = trimText(text);
    const bool number = !t.empty() && (std::isdigit(static_cast<unsigned char>(t.front())) ||
                                       ((t.front() == '-' || t.front() == '.') && t.size() > 1));
    typedNonNumber_ = !number;
    if (number) heightMm_ = depthMm(parseReal(t));
    return number;
}

void CutHeightForm::restore() {
    typedNonNumber_ = false;
    if (section_ < 0 || section_ >= kMaxSections || !lists_[section_]) return;
    auto guard = lists_[section_]->lock();
    const std::vector<Level> levels = realLevels(*lists_[section_]);
    if (levels.empty()) return;
    heightMm_ = bound_ == CutBound::Upper ? levels.back().mm : levels.front().mm;
}

std::optional<std::string> CutHeightForm::accept() {
    if (typedNonNumber_) return std::string(kCutNotANumber);
    if (heightMm_ < 0 || heightMm_ > depthMm(info_.pileLength)) return std::string(kCutOutsidePile);

    // Each present section's own point at that height; a section that does not reach it refuses.
    std::array<int, kMaxSections> index{};
    std::array<int, kMaxSections> first{}, last{};
    index.fill(-1);
    bool any = false;
    for (int k = 0; k < kMaxSections; ++k) {
        if (!info_.sections[k].present || !lists_[k]) continue;
        CSampleDataList& l = *lists_[k];
        auto guard = l.lock();
        if (l.count == 0) continue;
        index[k] = cutIndexAt(l, heightMm_);
        if (index[k] < 0) return std::string(kCutNotInSection);
        first[k] = std::max(l.intervalFirst, 0);
        last[k] = std::min<int>(l.intervalLast, l.count - 1);
        any = true;
    }
    if (!any) return std::string(kCutNotInSection);
    // At least ten points between the bounds in every section, each counted in its own indices.
    for (int k = 0; k < kMaxSections; ++k) {
        if (index[k] < 0) continue;
        if (bound_ == CutBound::Upper) {
            if (index[k] < first[k]) return std::string(kCutUpperBelowLower);
            if (index[k] - first[k] <= 9) return std::string(kCutUpperTooFew);
        } else {
            if (index[k] > last[k]) return std::string(kCutLowerAboveUpper);
            if (last[k] - index[k] <= 9) return std::string(kCutLowerTooFew);
        }
    }

    for (int k = 0; k < kMaxSections; ++k) {
        if (index[k] < 0) continue;
        auto guard = lists_[k]->lock();
        if (bound_ == CutBound::Upper) {
            lists_[k]->intervalLast = index[k];
        } else {
            lists_[k]->intervalFirst = index[k];
        }
    }
    resultIndex_ = section_ >= 0 && section_ < kMaxSections ? index[section_] : -1;
    return std::nullopt;
}

}  // namespace lx9
