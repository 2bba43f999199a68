#include "instrument_simulator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <stdexcept>

namespace lx9::sim {

struct InstrumentSimulator::Pending {
    std::chrono::steady_clock::time_point due;
    std::vector<uint8_t> bytes;
    sockaddr_in to;
};

namespace {

constexpr int kIdlePollMs = 20;  // the counter moves on at least this often, so no level is missed
constexpr int kSocketBuffer = 524288;

std::string addressText(const sockaddr_in& a) {
    char host[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &a.sin_addr, host, sizeof host);
    return std::string(host) + ":" + std::to_string(ntohs(a.sin_port));
}

}  // namespace

InstrumentSimulator::InstrumentSimulator(SimulatorOptions options)
    : options_(std::move(options)),
      model_(options_.scenario, options_.seed),
      faults_(options_.scenario.faults, options_.seed),
      pending_(std::make_unique<std::vector<Pending>>()) {}

InstrumentSimulator::~InstrumentSimulator() {
    stop();
    if (truthFile_) std::fclose(truthFile_);
}

double InstrumentSimulator::now() const {
    if (options_.clock) return options_.clock();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
}

void InstrumentSimulator::start() {
    if (thread_.joinable()) return;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(options_.port);
    if (inet_pton(AF_INET, options_.bind.c_str(), &addr.sin_addr) != 1) {
        throw std::runtime_error("cannot bind: \"" + options_.bind + "\" is not an IPv4 address");
    }
    if (!options_.truthPath.empty()) {
        truthFile_ = std::fopen(options_.truthPath.c_str(), "w");
        if (!truthFile_) {
            throw std::runtime_error("cannot write the truth file " + options_.truthPath + ": " +
                                     std::strerror(errno));
        }
        std::fprintf(truthFile_,
                     "travel_cm,depth_m,section,spacing_mm,arrival_us,velocity_kms,amplitude_mv,defect\n");
        std::fflush(truthFile_);
        model_.setTruthSink([this](const TruthRow& r) {
            std::fprintf(truthFile_, "%u,%.3f,%s,%.1f,%.3f,%.4f,%.4f,%d\n", r.travelCm, r.depthM,
                         r.section.c_str(), r.spacingMm, r.arrivalUs, r.velocityKms, r.amplitudeMv,
                         r.defect ? 1 : 0);
            std::fflush(truthFile_);
        });
    }
    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (socket_ < 0)
        throw std::runtime_error(std::string("cannot create a UDP socket: ") + std::strerror(errno));
    const int size = kSocketBuffer;
    setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    setsockopt(socket_, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    if (::bind(socket_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        const std::string reason = std::strerror(errno);
        ::close(socket_);
        socket_ = -1;
        throw std::runtime_error("cannot bind " + options_.bind + ":" + std::to_string(options_.port) + ": " +
                                 reason);
    }
    socklen_t len = sizeof addr;
    getsockname(socket_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    started_ = std::chrono::steady_clock::now();
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

void InstrumentSimulator::stop() {
    if (!thread_.joinable()) return;
    stopping_ = true;
    const uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(wake_, &one, sizeof one);
    thread_.join();
    ::close(socket_);
    ::close(wake_);
    socket_ = wake_ = -1;
    std::lock_guard lock(mutex_);
    pending_->clear();
}

SimulatorStats InstrumentSimulator::stats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

void InstrumentSimulator::startBurst(double ms) {
    std::lock_guard lock(mutex_);
    faults_.startBurst(now(), ms);
    logLine("burst: every request lost for %.0f ms", ms);
}

void InstrumentSimulator::setFaults(const FaultPlan& plan) {
    std::lock_guard lock(mutex_);
    faults_ = FaultInjector(plan, options_.seed);
}

void InstrumentSimulator::run() {
    while (!stopping_) {
        int timeout = kIdlePollMs;
        {
            std::lock_guard lock(mutex_);
            const auto t = std::chrono::steady_clock::now();
            for (const Pending& p : *pending_) {
                const auto wait = std::chrono::ceil<std::chrono::milliseconds>(p.due - t).count();
                timeout = static_cast<int>(std::clamp<int64_t>(wait, 0, timeout));
            }
        }
        pollfd fds[2] = {{socket_, POLLIN, 0}, {wake_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeout);
        if (ready < 0 && errno != EINTR) break;
        if (stopping_) break;
        if (ready > 0 && (fds[0].revents & POLLIN)) receiveAll();
        sendDue();
        std::lock_guard lock(mutex_);
        model_.advance(now());
    }
}

void InstrumentSimulator::receiveAll() {
    static thread_local std::vector<uint8_t> buffer(65536);
    for (;;) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n =
            ::recvfrom(socket_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) return;  // drained (EAGAIN) or a transient error: poll again
        process(buffer.data(), static_cast<size_t>(n), &from);
    }
}

void InstrumentSimulator::process(const uint8_t* data, size_t size, const void* fromPtr) {
    const sockaddr_in& from = *static_cast<const sockaddr_in*>(fromPtr);
    const std::span<const uint8_t> request(data, size);
    std::lock_guard lock(mutex_);
    const double t = now();
    ++stats_.requests;
    const std::string what = InstrumentModel::describe(request);
    const std::string peer = addressText(from);
    if (faults_.inBurst(t)) {
        ++stats_.burstDropped;
        logLine("%10.3f %s %-10s lost (burst)", t, peer.c_str(), what.c_str());
        return;
    }
    const Fault fault = faults_.draw();
    if (fault == Fault::Drop) {
        ++stats_.dropped;
        logLine("%10.3f %s %-10s lost (drop)", t, peer.c_str(), what.c_str());
        return;
    }
    std::optional<std::vector<uint8_t>> reply;
    if (fault == Fault::Decline) {
        reply = model_.declineFor(request);
        if (reply) ++stats_.declined;
    } else {
        reply = model_.handle(request, t);
    }
    if (!reply) {
        ++stats_.ignored;
        logLine("%10.3f %s %-10s ignored", t, peer.c_str(), what.c_str());
        return;
    }
    if (fault == Fault::Corrupt) {
        *reply = InstrumentModel::corrupt(request, std::move(*reply));
        ++stats_.corrupted;
    }
    if (fault == Fault::Late) {
        ++stats_.late;
        const auto delay = std::chrono::duration<double, std::milli>(faults_.lateDelayMs());
        pending_->push_back(
            Pending{std::chrono::steady_clock::now() +
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(delay),
                    std::move(*reply), from});
        logLine("%10.3f %s %-10s reply held back %.0f ms (late)", t, peer.c_str(), what.c_str(),
                faults_.lateDelayMs());
        return;
    }
    sendTo(*reply, &from);
    if (fault == Fault::Duplicate) {
        sendTo(*reply, &from);
        ++stats_.duplicated;
    }
    const char* note = fault == Fault::None ? "" : faultName(fault);
    logLine("%10.3f %s %-10s -> %zu bytes %s", t, peer.c_str(), what.c_str(), reply->size(), note);
}

void InstrumentSimulator::sendTo(const std::vector<uint8_t>& bytes, const void* to) {
    ::sendto(socket_, bytes.data(), bytes.size(), 0, static_cast<const sockaddr*>(to), sizeof(sockaddr_in));
    ++stats_.replies;
}

void InstrumentSimulator::sendDue() {
    std::lock_guard lock(mutex_);
    const auto t = std::chrono::steady_clock::now();
    auto& pending = *pending_;
    for (auto it = pending.begin(); it != pending.end();) {
        if (it->due <= t) {
            sendTo(it->bytes, &it->to);
            logLine("%10.3f %s late reply -> %zu bytes", now(), addressText(it->to).c_str(),
                    it->bytes.size());
            it = pending.erase(it);
        } else {
            ++it;
        }
    }
}

void InstrumentSimulator::logLine(const char* fmt, ...) {
    if (!options_.verbose || !options_.log) return;
    va_list args;
    va_start(args, fmt);
    std::vfprintf(options_.log, fmt, args);
    va_end(args);
    std::fputc('\n', options_.log);
    std::fflush(options_.log);
}

}  // namespace lx9::sim
