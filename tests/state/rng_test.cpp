#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <set>

#include "app/rng.h"

namespace {

// Reference outputs computed independently from the published algorithms.
TEST(Rng, SplitMixMatchesReferenceOutputs) {
    std::uint64_t state = 1234567;
    EXPECT_EQ(splitmix64_next(state), 0x599ed017fb08fc85ull);
    EXPECT_EQ(splitmix64_next(state), 0x2c73f08458540fa5ull);
    EXPECT_EQ(splitmix64_next(state), 0x883ebce5a3f27c77ull);
    EXPECT_EQ(splitmix64_next(state), 0x3fbef740e9177b3full);
    EXPECT_EQ(splitmix64_next(state), 0xe3b8346708cb5ecdull);

    state = 0;
    EXPECT_EQ(splitmix64_next(state), 0xe220a8397b1dcdafull);
}

TEST(Rng, XoshiroStepMatchesReferenceOutputs) {
    Rng rng;
    rng.s[0] = 1;
    rng.s[1] = 2;
    rng.s[2] = 3;
    rng.s[3] = 4;
    const std::array<std::uint64_t, 6> expected = {
        0x2800001ull,       0x3800067ull,          0xcc00003800067ull,
        0xcc201994400b2ull, 0x8012a2019ac433cdull, 0x8a69978acdee33baull,
    };
    for (std::uint64_t e : expected) EXPECT_EQ(rng_next(rng), e);
}

TEST(Rng, SeedingFillsStateFromFourSplitMixOutputs) {
    Rng rng;
    seed_rng(rng, 0);
    EXPECT_EQ(rng.s[0], 0xe220a8397b1dcdafull);
    EXPECT_EQ(rng.s[1], 0x6e789e6aa1b965f4ull);
    EXPECT_EQ(rng.s[2], 0x06c45d188009454full);
    EXPECT_EQ(rng.s[3], 0xf88bb8a8724c81ecull);
    EXPECT_EQ(rng_next(rng), 0x53175d61490b23dfull);
    EXPECT_EQ(rng_next(rng), 0x61da6f3dc380d507ull);

    seed_rng(rng, 1234567);
    EXPECT_EQ(rng_next(rng), 0x0610e053dd55ab68ull);
    EXPECT_EQ(rng_next(rng), 0x70c979e26e27fbacull);
}

TEST(Rng, OsSeedGivesANonZeroStateAndDiffersBetweenCalls) {
    Rng a;
    Rng b;
    const std::uint64_t sa = seed_rng_from_os(a);
    const std::uint64_t sb = seed_rng_from_os(b);
    EXPECT_NE(sa, sb);
    EXPECT_FALSE(a.s[0] == 0 && a.s[1] == 0 && a.s[2] == 0 && a.s[3] == 0);
    Rng check;
    seed_rng(check, sa);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(check.s[i], a.s[i]);
}

TEST(Rng, RangedDrawsStayInTheirClosedRange) {
    Rng rng;
    seed_rng(rng, 7);
    std::set<std::int64_t> seen;
    for (int i = 0; i < 20000; ++i) {
        const std::int64_t v = rng_range(rng, -50, 50);
        ASSERT_GE(v, -50);
        ASSERT_LE(v, 50);
        seen.insert(v);
    }
    EXPECT_EQ(seen.size(), 101u);  // both ends are reachable

    for (int i = 0; i < 1000; ++i) ASSERT_EQ(rng_range(rng, 5, 5), 5);
    EXPECT_EQ(rng_range(rng, 9, 3), 9);  // an empty range gives its lower end
    EXPECT_EQ(rng_below(rng, 0), 0u);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(rng_below(rng, 1), 0u);

    // The extreme ranges must not overflow.
    for (int i = 0; i < 1000; ++i) {
        rng_range(rng, INT64_MIN, INT64_MAX);
        const std::int64_t w = rng_range(rng, INT64_MAX - 1, INT64_MAX);
        ASSERT_GE(w, INT64_MAX - 1);
        const std::int64_t x = rng_range(rng, INT64_MIN, INT64_MIN + 2);
        ASSERT_LE(x, INT64_MIN + 2);
    }
}

// Chi-square over small ranges: a biased reduction (plain modulo of a small draw, an
// off-by-one end) shows up at these sample sizes.
double chi_square(const std::uint64_t *counts, int n, int samples) {
    const double expected = static_cast<double>(samples) / n;
    double chi = 0.0;
    for (int i = 0; i < n; ++i) {
        const double d = static_cast<double>(counts[i]) - expected;
        chi += d * d / expected;
    }
    return chi;
}

TEST(Rng, SmallRangesAreUniform) {
    Rng rng;
    seed_rng(rng, 42);
    for (int n : {2, 3, 4, 7, 8, 12}) {
        std::uint64_t counts[12] = {};
        const int samples = 120000;
        for (int i = 0; i < samples; ++i) {
            const std::uint64_t v = rng_below(rng, static_cast<std::uint64_t>(n));
            ASSERT_LT(v, static_cast<std::uint64_t>(n));
            counts[v]++;
        }
        // 99.9th percentile of chi-square with up to 11 degrees of freedom is 31.3.
        EXPECT_LT(chi_square(counts, n, samples), 31.3) << "n = " << n;
    }
}

TEST(Rng, RejectionKeepsHugeRangesUnbiased) {
    // With n just above 2^63 a plain modulo would put two thirds of the draws in the
    // lower half; an unbiased draw splits them evenly.
    Rng rng;
    seed_rng(rng, 3);
    const std::uint64_t n = (1ull << 63) + (1ull << 62);
    int low = 0;
    const int samples = 40000;
    for (int i = 0; i < samples; ++i) {
        if (rng_below(rng, n) < n / 2) ++low;
    }
    EXPECT_NEAR(static_cast<double>(low) / samples, 0.5, 0.02);
}

TEST(Rng, FloatsLieInTheHalfOpenUnitInterval) {
    Rng rng;
    seed_rng(rng, 11);
    double sum = 0.0;
    double lowest = 1.0;
    const int samples = 100000;
    for (int i = 0; i < samples; ++i) {
        const double f = rng_float(rng);
        ASSERT_GE(f, 0.0);
        ASSERT_LT(f, 1.0);
        sum += f;
        lowest = std::min(lowest, f);
    }
    EXPECT_NEAR(sum / samples, 0.5, 0.01);
    EXPECT_LT(lowest, 0.001);
}

}  // namespace
