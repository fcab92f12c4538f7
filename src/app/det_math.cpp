#include "app/det_math.h"

#include <cstdint>
#include <cstring>
#include <limits>

// Dekker's products and Knuth's sums below are exact only when every operation rounds
// on its own: no fused multiply-add (the build passes -ffp-contract=off), no fast-math.

namespace {

constexpr double nan_value = std::numeric_limits<double>::quiet_NaN();
constexpr double inf_value = std::numeric_limits<double>::infinity();

// A value as an unevaluated sum hi + lo, |lo| at most half an ulp of hi: about 106 bits.
struct Twin {
    double hi;
    double lo;
};

// a + b exactly, for any a and b.
Twin two_sum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    const double err = (a - (s - bb)) + (b - bb);
    return {s, err};
}

// a + b exactly, when |a| >= |b| (or a is zero).
Twin quick_two_sum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

// Veltkamp's split: hi holds the top 26 bits of a, lo the rest, both exact.
Twin split(double a) {
    const double c = 134217729.0 * a;  // 2^27 + 1
    const double hi = c - (c - a);
    return {hi, a - hi};
}

// a * b exactly (no overflow for the magnitudes used here).
Twin two_prod(double a, double b) {
    const double p = a * b;
    const Twin sa = split(a);
    const Twin sb = split(b);
    const double err = ((sa.hi * sb.hi - p) + sa.hi * sb.lo + sa.lo * sb.hi) + sa.lo * sb.lo;
    return {p, err};
}

// a + b for twins.
Twin plus(Twin a, Twin b) {
    const Twin s = two_sum(a.hi, b.hi);
    return quick_two_sum(s.hi, s.lo + (a.lo + b.lo));
}

