#include "analysis/signal_filter.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace lx9 {

double rnd(double x) {
    if (x > 0) return std::trunc(x + 0.5);
    if (x < 0) return std::trunc(x - 0.5);
    return x;
}

void ButterworthLowPass(const float* x, float* y, size_t m, double dtSeconds, double fc) {
    if (m == 0) return;
    if (dtSeconds == 0.0) {
        if (x != y) std::copy(x, x + m, y);
        return;
    }
    const double pi = std::numbers::pi;
    const double fs = 1.0 / dtSeconds;
    const double a = pi * pi * fc * fc;
    const double b = std::numbers::sqrt2 * pi * fc * fs;
    const double d = a + fs * fs + b;
    const double b0 = a / d;
    const double c1 = (2 * fs * fs - 2 * a) / d;
    const double c2 = (a + fs * fs - b) / d;

    // The x terms are the unfiltered input, kept aside because y may overwrite x.
    double x2 = x[0];
    double u2 = x[0];
    y[0] = x[0];
    if (m == 1) return;
    double x1 = x[1];
    double u1 = x[1];
    y[1] = x[1];
    for (size_t n = 2; n < m; ++n) {
        const double xn = x[n];
        const double u = c1 * u1 - c2 * u2 + b0 * (xn + 2 * x1 + x2);
        y[n] = static_cast<float>(rnd(u));
        x2 = x1;
        x1 = xn;
        u2 = u1;
        u1 = u;
    }
}

void ButterworthHighPass(const float* x, float* y, size_t m, double dtSeconds, double fc) {
    if (m == 0) return;
    const double k = std::tan(std::numbers::pi * fc * dtSeconds);
    const double d = 1 + std::numbers::sqrt2 * k + k * k;
    const double b0 = 1 / d;
    const double c1 = 2 * (1 - k * k) / d;
    const double c2 = (1 - std::numbers::sqrt2 * k + k * k) / d;

    double x2 = x[0];
    double u2 = b0 * x2;
    y[0] = static_cast<float>(rnd(u2));
    if (m == 1) return;
    double x1 = x[1];
    double u1 = b0 * (x1 - 2 * x2) + c1 * u2;
    y[1] = static_cast<float>(rnd(u1));
    for (size_t n = 2; n < m; ++n) {
        const double xn = x[n];
        const double u = b0 * (xn - 2 * x1 + x2) + c1 * u1 - c2 * u2;
        y[n] = static_cast<float>(rnd(u));
        x2 = x1;
        x1 = xn;
        u2 = u1;
        u1 = u;
    }
}

void ConditionWave(uint16_t* samples, int n, double dt, double highCutHz, double lowCutHz) {
    if (!samples || n <= 0) return;

    // Lead length: the samples in 10 µs, 8 … 32. A zero, negative or absurd dt lands on a bound.
    const double lead = std::trunc(10.0 / dt);
    const int e = lead >= 32.0 ? 32 : (lead >= 8.0 ? static_cast<int>(lead) : 8);

    // Least-squares slope of the first E samples (fewer when the trace is shorter).
    const int fitCount = std::min(e, n);
    double sk = 0, sx = 0, skk = 0, skx = 0;
    for (int k = 0; k < fitCount; ++k) {
        const double xk = samples[k] - 2048.0;
        sk += k;
        sx += xk;
        skk += static_cast<double>(k) * k;
        skx += k * xk;
    }
    const double den = fitCount * skk - sk * sk;
    double slope = std::fabs(den) <= 1e-6 ? 1e10 : (fitCount * skx - sk * sx) / den;

    // The lead-in runs the trace back along that slope, limited to one converter range.
    const int l = 4 * e;
    const double h = l;
    if (-h * slope > 2047) {
        slope = -2047 / h;
    } else if (-h * slope < -2048) {
        slope = 2048 / h;
    }
    std::vector<float> y(static_cast<size_t>(n) + l);
    const double x0 = rnd(samples[0] - 2048.0);
    for (int k = 0; k < l; ++k)
        y[k] = static_cast<float>(rnd(x0 - slope * (l - k)));
    for (int k = 0; k < n; ++k)
        y[l + k] = static_cast<float>(samples[k] - 2048);

    const double dtSeconds = dt / 1000000.0;
    ButterworthLowPass(y.data(), y.data(), y.size(), dtSeconds, lowCutHz);
    ButterworthHighPass(y.data(), y.data(), y.size(), dtSeconds, std::trunc(highCutHz));

    for (int k = 0; k < n; ++k) {
        double z = y[l + k];
        // An unstable setting (a dt that puts the high-pass corner past half the sampling rate)
        // can blow the recursion up; such values saturate instead of wrapping the 16-bit word.
        if (std::isnan(z)) z = 0.0;
        if (z < -2048) z = -2048;
        const double code = std::trunc(z + 2048);
        samples[k] = static_cast<uint16_t>(std::min(code, 65535.0));
    }
}

}  // namespace lx9
