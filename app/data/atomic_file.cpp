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

bool writeAll(int fd, std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool writeAllAt(int fd, std::span<const uint8_t> bytes, uint64_t offset) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool readAllAt(int fd, std::span<uint8_t> bytes, uint64_t offset) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = 0;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool commitTemporary(const std::filesystem::path& temporary, const std::filesystem::path& target,
                     std::string* error) {
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        if (error) *error = fileErrorText(target, errno);
        return false;
    }
    syncDirectory(target.parent_path());
    return true;
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
    if (!writeAll(fd, bytes)) {
        int err = errno;
        ::close(fd);
        return fail(target, err);
    }
    if (::fsync(fd) != 0) {
        int err = errno;
        ::close(fd);
        return fail(target, err);
    }
    if (::close(fd) != 0) return fail(target, errno);
    if (!commitTemporary(tmp, target, error)) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

}  // namespace lx9
