#include "analysis/variance_pick.h"

#include <algorithm>
#include <cmath>

namespace lx9 {
namespace {

constexpr int kLast = kVarianceLength - 1;  // 511

// Whole part of a value that may be far beyond any index, as a double (no integer overflow).
double truncated(double x) {
    return std::trunc(x);
}

}  // namespace

int VarianceWindow(double mainFrequencyHz, double dtMicros) {
    if (!(mainFrequencyHz > 0) || !(dtMicros > 0) || !std::isfinite(mainFrequencyHz) ||
        !std::isfinite(dtMicros)) {
        return 0;
    }
    const double w = truncated(truncated(1000000.0 / mainFrequencyHz) / dtMicros);
    // Anything longer than the examined samples finds nothing; keep it representable.
    if (w > 1000000.0) return 1000000;
    const int even = 2 * (static_cast<int>(w) / 2);
    return std::max(even, 2);
}

void DeviationSeries(const VarianceSeries& s, int w, VarianceSeries& d) {
    const int last = kLast - w;
    for (int i = 0; i <= last; ++i) {
        const double rise = s[i + w] - s[i];
        double sum = 0;
        for (int j = 0; j <= w; ++j) {
            const double r = s[i + j] - s[i] - rise * j / w;
            sum += r * r;
        }
        d[i] = std::sqrt(sum / (w + 1));
    }
    for (int i = last + 1; i < kVarianceLength; ++i)
        d[i] = d[last];
}

int FindExcursion(const VarianceSeries& d, int w, double multiplier, int ref, int from, bool forward) {
    ref = std::clamp(ref, 0, kLast);
    const int p = forward ? ref : std::max(ref - w, 0);
    const int q = forward ? std::min(ref + w, kLast) : ref;
    const int count = q - p + 1;
    double mean = 0;
    for (int k = p; k <= q; ++k)
        mean += d[k];
    mean /= count;
    double var = 0;
    for (int k = p; k <= q; ++k)
        var += (d[k] - mean) * (d[k] - mean);
    const double limit = multiplier * std::sqrt(var / count);

    int begin = -1;
    for (int k = std::max(from, 0); k <= kLast; ++k) {
        const double excess = d[k] - mean;
        if (begin < 0) {
            if (excess > limit) begin = k;
        } else if (excess < limit) {
            if (k - begin >= 2 * w) return begin;
            begin = -1;  // too short: forget it and scan on
        }
    }
    return begin >= 0 ? begin : kLast;
}

VariancePicker::VariancePicker(const uint16_t* samples, int n, const VarianceSettings& settings)
    : settings_(settings), w_(settings.window) {
    const int available = samples ? std::clamp(n, 0, kVarianceLength) : 0;
    for (int i = 0; i < kVarianceLength; ++i)
        s_[i] = i < available ? samples[i] : 2048.0;
    usable_ = w_ >= 1 && w_ <= kLast;
    // A quarter window of 0 would stall the refinement's steps of w and 2w; 1 is the least.
    quarter_ = std::max(w_ / 4, 1);
    if (usable_) DeviationSeries(s_, w_, d_);
}

int VariancePicker::FindExcursion(int ref, int from, bool forward) const {
    return lx9::FindExcursion(d_, w_, settings_.multiplier, ref, from, forward);
}

int VariancePicker::CoarseArrival() const {
    if (!usable_) return 0;
    int a = std::max(settings_.start, 0);
    bool forward = true;
    for (;;) {
        if (a > kLast - w_) return 0;
        const bool scannedForward = forward;
        const int f = FindExcursion(a, a, forward);
        if (f == kLast) return kLast;
        forward = false;
        const int r = f > w_ ? f : std::min(w_ + 1, kLast);
        const int c = FindExcursion(r, r, false);
        if (c == kLast) return kLast;
        const int e = FindExcursion(r, std::min(c + w_ / 2, kLast), false);
        if (e == 0) return 0;
        if (e - c < w_) return c;
        const int next = std::max(e - w_, 0);
        // The start never moves back; when it stays put on a backward pass the next pass would
        // repeat this one exactly, for ever: settle for the current bracket.
        if (next == a && !scannedForward) return c;
        a = next;
    }
}

VariancePicker::Line VariancePicker::fit(int p, int q) const {
    p = std::clamp(p, 0, kLast);
    q = std::clamp(q, p, kLast);
    const double n = q - p + 1;
    double si = 0, ss = 0, sii = 0, sis = 0;
    for (int i = p; i <= q; ++i) {
        si += i;
        ss += s_[i];
        sii += static_cast<double>(i) * i;
        sis += i * s_[i];
    }
    Line line;
    const double den = n * sii - si * si;
    line.k = std::fabs(den) <= 1e-6 ? 1e10 : (n * sis - si * ss) / den;
    line.b = (ss - line.k * si) / n;
    double sum = 0;
    for (int i = p; i <= q; ++i) {
        const double r = s_[i] - line.k * i - line.b;
        sum += r * r;
    }
    line.rho = std::sqrt(sum / n);
    return line;
}

int64_t VariancePicker::meanAbsResidual(int p, int q, const Line& line) const {
    p = std::clamp(p, 0, kLast);
    q = std::clamp(q, p, kLast);
    // Summed into a whole number, the fraction dropped after every addition.
    int64_t sum = 0;
    for (int i = p; i <= q; ++i) {
        double r = std::trunc(std::fabs(s_[i] - line.k * i - line.b));
        if (!(r < 1e15)) r = 1e15;  // a degenerate line's residuals stay countable
        sum += static_cast<int64_t>(r);
    }
    return sum / (q - p + 1);
}

int VariancePicker::RefineArrival(int c) const {
    if (!usable_) return 0;
    c = std::clamp(c, 0, kLast);
    const int w = quarter_;
    const double m = settings_.multiplier;
    int lo = std::max(c - 4 * w, 0);
    int hi = c;
    Line line = fit(lo, hi);
    double ls = 2 * m * static_cast<double>(meanAbsResidual(lo, hi, line));
    double ts = m * line.rho;
    double reach = std::fabs(line.k) <= 1e-8 ? 9999 : truncated(std::fabs(2 * line.rho / line.k));

    int s0 = -1;
    bool accepted = false;
    int i = c;
    while (i < kLast) {
        const double r = std::fabs(s_[i] - line.k * i - line.b);
        if (r <= ts) {
            ++i;
            continue;
        }
        if (s0 < 0) {
            if (std::abs(i - hi) < reach) {
                s0 = i;
                i += w;
                continue;
            }
            // Too far from the fitted stretch to trust the line: slide the fit along.
            lo = std::min(lo + 2 * w, kLast);
            hi = std::min(hi + 2 * w, kLast);
            line = fit(lo, hi);
            ls = 2 * m * static_cast<double>(meanAbsResidual(lo, hi, line));
            ts = m * line.rho;
            reach = std::fabs(line.k) <= 1e-7 ? 9999 : truncated(std::fabs(1.5 * line.rho / line.k));
            i = hi;
            continue;
        }
        if (i - s0<2 * w&& static_cast<double>(meanAbsResidual(s0, std::min(s0 + w, kLast), line))> ls) {
            accepted = true;
            break;
        }
        s0 = -1;
        ++i;
    }
    if (!accepted) return 0;

    // Direction of the first swing, seen from the baseline under the accepted sample.
    const double level = line.k * s0 + line.b;
    const bool rising = s_[s0] >= level;
    int arrival = AdjustByTangent(s0, rising);
    if (rising != settings_.firstWavePositive) {
        // The swing found has the opposite sign of the expected first wave, so that wave was too
        // weak to stand out: step back by the length of the swing found (its next change of
        // sign more than w samples on) and place the onset again with the expected direction.
        for (int j = s0 + w + 1; j <= kLast; ++j) {
            if ((s_[j] >= level) != (s_[j - 1] >= level)) {
                arrival = std::max(arrival - (j - s0), 0);
                arrival = AdjustByTangent(arrival, settings_.firstWavePositive);
                break;
            }
        }
    }
    return arrival;
}

int VariancePicker::AdjustByTangent(int s, bool rising) const {
    const int w = quarter_;
    if (!(s - w > 0 && s + 2 * w < kLast)) {
        if (!rising && s < w) return 0;
        return std::clamp(s, 0, kLast);
    }
    double v = 0, f = 0, g = 0, h = 0;
    for (int j = -w; j <= w; ++j) {
        const Line t = fit(s + j, s + w + j);
        if (t.k > v) {
            v = t.k;
            f = t.b;
        }
        if (t.k < g) {
            g = t.k;
            h = t.b;
        }
    }
    double t = 0;
    if (settings_.tangentToBaseline) {
        // Where the steepest rising tangent meets the baseline before the wave.
        const Line base = fit(std::max(0, s - 7 * w), std::max(0, s - w));
        if (rising && v > 0 && std::fabs(base.k - v) > 1e-7) t = truncated((f - base.b) / (base.k - v));
    } else if (rising && v > 1e-7) {
        t = truncated(std::fabs(f / v));
    } else if (!rising && g < -1e-7) {
        t = truncated(std::fabs(h / g));
    }
    const double arrival = std::fabs(s - t) < w ? t : s;
    return static_cast<int>(std::clamp(arrival, 0.0, static_cast<double>(kLast)));
}

int VariancePicker::Pick() const {
    if (!usable_) return kVarianceNotFound;
    const int c = CoarseArrival();
    if (c < 1 || c > kLast - 1) return kVarianceNotFound;
    return RefineArrival(c);
}

int PickByVariance(const uint16_t* samples, int n, const VarianceSettings& settings) {
    return VariancePicker(samples, n, settings).Pick();
}

}  // namespace lx9
