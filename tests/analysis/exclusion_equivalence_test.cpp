// The fast exclusions against the literal ones on many random sections: identical bits.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "analysis/section_statistics.h"

namespace lx9 {
namespace {

// A section of velocities in km/s of one of several shapes: sound concrete, defects, ties
// (values on a coarse grid), constant, absent values, a few values only.
std::vector<float> randomSection(std::mt19937& rng, int size) {
    std::uniform_int_distribution<int> shapeDist(0, 9);
    const int shape = shapeDist(rng);
    std::normal_distribution<float> sound(4.2f, 0.15f + 0.1f * (rng() % 3));
    std::uniform_real_distribution<float> defect(1.5f, 3.8f);
    std::vector<float> v(static_cast<size_t>(size));
    for (float& x : v) {
        x = sound(rng);
        switch (shape) {
            case 0:
                x = std::round(x * 20.0f) / 20.0f;
                break;  // many ties
            case 1:
                x = 4.25f;
                break;  // constant
            case 2:
                if (rng() % 8 == 0) x = defect(rng);
                break;
            case 3:
                if (rng() % 10 == 0) x = rng() % 2 ? -1e21f : std::numeric_limits<float>::quiet_NaN();
                break;
            case 4:
                if (rng() % 5 == 0) x = 12.0f;  // above the Guangdong cap
                break;
            case 5:
                x = std::ldexp(1.0f, -static_cast<int>(rng() % 30));
                break;  // geometric tail
            default:
                if (rng() % 40 == 0) x = defect(rng);
        }
    }
    return v;
}

uint32_t bits(float f) {
    return std::bit_cast<uint32_t>(f);
}

void expectSame(const std::vector<float>& values, int index, bool twoSided = true) {
    std::vector<float> sorted = values;
    if (!sorted.empty()) SortDescending(sorted.data(), 0, static_cast<int>(sorted.size()) - 1);
    const int n = static_cast<int>(sorted.size());
    for (FactorRule rule : {FactorRule::Lambda60, FactorRule::Lambda70, FactorRule::Two}) {
        const float fast = ExcludeLow(sorted.data(), n, rule);
        const float literal = ExcludeLowLiteral(sorted.data(), n, rule);
        ASSERT_EQ(bits(fast), bits(literal)) << "section " << index << " (" << n << " values), rule "
                                             << static_cast<int>(rule) << ": " << fast << " vs " << literal;
    }
    if (!twoSided) return;
    const DbjSectionResult fast = SectionCriticalVelocityDbj(values);
    const DbjSectionResult literal = SectionCriticalVelocityDbjLiteral(values);
    ASSERT_EQ(fast.status, literal.status) << "section " << index;
    ASSERT_EQ(bits(fast.criticalVelocity), bits(literal.criticalVelocity)) << "section " << index;
}

TEST(ExclusionEquivalence, TenThousandRandomSections) {
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int> small(0, 12);
    std::uniform_int_distribution<int> medium(13, 300);
    for (int i = 0; i < 10000; ++i) {
        const int size = i % 3 == 0 ? small(rng) : medium(rng);
        expectSame(randomSection(rng, size), i);
        if (HasFatalFailure()) return;
    }
}

TEST(ExclusionEquivalence, EdgeSizes) {
    std::mt19937 rng(5);
    expectSame({}, -1);
    expectSame({4.1f}, -2);
    expectSame({4.1f, 3.9f}, -3);
    expectSame({4.1f, 4.1f}, -4);
    // Constant, the largest list. The two-sided passes shrink a constant sample by one value at
    // each end per pass, which the literal procedure pays quadratically: a smaller one for it.
    expectSame(std::vector<float>(65535, 3.95f), -5, false);
    expectSame(std::vector<float>(3001, 3.95f), -6);
}

// A full-size list: sound concrete with a defect zone at each end of the distribution.
TEST(ExclusionEquivalence, LargestSection) {
    std::mt19937 rng(65535);
    std::uniform_real_distribution<float> sound(4.0f, 4.4f);
    std::vector<float> v(65535);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = i % 4000 == 7 ? 3.0f + 0.0001f * (i % 97) : sound(rng);
    v[100] = 11.0f;
    v[200] = 5.2f;
    expectSame(v, -7);
}

}  // namespace
}  // namespace lx9
