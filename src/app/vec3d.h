// The game's own 3-vector of 64-bit floats. Gameplay positions, velocities and sizes
// use it; it is narrowed to raylib's Vector3 only where raylib is called.
#pragma once

#include <numbers>

#include "raylib.h"

// pi in f64, for the gameplay and camera maths that run in f64.
inline constexpr double pi = std::numbers::pi;

struct Vec3d {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

constexpr Vec3d operator+(Vec3d a, Vec3d b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
constexpr Vec3d operator-(Vec3d a, Vec3d b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
constexpr Vec3d operator*(Vec3d a, double s) { return {a.x * s, a.y * s, a.z * s}; }
constexpr Vec3d operator*(double s, Vec3d a) { return a * s; }
constexpr bool operator==(Vec3d a, Vec3d b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

constexpr Vec3d lerp(Vec3d a, Vec3d b, double t) { return a + (b - a) * t; }

inline Vector3 to_vector3(Vec3d v) {
    return Vector3{static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}
inline Vec3d to_vec3d(Vector3 v) { return Vec3d{v.x, v.y, v.z}; }
