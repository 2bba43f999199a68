#include "upload/upload_transport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace lx9 {
namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Polls fd for `events` and the cancel signal until the deadline: 1 ready, 0 time-out, -1 error,
// -3 cancelled.
int waitReady(int fd, short events, const CancelSignal* cancel, Clock::time_point deadline) {
    for (;;) {
        if (cancel && cancel->cancelled()) return -3;
        pollfd fds[2] = {{fd, events, 0}, {cancel ? cancel->fd() : -1, POLLIN, 0}};
        int n = ::poll(fds, cancel ? 2 : 1, remainingMs(deadline));
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (cancel && cancel->cancelled()) return -3;
        if (n == 0) return 0;
        if (fds[0].revents) return 1;
    }
}

}  // namespace

CancelSignal::CancelSignal() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CancelSignal::~CancelSignal() {
    if (fd_ >= 0) ::close(fd_);
}

void CancelSignal::cancel() {
    if (cancelled_.exchange(true)) return;
    if (fd_ >= 0) {
        uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(fd_, &one, sizeof one);
    }
}

bool CancelSignal::waitFor(std::chrono::milliseconds ms) const {
    const auto deadline = Clock::now() + ms;
    for (;;) {
        if (cancelled()) return false;
        int left = remainingMs(deadline);
        if (left == 0) return true;
        pollfd p{fd_, POLLIN, 0};
        int n = ::poll(&p, fd_ >= 0 ? 1 : 0, left);
        if (n < 0 && errno != EINTR) return !cancelled();
    }
}

UploadTransport::UploadTransport(TransportOptions options, const CancelSignal* cancel,
                                 UploadConsoleLines console)
    : options_(options), cancel_(cancel), console_(std::move(console)) {}

UploadTransport::~UploadTransport() {
    close();
}

void UploadTransport::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void UploadTransport::print(std::string_view text) {
    if (console_) {
        console_(text);
    } else {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }
}

bool UploadTransport::connectToServer() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        print("错误：连接服务器失败，程序即将关闭（回车）！");
        return false;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(options_.port);
    addr.sin_addr.s_addr = htonl(options_.address);
    int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    if (rc < 0 && errno == EINPROGRESS) {
        // The connect runs in the background so that a cancel or the time-out can end it.
        int ready = waitReady(fd, POLLOUT, cancel_, Clock::now() + options_.connectTimeout);
        int err = 0;
        socklen_t len = sizeof err;
        if (ready == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0) rc = 0;
        if (ready == -3) {
            ::close(fd);
            return false;
        }
    }
    if (rc < 0) {
        ::close(fd);
        print("错误：连接服务器失败，程序即将关闭（回车）！");
        return false;
    }
    fd_ = fd;
    return true;
}

int UploadTransport::sendAll(std::span<const uint8_t> packet) {
    std::size_t sent = 0;
    const auto deadline = Clock::now() + options_.connectTimeout;
    while (sent < packet.size()) {
        // MSG_NOSIGNAL: a server that went away is a failed send, not the end of the program.
        ssize_t n = ::send(fd_, packet.data() + sent, packet.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            int ready = waitReady(fd_, POLLOUT, cancel_, deadline);
            if (ready == -3) return -1;
            if (ready == 1) continue;
            return ready == 0 ? ETIMEDOUT : errno;
        }
        return n < 0 ? errno : EPIPE;
    }
    return 0;
}

int UploadTransport::receiveOnce(uint8_t* buffer, std::size_t size) {
    int ready = waitReady(fd_, POLLIN, cancel_, Clock::now() + options_.receiveTimeout);
    if (ready == -3) return -3;
    if (ready == 0) return -1;
    if (ready < 0) return -2;
    for (;;) {
        ssize_t n = ::recv(fd_, buffer, size, 0);
        if (n >= 0) return static_cast<int>(n);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return -1;
        return -2;
    }
}

int UploadTransport::sendPacket(std::span<const uint8_t> packet) {
    if (cancel_ && cancel_->cancelled()) return kSendCancelled;
    if (fd_ < 0 && !connectToServer()) return cancel_ && cancel_->cancelled() ? kSendCancelled : kSendFailed;
    uint8_t reply[2048];
    for (int attempt = 0; attempt < options_.attempts; ++attempt) {
        int err = sendAll(packet);
        if (err < 0) return kSendCancelled;
        if (err > 0) {
            char text[64];
            std::snprintf(text, sizeof text, "send() failed: %d\n", err);
            print(text);
            if (attempt + 1 == options_.attempts) break;
            if (!cancel_) {
                CancelSignal never;
                never.waitFor(options_.retryWait);
            } else if (!cancel_->waitFor(options_.retryWait)) {
                return kSendCancelled;
            }
            continue;
        }
        int n = -1;
        for (int r = 0; r <= options_.receiveRetries; ++r) {
            n = receiveOnce(reply, sizeof reply);
            if (n != -1) break;  // anything but a time-out ends the receiving
        }
        if (n == -3) return kSendCancelled;
        if (n >= 2) return kSendAcknowledged;
    }
    return kSendFailed;
}

}  // namespace lx9
