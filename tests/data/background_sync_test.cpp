#include "data/background_sync.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "data_file_test_support.h"

namespace lx9 {
namespace {

// Waits (bounded) until the thread has started `n` syncs.
bool syncsReach(const BackgroundSync& sync, int n) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (sync.syncs() < n) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A sync that fails in the background is kept for the caller: the descriptor reports a write-back
// error only once, to whichever sync comes first.
TEST(BackgroundSync, KeepsAFailedSyncForTheCaller) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);  // a pipe cannot be synced: EINVAL
    {
        BackgroundSync sync(ends[1]);
        EXPECT_EQ(sync.syncs(), 0);  // nothing written, nothing synced
        sync.written();
        ASSERT_TRUE(syncsReach(sync, 1));
        EXPECT_EQ(sync.finish(), EINVAL);
        sync.written();  // after finish nothing more is synced
        EXPECT_EQ(sync.syncs(), 1);
    }
    ::close(ends[0]);
    ::close(ends[1]);

    testing_support::TempDir dir;
    const std::string path = dir.base("f");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    {
        BackgroundSync sync(fd);
        for (int i = 0; i < 3; ++i) {
            ASSERT_EQ(::write(fd, "data", 4), 4);
            sync.written();
        }
        ASSERT_TRUE(syncsReach(sync, 1));
        EXPECT_EQ(sync.finish(), 0);
    }
    ::close(fd);
}

}  // namespace
}  // namespace lx9
