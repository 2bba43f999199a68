#include "result_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace lx9::server {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kAck[2] = {'O', 'K'};
constexpr uint8_t kNak[1] = {'E'};

bool sendAll(int fd, const uint8_t* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

int msUntil(Clock::time_point t) {
    // Rounded up, so that a wait never ends just before its deadline.
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(t - Clock::now()).count();
    return ms < 0 ? 0 : static_cast<int>(std::min<long long>(ms, 1 << 30));
}

}  // namespace

ResultServer::ResultServer(ServerOptions options) : options_(std::move(options)) {}

ResultServer::~ResultServer() {
    stop();
}

void ResultServer::log(const std::string& line) {
    if (options_.log) options_.log(line);
}

bool ResultServer::start(std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        if (listen_fd_ >= 0) ::close(listen_fd_);
        listen_fd_ = -1;
        return false;
    };
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(options_.port);
    if (::inet_pton(AF_INET, options_.bind.c_str(), &addr.sin_addr) != 1)
        return fail("not an IPv4 address: " + options_.bind);
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listen_fd_ < 0) return fail(std::string("socket: ") + std::strerror(errno));
    int one = 1;
    ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(listen_fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) < 0)
        return fail("bind " + options_.bind + ":" + std::to_string(options_.port) + ": " +
                    std::strerror(errno));
    if (::listen(listen_fd_, 16) < 0) return fail(std::string("listen: ") + std::strerror(errno));
    socklen_t len = sizeof addr;
    ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    stop_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stop_fd_ < 0) return fail(std::string("eventfd: ") + std::strerror(errno));
    std::error_code ec;
    std::filesystem::create_directories(options_.store, ec);
    stopping_ = false;
    accept_thread_ = std::thread([this] { acceptLoop(); });
    return true;
}

void ResultServer::stop() {
    if (stopping_.exchange(true)) return;
    if (stop_fd_ >= 0) {
        uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(stop_fd_, &one, sizeof one);
    }
    if (accept_thread_.joinable()) accept_thread_.join();
    reap(true);
    if (listen_fd_ >= 0) ::close(listen_fd_);
    if (stop_fd_ >= 0) ::close(stop_fd_);
    listen_fd_ = stop_fd_ = -1;
}

void ResultServer::reap(bool all) {
    std::list<std::unique_ptr<Connection>> finished;
    {
        std::lock_guard<std::mutex> guard(connections_lock_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            if (all || (*it)->done.load()) {
                finished.push_back(std::move(*it));
                it = connections_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& c : finished) {
        if (c->thread.joinable()) c->thread.join();
    }
}

void ResultServer::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{listen_fd_, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
        int n = ::poll(fds, 2, 1000);
        if (stopping_.load()) return;
        reap(false);
        if (n < 0 && errno != EINTR) return;
        if (n <= 0 || !(fds[0].revents & POLLIN)) continue;
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        int fd = ::accept4(listen_fd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
        if (fd < 0) continue;
        // A peer that stops reading must not hold a connection thread for ever.
        timeval sendTimeout{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
        std::lock_guard<std::mutex> guard(connections_lock_);
        if (static_cast<int>(connections_.size()) >= options_.maxConnections) {
            log("refused a connection: too many open");
            ::close(fd);
            continue;
        }
        char text[INET_ADDRSTRLEN] = "?";
        ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
        log(std::string("connection from ") + text + ":" + std::to_string(ntohs(peer.sin_port)));
        auto c = std::make_unique<Connection>();
        c->fd = fd;
        Connection* raw = c.get();
        connections_.push_back(std::move(c));
        raw->thread = std::thread([this, raw] {
            serve(*raw);
            ::close(raw->fd);
            raw->done = true;
        });
    }
}

bool ResultServer::handle(int fd, const PacketFramer::Item& item, UploadAssembly& assembly) {
    if (!item.valid) {
        ++rejected_;
        log("rejected bytes that begin no packet");
        return sendAll(fd, kNak, sizeof kNak);
    }
    PacketError error = PacketError::None;
    auto packet = parsePacket(item.bytes, &error);
    if (!packet) {
        ++rejected_;
        log(std::string("rejected a packet: ") + packetErrorText(error));
        return sendAll(fd, kNak, sizeof kNak);
    }
    std::string why;
    switch (assembly.accept(std::move(*packet), &why)) {
        case Acceptance::Rejected:
            ++rejected_;
            log("rejected a packet: " + why);
            return sendAll(fd, kNak, sizeof kNak);
        case Acceptance::Accepted:
            ++accepted_;
            return sendAll(fd, kAck, sizeof kAck);
        case Acceptance::Completed: {
            StoredUpload upload = assembly.takeCompleted();
            std::optional<std::filesystem::path> where;
            {
                std::lock_guard<std::mutex> guard(store_lock_);
                where = storeUpload(options_.store, upload, &why);
            }
            if (!where) {
                ++rejected_;
                log("could not store the upload: " + why);
                return sendAll(fd, kNak, sizeof kNak);
            }
            ++accepted_;
            ++stored_;
            log("stored " + where->string());
            if (options_.onStored) options_.onStored(upload, *where);
            return sendAll(fd, kAck, sizeof kAck);
        }
    }
    return false;
}

void ResultServer::serve(Connection& c) {
    PacketFramer framer;
    UploadAssembly assembly(options_.limits);
    std::vector<uint8_t> buffer(16384);
    auto lastActivity = Clock::now();
    for (;;) {
        const auto idleDeadline = lastActivity + options_.idleTimeout;
        auto deadline = idleDeadline;
        if (framer.hasPartial()) deadline = std::min(deadline, lastActivity + options_.packetTimeout);
        pollfd fds[2] = {{c.fd, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
        int n = ::poll(fds, 2, msUntil(deadline));
        if (stopping_.load()) return;
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (n == 0) {
            const auto now = Clock::now();
            if (now >= idleDeadline) {
                log("closed an idle connection");
                return;
            }
            if (!framer.hasPartial() || now < lastActivity + options_.packetTimeout) continue;
            // A packet begun but never finished: refuse it and forget its bytes.
            framer.dropPartial();
            ++rejected_;
            log("rejected a packet: incomplete when the packet time-out passed");
            if (!sendAll(c.fd, kNak, sizeof kNak)) return;
            lastActivity = Clock::now();
            continue;
        }
        ssize_t got = ::recv(c.fd, buffer.data(), buffer.size(), 0);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got <= 0) return;
        lastActivity = Clock::now();
        framer.feed(std::span<const uint8_t>(buffer.data(), static_cast<std::size_t>(got)));
        while (auto item = framer.next()) {
            if (!handle(c.fd, *item, assembly)) return;
        }
    }
}

}  // namespace lx9::server
