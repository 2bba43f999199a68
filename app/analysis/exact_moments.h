// Mean and standard deviation of a changing sample of float values, from exact integer sums.
//
// Every finite float is an integer multiple of 2^-149, so the sums of the values and of their
// squares are kept as exact fixed-point integers (640 bits hold any 2^31 finite floats). Adding
// or removing a value is exact and O(1); the mean and the deviation are one deterministic
// function of the exact sums. The exclusion procedures rely on this: a sample reached by cutting
// values off a running sum gives bit for bit the statistics of the same sample summed afresh, and
// a constant sample has a deviation of exactly 0.
#pragma once

#include <array>
#include <cstdint>

namespace lx9 {

class ExactMoments {
  public:
    // v must be finite.
    void add(float v);
    // v must have been added before.
    void remove(float v);
    void clear();

    int64_t count() const { return n_; }
    // Arithmetic mean; 0 for an empty sample.
    double mean() const;
    // sqrt(Σ(v − mean)² / (n − 1)); 0 for fewer than two values.
    double deviation() const;

    static constexpr int kLimbs = 10;
    using Wide = std::array<uint64_t, kLimbs>;  // little-endian limbs

  private:
    Wide sum_{};    // Σ v · 2^149, two's complement
    Wide sumSq_{};  // Σ v² · 2^298, never negative
    int64_t n_ = 0;
};

}  // namespace lx9
