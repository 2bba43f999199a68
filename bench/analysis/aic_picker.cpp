#include "aic_picker.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace lx9::bench {

int PickByAic(const uint16_t* samples, int n) {
    if (!samples || n < 5) return 0;
    // Prefix sums of x and x², so each split costs O(1).
    std::vector<double> s1(n + 1, 0.0), s2(n + 1, 0.0);
    for (int k = 0; k < n; ++k) {
        const double x = samples[k] - 2048.0;
        s1[k + 1] = s1[k] + x;
        s2[k + 1] = s2[k] + x * x;
    }
    auto variance = [&](int from, int to) {  // [from, to)
        const double count = to - from;
        const double mean = (s1[to] - s1[from]) / count;
        // A perfectly quiet stretch would give log(0); a floor far below one code² keeps it finite.
        return std::max((s2[to] - s2[from]) / count - mean * mean, 0.0) + 1e-6;
    };
    int m = 0;
    for (int k = 1; k < n; ++k) {
        if (std::fabs(samples[k] - 2048.0) > std::fabs(samples[m] - 2048.0)) m = k;
    }
    m = std::max(m, 4);
    int best = 0;
    double bestValue = std::numeric_limits<double>::infinity();
    for (int k = 2; k <= m - 1; ++k) {
        const double value = k * std::log(variance(0, k)) + (m - k) * std::log(variance(k, m + 1));
        if (value < bestValue) {
            bestValue = value;
            best = k;
        }
    }
    return best;
}

}  // namespace lx9::bench
