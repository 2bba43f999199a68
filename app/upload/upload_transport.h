// The upload's TCP transport: one connection to the result server for the whole upload, each
// packet sent whole and acknowledged by a reply of at least two bytes.
//
// Threading contract: an UploadTransport belongs to the upload thread; only CancelSignal::cancel
// may be called from another thread (the one that wants the upload to stop).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

namespace lx9 {

// A flag another thread can raise to stop the upload at once: every wait of the transport and
// of the upload job returns as soon as it is raised.
class CancelSignal {
  public:
    CancelSignal();
    ~CancelSignal();
    CancelSignal(const CancelSignal&) = delete;
    CancelSignal& operator=(const CancelSignal&) = delete;

    void cancel();  // any thread
    bool cancelled() const { return cancelled_.load(); }
    // Readable once cancelled: pollable beside a socket.
    int fd() const { return fd_; }
    // Waits for `ms`; false when cancelled before (or during) the wait.
    bool waitFor(std::chrono::milliseconds ms) const;

  private:
    int fd_ = -1;  // eventfd, written once by cancel()
    std::atomic<bool> cancelled_{false};
};

// Where the transport's console lines go (the program's standard output by default).
using UploadConsoleLines = std::function<void(std::string_view)>;

struct TransportOptions {
    uint32_t address = 0x7F000001;  // IPv4, host order
    uint16_t port = 5005;
    int attempts = 4;                                 // sends of one packet
    std::chrono::milliseconds retryWait{5000};        // after a failed send
    std::chrono::milliseconds receiveTimeout{1000};   // per receive
    int receiveRetries = 4;                           // further receives after a time-out
    std::chrono::milliseconds connectTimeout{10000};  // an unanswered connect gives up
};

inline constexpr int kSendAcknowledged = 1;
inline constexpr int kSendFailed = -1;
inline constexpr int kSendCancelled = -2;

class UploadTransport {
  public:
    UploadTransport(TransportOptions options, const CancelSignal* cancel = nullptr,
                    UploadConsoleLines console = {});
    ~UploadTransport();
    UploadTransport(const UploadTransport&) = delete;
    UploadTransport& operator=(const UploadTransport&) = delete;

    // Connects when no connection is open, then sends the packet up to `attempts` times until a
    // reply of at least two bytes arrives: kSendAcknowledged, kSendFailed, or kSendCancelled.
    int sendPacket(std::span<const uint8_t> packet);

    void close();
    bool isOpen() const { return fd_ >= 0; }

  private:
    bool connectToServer();
    // 0 sent, errno of the failure, or -1 when cancelled.
    int sendAll(std::span<const uint8_t> packet);
    // Bytes received (0 when the peer closed), -1 on a time-out, -2 on an error, -3 when cancelled.
    int receiveOnce(uint8_t* buffer, std::size_t size);
    void print(std::string_view text);

    TransportOptions options_;
    const CancelSignal* cancel_;
    UploadConsoleLines console_;
    int fd_ = -1;
};

}  // namespace lx9
