// The physics of one ray between two access pipes at a given depth: how long the pulse takes,
// how fast the concrete is there, how strong the received wave is, and whether a defect lies on
// the ray. Deterministic: the per-level velocity spread is a function of the seed, the pipe pair
// and the depth in centimetres, never of the order of requests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scenario.h"

namespace lx9::sim {

struct RayTruth {
    double spacingMm = 0.0;    // clear distance between the two pipes' outer walls
    double velocityMps = 0.0;  // concrete velocity on the ray (defect included)
    double concreteUs = 0.0;   // spacing / velocity
    double arrivalUs = 0.0;    // first arrival after the transmit pulse: concrete + pipes + water + zero time
    double amplitudeMv = 0.0;  // envelope peak at the receiver input (0: no signal)
    bool defect = false;
};

class PileModel {
  public:
    PileModel(const Scenario& scenario, uint64_t seed);

    int pipeCount() const { return static_cast<int>(centres_.size()); }
    // Clear distance between the outer walls of pipes a and b (1-based), mm.
    double spacingMm(int a, int b) const;
    // Time the pulse spends crossing the two pipe walls and water gaps, plus the instrument's zero
    // time: what the calibration's zero and pipe correction remove.
    double fixedDelayUs() const { return fixedDelayUs_; }
    // The ray between pipes a and b (1-based, a != b, both present) at depth depthM below the
    // pile head.
    RayTruth ray(int a, int b, double depthM) const;

  private:
    Scenario scenario_;
    uint64_t seed_;
    std::vector<PipePosition> centres_;
    double fixedDelayUs_ = 0.0;
};

// A stable 64-bit mix of its inputs (splitmix64 steps), for seeding per-level randomness.
uint64_t mixSeed(uint64_t a, uint64_t b, uint64_t c = 0, uint64_t d = 0);
// A standard normal value from a seed, clamped to ±3.
double normalFromSeed(uint64_t seed);

}  // namespace lx9::sim
