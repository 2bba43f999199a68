#include "fault_injector.h"

namespace lx9::sim {

const char* faultName(Fault fault) {
    switch (fault) {
        case Fault::None:
            return "none";
        case Fault::Drop:
            return "drop";
        case Fault::Late:
            return "late";
        case Fault::Duplicate:
            return "duplicate";
        case Fault::Corrupt:
            return "corrupt";
        case Fault::Decline:
            return "decline";
    }
    return "?";
}

FaultInjector::FaultInjector(const FaultPlan& plan, uint64_t seed)
    : plan_(plan), rng_(seed ^ 0x4641554C54ULL), bursts_(plan.bursts) {}

Fault FaultInjector::draw() {
    const double u = std::uniform_real_distribution<double>(0.0, 100.0)(rng_);
    double edge = plan_.dropPercent;
    if (u < edge) return Fault::Drop;
    edge += plan_.latePercent;
    if (u < edge) return Fault::Late;
    edge += plan_.duplicatePercent;
    if (u < edge) return Fault::Duplicate;
    edge += plan_.corruptPercent;
    if (u < edge) return Fault::Corrupt;
    edge += plan_.declinePercent;
    if (u < edge) return Fault::Decline;
    return Fault::None;
}

bool FaultInjector::inBurst(double now) const {
    for (const Burst& b : bursts_) {
        if (now >= b.atS && now < b.atS + b.ms / 1000.0) return true;
    }
    return false;
}

void FaultInjector::startBurst(double now, double ms) {
    bursts_.push_back(Burst{now, ms});
}

}  // namespace lx9::sim
