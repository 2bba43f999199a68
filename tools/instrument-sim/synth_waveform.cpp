#include "synth_waveform.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <vector>

namespace lx9::sim {
namespace {

constexpr double kEnvelopePeakPeriods = 0.75;

// Normalised wave at phase p = tau / period (p >= 0): envelope peak 1 at p = 0.75.
double unitWave(double p) {
    const double x = p / kEnvelopePeakPeriods;
    return x * std::exp(1.0 - x) * std::sin(2.0 * std::numbers::pi * p);
}

WaveShape computeShape() {
    // The first extremum lies inside the first half period; a fine scan and a ternary refinement
    // place it to well below a nanosecond at any frequency we use.
    double lo = 0.0, hi = 0.5;
    for (int i = 0; i < 200; ++i) {
        const double a = lo + (hi - lo) / 3.0, b = hi - (hi - lo) / 3.0;
        if (unitWave(a) < unitWave(b)) {
            lo = a;
        } else {
            hi = b;
        }
    }
    const double p = (lo + hi) / 2.0;
    return {p, unitWave(p)};
}

int toCode(double mv, double gain, bool& clipped) {
    const double code = std::round(2048.0 + mv * gain * kCodesPerMv);
    if (code < 0.0) {
        clipped = true;
        return 0;
    }
    if (code > 4095.0) {
        clipped = true;
        return 4095;
    }
    return static_cast<int>(code);
}

// Standard normal deviates from a fixed table of quantiles picked by a 64-bit mixing generator:
// a few nanoseconds a sample, reproducible for a seed on every platform.
class GaussianStream {
  public:
    explicit GaussianStream(uint64_t seed) : state_(seed) {}
    double next() {
        if (left_ == 0) {
            bits_ = splitmix();
            left_ = 4;
        }
        const auto index = static_cast<uint16_t>(bits_);
        bits_ >>= 16;
        --left_;
        return table()[index];
    }

  private:
    uint64_t splitmix() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Quantiles of N(0, 1) at the midpoints of 65 536 equal-probability bins.
    static const std::vector<double>& table() {
        static const std::vector<double> t = [] {
            std::vector<double> q(65536);
            for (size_t i = 0; i < q.size(); ++i)
                q[i] = normalQuantile((i + 0.5) / 65536.0);
            return q;
        }();
        return t;
    }
    // Inverse of the normal distribution by Newton steps on erfc (accurate to ~1e-12).
    static double normalQuantile(double u) {
        double x = 0.0;
        for (int i = 0; i < 60; ++i) {
            const double cdf = 0.5 * std::erfc(-x / std::numbers::sqrt2);
            const double pdf = std::exp(-0.5 * x * x) / std::sqrt(2.0 * std::numbers::pi);
            const double step = (cdf - u) / pdf;
            x -= std::clamp(step, -1.0, 1.0);
            if (std::fabs(step) < 1e-13) break;
        }
        return x;
    }

