// First-arrival picking by amplitude, and the first extremum after an arrival. The variance and
// automatic methods live in variance_pick.h and auto_pick.h.
//
// Threading: plain functions on caller-owned buffers; safe on any thread. No function reads
// outside samples[0 … n−1], whatever index it is handed.
#pragma once

#include <cstdint>

namespace lx9 {

struct ArrivalPick {
    int32_t arrival = 0;  // first-arrival sample index
    int32_t peak = 0;     // first extremum after it
};

// The first sample that crosses level (2047 + amplitude threshold): sample 0 when it is already at
// or above it, otherwise a sample above the level next to one at or below it. None: n − 1 for both.
ArrivalPick PickByAmplitude(const uint16_t* samples, int n, double level);

// The first local extremum after arrival (flat runs count). None, or an arrival at n − 3 or later:
// the arrival itself. An arrival at n or beyond has no peak: 0.
int32_t FindPeakAfter(const uint16_t* samples, int n, int32_t arrival);

}  // namespace lx9
