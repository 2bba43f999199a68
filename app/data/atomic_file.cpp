#include "data/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace lx9 {

std::string fileErrorText(const std::filesystem::path& path, int err) {
    return path.string() + ": " + std::strerror(err);
}

std::filesystem::path temporarySibling(const std::filesystem::path& target) {
    static std::atomic<unsigned> serial{0};
    auto name = target.filename().string() + ".tmp." + std::to_string(::getpid()) + "." +
                std::to_string(serial.fetch_add(1));
    return target.parent_path() / name;
}

bool syncDirectory(const std::filesystem::path& dir) {
    int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool writeFileAtomically(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                         std::string* error) {
    const auto tmp = temporarySibling(target);
    auto fail = [&](const std::filesystem::path& where, int err) {
        if (error) *error = fileErrorText(where, err);
        ::unlink(tmp.c_str());
        return false;
    };
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        int err = errno;
        if (error) *error = fileErrorText(target, err);
        return false;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            return fail(target, err);
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) {
        int err = errno;
        ::close(fd);
        return fail(target, err);
    }
    if (::close(fd) != 0) return fail(target, errno);
    if (::rename(tmp.c_str(), target.c_str()) != 0) return fail(target, errno);
    syncDirectory(target.parent_path());
    return true;
}

}  // namespace lx9
