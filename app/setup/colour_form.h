// The rules of 颜色设置 (`CDlg_ColorAdjust`): the five view colours of the record (background,
// wave-train background, text and marks, grid, trace; each 0x00BBGGRR), the palette of the touch
// colour chooser "请选择颜色", and 恢复默认值. Colours go into the record on OK only. Qt-free.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "data/cinfo.h"
#include "display/view_colours.h"
#include "setup/setup_form.h"

namespace lx9 {

inline constexpr std::string_view kColourCaption = "颜色设置";
inline constexpr std::string_view kChooseColourTitle = "请选择颜色";
inline constexpr int kViewColours = 5;

// The colours' names, in the record's order.
std::array<std::string_view, kViewColours> colourNames();

// The chooser's swatches (0x00BBGGRR), four rows of eight.
std::vector<int32_t> colourPalette();

// 0x00BBGGRR from red, green and blue, and back.
constexpr int32_t colourRef(int r, int g, int b) {
    return (b & 0xFF) << 16 | (g & 0xFF) << 8 | (r & 0xFF);
}
constexpr int redOf(int32_t c) {
    return c & 0xFF;
}
constexpr int greenOf(int32_t c) {
    return (c >> 8) & 0xFF;
}
constexpr int blueOf(int32_t c) {
    return (c >> 16) & 0xFF;
}

class ColourForm {
  public:
    explicit ColourForm(SharedInfo current);

    const std::array<int32_t, kViewColours>& colours() const { return colours_; }
    // A colour from the chooser; only the low 24 bits are a colour.
    void choose(int which, int32_t colour);
    void restoreDefaults();  // 恢复默认值: the record's factory colours
    FormOutcome ok();
    FormOutcome cancel() { return FormOutcome::Cancelled; }

  private:
    CInfo& current_;
    std::mutex& infoLock_;  // guards current_: held while OK changes it
    std::array<int32_t, kViewColours> colours_;
};

}  // namespace lx9
