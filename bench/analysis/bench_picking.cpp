// Speed of conditioning and picking: one waveform of 512 or 1024 samples per call, and the
// worker's whole per-cycle step over six sections of 1024 samples.
#include <benchmark/benchmark.h>

#include <array>
#include <memory>
#include <vector>

#include "analysis/auto_pick.h"
#include "analysis/first_arrival.h"
#include "analysis/process_points.h"
#include "analysis/signal_filter.h"
#include "analysis/variance_pick.h"
#include "bench_traces.h"
#include "data/cinfo.h"

namespace lx9 {
namespace {

void ConditionWaveBench(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::vector<uint16_t> trace = bench::speedTrace(n);
    std::vector<uint16_t> s(trace.size());
    for (auto _ : state) {
        s = trace;
        ConditionWave(s.data(), n, 1.0, kConditionHighCutHz, kConditionLowCutHz);
        benchmark::DoNotOptimize(s.data());
    }
}
BENCHMARK(ConditionWaveBench)->Name("ConditionWave")->Arg(512)->Arg(1024);

void PickByAmplitudeBench(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::vector<uint16_t> s = bench::speedTrace(n);
    for (auto _ : state)
        benchmark::DoNotOptimize(PickByAmplitude(s.data(), n, 2047 + 200));
}
BENCHMARK(PickByAmplitudeBench)->Name("PickByAmplitude")->Arg(512)->Arg(1024);

void PickByVarianceBench(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::vector<uint16_t> s = bench::speedTrace(n);
    VarianceSettings v;
    v.window = VarianceWindow(35000, 1.0);
    for (auto _ : state) {
        const int arrival = PickByVariance(s.data(), n, v);
        benchmark::DoNotOptimize(FindPeakAfter(s.data(), n, arrival));
    }
}
BENCHMARK(PickByVarianceBench)->Name("PickByVariance+FindPeakAfter")->Arg(512)->Arg(1024);

void PickAutoBench(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::vector<uint16_t> s = bench::speedTrace(n);
    for (auto _ : state)
        benchmark::DoNotOptimize(PickAuto(s.data(), n, 1.0, 100, kAutoNominalHz));
}
BENCHMARK(PickAutoBench)->Name("PickAuto")->Arg(512)->Arg(1024);

// The goal figure: conditioning plus the automatic method on one wave (< 50 µs).
void ConditionAndAutoBench(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::vector<uint16_t> trace = bench::speedTrace(n);
    std::vector<uint16_t> s(trace.size());
    for (auto _ : state) {
        s = trace;
        ConditionWave(s.data(), n, 1.0, kConditionHighCutHz, kConditionLowCutHz);
        benchmark::DoNotOptimize(PickAuto(s.data(), n, 1.0, 100, kAutoNominalHz));
    }
}
BENCHMARK(ConditionAndAutoBench)->Name("ConditionWave+PickAuto")->Arg(512)->Arg(1024);

// One worker cycle: six sections of 1024 samples, each list's current point restored to the raw
// waveform under its lock first (a 2 KB copy per section, included in the figure).
void ProcessCurrentPointsBench(benchmark::State& state) {
    CInfo info;
    info.resetToDefaults();
    info.sampleLength = 1024;
    info.sectionCount = kMaxSections;
    const std::string_view methods[] = {kPickAutomatic, kPickVariance, kPickAmplitude};
    info.pickMethod = std::string(methods[state.range(0)]);
    info.amplitudeThreshold = 200;
    std::array<std::unique_ptr<CSampleDataList>, kMaxSections> lists;
    std::array<std::vector<uint16_t>, kMaxSections> raw;
    for (int i = 0; i < kMaxSections; ++i) {
        raw[i] = bench::speedTrace(1024, static_cast<unsigned>(i + 1));
        lists[i] = std::make_unique<CSampleDataList>(1024, i);
        lists[i]->append(raw[i].data(), 10.0f);
    }
    for (auto _ : state) {
        for (int i = 0; i < kMaxSections; ++i) {
            auto guard = lists[i]->lock();
            lists[i]->current->samples.assign(raw[i].begin(), raw[i].end());
        }
        ProcessCurrentPoints(info, lists);
    }
    state.SetLabel(info.pickMethod + ", digital filter on, 6 × 1024 samples");
}
BENCHMARK(ProcessCurrentPointsBench)
    ->Name("ProcessCurrentPoints")
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace lx9

BENCHMARK_MAIN();
