// Free sampling against the instrument simulator on loopback, through the link library, with the
// production timing of the worker: 6 sections x 1024 samples, digital filter and automatic pick
// on. Prints cycles per second, the worker's CPU time per cycle and the simulator's CPU share.
// A measurement, not a test.
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <thread>

#include "acquisition/acquisition_worker.h"
#include "acquisition/console_sink.h"
#include "acquisition/messages.h"
#include "analysis/process_points.h"
#include "data/globals.h"
#include "data/run_state.h"
#include "instrument/kaxil_link.h"
#include "instrument/parameter_records.h"
#include "instrument_simulator.h"

namespace {

using namespace lx9;
using Clock = std::chrono::steady_clock;

// Counts the frames the console would redraw.
class CountingSink : public ConsoleSink {
  public:
    using ConsoleSink::post;
    bool post(Message m) override {
        if (m.id == kMsgFrameReady) ++frames;
        return true;
    }
    bool send(Message) override { return true; }
    std::atomic<long> frames{0};
};

// The link library, with the wall time spent inside its calls added up.
class TimedLink : public InstrumentLink {
  public:
    std::atomic<long> ns{0};

    uint8_t GetCommunicateStatus() override {
        return timed([&] { return link_.GetCommunicateStatus(); });
    }
    uint8_t GetFirmwareVersion() override {
        return timed([&] { return link_.GetFirmwareVersion(); });
    }
    uint8_t GetBatteryQuantity() override {
        return timed([&] { return link_.GetBatteryQuantity(); });
    }
    uint8_t SetLEDStatus(uint8_t s) override {
        return timed([&] { return link_.SetLEDStatus(s); });
    }
    uint8_t SetLeakInfo() override {
        return timed([&] { return link_.SetLeakInfo(); });
    }
    uint8_t StartRecordHeight() override {
        return timed([&] { return link_.StartRecordHeight(); });
    }
    uint8_t StartSample() override {
        return timed([&] { return link_.StartSample(); });
    }
    uint8_t GetSampleStatus() override {
        return timed([&] { return link_.GetSampleStatus(); });
    }
    uint8_t GetSampleHeight(uint16_t* d, uint16_t* v) override {
        return timed([&] { return link_.GetSampleHeight(d, v); });
    }
    uint8_t GetHeight(uint16_t k, uint16_t* d, uint16_t* v) override {
        return timed([&] { return link_.GetHeight(k, d, v); });
    }
    uint8_t ReadSampleData(uint16_t n, uint16_t* b, uint16_t* st) override {
        return timed([&] { return link_.ReadSampleData(n, b, st); });
    }
    uint8_t ReadData(uint16_t n, uint16_t k, uint16_t* b, uint16_t* st) override {
        return timed([&] { return link_.ReadData(n, k, b, st); });
    }
    uint8_t SetSample(uint8_t on) override {
        return timed([&] { return link_.SetSample(on); });
    }
    uint8_t SetBegin(uint8_t on) override {
        return timed([&] { return link_.SetBegin(on); });
    }
    uint8_t SetEnd(uint8_t on) override {
        return timed([&] { return link_.SetEnd(on); });
    }
    uint8_t SetHeight(int32_t a, uint16_t b) override {
        return timed([&] { return link_.SetHeight(a, b); });
    }
    uint8_t Set(_Ctrl_Code_INFO_DLL* c) override {
        return timed([&] { return link_.Set(c); });
    }
    uint8_t SetPara1(_Ctrl_SET1_INFO_DLL r) override {
        return timed([&] { return link_.SetPara1(r); });
    }
    uint8_t GetPara1(_Ctrl_SET1_INFO_DLL* r) override {
        return timed([&] { return link_.GetPara1(r); });
    }
    uint8_t SetPara2(_Ctrl_SET2_INFO_DLL r) override {
        return timed([&] { return link_.SetPara2(r); });
    }
    uint8_t GetPara2(_Ctrl_SET2_INFO_DLL* r) override {
        return timed([&] { return link_.GetPara2(r); });
    }
    uint8_t SetPara3(uint8_t* b, int32_t n) override {
        return timed([&] { return link_.SetPara3(b, n); });
    }
    uint8_t GetPara3(uint8_t* b, int32_t n) override {
        return timed([&] { return link_.GetPara3(b, n); });
    }

  private:
    template <class F>
    uint8_t timed(F f) {
        const auto begun = Clock::now();
        const uint8_t r = f();
        ns += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - begun).count();
        return r;
    }
    KaxilLink link_;
};

