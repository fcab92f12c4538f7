// The maths functions of the simulated match, computed with + - * / alone so that every
// build (GCC on x86-64, clang on wasm32, any C library) gets the same bits from the
// same arguments. C libraries differ in the last bit of sin and pow; a rollback match
// between two of them would drift apart. Each is within an ulp of the C library's
// result (tests/state/det_math_test.cpp).
//
// sqrt needs no version of its own: IEEE 754 rounds it correctly everywhere. What is
// only drawn (particles, camera shake) keeps the C library.
#pragma once

// Any file of the match built with -ffast-math would lose the point of these.
#if defined(__FAST_MATH__)
#error "the simulated match must not be built with -ffast-math"
#endif

// Radians; accurate for |x| up to 1e8 (every timer of a match stays below), the same
// bits on every build beyond, though less accurate, and 0 (sin) or 1 (cos) from 2^52
// on. NaN for infinities and NaN.
double det_sin(double x);
double det_cos(double x);
double det_exp(double x);
// Natural logarithm; NaN below zero, -inf at zero.
double det_log(double x);
// x to the y with the C library's special cases (pow(x, 0) is 1, a negative x takes
// only an integer y, ...).
double det_pow(double x, double y);
