#include "acquisition/real_time_save_window.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "acquisition/messages.h"

namespace lx9 {
namespace {

using Requests = std::vector<std::pair<uint32_t, uintptr_t>>;

Requests requests(RealTimeSaveWindow& window, int32_t stored) {
    Requests r;
    for (const Message& m : window.onLevelsChanged(stored))
        r.emplace_back(m.id, m.wParam);
    return r;
}

// H = 50: every level is asked for as soon as it is stored; the half window of 25 levels just
// written is reloaded once, with the request that completes it.
TEST(RealTimeSaveWindowTest, EveryLevelAtOnceAndOneReloadPerHalfWindow) {
    RealTimeSaveWindow window(50);
    EXPECT_EQ(requests(window, 0), Requests{});
    for (int stored = 1; stored < 25; ++stored)
        EXPECT_EQ(requests(window, stored), (Requests{{kMsgWriteHalfWindow, stored}})) << stored;
    EXPECT_EQ(requests(window, 24), Requests{});  // asked again: nothing new
    EXPECT_EQ(requests(window, 25), (Requests{{kMsgWriteHalfWindow, 25}, {kMsgReloadRecent, 0}}));
    EXPECT_EQ(requests(window, 27), (Requests{{kMsgWriteHalfWindow, 27}}));  // two levels at once
    for (int stored = 28; stored < 50; ++stored)
        EXPECT_EQ(requests(window, stored).size(), 1u) << stored;
    EXPECT_EQ(requests(window, 50), (Requests{{kMsgWriteHalfWindow, 50}, {kMsgReloadRecent, 25}}));

    // A resample that jumps past two windows: one write for all, one reload of the newest half.
    EXPECT_EQ(requests(window, 110), (Requests{{kMsgWriteHalfWindow, 110}, {kMsgReloadRecent, 85}}));
    EXPECT_EQ(requests(window, 134), (Requests{{kMsgWriteHalfWindow, 134}}));
    EXPECT_EQ(requests(window, 135), (Requests{{kMsgWriteHalfWindow, 135}, {kMsgReloadRecent, 110}}));
    EXPECT_EQ(window.levelsRequested(), 135);
}

TEST(RealTimeSaveWindowTest, LevelsStoredAgainAfterLoweringAreNotAskedForTwice) {
    RealTimeSaveWindow window(10);
    EXPECT_EQ(requests(window, 5), (Requests{{kMsgWriteHalfWindow, 5}, {kMsgReloadRecent, 0}}));
    EXPECT_EQ(requests(window, 3), Requests{});  // probes lowered: levels 3 and 4 are on disk
    EXPECT_EQ(requests(window, 5), Requests{});
    EXPECT_EQ(requests(window, 6), (Requests{{kMsgWriteHalfWindow, 6}}));
    EXPECT_EQ(requests(window, 10), (Requests{{kMsgWriteHalfWindow, 10}, {kMsgReloadRecent, 5}}));
}

}  // namespace
}  // namespace lx9
