// A scripted instrument for link tests: a UDP peer on 127.0.0.1 (and optionally 127.0.0.2, same
// port) with an ephemeral port. It records every request it receives and answers each one from a
// script (a queue of answers, one per request), else from a responder function, else not at all.
// An answer is any number of datagrams, each after its own delay and from either address.
//
// Loopback only: it refuses to send anywhere outside 127.0.0.0/8.
//
// Threading: one thread of its own receives and answers; every public method may be called from
// any thread. The destructor stops the thread.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lx9::test {

using Bytes = std::vector<uint8_t>;

// Bytes from a literal, embedded zeros included: bytes("\x01R\0\0s") is five bytes.
template <size_t N>
Bytes bytes(const char (&text)[N]) {
    return Bytes(text, text + N - 1);
}

struct Datagram {
    Bytes bytes;
    std::chrono::milliseconds delay{0};
    bool fromSecond = false;  // send from 127.0.0.2 instead of 127.0.0.1
};

struct Request {
    Bytes bytes;
    sockaddr_in from{};
    bool toSecond = false;  // arrived at 127.0.0.2
    std::chrono::steady_clock::time_point at;

    uint16_t fromPort() const;
};

class ScriptedPeer {
  public:
    struct Options {
        bool secondAddress = false;  // also listen and answer on 127.0.0.2
        bool record = true;          // keep every request (benchmarks turn it off)
    };
    using Responder = std::function<std::vector<Datagram>(const Bytes& request)>;

    ScriptedPeer() : ScriptedPeer(Options{}) {}
    explicit ScriptedPeer(Options options);
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    uint16_t port() const { return port_; }
    std::string address() const;  // "127.0.0.1:port"
    // Points the link at this peer (KAXIL_INSTRUMENT).
    void useAsInstrument() const;

    // The next request not yet answered gets these datagrams (an empty list: no answer).
    void answer(std::vector<Datagram> datagrams);
    void answer(Bytes reply) { answer(std::vector<Datagram>{Datagram{std::move(reply)}}); }
    void silence() { answer(std::vector<Datagram>{}); }
    // Answers requests when the script is empty.
    void setResponder(Responder responder);

    // Sends a datagram at once, from this test's thread. On loopback the datagram is queued at the
    // receiver when this returns.
    void sendNow(const sockaddr_in& to, const Bytes& datagram, bool fromSecond = false);

    std::vector<Request> requests() const;
    size_t requestCount() const;
    // Waits until at least n requests arrived; false on the time-out.
    bool waitForRequests(size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(3)) const;
    // The i-th request, waiting for it up to three seconds (fails the test's expectation when
    // it never comes: returns an empty request).
    Request request(size_t i) const;
    // Waits until every delayed datagram has been sent.
    bool waitSent(std::chrono::milliseconds timeout = std::chrono::seconds(3)) const;

  private:
    struct Pending {
        std::chrono::steady_clock::time_point due;
        sockaddr_in to;
        Bytes bytes;
        bool fromSecond;
    };
    void run();
    void receiveFrom(int fd, bool second);
    void sendDatagram(const sockaddr_in& to, const Bytes& datagram, bool fromSecond);

    Options options_;
    int primary_ = -1;
    int second_ = -1;
    int wake_[2] = {-1, -1};  // pipe that wakes the thread for new delayed sends and for stopping
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};

    mutable std::mutex lock_;  // guards script_, responder_, requests_, pending_
    mutable std::condition_variable changed_;
    std::deque<std::vector<Datagram>> script_;
    Responder responder_;
    std::vector<Request> requests_;
    size_t requestTotal_ = 0;
    std::vector<Pending> pending_;
    std::thread thread_;
};

}  // namespace lx9::test
