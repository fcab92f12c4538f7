// The match's own maths against the C library: within one ulp over sweeps that cross
// the range-reduction edges, reach the largest arguments a match can give, and take
// the special values; plus the identities that hold bit for bit.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "app/det_math.h"

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// Distance in representable doubles; both NaN counts as equal.
std::uint64_t ulps_apart(double a, double b) {
    if (a != a || b != b) return a != a && b != b ? 0 : ~0ull;
    auto ordered = [](double x) {
        const auto i = std::bit_cast<std::int64_t>(x);
        return i < 0 ? std::numeric_limits<std::int64_t>::min() - i : i;
    };
    const std::int64_t d = ordered(a) - ordered(b);
    return static_cast<std::uint64_t>(d < 0 ? -d : d);
}

using Fn = double (*)(double);

TEST(DetMath, WithinAnUlpOfTheCLibraryOverEachSweep) {
    const struct Row {
        const char *what;
        Fn ours, theirs;
        double from, to;  // swept evenly, or by equal ratios when `ratio`
        bool ratio;
    } rows[] = {
        {"sin", det_sin, [](double x) { return std::sin(x); }, -10.0, 10.0, false},
        {"cos", det_cos, [](double x) { return std::cos(x); }, -10.0, 10.0, false},
        {"sin, tiny", det_sin, [](double x) { return std::sin(x); }, 1e-300, 1.0, true},
        {"sin of a wobble (9 x a timer up to 1e7 s)", det_sin, [](double x) { return std::sin(x); }, 1.0, 9e7, true},
        {"cos, large", det_cos, [](double x) { return std::cos(x); }, 1.0, 1e8, true},
        {"exp", det_exp, [](double x) { return std::exp(x); }, -746.0, 710.0, false},
        {"exp, near zero", det_exp, [](double x) { return std::exp(x); }, -1.0, 1.0, false},
        {"log", det_log, [](double x) { return std::log(x); }, 4.9e-324, 1.7e308, true},
        {"log, near one", det_log, [](double x) { return std::log(x); }, 0.5, 2.0, false},
        {"x^0.3 of the jump's lift", [](double x) { return det_pow(x, 0.3); },
         [](double x) { return std::pow(x, 0.3); }, 0.0, 1e7, false},
        {"0.7^angle of the squash", [](double x) { return det_pow(0.7, x); }, [](double x) { return std::pow(0.7, x); },
         0.0, 7.0, false},
        {"2^(-0.15 t) of the arming", [](double t) { return det_pow(2.0, -0.15 * t); },
         [](double t) { return std::pow(2.0, -0.15 * t); }, 0.0, 7200.0, false},
        {"x^-5.5", [](double x) { return det_pow(x, -5.5); }, [](double x) { return std::pow(x, -5.5); }, 1e-50, 1e50,
         true},
        {"1.39^y, to the edge of overflow", [](double y) { return det_pow(1.39, y); },
         [](double y) { return std::pow(1.39, y); }, -2300.0, 2200.0, false},
    };
    constexpr int steps = 40000;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        std::uint64_t worst = 0;
        double worst_at = 0.0;
        for (int i = 0; i <= steps; ++i) {
            const double f = static_cast<double>(i) / steps;
            const double x = row.ratio ? row.from * std::pow(row.to / row.from, f) : row.from + (row.to - row.from) * f;
            const std::uint64_t d = ulps_apart(row.ours(x), row.theirs(x));
            if (d > worst) {
                worst = d;
                worst_at = x;
            }
        }
        EXPECT_LE(worst, 1u) << "at " << worst_at;
    }

    // Right at the edges of the quarter turns, where the reduction loses most bits.
    for (int k = -64; k <= 4000000; k = k < 64 ? k + 1 : k * 3 / 2) {
        const double edge = k * (M_PI / 4);
        for (double x = std::nextafter(edge, -inf), n = 0; n < 5; x = std::nextafter(x, inf), ++n) {
            EXPECT_LE(ulps_apart(det_sin(x), std::sin(x)), 1u) << "sin " << x;
            EXPECT_LE(ulps_apart(det_cos(x), std::cos(x)), 1u) << "cos " << x;
        }
    }

    // Special values, each against the C library, the sign of a zero included (a NaN's
    // sign is the C library's own choice).
    auto same = [](double a, double b) {
        return (a != a && b != b) || (ulps_apart(a, b) <= 1 && std::signbit(a) == std::signbit(b));
    };
    const double specials[] = {0.0,      -0.0,   1.0,     -1.0,     0.5, -2.0, 3.0,
                               4.9e-324, 1e-310, 1.7e308, -1.7e308, inf, -inf, nan};
    for (double x : specials) {
        if (!(std::abs(x) > 1e8)) {
            EXPECT_TRUE(same(det_sin(x), std::sin(x))) << "sin " << x;
            EXPECT_TRUE(same(det_cos(x), std::cos(x))) << "cos " << x;
        }
        EXPECT_TRUE(same(det_exp(x), std::exp(x))) << "exp " << x;
        EXPECT_TRUE(same(det_log(x), std::log(x))) << "log " << x;
        for (double y : specials) EXPECT_TRUE(same(det_pow(x, y), std::pow(x, y))) << "pow " << x << " " << y;
    }
}

TEST(DetMath, IdentitiesHoldBitForBit) {
    for (double x = 1e-9; x < 1e8; x *= 1.37) {
        EXPECT_EQ(det_sin(-x), -det_sin(x)) << x;
        EXPECT_EQ(det_cos(-x), det_cos(x)) << x;
        EXPECT_EQ(det_pow(x, 1.0), x) << x;
    }
    // Powers of two come out exact, down to the smallest subnormal.
    for (int k = -1074; k <= 1023; ++k) EXPECT_EQ(det_pow(2.0, k), std::ldexp(1.0, k)) << k;
    EXPECT_EQ(det_pow(-2.0, 3.0), -8.0);
    EXPECT_EQ(det_exp(0.0), 1.0);
    EXPECT_EQ(det_log(1.0), 0.0);
}

}  // namespace
