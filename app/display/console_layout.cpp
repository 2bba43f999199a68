#include "display/console_layout.h"

#include <algorithm>

namespace lx9 {
namespace {

// The wave panels' columns: the upper panel takes every displayed section while there are at
// most three or the wave train is shown too; otherwise it takes two of four, three of five or
// six, and the lower panel the rest.
void splitColumns(const std::vector<int>& shown, bool trainShown, WaveColumns& upper, WaveColumns& lower) {
    const int n = static_cast<int>(shown.size());
    int upperCount = n;
    if (n >= 4 && !trainShown) upperCount = n == 4 ? 2 : 3;
    upper.columns = upperCount;
    upper.drawn.assign(shown.begin(), shown.begin() + upperCount);
    lower.drawn.assign(shown.begin() + upperCount, shown.end());
    lower.columns = n == 6 && !trainShown ? 3 : static_cast<int>(lower.drawn.size());
}

// A section's four controls in the top-right corner of its column: one row when they fit in the
// column's right half; else two rows of two, below the three lines of the view's readout, whose
// longer lines reach into the right half of a narrow column.
void placeControls(const ScreenRect& panel, const WaveColumns& cols, ConsoleLayout& out) {
    if (cols.columns <= 0) return;
    const int plotWidth = panel.width - 2;  // the views inset their plot by 2 at the right
    const int w = plotWidth / cols.columns;
    const int s = kSectionControlSize;
    const bool oneRow = w / 2 >= 4 * s;
    for (size_t k = 0; k < cols.drawn.size(); ++k) {
        const int columnRight = panel.x + (static_cast<int>(k) + 1) * w;
        const int groupWidth = oneRow ? 4 * s : 2 * s;
        const int x0 = columnRight - groupWidth - 2;
        const int y0 = panel.y + (oneRow ? 4 : 48);
        for (int c = 0; c < 4; ++c) {
            const int col = oneRow ? c : c % 2;
            const int row = oneRow ? 0 : c / 2;
            out.sectionControls[static_cast<size_t>(cols.drawn[k] * 4 + c)] =
                ScreenRect{x0 + col * s, y0 + row * s, s, s};
        }
    }
}

}  // namespace

ConsoleLayout consoleLayout(const ConsoleLayoutInput& in) {
    ConsoleLayout out;
    const int S = in.width, H = in.height;
    const int o = (H / 50) * 4;
    const int t = H - o;
    const int u = (2 * t - 8) / 5 - 25;
    const int e = (t - 4) * 3 / 5;

    std::vector<int> shown;
    for (int k = 0; k < kMaxSections; ++k)
        if (in.displayed[static_cast<size_t>(k)]) shown.push_back(k);
    const int n = static_cast<int>(shown.size());

    if (in.wavesShown && in.trainShown) {
        out.upperWave = ScreenRect{25, 25, S - 50, u};
        out.waveTrain = ScreenRect{25, u + 27, S - 50, e};
    } else if (in.wavesShown && n <= 3) {
        out.upperWave = ScreenRect{25, 25, S - 50, t - 27};
    } else if (in.wavesShown && in.fixed) {
        const int g = (H - 2 * o - 52) / 2;
        out.upperWave = ScreenRect{25, 25, S - 50, g};
        out.lowerWave = ScreenRect{25, g + o + 50, S - 50, g};
    } else if (in.wavesShown) {
        const int half = (t - 52) / 2;
        out.upperWave = ScreenRect{25, 25, S - 50, half};
        out.lowerWave = ScreenRect{25, half + 50, S - 50, half};
    } else {
        out.waveTrain = ScreenRect{25, 25, S - 50, t - 27};
    }

    if (in.wavesShown) {
        splitColumns(shown, in.trainShown, out.upperColumns, out.lowerColumns);
        if (!out.lowerWave) {
            // Both switches on: every displayed section shares the upper panel in one row.
            out.upperColumns.columns = n;
            out.upperColumns.drawn = shown;
            out.lowerColumns = {};
        }
        placeControls(*out.upperWave, out.upperColumns, out);
        if (out.lowerWave) placeControls(*out.lowerWave, out.lowerColumns, out);
    }

    // Above the panels: the point information on one line.
    out.infoStrip = ScreenRect{25, 0, S - 50, 25};

    // The side margins: a label at the top, the bar down to the panels' bottom.
    const int labelHeight = 72;
    const int barTop = 25 + labelHeight + 4;
    const int barHeight = std::max(t - 3 - barTop, 10);
    out.liftLabel = ScreenRect{0, 25, 25, labelHeight};
    out.liftBar = ScreenRect{5, barTop, 15, barHeight};
    out.batteryLabel = ScreenRect{S - 25, 25, 25, labelHeight};
    out.batteryBar = ScreenRect{S - 20, barTop, 15, barHeight};

    // The band below the panels: the section map, then the buttons, as high as the band allows
    // (at 768 pixels 48), never below a finger's 40.
    const int mapSide = std::max(o - 4, 0);
    out.sectionMap = ScreenRect{25, t + 2, mapSide, mapSide};
    const int buttonHeight = std::max(std::min(48, o - 8), 40);
    const int buttonTop = std::min(t + std::max((o - buttonHeight) / 2, 0), H - buttonHeight);
    const int left = 25 + mapSide + 8;
    const int gap = 4;
    const int count = static_cast<int>(out.buttons.size());
    const int buttonWidth = std::max((S - 25 - left - (count - 1) * gap) / count, 1);
    for (int i = 0; i < count; ++i)
        out.buttons[static_cast<size_t>(i)] =
            ScreenRect{left + i * (buttonWidth + gap), buttonTop, buttonWidth, buttonHeight};
    return out;
}

}  // namespace lx9
