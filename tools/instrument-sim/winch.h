// The probes' travel above the start level as the operator works the winch: wait, then the moves
// of the plan, then a steady rise to the top of the test. The speed wanders by the jitter in
// 0.1 s slices chosen from the seed, so the travel is a fixed function of the time since the run
// started, whatever the times at which it is asked.
#pragma once

#include <cstdint>
#include <vector>

#include "scenario.h"

namespace lx9::sim {

class Winch {
  public:
    Winch(const WinchPlan& plan, uint64_t seed);

    // Starts a run at time now (seconds): the probes are at the start level and the plan begins.
    void restart(double now);
    bool running() const { return running_; }
    // The top of the test: the travel at which the probes stop. Raising it while the probes wait
    // at the old top sends them on up from time now.
    void setTopM(double topM, double now);
    double topM() const { return topM_; }

    // Travel above the start level in metres (0 before the first run), never below 0 nor above the top.
    double travelM(double now);
    // Signed speed in m/s at time now (rising positive; 0 while stopped or at the top).
    double speedMps(double now);

  private:
    struct Knot {
        double t;    // seconds since the run started
        double pos;  // metres, before the top clamp
    };
    void extendTo(double t);
    double rawAt(double t, double* slope);

    WinchPlan plan_;
    uint64_t seed_;
    double topM_ = 20.0;
    bool running_ = false;
    double runStart_ = 0.0;
    std::vector<Knot> knots_;
    // Generation state: which move is running and what is left of it.
    size_t move_ = 0;
    double left_ = 0.0;
    uint64_t slice_ = 0;
};

}  // namespace lx9::sim
