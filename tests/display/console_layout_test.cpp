// The console's layout with exact numbers: the three display panels for every row of the rule at
// the field computer's 1024×768 and at 800×600, the wave columns and the section controls placed
// in them, the button row, the section map and the side bars.
#include <gtest/gtest.h>

#include "display/console_layout.h"

namespace lx9 {
namespace {

using R = ScreenRect;
using Opt = std::optional<ScreenRect>;

std::array<bool, kMaxSections> shown(std::initializer_list<int> slots) {
    std::array<bool, kMaxSections> d{};
    for (int s : slots)
        d[static_cast<size_t>(s)] = true;
    return d;
}

struct PanelCase {
    const char* name;
    int width, height;
    bool waves, train, fixed;
    std::initializer_list<int> displayed;
    Opt upper, train_, lower;
};

// 1024×768: o = 60, t = 708, u = 256, e = 422; halves (708 − 52) / 2 = 328; fixed g = 298.
// 800×600: o = 48, t = 552, u = 194, e = 328.
TEST(ConsoleLayout, PanelsFollowTheDisplaySwitches) {
    const PanelCase cases[] = {
        {"both, six",
         1024,
         768,
         true,
         true,
         false,
         {0, 1, 2, 3, 4, 5},
         R{25, 25, 974, 256},
         R{25, 283, 974, 422},
         {}},
        {"both, none shown", 1024, 768, true, true, false, {}, R{25, 25, 974, 256}, R{25, 283, 974, 422}, {}},
        {"waves, three", 1024, 768, true, false, false, {0, 1, 2}, R{25, 25, 974, 681}, {}, {}},
        {"waves, three, fixed", 1024, 768, true, false, true, {0, 2, 5}, R{25, 25, 974, 681}, {}, {}},
        {"waves, four",
         1024,
         768,
         true,
         false,
         false,
         {0, 1, 2, 3},
         R{25, 25, 974, 328},
         {},
         R{25, 378, 974, 328}},
        {"waves, six, fixed",
         1024,
         768,
         true,
         false,
         true,
         {0, 1, 2, 3, 4, 5},
         R{25, 25, 974, 298},
         {},
         R{25, 408, 974, 298}},
        {"train only", 1024, 768, false, true, false, {0, 1}, {}, R{25, 25, 974, 681}, {}},
        {"neither", 1024, 768, false, false, false, {0, 1}, {}, R{25, 25, 974, 681}, {}},
        {"both at 800×600",
         800,
         600,
         true,
         true,
         false,
         {0, 1},
         R{25, 25, 750, 194},
         R{25, 221, 750, 328},
         {}},
    };
    for (const PanelCase& c : cases) {
        SCOPED_TRACE(c.name);
        ConsoleLayoutInput in{c.width, c.height, c.waves, c.train, c.fixed, shown(c.displayed)};
        const ConsoleLayout l = consoleLayout(in);
        EXPECT_EQ(l.upperWave, c.upper);
        EXPECT_EQ(l.waveTrain, c.train_);
        EXPECT_EQ(l.lowerWave, c.lower);
        EXPECT_EQ(l.curves, Opt{});
    }
}

TEST(ConsoleLayout, ColumnsSplitBetweenTheWavePanels) {
    struct Case {
        bool train;
        std::initializer_list<int> displayed;
        int upperColumns;
        std::vector<int> upper;
        int lowerColumns;
        std::vector<int> lower;
    };
    const Case cases[] = {
        {false, {1, 4}, 2, {1, 4}, 0, {}},
        {false, {0, 1, 2, 3}, 2, {0, 1}, 2, {2, 3}},
        {false, {0, 1, 2, 4, 5}, 3, {0, 1, 2}, 2, {4, 5}},
        {false, {0, 1, 2, 3, 4, 5}, 3, {0, 1, 2}, 3, {3, 4, 5}},
        {true, {0, 1, 2, 3, 4}, 5, {0, 1, 2, 3, 4}, 0, {}},
    };
    for (const Case& c : cases) {
        ConsoleLayoutInput in;
        in.trainShown = c.train;
        in.displayed = shown(c.displayed);
        const ConsoleLayout l = consoleLayout(in);
        EXPECT_EQ(l.upperColumns.columns, c.upperColumns);
        EXPECT_EQ(l.upperColumns.drawn, c.upper);
        EXPECT_EQ(l.lowerColumns.columns, c.lowerColumns);
        EXPECT_EQ(l.lowerColumns.drawn, c.lower);
    }
}

// A section's four controls sit in the top-right corner of its column (plot width = panel − 2):
// in one row when the column's half holds four 40-pixel buttons, else two rows of two.
TEST(ConsoleLayout, SectionControlsSitInTheirColumns) {
    auto controls = [](const ConsoleLayout& l, int slot) {
        std::array<Opt, 4> c;
        for (int a = 0; a < 4; ++a)
            c[static_cast<size_t>(a)] = l.sectionControls[static_cast<size_t>(slot * 4 + a)];
        return c;
    };
    // Both switches, six sections: columns of 972 / 6 = 162, half 81 → two rows of two, below the
    // readout (25 + 48).
    ConsoleLayoutInput six;
    six.displayed = shown({0, 1, 2, 3, 4, 5});
    const ConsoleLayout a = consoleLayout(six);
    EXPECT_EQ(controls(a, 0), (std::array<Opt, 4>{R{105, 73, 40, 40}, R{145, 73, 40, 40}, R{105, 113, 40, 40},
                                                  R{145, 113, 40, 40}}));
    EXPECT_EQ(controls(a, 5)[3], (Opt{R{955, 113, 40, 40}}));  // right = 25 + 6 × 162 = 997

    // Waves only, sections 1-2 and 2-3: columns of 486 → one row.
    ConsoleLayoutInput two;
    two.trainShown = false;
    two.displayed = shown({0, 3});
    const ConsoleLayout b = consoleLayout(two);
    EXPECT_EQ(controls(b, 0), (std::array<Opt, 4>{R{349, 29, 40, 40}, R{389, 29, 40, 40}, R{429, 29, 40, 40},
                                                  R{469, 29, 40, 40}}));
    EXPECT_EQ(controls(b, 3)[0], (Opt{R{835, 29, 40, 40}}));
    for (int slot : {1, 2, 4, 5})
        EXPECT_EQ(controls(b, slot)[0], Opt{}) << slot;  // no column, no controls

    // Six in two panels: the lower panel's third column (3 × 324 = 972) holds one row at y 378 + 4.
    two.displayed = shown({0, 1, 2, 3, 4, 5});
    const ConsoleLayout c = consoleLayout(two);
    EXPECT_EQ(controls(c, 5)[0], (Opt{R{835, 382, 40, 40}}));
    EXPECT_EQ(controls(c, 3)[0], (Opt{R{187, 382, 40, 40}}));

    // No waves shown: no controls at all.
    ConsoleLayoutInput none = six;
    none.wavesShown = false;
    const ConsoleLayout d = consoleLayout(none);
    for (const Opt& r : d.sectionControls)
        EXPECT_EQ(r, Opt{});
}

// The band below the panels (60 px at 768): the section map square, then twelve buttons 48 px
// high: 1024 − 25 − 89 − 11 × 4 = 866 → 72 wide each, 76 apart.
TEST(ConsoleLayout, TheBandBelowThePanelsAndTheSideBars) {
    const ConsoleLayout l = consoleLayout(ConsoleLayoutInput{});
    EXPECT_EQ(l.sectionMap, (Opt{R{25, 710, 56, 56}}));
    EXPECT_EQ(l.buttons.front(), (R{89, 714, 72, 48}));
    EXPECT_EQ(l.buttons[4], (R{393, 714, 72, 48}));
    EXPECT_EQ(l.buttons.back(), (R{925, 714, 72, 48}));
    EXPECT_LE(l.buttons.back().right(), 1024 - 25);
    EXPECT_EQ(l.infoStrip, (R{25, 0, 974, 25}));
    EXPECT_EQ(l.liftLabel, (R{0, 25, 25, 72}));
    EXPECT_EQ(l.liftBar, (R{5, 101, 15, 604}));
    EXPECT_EQ(l.batteryBar, (R{1004, 101, 15, 604}));
    // A short office window still gets finger-sized buttons.
    ConsoleLayoutInput small;
    small.width = 800;
    small.height = 480;  // o = 36
    for (const R& b : consoleLayout(small).buttons) {
        EXPECT_EQ(b.height, 40);
        EXPECT_EQ(b.bottom(), 480);
    }
}

}  // namespace
}  // namespace lx9
