#include "winch.h"

#include <algorithm>
#include <limits>

#include "pile_model.h"

namespace lx9::sim {
namespace {

constexpr double kSliceS = 0.1;
constexpr double kTiny = 1e-12;

}  // namespace

Winch::Winch(const WinchPlan& plan, uint64_t seed) : plan_(plan), seed_(seed) {
    // The start delay is a stop in front of the plan; the final rise has no end of its own.
    plan_.moves.insert(plan_.moves.begin(), WinchMove{WinchMove::Kind::Stop, plan.startDelayS, 0.0});
    plan_.moves.push_back(WinchMove{WinchMove::Kind::Rise, std::numeric_limits<double>::infinity(), 0.0});
}

void Winch::restart(double now) {
    running_ = true;
    runStart_ = now;
    knots_.assign(1, Knot{0.0, 0.0});
    move_ = 0;
    left_ = plan_.moves[0].amount;
    slice_ = 0;
}

void Winch::setTopM(double topM, double now) {
    const bool parked = running_ && move_ >= plan_.moves.size();
    if (parked && topM > knots_.back().pos + kTiny) {
        const double t = now - runStart_;
        if (t > knots_.back().t) knots_.push_back(Knot{t, knots_.back().pos});
        move_ = plan_.moves.size() - 1;
        left_ = plan_.moves.back().amount;
    }
    topM_ = topM;
}

void Winch::extendTo(double t) {
    // Past t, not up to it: the segment holding t gives the speed, also when t falls on a knot.
    while (knots_.back().t <= t) {
        if (move_ >= plan_.moves.size()) return;  // parked at the top
        const Knot last = knots_.back();
        const WinchMove& m = plan_.moves[move_];
        const bool finalRise = move_ + 1 == plan_.moves.size();
        Knot next = last;
        if (left_ <= kTiny) {
            left_ = 0.0;
        } else if (m.kind == WinchMove::Kind::Stop) {
            next.t += left_;  // one knot for the whole wait, however long
            left_ = 0.0;
        } else {
            const double u = static_cast<double>(mixSeed(seed_, 0x57494E43ULL, slice_++) >> 11) /
                                 9007199254740992.0 * 2.0 -
                             1.0;
            const double speed =
                (m.speedMps > 0.0 ? m.speedMps : plan_.speedMps) * (1.0 + plan_.jitterPercent / 100.0 * u);
            double dist = std::min(speed * kSliceS, left_);
            if (m.kind == WinchMove::Kind::Lower)
                dist = std::min(dist, last.pos);  // the probes rest at the start
            if (finalRise) dist = std::min(dist, std::max(topM_ - last.pos, 0.0));
            const double dt = dist < speed * kSliceS ? dist / speed : kSliceS;
            next.t += std::max(dt, kTiny);
            next.pos += m.kind == WinchMove::Kind::Rise ? dist : -dist;
            left_ -= dist;
            if (m.kind == WinchMove::Kind::Lower && next.pos <= kTiny) left_ = 0.0;
            if (finalRise && next.pos >= topM_ - 1e-9) {
                next.pos = topM_;
                knots_.push_back(next);
                move_ = plan_.moves.size();  // parked: the probes stay at the top
                return;
            }
        }
        if (next.t > last.t) knots_.push_back(next);
        if (left_ <= kTiny && !finalRise) {
            ++move_;
            left_ = plan_.moves[move_].amount;
        }
    }
}

double Winch::rawAt(double t, double* slope) {
    *slope = 0.0;
    if (t <= 0.0) return 0.0;
    extendTo(t);
    if (t >= knots_.back().t) return knots_.back().pos;
    const auto it =
        std::upper_bound(knots_.begin(), knots_.end(), t, [](double v, const Knot& k) { return v < k.t; });
    const Knot& b = *it;
    const Knot& a = *(it - 1);
    *slope = (b.pos - a.pos) / (b.t - a.t);
    return a.pos + *slope * (t - a.t);
}

double Winch::travelM(double now) {
    if (!running_) return 0.0;
    double slope = 0.0;
    return std::clamp(rawAt(now - runStart_, &slope), 0.0, topM_);
}

double Winch::speedMps(double now) {
    if (!running_) return 0.0;
    double slope = 0.0;
    const double raw = rawAt(now - runStart_, &slope);
    if (raw >= topM_ && slope >= 0.0) return 0.0;
    return slope;
}

}  // namespace lx9::sim
