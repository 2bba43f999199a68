#include "analysis/section_statistics.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <functional>
#include <limits>

#include "analysis/exact_moments.h"
#include "data/cinfo.h"
#include "data/point_metrics.h"
#include "data/sample_data_list.h"

namespace lx9 {
namespace {

// Read column by column: rows 1..14 are the first column pair, row 60 is n = 280.
constexpr std::array<float, kLambdaRows> kLambdaN = {
    20,  22,  24,  26,  28,  30,  32,  34,  36,  38,  40,  42,  44,  46,   //
    48,  50,  52,  54,  56,  58,  60,  62,  64,  66,  68,  70,  72,  74,   //
    76,  78,  80,  82,  84,  86,  88,  90,  92,  94,  96,  98,  100, 105,  //
    110, 115, 120, 125, 130, 135, 140, 145, 150, 160, 170, 180, 190, 200,  //
    220, 240, 260, 280, 300, 320, 340, 360, 380, 400, 420, 440, 460, 480};
constexpr std::array<float, kLambdaRows> kLambda = {
    1.64f, 1.69f, 1.73f, 1.77f, 1.80f, 1.83f, 1.86f, 1.89f, 1.91f, 1.94f, 1.96f, 1.98f, 2.00f, 2.02f,  //
    2.04f, 2.05f, 2.07f, 2.09f, 2.10f, 2.11f, 2.13f, 2.14f, 2.15f, 2.17f, 2.18f, 2.19f, 2.20f, 2.21f,  //
    2.22f, 2.23f, 2.24f, 2.25f, 2.26f, 2.27f, 2.28f, 2.29f, 2.29f, 2.30f, 2.31f, 2.32f, 2.33f, 2.34f,  //
    2.36f, 2.38f, 2.39f, 2.41f, 2.42f, 2.43f, 2.45f, 2.46f, 2.47f, 2.50f, 2.52f, 2.54f, 2.56f, 2.58f,  //
    2.61f, 2.64f, 2.67f, 2.69f, 2.72f, 2.74f, 2.76f, 2.77f, 2.79f, 2.81f, 2.82f, 2.84f, 2.86f, 2.88f};

// Beyond the table's last row both tables use this factor (not the 70-row table's 2.88).
constexpr float kLambdaBeyondTable = 2.69f;
constexpr float kDbjVelocityCap = 9.999f;

// Sort key whose ascending unsigned order is the descending order of the floats.
uint32_t descendingKey(float v) {
    const uint32_t b = std::bit_cast<uint32_t>(v);
    const uint32_t ascending = (b & 0x80000000u) ? ~b : (b | 0x80000000u);
    return ~ascending;
}

// LSD radix sort on 11-bit digits: a full list sorts in well under a millisecond, where a
// comparison sort of 65 535 floats takes several.
void radixSortDescending(float* v, size_t n) {
    constexpr int kBits = 11;
    constexpr uint32_t kBuckets = 1u << kBits;
    std::vector<float> buffer(n);
    float* from = v;
    float* to = buffer.data();
    std::vector<uint32_t> counts(kBuckets);
    for (int shift = 0; shift < 32; shift += kBits) {
        std::fill(counts.begin(), counts.end(), 0u);
        for (size_t i = 0; i < n; ++i)
            ++counts[(descendingKey(from[i]) >> shift) & (kBuckets - 1)];
        uint32_t total = 0;
        for (uint32_t& c : counts) {
            const uint32_t here = c;
            c = total;
            total += here;
        }
        for (size_t i = 0; i < n; ++i)
            to[counts[(descendingKey(from[i]) >> shift) & (kBuckets - 1)]++] = from[i];
        std::swap(from, to);
    }
    if (from != v) std::copy(from, from + n, v);  // three passes end in the buffer
}

// Index of the first value of v[0..e] at or below c (v descending); e + 1 when none is.
int firstAtOrBelow(const float* v, int e, double c) {
    const float* it = std::partition_point(v, v + e + 1, [c](float x) { return static_cast<double>(x) > c; });
    return static_cast<int>(it - v);
}

double limitBelow(const ExactMoments& m, float factor) {
    return m.mean() - static_cast<double>(factor) * m.deviation();
}

}  // namespace

CriticalStatus criticalStatus(float result) {
    if (result == kTooFewValues) return CriticalStatus::TooFewValues;
    if (result == kNoValueLeft) return CriticalStatus::NoValueLeft;
    return CriticalStatus::Value;
}

bool isAbsent(float v) {
    return !std::isfinite(v) || static_cast<double>(v) < kAbsentBelow;
}

float LambdaFor(int n, int rows) {
    rows = std::clamp(rows, 1, kLambdaRows);
    if (static_cast<float>(n) > kLambdaN[rows - 1]) return kLambdaBeyondTable;
    if (n <= 20) return kLambda[0];
    // The row of the next tabulated n at or above n.
    for (int j = rows - 1; j >= 1; --j) {
        if (kLambdaN[j - 1] < static_cast<float>(n) && static_cast<float>(n) <= kLambdaN[j])
            return kLambda[j];
    }
    return kLambda[0];
}

float factorFor(FactorRule rule, int n) {
    switch (rule) {
        case FactorRule::Lambda60:
            return LambdaFor(n, kLambdaRowsBuilding);
        case FactorRule::Lambda70:
            return LambdaFor(n, kLambdaRows);
        case FactorRule::Two:
            break;
    }
    return 2.0f;
}

void SortDescending(float* values, int first, int last) {
    if (!values || last <= first) return;
    // Absent values (NaN among them, which no comparison orders) go to the end unsorted.
    float* end = std::partition(values + first, values + last + 1, [](float v) { return !isAbsent(v); });
    const size_t n = static_cast<size_t>(end - (values + first));
    if (n > 256) {
        radixSortDescending(values + first, n);
    } else {
        std::sort(values + first, end, std::greater<float>());
    }
}

int TrimAbsent(const float* sorted, int count) {
    while (count > 0 && isAbsent(sorted[count - 1]))
        --count;
    return std::max(count, 0);
}

float ExcludeLow(const float* v, int count, FactorRule rule) {
    int e = TrimAbsent(v, count) - 1;
    if (e == 0) return kTooFewValues;
    if (e < 0) return kNoValueLeft;
    ExactMoments moments;
    for (int i = 0; i <= e; ++i)
        moments.add(v[i]);
    for (;;) {
        const double c = limitBelow(moments, factorFor(rule, e + 1));
        if (c <= v[e]) return static_cast<float>(c);
        const int k = firstAtOrBelow(v, e, c);  // v[k] <= c < v[k - 1]
        if (k == 0) return kTooFewValues;
        if (k < 2) return kNoValueLeft;
        for (int i = k; i <= e; ++i)
            moments.remove(v[i]);
        e = k - 1;
    }
}

float ExcludeLowLiteral(const float* v, int count, FactorRule rule) {
    int e = TrimAbsent(v, count) - 1;
    if (e == 0) return kTooFewValues;
    if (e < 0) return kNoValueLeft;
    for (;;) {
        const int m = e + 1;
        const float factor = factorFor(rule, m);
        ExactMoments moments;
        for (int i = 0; i <= e; ++i)
            moments.add(v[i]);
        const double c = moments.mean() - static_cast<double>(factor) * moments.deviation();
        if (c <= v[e]) return static_cast<float>(c);
        int found = -1;
        for (int k = e; k >= 1; --k) {
            if (v[k] <= c && c < v[k - 1]) {
                found = k;
                break;
            }
        }
        if (found < 0) return kTooFewValues;
        if (found < 2) return kNoValueLeft;
        e = found - 1;
    }
}

float CriticalByExclusion(const float* values, int count, FactorRule rule) {
    if (!values || count <= 0) return ExcludeLow(nullptr, 0, rule);
    std::vector<float> work(values, values + count);
    SortDescending(work.data(), 0, count - 1);
    return ExcludeLow(work.data(), count, rule);
}

float MeanMinusTwoSigma(const float* values, int count) {
    ExactMoments m;
    for (int i = 0; i < count; ++i) {
        if (std::isfinite(values[i])) m.add(values[i]);
    }
    if (m.count() == 0) return kTooFewValues;
    if (m.count() == 1) return 0.0f;
    return static_cast<float>(m.mean() - 2.0 * m.deviation());
}

float MeanMinusSixDb(const float* values, int count) {
    ExactMoments m;
    for (int i = 0; i < count; ++i) {
        if (std::isfinite(values[i])) m.add(values[i]);
    }
    if (m.count() == 0) return kTooFewValues;
    return static_cast<float>(m.mean() - 6.0);
}

ValueStatistics describeValues(const std::vector<float>& values) {
    ExactMoments m;
    for (float v : values) {
        if (std::isfinite(v)) m.add(v);
    }
    return {static_cast<int>(m.count()), m.mean(), m.deviation()};
}

namespace {

// Caps the velocities, sorts and trims them; the trimmed count, or a finished result.
bool prepareDbj(std::vector<float>& v, int& count, DbjSectionResult& result) {
    result = {};
    if (v.empty()) return false;
    for (float& x : v) {
        if (!(x <= kDbjVelocityCap)) x = kDbjVelocityCap;  // above the cap, or not comparable
    }
    SortDescending(v.data(), 0, static_cast<int>(v.size()) - 1);
    count = TrimAbsent(v.data(), static_cast<int>(v.size()));
    if (count == 1) return false;
    if (count == 0) {
        result.status = -999;
        return false;
    }
    return true;
}

// The passes of the two-sided exclusion. Window is [i, e]; Stats gives the mean and deviation
// of the window, Cut tells it which end lost a value.
template <typename Stats, typename CutLow, typename CutHigh>
DbjSectionResult dbjPasses(const std::vector<float>& v, int e, Stats stats, CutLow cutLargest,
                           CutHigh cutSmallest) {
    DbjSectionResult r;
    int i = 0;
    for (;;) {
        // λ from the position of the smallest value, not from the size of the window.
        const float lambda = LambdaFor(e + 1, kLambdaRows);
        if (i > e) {
            r.status = -998;
            return r;
        }
        if (i == e) {
            r.status = 0;
            return r;
        }
        const auto [mean, deviation] = stats(i, e);
        const double lower = mean - static_cast<double>(lambda) * deviation;
        const double upper = mean + static_cast<double>(lambda) * deviation;
        r.criticalVelocity = static_cast<float>(lower);
        // A window of equal values has both limits on its values: nothing in it is an outlier.
        // (Taken strictly, the test below would eat such a window from both ends and end in
        // −998 or 0 depending on whether its size is even or odd.)
        if (deviation == 0.0 || (v[e] > lower && v[i] < upper)) {
            r.status = 1;
            return r;
        }
        if (v[i] >= upper) {
            cutLargest(i, e);
            ++i;
        }
        const int lowCut = v[e] <= lower ? 1 : 0;
        if (i > e + 1 - lowCut) {
            r.status = -998;
            return r;
        }
        cutSmallest(i, e);
        --e;
        if (e <= 0) {
            r.status = -999;
            return r;
        }
    }
}

}  // namespace

DbjSectionResult SectionCriticalVelocityDbj(std::vector<float> v) {
    DbjSectionResult result;
    int count = 0;
    if (!prepareDbj(v, count, result)) return result;
    ExactMoments window;
    for (int k = 0; k < count; ++k)
        window.add(v[k]);
    auto stats = [&window](int, int) { return std::pair{window.mean(), window.deviation()}; };
    auto cutLargest = [&](int i, int) { window.remove(v[i]); };
    auto cutSmallest = [&](int i, int e) {
        if (e >= i) window.remove(v[e]);  // still inside the window
    };
    return dbjPasses(v, count - 1, stats, cutLargest, cutSmallest);
}

DbjSectionResult SectionCriticalVelocityDbjLiteral(std::vector<float> v) {
    DbjSectionResult result;
    int count = 0;
    if (!prepareDbj(v, count, result)) return result;
    auto stats = [&v](int i, int e) {
        ExactMoments window;
        for (int k = i; k <= e; ++k)
            window.add(v[k]);
        return std::pair{window.mean(), window.deviation()};
    };
    auto none = [](int, int) {};
    return dbjPasses(v, count - 1, stats, none, none);
}

std::vector<float> PsdSeries(const float* times, int count, int32_t stepMm) {
    std::vector<float> k;
    if (!times || count < 2 || stepMm <= 0) return k;
    k.reserve(static_cast<size_t>(count - 1));
    for (int i = 0; i + 1 < count; ++i) {
        const double d = static_cast<double>(times[i + 1]) - times[i];
        k.push_back(static_cast<float>(d * d / stepMm * 1000.0));
    }
    return k;
}

std::vector<PsdValue> PsdSeries(const CInfo& info, CSampleDataList& list, int sectionSlot) {
    std::vector<float> times;
    std::vector<float> depths;
    times.reserve(list.count);
    depths.reserve(list.count);
    for (int i = 0; i < list.count; ++i) {
        const SamplePoint* p = list.point(i);
        if (!p) continue;
        times.push_back(
            pointMetrics(info, sectionSlot + 1, p->tIndex, p->depth, p->gain, 2048, p->delay).time);
        depths.push_back(p->depth);
    }
    const std::vector<float> k = PsdSeries(times.data(), static_cast<int>(times.size()), info.stepMm);
    std::vector<PsdValue> series(k.size());
    for (size_t i = 0; i < k.size(); ++i)
        series[i] = {depths[i], k[i]};
    return series;
}

}  // namespace lx9
