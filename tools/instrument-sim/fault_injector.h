// Seeded, reproducible faults on the instrument's side of the link: every request draws one
// uniform number that picks at most one fault by the configured percentages, and the cable-pull
// bursts drop every request inside their windows. Not thread-safe: the simulator's loop owns it.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "scenario.h"

namespace lx9::sim {

enum class Fault { None, Drop, Late, Duplicate, Corrupt, Decline };

const char* faultName(Fault fault);

class FaultInjector {
  public:
    FaultInjector(const FaultPlan& plan, uint64_t seed);

    // The fault for the next request (one draw per call, in the order drop, late, duplicate,
    // corrupt, decline over the unit interval).
    Fault draw();
    // True while a burst (scheduled or started by startBurst) covers time now, in seconds.
    bool inBurst(double now) const;
    void startBurst(double now, double ms);
    double lateDelayMs() const { return plan_.lateDelayMs; }

  private:
    FaultPlan plan_;
    std::mt19937_64 rng_;
    std::vector<Burst> bursts_;
};

}  // namespace lx9::sim
