// Colours of the views as the record keeps them: 0x00BBGGRR (red in the low byte). The fixed
// colours of the curves and the map are written the same way so one conversion serves all
// (viewQColor in view_colours_view.h).
#pragma once

#include <cstdint>

namespace lx9 {

constexpr uint32_t viewRgb(int r, int g, int b) {
    return static_cast<uint32_t>(r & 0xFF) | static_cast<uint32_t>(g & 0xFF) << 8 |
           static_cast<uint32_t>(b & 0xFF) << 16;
}
constexpr int viewRed(uint32_t c) {
    return static_cast<int>(c & 0xFF);
}
constexpr int viewGreen(uint32_t c) {
    return static_cast<int>(c >> 8 & 0xFF);
}
constexpr int viewBlue(uint32_t c) {
    return static_cast<int>(c >> 16 & 0xFF);
}

inline constexpr uint32_t kViewBlack = viewRgb(0, 0, 0);
inline constexpr uint32_t kViewWhite = viewRgb(255, 255, 255);
inline constexpr uint32_t kViewRed = viewRgb(255, 0, 0);
inline constexpr uint32_t kViewGreen = viewRgb(0, 255, 0);
inline constexpr uint32_t kViewBlue = viewRgb(0, 0, 255);
inline constexpr uint32_t kViewGrey = viewRgb(128, 128, 128);
inline constexpr uint32_t kViewYellow = viewRgb(255, 255, 0);
inline constexpr uint32_t kViewBrown = viewRgb(128, 64, 64);
inline constexpr uint32_t kViewDarkGreen = viewRgb(0, 128, 0);
inline constexpr uint32_t kViewPileGrey = viewRgb(204, 204, 204);

// Grade 1..4 (best..worst) as the curves' interval bar and the map's line colour states show it.
constexpr uint32_t gradeColour(int grade) {
    switch (grade) {
        case 1:
            return kViewGrey;
        case 2:
            return kViewYellow;
        case 3:
            return kViewBrown;
        default:
            return kViewRed;
    }
}

// The record's colour entries: the views read only the low 24 bits.
constexpr uint32_t recordColour(int32_t value) {
    return static_cast<uint32_t>(value) & 0xFFFFFF;
}

}  // namespace lx9
