// Critical values of a full-size section (65 535 points) under each standard, and the fast
// exclusions beside the literal quadratic ones. Goal: < 10 ms per standard.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "analysis/algorithm.h"
#include "analysis/algorithm_standards.h"
#include "analysis/pile_analysis.h"
#include "analysis/section_statistics.h"
#include "data/cinfo.h"
#include "data/globals.h"
#include "data/point_metrics.h"
#include "data/run_state.h"
#include "data/sample_data_list.h"

namespace lx9 {
namespace {

constexpr int kFull = 65535;

// Sound concrete near 4.2 km/s with 1 % defects: what a real section looks like.
std::vector<float> typicalKmS(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> sound(4.2f, 0.15f);
    std::uniform_real_distribution<float> defect(2.0f, 3.6f);
    std::vector<float> v(static_cast<size_t>(n));
    for (float& x : v)
        x = rng() % 100 == 0 ? defect(rng) : sound(rng);
    return v;
}

// A heavy-tailed section: each pass of an exclusion removes few values, so the passes are many.
std::vector<float> heavyTailKmS(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.001, 0.999);
    std::vector<float> v(static_cast<size_t>(n));
    for (float& x : v)
        x = static_cast<float>(4.2 + 0.02 * std::tan(3.14159265358979 * (u(rng) - 0.5)));
    return v;
}

// Typical values plus a staircase of low outliers, each far enough below the rest that the
// one-sided exclusion removes them one per pass: the literal procedure's worst kind of input.
std::vector<float> staircaseKmS(int n, unsigned seed) {
    std::vector<float> v = typicalKmS(n - 40, seed);
    for (int step = 0; step < 40; ++step) {
        double sum = 0, sq = 0;
        for (float x : v)
            sum += x;
        const double mean = sum / v.size();
        for (float x : v)
            sq += (x - mean) * (x - mean);
        const double s = std::sqrt(sq / (v.size() - 1));
        v.push_back(static_cast<float>(mean - 6.0 * s * std::sqrt(static_cast<double>(v.size()))));
    }
    return v;
}

std::vector<float> shaped(int n, int64_t shape, unsigned seed) {
    if (shape == 1) return heavyTailKmS(n, seed);
    if (shape == 2) return staircaseKmS(n, seed);
    return typicalKmS(n, seed);
}

const char* shapeName(int64_t shape) {
    return shape == 1 ? "heavy tail" : shape == 2 ? "staircase" : "typical";
}

std::vector<float> sorted(std::vector<float> v) {
    SortDescending(v.data(), 0, static_cast<int>(v.size()) - 1);
    return v;
}

// A test record and one full section list (slot 0) whose picks give the typical velocities.
struct Pile {
    CInfo info;
    std::unique_ptr<CSampleDataList> list;
    SectionLists lists{};
    std::vector<float> velocityMmS, amplitudeDb;

    Pile() {
        testState = makeState(kStateViewing);
        info.resetToDefaults();
        info.sampleInterval = 0.1f;
        for (auto& s : info.sections)
            s.present = false;
        info.sections[0].present = true;
        list = std::make_unique<CSampleDataList>(8);
        lists[0] = list.get();
        const std::vector<float> v = typicalKmS(kFull, 1);
        std::mt19937 rng(2);
        for (int i = 0; i < kFull; ++i) {
            const uint16_t crest = static_cast<uint16_t>(2600 + rng() % 800);
            const uint16_t wave[8] = {crest, 2048, 2048, 2048, 2048, 2048, 2048, 2048};
            list->append(wave, 30.0f - 0.0004f * i);
            SamplePoint* p = list->tail;
            // T = (tIndex + 1) · 0.1 µs = 340 mm / v
            p->tIndex = static_cast<int32_t>(std::lround(340.0 / v[i] / 0.1)) - 1;
            p->gain = 1.0f;
            p->amplitudeDb = static_cast<float>(150.0 + (rng() % 100) / 10.0);
            const PointMetrics m = pointMetrics(info, 1, p->tIndex, p->depth, p->gain, crest, p->delay);
            velocityMmS.push_back(m.velocity);
            amplitudeDb.push_back(static_cast<float>(amplitudeToDb(m.amplitude)));
        }
        setWholeIntervals(info, lists);
        EvaluatePileDbj(info, lists);
    }
};

Pile& pile() {
    static Pile p;
    return p;
}

void runStandard(benchmark::State& state, const char* standard) {
    Pile& p = pile();
    std::unique_ptr<CAlgorithm> a = makeAlgorithm(standard, p.info, p.lists);
    const bool dbj = std::string_view(standard) == kStandardGuangdong;
    for (auto _ : state) {
        const float vc = a->CriticalVelocity(p.velocityMmS.data(), kFull, 0);
        const float ac = dbj ? a->CriticalAmplitude(p.list->dbArray.data(), kFull, 0)
                             : a->CriticalAmplitude(p.amplitudeDb.data(), kFull, 0);
        benchmark::DoNotOptimize(vc);
        benchmark::DoNotOptimize(ac);
    }
    state.SetLabel(std::string(standardRules(standard)) + ", 65535 points, velocity + amplitude");
}

void BM_Building(benchmark::State& s) {
    runStandard(s, "建筑");
}
void BM_Highway(benchmark::State& s) {
    runStandard(s, "公路");
}
void BM_Railway(benchmark::State& s) {
    runStandard(s, "铁路");
}
void BM_Guangdong(benchmark::State& s) {
    runStandard(s, "广东建筑");
}
BENCHMARK(BM_Building)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Highway)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Railway)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Guangdong)->Unit(benchmark::kMillisecond);

void BM_EvaluatePileDbj(benchmark::State& state) {
    Pile& p = pile();
    for (auto _ : state)
        benchmark::DoNotOptimize(EvaluatePileDbj(p.info, p.lists));
    state.SetLabel("derived arrays, critical values and grades of a 65535-point section");
}
BENCHMARK(BM_EvaluatePileDbj)->Unit(benchmark::kMillisecond);

// The exclusions alone, on sorted values: fast (running sums) against literal (recomputed).
template <bool kLiteral>
void BM_ExcludeLow(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::vector<float> v = sorted(shaped(n, state.range(1), 3));
    for (auto _ : state) {
        benchmark::DoNotOptimize(kLiteral ? ExcludeLowLiteral(v.data(), n, FactorRule::Lambda60)
                                          : ExcludeLow(v.data(), n, FactorRule::Lambda60));
    }
    state.SetLabel(std::string(shapeName(state.range(1))) + ", sorted input");
}
BENCHMARK(BM_ExcludeLow<false>)
    ->Name("ExcludeLow/fast")
    ->ArgsProduct({{kFull}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExcludeLow<true>)
    ->Name("ExcludeLow/literal")
    ->ArgsProduct({{kFull}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

template <bool kLiteral>
void BM_TwoSided(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::vector<float> v = shaped(n, state.range(1), 4);
    for (auto _ : state) {
        benchmark::DoNotOptimize(kLiteral ? SectionCriticalVelocityDbjLiteral(v)
                                          : SectionCriticalVelocityDbj(v));
    }
    state.SetLabel(std::string(shapeName(state.range(1))) + ", unsorted input");
}
BENCHMARK(BM_TwoSided<false>)
    ->Name("TwoSidedDbj/fast")
    ->Args({kFull, 0})
    ->Args({kFull, 1})
    ->Args({4096, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TwoSided<true>)
    ->Name("TwoSidedDbj/literal")
    ->Args({kFull, 0})
    ->Args({4096, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
}  // namespace lx9

BENCHMARK_MAIN();
