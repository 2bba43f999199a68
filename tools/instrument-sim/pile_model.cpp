#include "pile_model.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lx9::sim {

uint64_t mixSeed(uint64_t a, uint64_t b, uint64_t c, uint64_t d) {
    uint64_t x = a;
    for (uint64_t v : {b, c, d}) {
        x ^= v + 0x9E3779B97F4A7C15ULL + (x << 6) + (x >> 2);
        x += 0x9E3779B97F4A7C15ULL;
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
        x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
        x ^= x >> 31;
    }
    return x;
}

double normalFromSeed(uint64_t seed) {
    // Box-Muller from two 53-bit uniforms in (0, 1].
    const uint64_t a = mixSeed(seed, 1), b = mixSeed(seed, 2);
    const double u1 = (static_cast<double>(a >> 11) + 1.0) / 9007199254740992.0;
    const double u2 = static_cast<double>(b >> 11) / 9007199254740992.0;
    const double z = std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
    return std::clamp(z, -3.0, 3.0);
}

PileModel::PileModel(const Scenario& scenario, uint64_t seed)
    : scenario_(scenario), seed_(seed), centres_(scenario.pipeCentres()) {
    const double wallMm = (scenario.pipeOuterDiameterMm - scenario.pipeInnerDiameterMm) / 2.0;
    const double waterMm = (scenario.pipeInnerDiameterMm - scenario.probeDiameterMm) / 2.0;
    // Velocities in m/s are mm/ms; the factor 1000 gives µs.
    fixedDelayUs_ = 2.0 * (wallMm / scenario.pipeVelocityMps + waterMm / scenario.waterVelocityMps) * 1000.0 +
                    scenario.zeroTimeUs;
}

double PileModel::spacingMm(int a, int b) const {
    const PipePosition& p = centres_.at(a - 1);
    const PipePosition& q = centres_.at(b - 1);
    const double centre = std::hypot(p.xMm - q.xMm, p.yMm - q.yMm);
    return std::max(centre - scenario_.pipeOuterDiameterMm, 1.0);
}

RayTruth PileModel::ray(int a, int b, double depthM) const {
    const int lo = std::min(a, b), hi = std::max(a, b);
    RayTruth t;
    t.spacingMm = spacingMm(lo, hi);

    const auto depthCm = static_cast<int64_t>(std::llround(depthM * 100.0));
    const double spread =
        scenario_.velocitySpreadPercent / 100.0 *
        normalFromSeed(mixSeed(seed_, static_cast<uint64_t>(lo * 10 + hi), static_cast<uint64_t>(depthCm)));
    double velocity = scenario_.concreteVelocityMps * (1.0 + spread);
    double extraDb = 0.0;
    bool noSignal = false;
    const std::string name = std::to_string(lo) + "-" + std::to_string(hi);
    for (const Defect& d : scenario_.defects) {
        if (depthM < d.topM || depthM > d.bottomM) continue;
        if (!d.sections.empty() &&
            std::find(d.sections.begin(), d.sections.end(), name) == d.sections.end()) {
            continue;
        }
        t.defect = true;
        velocity *= 1.0 - d.velocityLossPercent / 100.0;
        extraDb += d.attenuationDb;
        noSignal = noSignal || d.noSignal;
    }
    t.velocityMps = velocity;
    t.concreteUs = t.spacingMm / velocity * 1000.0;
    t.arrivalUs = t.concreteUs + fixedDelayUs_;

    // Spherical spreading from a 1 m reference, then absorption along the ray and the defect's loss.
    const double pathM = std::max(t.spacingMm, 50.0) / 1000.0;
    const double lossDb = scenario_.attenuationDbPerM * pathM + extraDb;
    t.amplitudeMv = noSignal ? 0.0 : scenario_.amplitudeMvAt1m / pathM * std::pow(10.0, -lossDb / 20.0);
    return t;
}

}  // namespace lx9::sim
