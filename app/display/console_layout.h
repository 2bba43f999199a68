// Where everything on the console goes, from its size (the screen, or the window in office use)
// and the display switches: the three display panels (upper wave panel, wave-train panel, lower
// wave panel) by the console's fixed rule, and around them the console's own controls: the
// button row in the band below the panels, the section map at the left of that band, the two
// indicator bars in the side margins, the point-information strip above the panels, and each
// displayed section's gain and delay controls in the top-right corner of its wave column.
// Qt-free; any thread (it only reads its argument).
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "data/cinfo.h"

namespace lx9 {

struct ScreenRect {
    int x = 0, y = 0, width = 0, height = 0;
    int right() const { return x + width; }
    int bottom() const { return y + height; }
    bool operator==(const ScreenRect&) const = default;
};

struct ConsoleLayoutInput {
    int width = 1024;  // the console's size in pixels
    int height = 768;
    bool wavesShown = true;  // "波形"
    bool trainShown = true;  // "波列"
    bool fixed = false;      // the console's 固定 mode
    // Sections whose waves are drawn (the slot's display flag, for a section of the test or file).
    std::array<bool, kMaxSections> displayed{};
};

// The columns of one wave panel: how many, and which section drawn it draws, left to right.
struct WaveColumns {
    int columns = 0;
    std::vector<int> drawn;
};

// The button row, left to right: 1002 … 1012, then the upload button 1014 (1013 is never shown).
inline constexpr std::array<int, 12> kConsoleButtonOrder = {1002, 1003, 1004, 1005, 1006, 1007,
                                                            1008, 1009, 1010, 1011, 1012, 1014};
// Size of one section control (a touch target).
inline constexpr int kSectionControlSize = 40;

struct ConsoleLayout {
    // None: moved off screen.
    std::optional<ScreenRect> upperWave, waveTrain, lowerWave, sectionMap, curves;
    WaveColumns upperColumns, lowerColumns;
    ScreenRect infoStrip;
    ScreenRect liftLabel, liftBar;        // "提升速度", left margin
    ScreenRect batteryLabel, batteryBar;  // "电量", right margin
    std::array<ScreenRect, kConsoleButtonOrder.size()> buttons{};
    // Index section × 4 + (gain +, gain −, delay ←, delay →); none for a section without a column.
    std::array<std::optional<ScreenRect>, kMaxSections * 4> sectionControls{};
};

ConsoleLayout consoleLayout(const ConsoleLayoutInput& in);

}  // namespace lx9