    uint64_t state_;
    uint64_t bits_ = 0;
    int left_ = 0;
};

// Adds amplitude * x e^(1-x) * sin(2 pi tau / period) from the arrival on. The sine advances by
// rotation and the envelope's exponential by a constant factor per sample; once the decaying
// envelope is below a thousandth of a converter code the rest of the trace is left as it is.
void addWave(const WaveformParams& p, double periodUs, std::vector<double>& mv) {
    if (p.amplitudeMv == 0.0) return;
    const double dt = p.sampleIntervalUs;
    const int n = p.sampleLength;
    int k = static_cast<int>(std::ceil((p.arrivalUs - p.delayUs) / dt));
    k = std::max(k, 0);
    while (k < n && p.delayUs + k * dt - p.arrivalUs < 0.0)
        ++k;  // rounding at the arrival
    if (k >= n) return;
    const double phase0 = (p.delayUs + k * dt - p.arrivalUs) / periodUs;  // periods after the arrival
    const double dPhase = dt / periodUs;
    const double x0 = phase0 / kEnvelopePeakPeriods, dx = dPhase / kEnvelopePeakPeriods;
    double e = std::exp(1.0 - x0);
    const double eStep = std::exp(-dx);
    double sn = std::sin(2.0 * std::numbers::pi * phase0), cs = std::cos(2.0 * std::numbers::pi * phase0);
    const double rs = std::sin(2.0 * std::numbers::pi * dPhase),
                 rc = std::cos(2.0 * std::numbers::pi * dPhase);
    const double negligibleMv = 1e-3 / (std::fabs(p.gain) * kCodesPerMv + 1e-300);
    for (int i = 0; k < n; ++k, ++i) {
        const double x = x0 + i * dx;
        const double envelope = std::fabs(p.amplitudeMv) * x * e;
        if (x > 1.0 && envelope < negligibleMv) break;
        mv[k] += p.amplitudeMv * x * e * sn;
        e *= eStep;
        const double s2 = sn * rc + cs * rs;
        cs = cs * rc - sn * rs;
        sn = s2;
        if ((i & 63) == 63) {  // keep the rotation on the unit circle over long traces
            const double norm = 1.0 / std::sqrt(sn * sn + cs * cs);
            sn *= norm;
            cs *= norm;
        }
    }
}

}  // namespace

WaveShape waveShape() {
    static const WaveShape shape = computeShape();
    return shape;
}

WaveformTruth synthWaveform(const WaveformParams& p, std::span<uint16_t> out) {
    if (p.sampleLength < 0 || out.size() < static_cast<size_t>(p.sampleLength)) {
        throw std::invalid_argument("synthWaveform: the output holds fewer samples than sampleLength");
    }
    if (!(p.sampleIntervalUs > 0.0) || !(p.frequencyHz > 0.0) || !std::isfinite(p.arrivalUs) ||
        !std::isfinite(p.delayUs) || !std::isfinite(p.amplitudeMv) || !(p.noiseMv >= 0.0) ||
        !std::isfinite(p.gain) || !std::isfinite(p.noiseMv)) {
        throw std::invalid_argument("synthWaveform: a parameter is out of range");
    }
    const WaveShape shape = waveShape();
    const double periodUs = 1e6 / p.frequencyHz;

    WaveformTruth truth;
    truth.arrivalIndex = (p.arrivalUs - p.delayUs) / p.sampleIntervalUs;
    truth.firstPeakUs = p.arrivalUs + shape.firstPeakPeriods * periodUs;
    truth.firstPeakMv = shape.firstPeakFraction * p.amplitudeMv;
    truth.peakCodes = p.amplitudeMv * p.gain * kCodesPerMv;

    // Noise first, then the wave added where it is not negligible: the simulator builds six of
    // these per shot, so the per-sample cost (a table look-up, no exp or sin) matters.
    std::vector<double> mv(static_cast<size_t>(p.sampleLength), 0.0);
    if (p.noiseMv > 0.0) {
        GaussianStream noise(p.seed);
        for (double& v : mv)
            v = p.noiseMv * noise.next();
    }
    addWave(p, periodUs, mv);
    for (int k = 0; k < p.sampleLength; ++k)
        out[k] = static_cast<uint16_t>(toCode(mv[k], p.gain, truth.clipped));

    const double peakIndex = (truth.firstPeakUs - p.delayUs) / p.sampleIntervalUs;
    const double nearest = std::round(peakIndex);
    if (p.amplitudeMv != 0.0 && nearest >= 0.0 && nearest < p.sampleLength) {
        truth.firstPeakIndex = static_cast<int>(nearest);
        const double tau = p.delayUs + nearest * p.sampleIntervalUs - p.arrivalUs;
        const double mv = tau >= 0.0 ? p.amplitudeMv * unitWave(tau / periodUs) : 0.0;
        bool ignored = false;
        truth.firstPeakCode = toCode(mv, p.gain, ignored);
    }
    return truth;
}

std::vector<uint16_t> synthWaveform(const WaveformParams& params, WaveformTruth* truth) {
    std::vector<uint16_t> samples(static_cast<size_t>(std::max(params.sampleLength, 0)));
    const WaveformTruth t = synthWaveform(params, std::span<uint16_t>(samples));
    if (truth) *truth = t;
    return samples;
}

}  // namespace lx9::sim
