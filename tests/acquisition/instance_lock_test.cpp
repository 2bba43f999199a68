// The single-instance rule: three tries a second apart, any argument skips it, and a lock is
// free again once its holder lets go.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "acquisition/instance_lock.h"

namespace lx9 {
namespace {

std::filesystem::path lockFile() {
    return std::filesystem::temp_directory_path() / ("lx9_lock_test_" + std::to_string(::getpid()) + ".lock");
}

TEST(InstanceLock, ASecondInstanceWaitsThreeTimesThenGivesUp) {
    const auto path = lockFile();
    auto first = InstanceLock::acquire(path);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->attempts(), 1);
    std::vector<std::chrono::milliseconds> waits;
    auto second = InstanceLock::acquire(path, 3, std::chrono::milliseconds(1000),
                                        [&](std::chrono::milliseconds d) { waits.push_back(d); });
    EXPECT_FALSE(second);
    EXPECT_EQ(waits, (std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(1000),
                                                             std::chrono::milliseconds(1000)}));
    std::unique_ptr<InstanceLock> held;
    EXPECT_FALSE(takeSingleInstance(1, held, path, [](auto) {}));
    EXPECT_TRUE(takeSingleInstance(2, held, path, [](auto) {}));  // " -1": no wait at all
    EXPECT_FALSE(held);
    first.reset();
    EXPECT_TRUE(takeSingleInstance(1, held, path, [](auto) {}));
    EXPECT_TRUE(held);
    held.reset();
    std::filesystem::remove(path);
}

TEST(InstanceLock, FreedDuringTheWaitIsTakenAtTheNextTry) {
    const auto path = lockFile();
    auto first = InstanceLock::acquire(path);
    ASSERT_TRUE(first);
    auto second = InstanceLock::acquire(path, 3, std::chrono::milliseconds(1000),
                                        [&](std::chrono::milliseconds) { first.reset(); });
    ASSERT_TRUE(second);
    EXPECT_EQ(second->attempts(), 2);
    second.reset();
    std::filesystem::remove(path);
}

TEST(InstanceLock, LockPathInTheRuntimeDirectory) {
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = old ? old : "";
    ::setenv("XDG_RUNTIME_DIR", "/run/user/1234", 1);
    EXPECT_EQ(instanceLockPath(), std::filesystem::path("/run/user/1234/LX9.lock"));
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(instanceLockPath().parent_path(), std::filesystem::path("/tmp"));
    if (old) ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
}

TEST(InstanceLock, RelaunchStartsTheHelperWhenPresentThenTheProgram) {
    const auto dir = std::filesystem::temp_directory_path() / ("lx9_relaunch_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "tools");
    const auto program = dir / "LX9";
    EXPECT_EQ(relaunchCommands(program), (std::vector<LaunchCommand>{{program, {"-1"}}}));
    std::ofstream(dir / "tools" / "Msg") << "#!/bin/sh\n";
    EXPECT_EQ(relaunchCommands(program),
              (std::vector<LaunchCommand>{{dir / "tools" / "Msg", {"-1"}}, {program, {"-1"}}}));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace lx9