// a * b for twins, to about 2^-104 of the product.
Twin times(Twin a, Twin b) {
    const Twin p = two_prod(a.hi, b.hi);
    return quick_two_sum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

// Through memcpy: the browser build's C++ library has no std::bit_cast.
double with_bits(std::uint64_t bits) {
    double x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}
std::uint64_t bits_of(double x) {
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}
double magnitude(double x) { return x < 0.0 ? -x : x; }

// 2^k for a normal exponent, -1022 <= k <= 1023.
double two_to(int k) { return with_bits(static_cast<std::uint64_t>(k + 1023) << 52); }

// x * 2^k, rounded once where the result is subnormal.
double scale_by_two_to(double x, int k) {
    if (k > 1023) return x * two_to(1023) * two_to(k - 1023);
    if (k < -1022) return x * two_to(k + 1000) * two_to(-1000);
    return x * two_to(k);
}

// Nearest integer to x, ties away from zero; |x| < 2^62.
std::int64_t nearest(double x) { return static_cast<std::int64_t>(x < 0.0 ? x - 0.5 : x + 0.5); }

// ---------------------------------------------------------------- sin and cos

// pi/2 in five parts, the first four of at most 27 bits each, so that k times a part is
// exact for |k| < 2^26: the reduction keeps about 160 bits of pi/2.
constexpr double pio2_parts[5] = {0x1.921fb54000000p+0, 0x1.10b4610000000p-30, 0x1.a626330000000p-58,
                                  0x1.45c06e0000000p-86, 0x1.cd129024e088ap-115};
constexpr double two_over_pi = 0x1.45f306dc9c883p-1;

// x minus the nearest multiple k of pi/2, as a twin, and k's quadrant (k mod 4).
struct Reduced {
    Twin r;
    int quadrant;
};

Reduced reduce_quarter_turns(double x) {
    if (magnitude(x) <= 0x1.921fb54442d18p-1) return {{x, 0.0}, 0};  // |x| <= pi/4
    // Far beyond any angle of a match: no bits of the angle are left below a turn.
    if (magnitude(x) >= 0x1p52) return {{0.0, 0.0}, 0};
    const std::int64_t k = nearest(x * two_over_pi);
    const double kd = static_cast<double>(k);
    // For |k| < 2^26 (|x| up to 1e8) k * part 0 is exact and lies within pi/4 of x:
    // their difference is exact too. Beyond, the bits are still the same everywhere.
    double hi = x - kd * pio2_parts[0];
    double lo = 0.0;
    for (int i = 1; i < 4; ++i) {
        const Twin d = two_sum(hi, -(kd * pio2_parts[i]));
        hi = d.hi;
        lo += d.lo;
    }
    lo -= kd * pio2_parts[4];
    return {quick_two_sum(hi, lo), static_cast<int>(k & 3)};
}

// sin(x + y) for |x| <= pi/4, |y| tiny: Taylor's series to x^17 (its remainder is below
// 2^-63 of the result here), with y's first-order share.
double sin_kernel(double x, double y) {
    const double z = x * x;
    const double p =
        -0x1.5555555555555p-3 +
        z * (0x1.1111111111111p-7 +
             z * (-0x1.a01a01a01a01ap-13 +
                  z * (0x1.71de3a556c734p-19 +
                       z * (-0x1.ae64567f544e4p-26 +
                            z * (0x1.6124613a86d09p-33 + z * (-0x1.ae7f3e733b81fp-41 + z * 0x1.952c77030ad4ap-49))))));
    return x + ((z * x) * p + y * (1.0 - 0.5 * z));
}

// cos(x + y) for |x| <= pi/4, |y| tiny: Taylor's series to x^18. 1 - x^2/2 is formed
// with its rounding error kept, as that term is the largest.
double cos_kernel(double x, double y) {
    const double z = x * x;
    const double q =
        0x1.5555555555555p-5 +
        z * (-0x1.6c16c16c16c17p-10 +
             z * (0x1.a01a01a01a01ap-16 +
                  z * (-0x1.27e4fb7789f5cp-22 +
                       z * (0x1.1eed8eff8d898p-29 +
                            z * (-0x1.93974a8c07c9dp-37 + z * (0x1.ae7f3e733b81fp-45 + z * -0x1.6827863b97d97p-53))))));
    const double half = 0.5 * z;
    const double w = 1.0 - half;
    return w + (((1.0 - w) - half) + ((z * z) * q - x * y));
}

// sin(x + quarter * pi/2) for the reduced x.
double sin_of_quadrant(Reduced red, int quarter) {
    const Twin r = red.r;
    switch ((red.quadrant + quarter) & 3) {
    case 0:
        return sin_kernel(r.hi, r.lo);
    case 1:
        return cos_kernel(r.hi, r.lo);
    case 2:
        return -sin_kernel(r.hi, r.lo);
    default:
        return -cos_kernel(r.hi, r.lo);
    }
}

bool finite(double x) { return x - x == 0.0; }

// ---------------------------------------------------------------- log and exp

constexpr double ln2_hi = 0x1.62e42fefa3800p-1;  // 42 bits: k * ln2_hi is exact for |k| < 2^11
constexpr double ln2_lo = 0x1.ef35793c76730p-45;
constexpr double inv_ln2 = 0x1.71547652b82fep+0;
constexpr double sqrt2 = 0x1.6a09e667f3bcdp+0;

// log(x) as a twin for a finite x > 0, good to about 2^-62 of the result.
Twin log_twin(double x) {
    int e = 0;
    if (x < 0x1p-1022) {  // subnormal: make it normal first
        x *= 0x1p54;
        e = -54;
    }
    const std::uint64_t bits = bits_of(x);
    e += static_cast<int>(bits >> 52) - 1023;
    double m = with_bits((bits & 0x000fffffffffffffull) | 0x3ff0000000000000ull);  // [1, 2)
    if (m > sqrt2) {
        m *= 0.5;
        e += 1;
    }
    // log(m) = 2 atanh(s) with s = (m - 1) / (m + 1), |s| <= 0.172.
    const double f = m - 1.0;  // exact
    const Twin d = quick_two_sum(2.0, f);
    const double s = f / d.hi;
    const Twin sd = two_prod(s, d.hi);
    const double s_lo = (((f - sd.hi) - sd.lo) - s * d.lo) / d.hi;
    // 2 atanh(s) = 2s + s^3 (2/3 + 2/5 s^2 + ...): to s^25, whose remainder is below 2^-62.
    // The s^3 term carries nearly all of the series, so it is formed as a twin too.
    const Twin s2 = times({s, s_lo}, {s, s_lo});
    const double z = s2.hi;
    double t = 0x1.47ae147ae147bp-4;
    constexpr double atanh_coefficients[10] = {
        0x1.642c8590b2164p-4, 0x1.8618618618618p-4, 0x1.af286bca1af28p-4, 0x1.e1e1e1e1e1e1ep-4, 0x1.1111111111111p-3,
        0x1.3b13b13b13b14p-3, 0x1.745d1745d1746p-3, 0x1.c71c71c71c71cp-3, 0x1.2492492492492p-2, 0x1.999999999999ap-2};
    for (double c : atanh_coefficients) t = c + z * t;
    const Twin series = quick_two_sum(0x1.5555555555555p-1, 0x1.5555555555555p-55 + z * t);  // 2/3 + ...
    const Twin s3 = times(times({s, s_lo}, s2), series);
    const Twin two_s = quick_two_sum(2.0 * s, 2.0 * s_lo);
    const Twin lm = plus(two_s, s3);
    // Plus e log 2; e * ln2_hi is exact.
    const double ed = static_cast<double>(e);
    return plus(two_sum(ed * ln2_hi, ed * ln2_lo), lm);
}

// exp(hi + lo) for a twin with |lo| tiny.
double exp_twin(double hi, double lo) {
    if (hi > 709.79) return inf_value;
    if (hi < -745.14) return 0.0;
    const std::int64_t k = nearest(hi * inv_ln2);
    const double kd = static_cast<double>(k);
    // |r| <= ln2 / 2 (a little more from inv_ln2's rounding); hi - k ln2_hi is exact.
    const Twin r = two_sum(hi - kd * ln2_hi, lo - kd * ln2_lo);
    // exp(r) = 1 + r + r^2 (1/2 + r/6 + ...): Taylor's series to r^14 (remainder below
    // 2^-60 here). 1 + r is summed exactly; the rest is small beside it.
    constexpr double exp_coefficients[12] = {0x1.6124613a86d09p-33, 0x1.1eed8eff8d898p-29, 0x1.ae64567f544e4p-26,
                                             0x1.27e4fb7789f5cp-22, 0x1.71de3a556c734p-19, 0x1.a01a01a01a01ap-16,
                                             0x1.a01a01a01a01ap-13, 0x1.6c16c16c16c17p-10, 0x1.1111111111111p-7,
                                             0x1.5555555555555p-5,  0x1.5555555555555p-3,  0x1.0000000000000p-1};
    double q = 0x1.93974a8c07c9dp-37;
    for (double c : exp_coefficients) q = c + r.hi * q;
    const double rest = (r.hi * r.hi) * q;
    const Twin one_plus_r = two_sum(1.0, r.hi);
    // exp(r.hi + r.lo) = exp(r.hi) (1 + r.lo), to within r.lo^2.
    const double e = one_plus_r.hi + (one_plus_r.lo + (rest + r.lo * (one_plus_r.hi + rest)));
    return scale_by_two_to(e, static_cast<int>(k));
}

// 0 for a y that is not an integer, 1 for an odd one, 2 for an even one.
int integer_kind(double y) {
    const double a = magnitude(y);
    if (!finite(a)) return 0;
    if (a >= 0x1p53) return 2;  // every double this large is an even integer
    const std::int64_t i = static_cast<std::int64_t>(a);
    if (static_cast<double>(i) != a) return 0;
    return (i & 1) != 0 ? 1 : 2;
}

}  // namespace

