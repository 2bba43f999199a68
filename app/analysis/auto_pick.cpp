#include "analysis/auto_pick.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace lx9 {
namespace {

struct HalfWave {
    double start = 0;      // zero crossing before it, in samples
    double end = 0;        // zero crossing after it
    double magnitude = 0;  // largest |y| inside
    int peak = 0;          // sample of that magnitude
    double width() const { return end - start; }
};

// x minus its centred moving average of `width` samples, the ends padded with the end values.
std::vector<double> detrend(const uint16_t* samples, int n, int width) {
    std::vector<double> x(n), prefix(n + 1, 0.0);
    for (int k = 0; k < n; ++k) {
        x[k] = samples[k] - 2048.0;
        prefix[k + 1] = prefix[k] + x[k];
    }
    const int half = width / 2;
    std::vector<double> y(n);
    for (int k = 0; k < n; ++k) {
        const int a = k - half;
        const int b = k + half;
        const int lo = std::max(a, 0);
        const int hi = std::min(b, n - 1);
        double sum = prefix[hi + 1] - prefix[lo];
        if (a < 0) sum += static_cast<double>(-a) * x[0];
        if (b > n - 1) sum += static_cast<double>(b - (n - 1)) * x[n - 1];
        y[k] = x[k] - sum / width;
    }
    return y;
}

// Half waves of y[p … q] between consecutive zero crossings, each crossing placed by linear
// interpolation. A run of exact zeros counts as the side it leaves, so a wave rising out of a
// silent trace starts at the last silent sample.
std::vector<HalfWave> halfWaves(const std::vector<double>& y, int p, int q) {
    std::vector<HalfWave> waves;
    double lastCrossing = -1;
    int firstAfter = -1;
    for (int k = p; k < q; ++k) {
        const bool up = y[k] <= 0 && y[k + 1] > 0;
        const bool down = y[k] >= 0 && y[k + 1] < 0;
        if (!up && !down) continue;
        const double crossing = k + y[k] / (y[k] - y[k + 1]);
        if (firstAfter >= 0) {
            HalfWave w;
            w.start = lastCrossing;
            w.end = crossing;
            w.peak = firstAfter;
            for (int j = firstAfter; j <= k; ++j) {
                if (std::fabs(y[j]) > w.magnitude) {
                    w.magnitude = std::fabs(y[j]);
                    w.peak = j;
                }
            }
            waves.push_back(w);
        }
        lastCrossing = crossing;
        firstAfter = k + 1;
    }
    return waves;
}

// Mean half-wave width (samples) of the strong half waves, 0 when there are none. Strong: width ×
// magnitude at least the average; then, while two or more remain, the larger magnitudes and the
// widths within two standard deviations of their mean.
double strongHalfWidth(const std::vector<HalfWave>& waves) {
    if (waves.empty()) return 0;
    double average = 0;
    for (const HalfWave& w : waves)
        average += w.width() * w.magnitude;
    average /= static_cast<double>(waves.size());
    std::vector<HalfWave> strong;
    for (const HalfWave& w : waves) {
        if (w.width() * w.magnitude >= average) strong.push_back(w);
    }
    if (strong.empty()) return 0;

    auto narrow = [&strong](auto keep) {
        std::vector<HalfWave> kept;
        for (const HalfWave& w : strong) {
            if (keep(w)) kept.push_back(w);
        }
        if (kept.size() >= 2) strong = std::move(kept);
    };
    double meanMagnitude = 0;
    for (const HalfWave& w : strong)
        meanMagnitude += w.magnitude;
    meanMagnitude /= static_cast<double>(strong.size());
    narrow([&](const HalfWave& w) { return w.magnitude >= meanMagnitude; });

    double meanWidth = 0, spread = 0;
    for (const HalfWave& w : strong)
        meanWidth += w.width();
    meanWidth /= static_cast<double>(strong.size());
    for (const HalfWave& w : strong)
        spread += (w.width() - meanWidth) * (w.width() - meanWidth);
    spread = std::sqrt(spread / static_cast<double>(strong.size()));
    narrow([&](const HalfWave& w) { return std::fabs(w.width() - meanWidth) <= 2 * spread; });

    double width = 0;
    for (const HalfWave& w : strong)
        width += w.width();
    return width / static_cast<double>(strong.size());
}

// Sample after which the trace's variance changes most (Akaike criterion over [p, q]).
int aicOnset(const std::vector<double>& y, int p, int q) {
    if (q - p < 4) return p;
    double s1 = 0, s2 = 0;
    double t1 = 0, t2 = 0;
    for (int k = p; k <= q; ++k) {
        t1 += y[k];
        t2 += y[k] * y[k];
    }
    constexpr double kTiny = 1e-12;
    const double count = q - p + 1;
    if (t2 / count - (t1 / count) * (t1 / count) <= kTiny) return p;  // nothing changes in here
    int best = p;
    double bestValue = std::numeric_limits<double>::infinity();
    for (int k = p; k < q; ++k) {
        s1 += y[k];
        s2 += y[k] * y[k];
        const double n1 = k - p + 1;
        const double n2 = q - k;
        if (n1 < 2 || n2 < 2) continue;
        const double v1 = std::max(s2 / n1 - (s1 / n1) * (s1 / n1), 0.0) + kTiny;
        const double r1 = t1 - s1, r2 = t2 - s2;
        const double v2 = std::max(r2 / n2 - (r1 / n2) * (r1 / n2), 0.0) + kTiny;
        const double value = n1 * std::log(v1) + n2 * std::log(v2);
        if (value < bestValue) {
            bestValue = value;
            best = k + 1;  // first sample of the louder part
        }
    }
    return best;
}

// Onset of a half wave: where the secant over the steepest step of its leading flank meets the
// baseline, kept between the lobe's leading zero crossing and its peak. On a clean trace that is
// the crossing itself; on a noisy one it ignores the noise the lobe may have started on.
double lobeOnset(const std::vector<double>& z, const HalfWave& w, int lo) {
    const int first = std::max(static_cast<int>(std::floor(w.start)), lo);
    const double sign = z[w.peak] >= 0 ? 1.0 : -1.0;
    int steepest = -1;
    double slope = 0;
    for (int k = first; k < w.peak; ++k) {
        const double step = sign * (z[k + 1] - z[k]);
        if (step > slope) {
            slope = step;
            steepest = k;
        }
    }
    if (steepest < 0) return w.start;
    const double onset = steepest - sign * z[steepest] / slope;
    return std::clamp(onset, w.start, static_cast<double>(w.peak));
}

// Detection and extension levels of the final search, in units of the background level
// (mean |y|): a half wave this far above the background starts the wave; weaker ones just before
// it still belong to it.
constexpr double kDetectLevel = 5.0;
constexpr double kExtendLevel = 4.0;

// 1. Detrend over one period of a third of the nominal frequency, an odd number of samples.
std::vector<double> detrendTrace(const uint16_t* samples, int n, double dt, double nominal) {
    const double widthSamples = std::trunc(1000000.0 / (nominal / 3) / dt);
    int width = static_cast<int>(std::clamp(widthSamples, 1.0, 2.0 * n + 1));
    if (width % 2 == 0) ++width;
    return detrend(samples, n, width);
}

// 2–3. The dominant frequency from the half waves, the nominal one where it is implausible;
// returns the period in samples.
double measurePeriod(const std::vector<HalfWave>& waves, int n, double dt, double nominal,
                     AutoPickDetail& out) {
    const double halfWidth = strongHalfWidth(waves);
    double frequency = halfWidth > 0 ? 1000000.0 / (2 * halfWidth * dt) : 0;
    out.frequencyMeasured =
        std::isfinite(frequency) && frequency >= nominal / 1.6 && frequency <= nominal * 1.6;
    if (!out.frequencyMeasured) frequency = nominal;
    out.frequency = frequency;
    // At least 7 samples; at most the trace, beyond which every window is padding anyway.
    const double period =
        std::clamp(1000000.0 / (frequency * dt), 7.0, std::max(7.0, static_cast<double>(n)));
    out.period = period;
    return period;
}

// The mean levels around each sample that the candidate search compares.
struct RiseLevels {
    std::vector<double> ahead;   // over the next period
    std::vector<double> behind;  // over the two periods before
    std::vector<double> ratio;   // ahead / behind, behind never below the floor
    double floor = 0;            // the trace's noise floor
    int backLength = 0;          // samples in `behind`'s window
};

// 4. Ratio of the mean level over the next period to the mean level over the two before.
RiseLevels riseLevels(const std::vector<double>& y, int n, double period, AutoPickDetail& out) {
    RiseLevels r;
    std::vector<double> level(n + 1, 0.0);
    for (int k = 0; k < n; ++k)
        level[k + 1] = level[k] + std::fabs(y[k]);
    auto meanLevel = [&](int p, int count) { return (level[p + count] - level[p]) / count; };
    const int forwardLength = static_cast<int>(std::trunc(period + 0.5));
    const int backLength = static_cast<int>(std::trunc(2 * period + 0.5));
    r.backLength = backLength;
    const int tailCount = std::min(n, std::max(3, forwardLength / 10));
    const int headCount = std::min(n, std::max(3, backLength / 10));
    const double tailPad = meanLevel(n - tailCount, tailCount);
    const double headPad = meanLevel(0, headCount);

    r.ahead.resize(n);
    r.behind.resize(n);
    for (int k = 0; k < n; ++k) {
        const int end = std::min(k + forwardLength, n);
        r.ahead[k] =
            (level[end] - level[k] + static_cast<double>(k + forwardLength - end) * tailPad) / forwardLength;
        const int first = k - backLength + 1;
        const int begin = std::max(first, 0);
        r.behind[k] =
            (level[k + 1] - level[begin] + static_cast<double>(begin - first) * headPad) / backLength;
    }
    const auto [minIt, maxIt] = std::minmax_element(r.behind.begin(), r.behind.end());
    const double bMax = *maxIt;
    r.floor = std::max({*minIt, 0.01 * bMax, 1e-12});
    if (bMax < 1e-7) r.floor = bMax;
    out.snr = r.floor > 0 ? bMax / r.floor : 0;

    r.ratio.resize(n);
    for (int k = 0; k < n; ++k) {
        const double den = std::max(r.behind[k], r.floor);
        r.ratio[k] = den > 0 ? r.ahead[k] / den : 0;
    }
    return r;
}

// 5. The main candidate (the strongest rise) and its alternatives: the strongest rise before
// the main one's flank, and after it. Returns the rise taken as the arrival.
int chooseCandidate(const RiseLevels& r, const std::vector<HalfWave>& waves, int n, double period,
                    AutoPickDetail& out) {
    const std::vector<double>& ratio = r.ratio;
    int candidate = static_cast<int>(std::max_element(ratio.begin(), ratio.end()) - ratio.begin());
    const double rMax = ratio[candidate];
    auto counts = [&](int k) { return ratio[k] > 3 && ratio[k] >= 0.5 * rMax; };
    int j = candidate - 1;
    while (j >= 0 && ratio[j] >= 1.2)
        --j;
    if (j >= 0) {
        int best = j;
        for (int k = j - 1; k >= 0; --k) {
            if (ratio[k] > ratio[best]) best = k;
        }
        if (counts(best)) out.earlier = best;
    }
    j = candidate + 1;
    while (j < n && ratio[j] >= 1)
        ++j;
    if (j < n) {
        const int best = static_cast<int>(std::max_element(ratio.begin() + j, ratio.end()) - ratio.begin());
        if (counts(best)) out.later = best;
    }
    // A rise that starts a wave has, within a period and a half, a half wave of about the
    // dominant width standing well above the level before it; a lone spike or a drift has not.
    const double narrowest = std::max(2.0, 0.15 * period);
    auto startsWave = [&](int c) {
        const double background = std::max(r.behind[c], r.floor);
        for (const HalfWave& w : waves) {
            if (w.peak < c) continue;
            if (w.peak > c + 1.5 * period) break;
            if (w.width() >= narrowest && w.width() <= period && w.magnitude >= 3 * background) return true;
        }
        return false;
    };
    // Within the first two periods the level before a rise is mostly padding, and on a conditioned
    // trace quieter still while the filters settle, so noise there can look like a rise. Such a
    // rise must also stand out against the typical level measured on real samples (the median of
    // B after the padded stretch) by the counting ratio.
    double typical = r.floor;
    if (r.backLength < n) {
        std::vector<double> rest(r.behind.begin() + r.backLength, r.behind.end());
        std::nth_element(rest.begin(), rest.begin() + rest.size() / 2, rest.end());
        typical = std::max(rest[rest.size() / 2], r.floor);
    }
    auto isArrival = [&](int c) { return (c >= r.backLength || r.ahead[c] > 3 * typical) && startsWave(c); };
    // The first arrival is the earliest wave: a counting earlier rise that starts one wins,
    // wherever it lies. The one guard beyond that: a main rise that is no arrival itself (a spike,
    // or noise after a quiet start) yields to a counting later one that is.
    if (out.earlier >= 0 && isArrival(out.earlier)) {
        candidate = out.earlier;
    } else if (out.later >= 0 && !isArrival(candidate) && isArrival(out.later)) {
        candidate = out.later;
    }
    out.candidate = candidate;
    out.ratio = ratio[candidate];
    return candidate;
}

// 6. Final search in candidate ± 2P, on the trace less its level before the arrival (the
// centred average of step 1 would echo the wave half a width early). The variance change
// (Akaike criterion) gives the neighbourhood; the first half wave from a period before it that
// stands well above the background starts the wave, weaker half waves just before it that
// still match it are taken in, and the onset is the leading zero crossing. The first peak is
// that first half wave's extremum.
void findArrival(const uint16_t* samples, int n, int candidate, double period, const RiseLevels& r,
                 AutoPickDetail& out) {
    const int lo = static_cast<int>(std::clamp(std::trunc(candidate + 0.5 - 2 * period), 0.0, n - 1.0));
    const int hi = static_cast<int>(std::clamp(std::trunc(candidate + 0.5 + 2 * period), 0.0, n - 1.0));
    std::vector<double> x(n);
    for (int k = 0; k < n; ++k)
        x[k] = samples[k] - 2048.0;
    const int onset = aicOnset(x, lo, hi);

    // Background: the samples before the onset, from three periods back, skipping the first half
    // period of the trace where a conditioned trace is still settling.
    const int settle = std::min(static_cast<int>(period / 2), std::max(onset - lo - 3, 0));
    const int bgFrom = std::max({lo, onset - static_cast<int>(3 * period), settle});
    const int bgTo = onset - static_cast<int>(period / 4);
    double baseline = 0;
    double background = 0;
    if (bgTo - bgFrom >= 3) {
        for (int k = bgFrom; k < bgTo; ++k)
            baseline += x[k];
        baseline /= bgTo - bgFrom;
        for (int k = bgFrom; k < bgTo; ++k)
            background += std::fabs(x[k] - baseline);
        background /= bgTo - bgFrom;
    } else {
        background = std::max(r.behind[lo], r.floor);
    }
    // A stretch the filters have quietened (or true silence) would put the detection level at the
    // start-up ripple or the first noise lobe: the background is never taken below the trace's
    // noise floor of the candidate search.
    double quietest = r.floor;
    if (r.backLength < n) quietest = *std::min_element(r.behind.begin() + r.backLength, r.behind.end());
    background = std::max({background, r.floor, quietest});
    std::vector<double>& z = x;
    for (int k = lo; k <= hi; ++k)
        z[k] -= baseline;
    const std::vector<HalfWave> local = halfWaves(z, lo, hi);

    double arrival = onset;
    int peak = -1;
    const double from = std::max(static_cast<double>(lo), onset - period);
    int first = -1;
    for (int i = 0; i < static_cast<int>(local.size()); ++i) {
        const HalfWave& w = local[i];
        if (w.peak < from || w.end - lobeOnset(z, w, lo) > period) continue;
        if (w.magnitude >= std::max(kDetectLevel * background, 2.0)) {
            first = i;
            break;
        }
    }
    if (first >= 0) {
        const double detected = local[first].magnitude;
        while (first > 0) {
            const HalfWave& before = local[first - 1];
            if (before.end - lobeOnset(z, before, lo) > period ||
                before.magnitude < std::max({kExtendLevel * background, 0.3 * detected, 1.0})) {
                break;
            }
            --first;
        }
        arrival = std::max(lobeOnset(z, local[first], lo), 0.0);
        peak = local[first].peak;
    } else {
        for (const HalfWave& w : local) {
            if (w.peak > arrival) {
                peak = w.peak;
                break;
            }
        }
    }
    if (peak <= arrival) peak = static_cast<int>(std::floor(arrival)) + 1;
    if (peak > n - 1) {
        peak = n - 1;
        arrival = std::min(arrival, n - 2.0);
    }
    out.arrival = arrival;
    out.peak = peak;
}

}  // namespace

