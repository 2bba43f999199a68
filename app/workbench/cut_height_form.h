// The cut-height dialogs `CDlgKTop` (upper bound of the statistics interval) and `CDlgKBottom`
// (lower bound) without their windows: the height being edited, "还原", and the checks of
// "确定", which move the bound of every present section to that section's own point.
//
// Heights are compared in whole millimetres: a typed 19.9 m and a stored float depth of
// 19.8999996 are the same level, and drifted depths such as 0.0499992 m still mean 50 mm.
//
// Threading: the user-interface thread; the lists are read and changed under their locks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "data/cinfo.h"
#include "data/sample_data_list.h"

namespace lx9 {

enum class CutBound { Upper, Lower };

inline constexpr std::string_view kCutTopCaption = "修改上截取范围";
inline constexpr std::string_view kCutTopPrompt = "请输入上滑块截取的高度：";
inline constexpr std::string_view kCutTopPad = "上滑块高度";
inline constexpr std::string_view kCutBottomCaption = "修改下截取范围";
inline constexpr std::string_view kCutBottomPrompt = "请输入下滑块截取的高度：";
inline constexpr std::string_view kCutBottomPad = "下滑块高度";

inline constexpr std::string_view kCutOutsidePile = "高度超出桩长范围";
inline constexpr std::string_view kCutNotInSection = "请输入截取的有效高度值！";
inline constexpr std::string_view kCutUpperBelowLower = "上滑块的高度值不能小于下滑块的高度值！";
inline constexpr std::string_view kCutUpperTooFew = "请确定区间的间隔点不少于10个!";
inline constexpr std::string_view kCutLowerAboveUpper = "下滑块的高度值不能大于上滑块的高度值！";
inline constexpr std::string_view kCutLowerTooFew = "请确定区间的间隔点不少于10个！";
// A typed text that is no number at all.
inline constexpr std::string_view kCutNotANumber = "请输入数字！";

// Metres to whole millimetres, to the nearest.
int64_t depthMm(double metres);

// The height as the field shows it: as many decimals as the step needs (1 for steps in whole
// decimetres, 2 for centimetres, 3 otherwise), so showing and reading back keeps the level.
std::string heightText(int64_t mm, int32_t stepMm);

// The shallowest point at or below `mm` of one list, skipping placeholder points (depth 0 and
// no signal); -1 when the height lies outside the list's points. Caller holds list.lock().
int cutIndexAt(CSampleDataList& list, int64_t mm);

class CutHeightForm {
  public:
    // `section` is the slot whose end height "还原" restores; `heightMm` the bound's last height.
    CutHeightForm(CutBound bound, const CInfo& info, const SectionLists& lists, int section,
                  int64_t heightMm);

    std::string_view caption() const;
    std::string_view prompt() const;
    std::string_view padTitle() const;

    // The field's text: the exact height until it is edited.
    std::string text() const { return heightText(heightMm_, info_.stepMm); }
    int64_t heightMm() const { return heightMm_; }
    // The operator typed a text (from the keypad); false when it is no number.
    bool setText(std::string_view text);
    // "还原": the section's end height (its last point's depth for the upper bound, its first
    // point's for the lower), none when the section has no points.
    void restore();

    // "确定": the first failing check's message, or none when every present section's bound was
    // moved to its own point. On failure nothing changes.
    std::optional<std::string> accept();
    // After a successful accept: the bound's index in the section given at construction.
    int resultIndex() const { return resultIndex_; }

  private:
    CutBound bound_;
    const CInfo& info_;
    SectionLists lists_;
    int section_;
    int64_t heightMm_;
    bool typedNonNumber_ = false;
    int resultIndex_ = -1;
};

}  // namespace lx9
