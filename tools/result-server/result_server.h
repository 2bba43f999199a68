// The reference result server: accepts upload connections on a TCP port, answers every valid
// packet with two bytes ("OK") and every invalid one with one byte ('E'), gathers each upload
// and stores it when its end packet arrives. Embeddable: start it on 127.0.0.1 with port 0 and
// read the port it got.
//
// Threading contract: start and stop are called by the owner's thread; one accept thread and
// one thread per connection run in between. The counters and onStored may be read or called
// from those threads; storing is serialised by store_lock_.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "result_store.h"

namespace lx9::server {

struct ServerOptions {
    std::string bind = "127.0.0.1";
    uint16_t port = 5005;  // 0: any free port (see ResultServer::port)
    std::filesystem::path store;
    std::chrono::milliseconds idleTimeout{60000};   // a silent connection is closed
    std::chrono::milliseconds packetTimeout{2000};  // a packet begun must be complete by then
    int maxConnections = 16;
    AssemblyLimits limits;
    // Called after an upload was stored (on the connection's thread).
    std::function<void(const StoredUpload&, const std::filesystem::path&)> onStored;
    // One line per event (connections, rejected packets, stored uploads); silent when absent.
    std::function<void(const std::string&)> log;
};

class ResultServer {
  public:
    explicit ResultServer(ServerOptions options);
    ~ResultServer();  // stop()
    ResultServer(const ResultServer&) = delete;
    ResultServer& operator=(const ResultServer&) = delete;

    // Binds, listens and starts accepting. False with the reason in `error`.
    bool start(std::string* error = nullptr);
    // The port listened on (after start).
    uint16_t port() const { return port_; }
    // Closes the listener and every connection and waits for their threads.
    void stop();

    uint64_t packetsAccepted() const { return accepted_.load(); }
    uint64_t packetsRejected() const { return rejected_.load(); }
    uint64_t uploadsStored() const { return stored_.load(); }

  private:
    struct Connection {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> done{false};
    };

    void acceptLoop();
    void serve(Connection& connection);
    // Handles one framed item; false when the connection must end.
    bool handle(int fd, const PacketFramer::Item& item, UploadAssembly& assembly);
    void reap(bool all);
    void log(const std::string& line);

    ServerOptions options_;
    int listen_fd_ = -1;
    int stop_fd_ = -1;  // eventfd raised by stop()
    uint16_t port_ = 0;
    std::thread accept_thread_;
    std::mutex connections_lock_;  // guards connections_
    std::list<std::unique_ptr<Connection>> connections_;
    std::mutex store_lock_;  // one upload is stored at a time
    std::atomic<uint64_t> accepted_{0};
    std::atomic<uint64_t> rejected_{0};
    std::atomic<uint64_t> stored_{0};
    std::atomic<bool> stopping_{false};
};

}  // namespace lx9::server
