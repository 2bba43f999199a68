#include "analysis/exact_moments.h"

#include <bit>
#include <cmath>

namespace lx9 {
namespace {

using Wide = ExactMoments::Wide;
constexpr int kLimbs = ExactMoments::kLimbs;
constexpr int kScale = 149;  // 2^-149 is the smallest float step

// A finite float as ±m · 2^(k − 149), m < 2^24, k ≥ 0.
struct Parts {
    uint64_t m;
    int k;
    bool negative;
};

Parts split(float v) {
    const uint32_t bits = std::bit_cast<uint32_t>(v);
    const uint32_t exponent = (bits >> 23) & 0xFF;
    const uint32_t fraction = bits & 0x7FFFFF;
    if (exponent == 0) return {fraction, 0, (bits >> 31) != 0};
    return {fraction | 0x800000u, static_cast<int>(exponent) - 1, (bits >> 31) != 0};
}

void addShifted(Wide& a, uint64_t x, int shift) {
    const int limb = shift / 64;
    const int offset = shift % 64;
    const uint64_t lo = x << offset;
    const uint64_t hi = offset ? x >> (64 - offset) : 0;
    unsigned __int128 carry = 0;
    for (int i = limb; i < kLimbs; ++i) {
        uint64_t add = i == limb ? lo : i == limb + 1 ? hi : 0;
        if (add == 0 && carry == 0 && i > limb + 1) break;
        carry += static_cast<unsigned __int128>(a[i]) + add;
        a[i] = static_cast<uint64_t>(carry);
        carry >>= 64;
    }
}

void subShifted(Wide& a, uint64_t x, int shift) {
    const int limb = shift / 64;
    const int offset = shift % 64;
    const uint64_t lo = x << offset;
    const uint64_t hi = offset ? x >> (64 - offset) : 0;
    uint64_t borrow = 0;
    for (int i = limb; i < kLimbs; ++i) {
        uint64_t sub = i == limb ? lo : i == limb + 1 ? hi : 0;
        if (sub == 0 && borrow == 0 && i > limb + 1) break;
        const uint64_t before = a[i];
        const uint64_t step = before - sub;
        const uint64_t borrowA = before < sub;
        a[i] = step - borrow;
        borrow = borrowA | (step < borrow);
    }
}

bool isNegative(const Wide& a) {
    return (a[kLimbs - 1] >> 63) != 0;
}

Wide negate(const Wide& a) {
    Wide r{};
    unsigned __int128 carry = 1;
    for (int i = 0; i < kLimbs; ++i) {
        carry += static_cast<uint64_t>(~a[i]);
        r[i] = static_cast<uint64_t>(carry);
        carry >>= 64;
    }
    return r;
}

int usedLimbs(const Wide& a) {
    int n = kLimbs;
    while (n > 0 && a[n - 1] == 0)
        --n;
    return n;
}

// a·a, truncated to kLimbs (the caller's magnitudes keep it below 2^640).
Wide square(const Wide& a) {
    Wide r{};
    const int n = usedLimbs(a);
    for (int i = 0; i < n; ++i) {
        unsigned __int128 carry = 0;
        for (int j = 0; j < n && i + j < kLimbs; ++j) {
            carry += static_cast<unsigned __int128>(a[i]) * a[j] + r[i + j];
            r[i + j] = static_cast<uint64_t>(carry);
            carry >>= 64;
        }
        for (int k = i + n; k < kLimbs && carry; ++k) {
            carry += r[k];
            r[k] = static_cast<uint64_t>(carry);
            carry >>= 64;
        }
    }
    return r;
}

Wide multiply(const Wide& a, uint64_t m) {
    Wide r{};
    unsigned __int128 carry = 0;
    for (int i = 0; i < kLimbs; ++i) {
        carry += static_cast<unsigned __int128>(a[i]) * m;
        r[i] = static_cast<uint64_t>(carry);
        carry >>= 64;
    }
    return r;
}

// a − b for a ≥ b; false (and r untouched) when a < b.
bool subtract(const Wide& a, const Wide& b, Wide& r) {
    Wide out{};
    uint64_t borrow = 0;
    for (int i = 0; i < kLimbs; ++i) {
        const uint64_t step = a[i] - b[i];
        const uint64_t borrowA = a[i] < b[i];
        out[i] = step - borrow;
        borrow = borrowA | (step < borrow);
    }
    if (borrow) return false;
    r = out;
    return true;
}

// Unsigned value as long double, from its two top limbs (deterministic rounding).
long double toLongDouble(const Wide& a) {
    const int n = usedLimbs(a);
    if (n == 0) return 0.0L;
    long double v = static_cast<long double>(a[n - 1]);
    if (n >= 2) v = std::ldexp(v, 64) + static_cast<long double>(a[n - 2]);
    return std::ldexp(v, 64 * (n >= 2 ? n - 2 : n - 1));
}

}  // namespace

void ExactMoments::add(float v) {
    const Parts p = split(v);
    if (p.negative) {
        subShifted(sum_, p.m, p.k);
    } else {
        addShifted(sum_, p.m, p.k);
    }
    addShifted(sumSq_, p.m * p.m, 2 * p.k);
    ++n_;
}

void ExactMoments::remove(float v) {
    const Parts p = split(v);
    if (p.negative) {
        addShifted(sum_, p.m, p.k);
    } else {
        subShifted(sum_, p.m, p.k);
    }
    subShifted(sumSq_, p.m * p.m, 2 * p.k);
    --n_;
}

void ExactMoments::clear() {
    *this = ExactMoments{};
}

double ExactMoments::mean() const {
    if (n_ <= 0) return 0.0;
    const bool negative = isNegative(sum_);
    const long double magnitude = std::ldexp(toLongDouble(negative ? negate(sum_) : sum_), -kScale);
    const long double m = magnitude / static_cast<long double>(n_);
    return static_cast<double>(negative ? -m : m);
}

double ExactMoments::deviation() const {
    if (n_ < 2) return 0.0;
    // n·Σv² − (Σv)² = n·Σ(v − mean)², exact.
    const Wide magnitude = isNegative(sum_) ? negate(sum_) : sum_;
    Wide spread{};
    if (!subtract(multiply(sumSq_, static_cast<uint64_t>(n_)), square(magnitude), spread)) return 0.0;
    const long double n = static_cast<long double>(n_);
    const long double variance = std::ldexp(toLongDouble(spread), -2 * kScale) / (n * (n - 1));
    return static_cast<double>(std::sqrt(variance));
}

}  // namespace lx9
