#include "acquisition/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

namespace lx9 {

std::filesystem::path instanceLockPath() {
    const std::string name = std::string(kApplicationName);
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::filesystem::path(runtime) / (name + ".lock");
    return std::filesystem::path("/tmp") / (name + "-" + std::to_string(::getuid()) + ".lock");
}

std::unique_ptr<InstanceLock> InstanceLock::acquire(const std::filesystem::path& path, int tries,
                                                    std::chrono::milliseconds wait, const Sleep& sleep) {
    for (int attempt = 1; attempt <= tries; ++attempt) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0) {
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
                return std::unique_ptr<InstanceLock>(new InstanceLock(fd, attempt));
            ::close(fd);
        }
        if (attempt < tries) {
            if (sleep)
                sleep(wait);
            else
                std::this_thread::sleep_for(wait);
        }
    }
    return nullptr;
}

InstanceLock::~InstanceLock() {
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
}

std::vector<LaunchCommand> relaunchCommands(const std::filesystem::path& executable) {
    std::vector<LaunchCommand> commands;
    const std::filesystem::path helper = executable.parent_path() / "tools" / "Msg";
    std::error_code ec;
    if (std::filesystem::is_regular_file(helper, ec)) commands.push_back({helper, {"-1"}});
    commands.push_back({executable, {"-1"}});
    return commands;
}

bool takeSingleInstance(int argc, std::unique_ptr<InstanceLock>& held, const std::filesystem::path& path,
                        const InstanceLock::Sleep& sleep) {
    if (skipsInstanceCheck(argc)) return true;
    held = InstanceLock::acquire(path, 3, std::chrono::milliseconds(1000), sleep);
    return held != nullptr;
}

}  // namespace lx9