// CPU clock of a thread, learnt from inside the thread itself.
struct ThreadClock {
    std::atomic<bool> known{false};
    clockid_t id{};
    void learn() {
        if (known.load()) return;
        clockid_t c;
        if (pthread_getcpuclockid(pthread_self(), &c) == 0) {
            id = c;
            known = true;
        }
    }
    double seconds() const {
        if (!known.load()) return 0.0;
        timespec t{};
        clock_gettime(id, &t);
        return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
    }
};

}  // namespace

int main(int argc, char** argv) {
    const double runSeconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    constexpr int kLength = 1024;

    ThreadClock simThread, workerThread;
    const pthread_t mainThread = pthread_self();
    const auto started = Clock::now();

    sim::SimulatorOptions so;
    so.bind = "127.0.0.1";
    so.port = 0;
    so.scenario.sampleLength = kLength;
    so.scenario.winch.speedMps = 0.0;  // the probes rest: free sampling only
    so.clock = [&] {
        if (!pthread_equal(pthread_self(), mainThread)) simThread.learn();
        return std::chrono::duration<double>(Clock::now() - started).count();
    };
    sim::InstrumentSimulator simulator(so);
    simulator.start();
    setenv("KAXIL_INSTRUMENT", ("127.0.0.1:" + std::to_string(simulator.port())).c_str(), 1);

    CInfo info;
    info.resetToDefaults();
    info.sampleLength = kLength;
    info.cacheMode = 0;
    info.digitalFilter = true;
    info.pickMethod = std::string(kPickAutomatic);
    info.rebuildSectionNames();
    std::mutex infoLock;
    OwnedSectionLists lists;
    for (int k = 0; k < kMaxSections; ++k)
        lists[k] = std::make_unique<CSampleDataList>(kLength, k);
    std::atomic<uint32_t> state{makeState(kStateFreeSampling)};
    std::atomic<int32_t> levels{expectedLevelCount(info)};
    codeConfig.set(fillCodeConfig(info));

    TimedLink link;
    if (link.GetCommunicateStatus() != 1) {
        std::fprintf(stderr, "bench_free_sampling: no answer from the simulator\n");
        return 1;
    }
    CountingSink console;
    WorkerOptions o;
    o.info = SharedInfo{info, infoLock};
    o.lists = &lists;
    o.state = &state;
    o.levelCount = &levels;
    std::atomic<long> processNs{0};
    o.processCurrentPoints = [&](const CInfo& i, OwnedSectionLists& l) {
        workerThread.learn();
        const auto begun = Clock::now();
        ProcessCurrentPoints(i, l);
        processNs += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - begun).count();
    };
    AcquisitionWorker worker(link, console, o);  // production timing
    worker.start();

    // Let the first cycles (battery, configuration) pass, then measure a steady stretch.
    while (console.frames < 20)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const long frames0 = console.frames;
    const long process0 = processNs;
    const long link0 = link.ns;
    const double worker0 = workerThread.seconds(), sim0 = simThread.seconds();
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(runSeconds));
    const long frames = console.frames - frames0;
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double workerCpu = workerThread.seconds() - worker0;
    const double simCpu = simThread.seconds() - sim0;
    const double processMs = (processNs - process0) * 1e-6;
    const double linkMs = (link.ns - link0) * 1e-6;
    worker.stop();
    simulator.stop();

    std::printf("free sampling, 6 sections x %d samples, filter + automatic pick, production timing\n",
                kLength);
    std::printf("  cycles (frames)        : %ld in %.2f s\n", frames, wall);
    std::printf("  cycles per second      : %.1f   (goal >= 90; the 10 ms sleep allows about 100)\n",
                frames / wall);
    std::printf("  worker CPU per cycle   : %.3f ms (goal < 1 ms)\n",
                frames ? workerCpu / frames * 1e3 : 0.0);
    if (frames) {
        const double period = wall / frames * 1e3;
        const double rest = period - processMs / frames - linkMs / frames;
        std::printf(
            "  cycle period           : %.2f ms = %.2f ms exchanges (3 per cycle) + %.2f ms filter and "
            "picks\n"
            "                           + %.2f ms the 10 ms sleep and the rest of the cycle\n",
            period, linkMs / frames, processMs / frames, rest);
    }
    std::printf("  worker CPU share       : %.1f %%\n", workerCpu / wall * 100.0);
    std::printf("  simulator CPU share    : %.1f %% (%.3f ms per cycle)\n", simCpu / wall * 100.0,
                frames ? simCpu / frames * 1e3 : 0.0);
    return 0;
}