AutoPickDetail PickAutoDetailed(const uint16_t* samples, int n, double dt, double startTime, double nominal) {
    AutoPickDetail out;
    if (!samples || n <= 0 || !(dt > 0) || !std::isfinite(dt) || !(nominal > 0) || !std::isfinite(nominal)) {
        return out;
    }
    if (n == 1) return out;

    const std::vector<double> y = detrendTrace(samples, n, dt, nominal);
    const std::vector<HalfWave> waves = halfWaves(y, 0, n - 1);
    const double period = measurePeriod(waves, n, dt, nominal, out);
    const RiseLevels levels = riseLevels(y, n, period, out);
    const int candidate = chooseCandidate(levels, waves, n, period, out);
    findArrival(samples, n, candidate, period, levels, out);

    // 7. Times after the delay, whole microseconds. On the axis t_k = startTime + k·dt that is
    // k·dt, computed directly so that the delay's rounding cannot shave a microsecond off.
    (void)startTime;
    out.times.arrivalTime = std::trunc(out.arrival * dt);
    if (out.times.arrivalTime < 0) out.times.arrivalTime = std::trunc(dt);
    out.times.peakTime = std::trunc(out.peak * dt);
    return out;
}

AutoPick PickAuto(const uint16_t* samples, int n, double dt, double startTime, double nominalHz) {
    return PickAutoDetailed(samples, n, dt, startTime, nominalHz).times;
}

}  // namespace lx9
