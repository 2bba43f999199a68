// The simulated instrument on a UDP socket: one thread with a poll loop that answers each request
// datagram through the InstrumentModel, with the scenario's faults, to whichever address sent it.
// Embeddable in a test: start on 127.0.0.1 with port 0, read port(), stop().
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "fault_injector.h"
#include "instrument_model.h"
#include "scenario.h"

namespace lx9::sim {

struct SimulatorOptions {
    std::string bind = "127.0.0.1";  // IPv4 address to bind; the simulator listens nowhere else
    uint16_t port = 6543;            // 0 = an ephemeral port (see port())
    Scenario scenario;
    uint64_t seed = 1;
    bool verbose = false;  // one line per datagram to `log`
    std::FILE* log = stdout;
    std::string truthPath;          // ground-truth CSV; empty = none
    std::function<double()> clock;  // simulator time in seconds; default: a steady clock from start()
};

struct SimulatorStats {
    uint64_t requests = 0;  // datagrams received
    uint64_t replies = 0;   // datagrams sent (a duplicate counts twice, a late reply once sent)
    uint64_t ignored = 0;   // requests the instrument does not answer
    uint64_t dropped = 0;
    uint64_t late = 0;
    uint64_t duplicated = 0;
    uint64_t corrupted = 0;
    uint64_t declined = 0;  // injected declines only
    uint64_t burstDropped = 0;
};

class InstrumentSimulator {
  public:
    explicit InstrumentSimulator(SimulatorOptions options);
    ~InstrumentSimulator();
    InstrumentSimulator(const InstrumentSimulator&) = delete;
    InstrumentSimulator& operator=(const InstrumentSimulator&) = delete;

    // Binds and starts the loop thread. Throws std::runtime_error with a readable reason when the
    // address is not an IPv4 address, the port is taken, or the truth file cannot be written.
    void start();
    // Stops the loop and joins it; pending late replies are dropped. Safe to call twice.
    void stop();
    uint16_t port() const { return port_; }

    // Control and inspection; any thread.
    SimulatorStats stats() const;
    void startBurst(double ms);  // every request for the next ms milliseconds is lost
    // Replaces the fault plan from the next request on (the generator starts again from the seed).
    void setFaults(const FaultPlan& plan);
    // Runs fn(model, now) under the model's lock.
    template <typename F>
    auto withModel(F fn) {
        std::lock_guard lock(mutex_);
        return fn(model_, now());
    }

  private:
    struct Pending;
    void run();
    void receiveAll();
    void process(const uint8_t* data, size_t size, const void* from);
    void sendTo(const std::vector<uint8_t>& bytes, const void* to);
    void sendDue();
    double now() const;
    void logLine(const char* fmt, ...);

    SimulatorOptions options_;
    int socket_ = -1;
    int wake_ = -1;  // eventfd that ends the poll at stop()
    uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::chrono::steady_clock::time_point started_;

    mutable std::mutex mutex_;  // guards model_, faults_, stats_, pending_, truthFile_ and the log
    InstrumentModel model_;
    FaultInjector faults_;
    SimulatorStats stats_;
    std::unique_ptr<std::vector<Pending>> pending_;
    std::FILE* truthFile_ = nullptr;
};

}  // namespace lx9::sim
