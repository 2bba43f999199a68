// The program's single-instance rule at start-up: unless the command line has an argument (the
// relaunch on close passes " -1"), the program takes a lock file with its own name in the
// runtime directory; while another instance holds it, it waits 1000 ms and tries again, three
// attempts in all, and then ends without a window. The lock is an advisory file lock, so a
// crashed instance never leaves a stale lock behind.
//
// Threading: the user-interface thread at start-up; the lock lives until the program ends.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lx9 {

inline constexpr const char* kApplicationName = "LX9";

// Where the lock file lives: $XDG_RUNTIME_DIR/LX9.lock, else /tmp/LX9-<uid>.lock.
std::filesystem::path instanceLockPath();

// Any command-line argument skips the single-instance wait.
inline bool skipsInstanceCheck(int argc) {
    return argc > 1;
}

class InstanceLock {
  public:
    using Sleep = std::function<void(std::chrono::milliseconds)>;

    // Tries to take the lock at `path` up to `tries` times, `wait` apart. Null when another
    // process keeps it (or the file cannot be opened) after the last try.
    static std::unique_ptr<InstanceLock> acquire(
        const std::filesystem::path& path, int tries = 3,
        std::chrono::milliseconds wait = std::chrono::milliseconds(1000), const Sleep& sleep = {});
    ~InstanceLock();  // releases the lock; the file stays
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    int attempts() const { return attempts_; }

  private:
    InstanceLock(int fd, int attempts) : fd_(fd), attempts_(attempts) {}
    int fd_;
    int attempts_;
};

// A program the console starts as its window closes.
struct LaunchCommand {
    std::filesystem::path program;
    std::vector<std::string> arguments;
    bool operator==(const LaunchCommand&) const = default;
};

// What the closing window starts: the external program "tools/Msg" beside the executable when it
// is there, then the executable itself, both with the argument "-1" (so the new instance skips
// the single-instance wait while this one ends).
std::vector<LaunchCommand> relaunchCommands(const std::filesystem::path& executable);

// The start-up rule in one call: true when the program may go on (an argument was given, or the
// lock was taken, in which case `held` keeps it).
bool takeSingleInstance(int argc, std::unique_ptr<InstanceLock>& held,
                        const std::filesystem::path& path = instanceLockPath(),
                        const InstanceLock::Sleep& sleep = {});

}  // namespace lx9
