// Round trips through libkaxil.so against a loopback peer, beside the raw loopback round trip of the
// same bytes with a plain socket: StartSample (2-byte request, 5-byte reply) and ReadSampleData
// with a 6 x 1024-sample frame (12 288 bytes). Prints median and p99 in microseconds.
// Goal: a frame exchange adds less than 100 us over the raw round trip.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "link/kaxil.h"
#include "scripted_peer.h"

namespace {

using Clock = std::chrono::steady_clock;
using lx9::test::Bytes;
using lx9::test::bytes;

constexpr int kWarmUp = 200;
constexpr int kRounds = 4000;
constexpr size_t kFrameBytes = 6 * 1024 * 2;

struct Figures {
    double median;
    double p99;
};

Figures measure(const std::function<bool()>& exchange) {
    for (int i = 0; i < kWarmUp; ++i)
        exchange();
    std::vector<double> us;
    us.reserve(kRounds);
    int failures = 0;
    for (int i = 0; i < kRounds; ++i) {
        const auto start = Clock::now();
        if (!exchange()) ++failures;
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    if (failures) std::printf("  (%d of %d exchanges failed)\n", failures, kRounds);
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[us.size() * 99 / 100]};
}

void print(const char* what, Figures f) {
    std::printf("  %-28s median %7.1f us   p99 %7.1f us\n", what, f.median, f.p99);
}

}  // namespace

int main() {
    lx9::test::ScriptedPeer peer(lx9::test::ScriptedPeer::Options{.secondAddress = false, .record = false});
    Bytes frame(kFrameBytes, 0x08);
    frame[1] = 0xF0;  // the frame marker in word 0
    peer.setResponder([&](const Bytes& request) -> std::vector<lx9::test::Datagram> {
        if (request == bytes("a\0")) return {{bytes("R\0\0a")}};
        if (request == bytes("s\0")) return {{bytes("\0R\0\0s")}};
        if (request == bytes("g\0")) return {{frame}};
        return {};
    });
    peer.useAsInstrument();
    if (GetCommunicateStatus() != 1) {
        std::printf("bench_link: no handshake with the loopback peer\n");
        return 1;
    }

    // The raw round trip: a plain blocking socket, same request and reply bytes, same peer.
    const int raw = socket(AF_INET, SOCK_DGRAM, 0);
    const int size = 524288;
    setsockopt(raw, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(peer.port());
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    std::vector<uint8_t> reply(kFrameBytes);
    auto rawExchange = [&](const char* request) {
        return [&, request] {
            sendto(raw, request, 2, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
            return recv(raw, reply.data(), reply.size(), 0) > 0;
        };
    };

    std::vector<uint16_t> buffer(kFrameBytes / 2);
    uint16_t status = 0;
    std::printf("StartSample: 2-byte request, 5-byte reply, %d exchanges\n", kRounds);
    const Figures rawSmall = measure(rawExchange("s"));
    const Figures libSmall = measure([] { return StartSample() == 1; });
    print("raw loopback", rawSmall);
    print("kaxil StartSample", libSmall);
    std::printf("  added by the link: %+.1f us (median)\n", libSmall.median - rawSmall.median);

    std::printf("ReadSampleData: 6 x 1024 samples (%zu-byte frame), %d exchanges\n", kFrameBytes, kRounds);
    const Figures rawFrame = measure(rawExchange("g"));
    const Figures libFrame = measure(
        [&] { return ReadSampleData(static_cast<uint16_t>(kFrameBytes), buffer.data(), &status) == 1; });
    print("raw loopback", rawFrame);
    print("kaxil ReadSampleData", libFrame);
    const double added = libFrame.median - rawFrame.median;
    std::printf("  added by the link: %+.1f us (median) - goal < 100 us: %s\n", added,
                added < 100 ? "met" : "NOT met");
    close(raw);
    return 0;
}
