#include "scripted_peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace lx9::test {
namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in loopback(const char* host, uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, host, &a.sin_addr);
    return a;
}

int boundSocket(const char* host, uint16_t port) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("scripted peer: socket failed");
    const int size = 1 << 20;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    sockaddr_in a = loopback(host, port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool isLoopback(const sockaddr_in& a) {
    return (ntohl(a.sin_addr.s_addr) >> 24) == 127;
}

}  // namespace

uint16_t Request::fromPort() const {
    return ntohs(from.sin_port);
}

ScriptedPeer::ScriptedPeer(Options options) : options_(options) {
    for (int attempt = 0; attempt < 20 && primary_ < 0; ++attempt) {
        primary_ = boundSocket("127.0.0.1", 0);
        if (primary_ < 0) continue;
        sockaddr_in a{};
        socklen_t length = sizeof a;
        getsockname(primary_, reinterpret_cast<sockaddr*>(&a), &length);
        port_ = ntohs(a.sin_port);
        if (options_.secondAddress) {
            second_ = boundSocket("127.0.0.2", port_);
            if (second_ < 0) {  // that port is taken on 127.0.0.2: try another one
                close(primary_);
                primary_ = -1;
            }
        }
    }
    if (primary_ < 0) throw std::runtime_error("scripted peer: cannot bind on loopback");
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("scripted peer: pipe failed");
    thread_ = std::thread([this] { run(); });
}

ScriptedPeer::~ScriptedPeer() {
    stop_ = true;
    const char c = 0;
    (void)!write(wake_[1], &c, 1);
    thread_.join();
    for (int fd : {primary_, second_, wake_[0], wake_[1]}) {
        if (fd >= 0) close(fd);
    }
}

std::string ScriptedPeer::address() const {
    return "127.0.0.1:" + std::to_string(port_);
}

void ScriptedPeer::useAsInstrument() const {
    setenv("KAXIL_INSTRUMENT", address().c_str(), 1);
}

void ScriptedPeer::answer(std::vector<Datagram> datagrams) {
    std::lock_guard<std::mutex> g(lock_);
    script_.push_back(std::move(datagrams));
}

void ScriptedPeer::setResponder(Responder responder) {
    std::lock_guard<std::mutex> g(lock_);
    responder_ = std::move(responder);
}

void ScriptedPeer::sendDatagram(const sockaddr_in& to, const Bytes& datagram, bool fromSecond) {
    if (!isLoopback(to)) throw std::logic_error("scripted peer: refusing to send outside 127.0.0.0/8");
    const int fd = fromSecond ? second_ : primary_;
    if (fd < 0) throw std::logic_error("scripted peer: no second address");
    sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

void ScriptedPeer::sendNow(const sockaddr_in& to, const Bytes& datagram, bool fromSecond) {
    sendDatagram(to, datagram, fromSecond);
}

std::vector<Request> ScriptedPeer::requests() const {
    std::lock_guard<std::mutex> g(lock_);
    return requests_;
}

size_t ScriptedPeer::requestCount() const {
    std::lock_guard<std::mutex> g(lock_);
    return requestTotal_;
}

bool ScriptedPeer::waitForRequests(size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> g(lock_);
    return changed_.wait_for(g, timeout, [&] { return requestTotal_ >= n; });
}

Request ScriptedPeer::request(size_t i) const {
    std::unique_lock<std::mutex> g(lock_);
    if (!changed_.wait_for(g, std::chrono::seconds(3), [&] { return requests_.size() > i; }))
        return Request{};
    return requests_[i];
}

bool ScriptedPeer::waitSent(std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> g(lock_);
    return changed_.wait_for(g, timeout, [&] { return pending_.empty(); });
}

void ScriptedPeer::receiveFrom(int fd, bool second) {
    static thread_local Bytes buffer(65536);
    sockaddr_in from{};
    socklen_t length = sizeof from;
    ssize_t n =
        recvfrom(fd, buffer.data(), buffer.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &length);
    if (n < 0) return;
    Bytes request(buffer.begin(), buffer.begin() + n);
    std::vector<Datagram> reply;
    {
        std::lock_guard<std::mutex> g(lock_);
        if (!script_.empty()) {
            reply = std::move(script_.front());
            script_.pop_front();
        } else if (responder_) {
            reply = responder_(request);
        }
        ++requestTotal_;
        if (options_.record) requests_.push_back(Request{request, from, second, Clock::now()});
        const auto now = Clock::now();
        for (auto& d : reply) {
            if (d.delay.count() > 0)
                pending_.push_back(Pending{now + d.delay, from, std::move(d.bytes), d.fromSecond});
        }
    }
    changed_.notify_all();
    for (const auto& d : reply) {
        if (d.delay.count() == 0) sendDatagram(from, d.bytes, d.fromSecond);
    }
}

void ScriptedPeer::run() {
    while (!stop_) {
        int timeoutMs = 100;
        std::vector<Pending> due;
        {
            std::lock_guard<std::mutex> g(lock_);
            const auto now = Clock::now();
            auto it = std::partition(pending_.begin(), pending_.end(),
                                     [&](const Pending& p) { return p.due > now; });
            due.assign(std::make_move_iterator(it), std::make_move_iterator(pending_.end()));
            pending_.erase(it, pending_.end());
            for (const auto& p : pending_) {
                auto left = std::chrono::duration_cast<std::chrono::milliseconds>(p.due - now).count() + 1;
                timeoutMs = std::min<int>(timeoutMs, static_cast<int>(left));
            }
        }
        for (const auto& p : due)
            sendDatagram(p.to, p.bytes, p.fromSecond);
        if (!due.empty()) {
            changed_.notify_all();
            continue;
        }
        pollfd fds[3] = {{primary_, POLLIN, 0}, {second_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (poll(fds, 3, timeoutMs) <= 0) continue;
        if (fds[2].revents) {
            char drain[16];
            while (read(wake_[0], drain, sizeof drain) > 0) {
            }
        }
        if (fds[0].revents & POLLIN) receiveFrom(primary_, false);
        if (second_ >= 0 && (fds[1].revents & POLLIN)) receiveFrom(second_, true);
    }
}

}  // namespace lx9::test
