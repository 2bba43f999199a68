// A loopback TCP peer that answers each packet it receives by a script: two bytes, one byte,
// nothing, or closing the connection. It frames packets by their length field and keeps them.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace lx9::testing {

enum class Reply { Ack, OneByte, Silent, Close };

class ScriptedPeer {
  public:
    // `script` answers packets in order; `rest` answers every packet after it.
    explicit ScriptedPeer(std::deque<Reply> script, Reply rest = Reply::Ack)
        : script_(std::move(script)), rest_(rest) {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listen_, 4);
        socklen_t len = sizeof a;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~ScriptedPeer() {
        stop_ = true;
        thread_.join();
        ::close(listen_);
    }

    uint16_t port() const { return port_; }
    std::vector<std::vector<uint8_t>> packets() const {
        std::lock_guard<std::mutex> g(lock_);
        return packets_;
    }

  private:
    bool waitReadable(int fd) {
        while (!stop_) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) return true;
        }
        return false;
    }

    void run() {
        if (!waitReadable(listen_)) return;
        int fd = ::accept(listen_, nullptr, nullptr);
        std::vector<uint8_t> buf;
        uint8_t chunk[4096];
        while (waitReadable(fd)) {
            ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) break;
            buf.insert(buf.end(), chunk, chunk + n);
            while (buf.size() >= 7) {
                uint32_t len = buf[3] | buf[4] << 8 | buf[5] << 16 | static_cast<uint32_t>(buf[6]) << 24;
                if (len < 7 || buf.size() < len) break;
                {
                    std::lock_guard<std::mutex> g(lock_);
                    packets_.emplace_back(buf.begin(), buf.begin() + len);
                }
                buf.erase(buf.begin(), buf.begin() + len);
                Reply r = rest_;
                if (!script_.empty()) {
                    r = script_.front();
                    script_.pop_front();
                }
                if (r == Reply::Ack) ::send(fd, "OK", 2, MSG_NOSIGNAL);
                if (r == Reply::OneByte) ::send(fd, "E", 1, MSG_NOSIGNAL);
                if (r == Reply::Close) {
                    ::close(fd);
                    fd = -1;
                    break;
                }
            }
            if (fd < 0) break;
        }
        if (fd >= 0) ::close(fd);
    }

    std::deque<Reply> script_;
    Reply rest_;
    int listen_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    mutable std::mutex lock_;  // guards packets_
    std::vector<std::vector<uint8_t>> packets_;
};

// A port on which nothing listens (bound, then closed).
inline uint16_t closedPort() {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

}  // namespace lx9::testing