double det_sin(double x) {
    if (!finite(x)) return nan_value;
    if (x == 0.0) return x;  // keeps the sign of zero
    return sin_of_quadrant(reduce_quarter_turns(x), 0);
}

double det_cos(double x) {
    if (!finite(x)) return nan_value;
    return sin_of_quadrant(reduce_quarter_turns(x), 1);
}

double det_exp(double x) {
    if (x != x) return nan_value;
    return exp_twin(x, 0.0);
}

double det_log(double x) {
    if (x != x || x < 0.0) return nan_value;
    if (x == 0.0) return -inf_value;
    if (x == inf_value) return inf_value;
    const Twin l = log_twin(x);
    return l.hi + l.lo;
}

double det_pow(double x, double y) {
    if (y == 0.0 || x == 1.0) return 1.0;
    if (x != x || y != y) return nan_value;
    if (!finite(y)) {
        const double a = magnitude(x);
        if (a == 1.0) return 1.0;  // pow(-1, +-inf)
        return (a < 1.0) == (y < 0.0) ? inf_value : 0.0;
    }
    const int kind = integer_kind(y);
    // A negative base takes integer exponents only; the sign follows an odd one.
    double sign = 1.0;
    if ((bits_of(x) >> 63) != 0) {
        if (kind == 1) sign = -1.0;
        if (x < 0.0 && kind == 0 && finite(x)) return nan_value;
        x = -x;
    }
    if (x == 1.0) return sign;  // (-1)^y
    if (x == 0.0) return y > 0.0 ? sign * 0.0 : sign * inf_value;
    if (x == inf_value) return y > 0.0 ? sign * inf_value : sign * 0.0;
    const Twin l = log_twin(x);
    const double guess = y * l.hi;
    if (guess > 710.0) return sign * inf_value;
    if (guess < -746.0) return sign * 0.0;
    const Twin p = two_prod(y, l.hi);
    const Twin t = quick_two_sum(p.hi, p.lo + y * l.lo);
    return sign * exp_twin(t.hi, t.lo);
}
