#include "analysis/first_arrival.h"

#include <algorithm>

namespace lx9 {

ArrivalPick PickByAmplitude(const uint16_t* samples, int n, double level) {
    ArrivalPick pick;
    if (!samples || n <= 0) return pick;
    pick.arrival = n - 1;
    for (int i = 0; i <= n - 2; ++i) {
        const bool hit = i == 0 ? samples[0] >= level
                                : samples[i] > level && (samples[i - 1] <= level || samples[i + 1] <= level);
        if (hit) {
            pick.arrival = i;
            break;
        }
    }
    pick.peak = FindPeakAfter(samples, n, pick.arrival);
    return pick;
}

int32_t FindPeakAfter(const uint16_t* samples, int n, int32_t arrival) {
    if (!samples || arrival >= n) return 0;
    // j − 1 must exist, so a negative arrival starts the search at 1.
    for (int j = std::max(arrival + 1, 1); j <= n - 3; ++j) {
        const bool extremum =
            samples[j - 1] >= samples[j] ? samples[j + 1] >= samples[j] : samples[j] >= samples[j + 1];
        if (extremum) return j;
    }
    return arrival;
}

}  // namespace lx9
