// How fast the simulator makes waveforms and frames, and how long a frame takes on loopback:
// a frame must come back well inside the link's one-second data time-out.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include "instrument_model.h"
#include "instrument_simulator.h"
#include "synth_waveform.h"

namespace {

void BM_SynthWaveform(benchmark::State& state) {
    lx9::sim::WaveformParams p;
    p.sampleLength = static_cast<int>(state.range(0));
    std::vector<uint16_t> out(p.sampleLength);
    for (auto _ : state) {
        ++p.seed;
        benchmark::DoNotOptimize(lx9::sim::synthWaveform(p, std::span<uint16_t>(out)));
    }
    state.SetItemsProcessed(state.iterations() * p.sampleLength);
}
BENCHMARK(BM_SynthWaveform)->Arg(512)->Arg(1024);

// One shot and its six-slot frame, as `s` then `g` produce it.
void BM_ModelFrame(benchmark::State& state) {
    lx9::sim::InstrumentModel model(lx9::sim::Scenario{}, 1);
    const std::vector<uint8_t> s = {'s', 0}, g = {'g', 0};
    double now = 0.0;
    for (auto _ : state) {
        model.handle(s, now);
        benchmark::DoNotOptimize(model.handle(g, now));
        now += 0.01;
    }
}
BENCHMARK(BM_ModelFrame);

// `g` over loopback: request out, 6 144-byte frame back.
void BM_LoopbackFrame(benchmark::State& state) {
    lx9::sim::SimulatorOptions o;
    o.port = 0;
    lx9::sim::InstrumentSimulator sim(o);
    sim.start();
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(sim.port());
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const uint8_t g[2] = {'g', 0};
    std::vector<uint8_t> buffer(65536);
    for (auto _ : state) {
        sendto(fd, g, 2, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0) {
            state.SkipWithError("no frame within one second");
            break;
        }
        benchmark::DoNotOptimize(recv(fd, buffer.data(), buffer.size(), 0));
    }
    close(fd);
}
BENCHMARK(BM_LoopbackFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
