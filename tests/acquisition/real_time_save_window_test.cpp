#include "acquisition/real_time_save_window.h"

#include <gtest/gtest.h>

#include "acquisition/messages.h"

namespace lx9 {
namespace {

// H = 50: each half window of 25 levels is written once it is complete, then reloaded, and the
// two requests alternate however often the console asks.
TEST(RealTimeSaveWindowTest, WritesEachCompleteHalfWindowThenReloadsIt) {
    RealTimeSaveWindow window(50);
    for (int stored = 0; stored < 25; ++stored)
        EXPECT_FALSE(window.onLevelsChanged(stored)) << stored;

    auto write = window.onLevelsChanged(25);
    ASSERT_TRUE(write);
    EXPECT_EQ(write->id, kMsgWriteHalfWindow);
    EXPECT_EQ(write->wParam, 25u);  // levels 0..24
    auto reload = window.onLevelsChanged(26);
    ASSERT_TRUE(reload);
    EXPECT_EQ(reload->id, kMsgReloadRecent);
    EXPECT_EQ(reload->wParam, 0u);
    for (int stored = 26; stored < 50; ++stored)
        EXPECT_FALSE(window.onLevelsChanged(stored)) << stored;

    // A jump past two windows is caught up one window per request.
    write = window.onLevelsChanged(80);
    ASSERT_TRUE(write);
    EXPECT_EQ(write->wParam, 50u);
    EXPECT_EQ(window.onLevelsChanged(80)->id, kMsgReloadRecent);
    write = window.onLevelsChanged(80);
    ASSERT_TRUE(write);
    EXPECT_EQ(write->wParam, 75u);
    EXPECT_EQ(window.onLevelsChanged(80)->wParam, 50u);
    EXPECT_EQ(window.levelsRequested(), 75);
}

TEST(RealTimeSaveWindowTest, LoweringBelowAWrittenWindowWritesNothingAgain) {
    RealTimeSaveWindow window(10);
    ASSERT_TRUE(window.onLevelsChanged(5));   // write 0..4
    ASSERT_TRUE(window.onLevelsChanged(5));   // reload 0
    EXPECT_FALSE(window.onLevelsChanged(3));  // probes lowered: levels 3 and 4 are already written
    EXPECT_FALSE(window.onLevelsChanged(9));
    auto write = window.onLevelsChanged(10);
    ASSERT_TRUE(write);
    EXPECT_EQ(write->wParam, 10u);
}

}  // namespace
}  // namespace lx9
