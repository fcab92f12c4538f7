// Vector, matrix and quaternion helpers with raymath's names and conventions.
//
// Matrix layout: m0, m4, m8, m12 is the first row (translation in m12, m13, m14);
// points are column vectors, so a matrix M maps v to M·v. MatrixMultiply(a, b)
// means "apply a, then b" (the product b·a). Angles are in radians.
#ifndef RAYMATH_H
#define RAYMATH_H

#include <math.h>

#include "raylib.h"

#ifndef RMAPI
#define RMAPI static inline
#endif

#ifndef EPSILON
#define EPSILON 0.000001f
#endif

typedef struct float3 {
    float v[3];
} float3;
typedef struct float16 {
    float v[16];
} float16;

// ------------------------------------------------------------------ scalars
RMAPI float Clamp(float value, float min, float max) {
    float result = (value < min) ? min : value;
    if (result > max) result = max;
    return result;
}

RMAPI float Lerp(float start, float end, float amount) { return start + amount * (end - start); }

RMAPI float Normalize(float value, float start, float end) { return (value - start) / (end - start); }

RMAPI int FloatEquals(float x, float y) {
    float scale = fmaxf(1.0f, fmaxf(fabsf(x), fabsf(y)));
    return fabsf(x - y) <= EPSILON * scale;
}

// ------------------------------------------------------------------ Vector2
RMAPI Vector2 Vector2Zero(void) {
    Vector2 r = {0.0f, 0.0f};
    return r;
}
RMAPI Vector2 Vector2One(void) {
    Vector2 r = {1.0f, 1.0f};
    return r;
}
RMAPI Vector2 Vector2Add(Vector2 a, Vector2 b) {
    Vector2 r = {a.x + b.x, a.y + b.y};
    return r;
}
RMAPI Vector2 Vector2AddValue(Vector2 v, float add) {
    Vector2 r = {v.x + add, v.y + add};
    return r;
}
RMAPI Vector2 Vector2Subtract(Vector2 a, Vector2 b) {
    Vector2 r = {a.x - b.x, a.y - b.y};
    return r;
}
RMAPI Vector2 Vector2SubtractValue(Vector2 v, float sub) {
    Vector2 r = {v.x - sub, v.y - sub};
    return r;
}
RMAPI Vector2 Vector2Scale(Vector2 v, float s) {
    Vector2 r = {v.x * s, v.y * s};
    return r;
}
RMAPI Vector2 Vector2Multiply(Vector2 a, Vector2 b) {
    Vector2 r = {a.x * b.x, a.y * b.y};
    return r;
}
RMAPI Vector2 Vector2Negate(Vector2 v) {
    Vector2 r = {-v.x, -v.y};
    return r;
}
RMAPI float Vector2Length(Vector2 v) { return sqrtf(v.x * v.x + v.y * v.y); }
RMAPI float Vector2LengthSqr(Vector2 v) { return v.x * v.x + v.y * v.y; }
RMAPI float Vector2DotProduct(Vector2 a, Vector2 b) { return a.x * b.x + a.y * b.y; }
RMAPI float Vector2Distance(Vector2 a, Vector2 b) {
    return sqrtf((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y));
}
RMAPI float Vector2DistanceSqr(Vector2 a, Vector2 b) { return (a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y); }
RMAPI Vector2 Vector2Normalize(Vector2 v) {
    Vector2 r = {0.0f, 0.0f};
    float length = sqrtf(v.x * v.x + v.y * v.y);
    if (length > 0.0f) {
        r.x = v.x / length;
        r.y = v.y / length;
    }
    return r;
}
RMAPI Vector2 Vector2Lerp(Vector2 a, Vector2 b, float amount) {
    Vector2 r = {a.x + amount * (b.x - a.x), a.y + amount * (b.y - a.y)};
    return r;
}
RMAPI Vector2 Vector2Rotate(Vector2 v, float angle) {
    float c = cosf(angle), s = sinf(angle);
    Vector2 r = {v.x * c - v.y * s, v.x * s + v.y * c};
    return r;
}

// ------------------------------------------------------------------ Vector3
RMAPI Vector3 Vector3Zero(void) {
    Vector3 r = {0.0f, 0.0f, 0.0f};
    return r;
}
RMAPI Vector3 Vector3One(void) {
    Vector3 r = {1.0f, 1.0f, 1.0f};
    return r;
}
RMAPI Vector3 Vector3Add(Vector3 a, Vector3 b) {
    Vector3 r = {a.x + b.x, a.y + b.y, a.z + b.z};
    return r;
}
RMAPI Vector3 Vector3AddValue(Vector3 v, float add) {
    Vector3 r = {v.x + add, v.y + add, v.z + add};
    return r;
}
RMAPI Vector3 Vector3Subtract(Vector3 a, Vector3 b) {
    Vector3 r = {a.x - b.x, a.y - b.y, a.z - b.z};
    return r;
}
RMAPI Vector3 Vector3SubtractValue(Vector3 v, float sub) {
    Vector3 r = {v.x - sub, v.y - sub, v.z - sub};
    return r;
}
RMAPI Vector3 Vector3Scale(Vector3 v, float s) {
    Vector3 r = {v.x * s, v.y * s, v.z * s};
    return r;
}
RMAPI Vector3 Vector3Multiply(Vector3 a, Vector3 b) {
    Vector3 r = {a.x * b.x, a.y * b.y, a.z * b.z};
    return r;
}
RMAPI Vector3 Vector3Negate(Vector3 v) {
    Vector3 r = {-v.x, -v.y, -v.z};
    return r;
}
RMAPI Vector3 Vector3CrossProduct(Vector3 a, Vector3 b) {
    Vector3 r = {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    return r;
}
RMAPI float Vector3Length(Vector3 v) { return sqrtf(v.x * v.x + v.y * v.y + v.z * v.z); }
RMAPI float Vector3LengthSqr(Vector3 v) { return v.x * v.x + v.y * v.y + v.z * v.z; }
RMAPI float Vector3DotProduct(Vector3 a, Vector3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
RMAPI float Vector3Distance(Vector3 a, Vector3 b) {
    float dx = b.x - a.x, dy = b.y - a.y, dz = b.z - a.z;
    return sqrtf(dx * dx + dy * dy + dz * dz);
}
RMAPI float Vector3DistanceSqr(Vector3 a, Vector3 b) {
    float dx = b.x - a.x, dy = b.y - a.y, dz = b.z - a.z;
    return dx * dx + dy * dy + dz * dz;
}
RMAPI Vector3 Vector3Normalize(Vector3 v) {
    Vector3 r = v;
    float length = sqrtf(v.x * v.x + v.y * v.y + v.z * v.z);
    if (length != 0.0f) {
        float inv = 1.0f / length;
        r.x *= inv;
        r.y *= inv;
        r.z *= inv;
    }
    return r;
}
RMAPI Vector3 Vector3Lerp(Vector3 a, Vector3 b, float amount) {
    Vector3 r = {a.x + amount * (b.x - a.x), a.y + amount * (b.y - a.y), a.z + amount * (b.z - a.z)};
    return r;
}
RMAPI Vector3 Vector3Min(Vector3 a, Vector3 b) {
    Vector3 r = {fminf(a.x, b.x), fminf(a.y, b.y), fminf(a.z, b.z)};
    return r;
}
RMAPI Vector3 Vector3Max(Vector3 a, Vector3 b) {
    Vector3 r = {fmaxf(a.x, b.x), fmaxf(a.y, b.y), fmaxf(a.z, b.z)};
    return r;
}
// Applies the full matrix, translation included (w = 1).
RMAPI Vector3 Vector3Transform(Vector3 v, Matrix m) {
    Vector3 r;
    r.x = m.m0 * v.x + m.m4 * v.y + m.m8 * v.z + m.m12;
    r.y = m.m1 * v.x + m.m5 * v.y + m.m9 * v.z + m.m13;
    r.z = m.m2 * v.x + m.m6 * v.y + m.m10 * v.z + m.m14;
    return r;
}
// Rotates v by the unit quaternion q (q·v·q*).
RMAPI Vector3 Vector3RotateByQuaternion(Vector3 v, Quaternion q) {
    Vector3 r;
    r.x = v.x * (q.x * q.x + q.w * q.w - q.y * q.y - q.z * q.z) + v.y * (2 * q.x * q.y - 2 * q.w * q.z) +
          v.z * (2 * q.x * q.z + 2 * q.w * q.y);
    r.y = v.x * (2 * q.w * q.z + 2 * q.x * q.y) + v.y * (q.w * q.w - q.x * q.x + q.y * q.y - q.z * q.z) +
          v.z * (-2 * q.w * q.x + 2 * q.y * q.z);
    r.z = v.x * (-2 * q.w * q.y + 2 * q.x * q.z) + v.y * (2 * q.w * q.x + 2 * q.y * q.z) +
          v.z * (q.w * q.w - q.x * q.x - q.y * q.y + q.z * q.z);
    return r;
}
RMAPI float3 Vector3ToFloatV(Vector3 v) {
    float3 r = {{v.x, v.y, v.z}};
    return r;
}

// ------------------------------------------------------------------ Matrix
RMAPI Matrix MatrixIdentity(void) {
    Matrix r = {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};
    return r;
}

// The twelve 2×2 minors of a matrix's first two columns and of its last two; the
// determinant and the inverse are both built from them.
typedef struct RaymathMinors {
    float b00, b01, b02, b03, b04, b05, b06, b07, b08, b09, b10, b11;
} RaymathMinors;

RMAPI RaymathMinors raymath_minors(Matrix m) {
    float a00 = m.m0, a01 = m.m1, a02 = m.m2, a03 = m.m3;
    float a10 = m.m4, a11 = m.m5, a12 = m.m6, a13 = m.m7;
    float a20 = m.m8, a21 = m.m9, a22 = m.m10, a23 = m.m11;
    float a30 = m.m12, a31 = m.m13, a32 = m.m14, a33 = m.m15;
    RaymathMinors b;
    b.b00 = a00 * a11 - a01 * a10;
    b.b01 = a00 * a12 - a02 * a10;
    b.b02 = a00 * a13 - a03 * a10;
    b.b03 = a01 * a12 - a02 * a11;
    b.b04 = a01 * a13 - a03 * a11;
    b.b05 = a02 * a13 - a03 * a12;
    b.b06 = a20 * a31 - a21 * a30;
    b.b07 = a20 * a32 - a22 * a30;
    b.b08 = a20 * a33 - a23 * a30;
    b.b09 = a21 * a32 - a22 * a31;
    b.b10 = a21 * a33 - a23 * a31;
    b.b11 = a22 * a33 - a23 * a32;
    return b;
}

RMAPI float raymath_minors_determinant(RaymathMinors b) {
    return b.b00 * b.b11 - b.b01 * b.b10 + b.b02 * b.b09 + b.b03 * b.b08 - b.b04 * b.b07 + b.b05 * b.b06;
}

RMAPI float MatrixDeterminant(Matrix m) { return raymath_minors_determinant(raymath_minors(m)); }

RMAPI Matrix MatrixTranspose(Matrix m) {
    Matrix r;
    r.m0 = m.m0;
    r.m1 = m.m4;
    r.m2 = m.m8;
    r.m3 = m.m12;
    r.m4 = m.m1;
    r.m5 = m.m5;
    r.m6 = m.m9;
    r.m7 = m.m13;
    r.m8 = m.m2;
    r.m9 = m.m6;
    r.m10 = m.m10;
    r.m11 = m.m14;
    r.m12 = m.m3;
    r.m13 = m.m7;
    r.m14 = m.m11;
    r.m15 = m.m15;
    return r;
}

// General 4×4 inverse by cofactors. A singular matrix gives non-finite values, as
// a division by a zero determinant would; callers pass invertible transforms.
RMAPI Matrix MatrixInvert(Matrix m) {
    float a00 = m.m0, a01 = m.m1, a02 = m.m2, a03 = m.m3;
    float a10 = m.m4, a11 = m.m5, a12 = m.m6, a13 = m.m7;
    float a20 = m.m8, a21 = m.m9, a22 = m.m10, a23 = m.m11;
    float a30 = m.m12, a31 = m.m13, a32 = m.m14, a33 = m.m15;
    RaymathMinors minors = raymath_minors(m);
    float b00 = minors.b00, b01 = minors.b01, b02 = minors.b02, b03 = minors.b03, b04 = minors.b04, b05 = minors.b05;
    float b06 = minors.b06, b07 = minors.b07, b08 = minors.b08, b09 = minors.b09, b10 = minors.b10, b11 = minors.b11;
    float inv = 1.0f / raymath_minors_determinant(minors);
    Matrix r;
    r.m0 = (a11 * b11 - a12 * b10 + a13 * b09) * inv;
    r.m1 = (-a01 * b11 + a02 * b10 - a03 * b09) * inv;
    r.m2 = (a31 * b05 - a32 * b04 + a33 * b03) * inv;
    r.m3 = (-a21 * b05 + a22 * b04 - a23 * b03) * inv;
    r.m4 = (-a10 * b11 + a12 * b08 - a13 * b07) * inv;
    r.m5 = (a00 * b11 - a02 * b08 + a03 * b07) * inv;
    r.m6 = (-a30 * b05 + a32 * b02 - a33 * b01) * inv;
    r.m7 = (a20 * b05 - a22 * b02 + a23 * b01) * inv;
    r.m8 = (a10 * b10 - a11 * b08 + a13 * b06) * inv;
    r.m9 = (-a00 * b10 + a01 * b08 - a03 * b06) * inv;
    r.m10 = (a30 * b04 - a31 * b02 + a33 * b00) * inv;
    r.m11 = (-a20 * b04 + a21 * b02 - a23 * b00) * inv;
    r.m12 = (-a10 * b09 + a11 * b07 - a12 * b06) * inv;
    r.m13 = (a00 * b09 - a01 * b07 + a02 * b06) * inv;
    r.m14 = (-a30 * b03 + a31 * b01 - a32 * b00) * inv;
    r.m15 = (a20 * b03 - a21 * b01 + a22 * b00) * inv;
    return r;
}

RMAPI Matrix MatrixAdd(Matrix a, Matrix b) {
    Matrix r;
    const float *pa = &a.m0, *pb = &b.m0;
    float *pr = &r.m0;
    for (int i = 0; i < 16; i++) pr[i] = pa[i] + pb[i];
    return r;
}

// "Apply a, then b": the product b·a in column-vector notation.
RMAPI Matrix MatrixMultiply(Matrix a, Matrix b) {
    Matrix r;
    r.m0 = b.m0 * a.m0 + b.m4 * a.m1 + b.m8 * a.m2 + b.m12 * a.m3;
    r.m4 = b.m0 * a.m4 + b.m4 * a.m5 + b.m8 * a.m6 + b.m12 * a.m7;
    r.m8 = b.m0 * a.m8 + b.m4 * a.m9 + b.m8 * a.m10 + b.m12 * a.m11;
    r.m12 = b.m0 * a.m12 + b.m4 * a.m13 + b.m8 * a.m14 + b.m12 * a.m15;
    r.m1 = b.m1 * a.m0 + b.m5 * a.m1 + b.m9 * a.m2 + b.m13 * a.m3;
    r.m5 = b.m1 * a.m4 + b.m5 * a.m5 + b.m9 * a.m6 + b.m13 * a.m7;
    r.m9 = b.m1 * a.m8 + b.m5 * a.m9 + b.m9 * a.m10 + b.m13 * a.m11;
    r.m13 = b.m1 * a.m12 + b.m5 * a.m13 + b.m9 * a.m14 + b.m13 * a.m15;
    r.m2 = b.m2 * a.m0 + b.m6 * a.m1 + b.m10 * a.m2 + b.m14 * a.m3;
    r.m6 = b.m2 * a.m4 + b.m6 * a.m5 + b.m10 * a.m6 + b.m14 * a.m7;
    r.m10 = b.m2 * a.m8 + b.m6 * a.m9 + b.m10 * a.m10 + b.m14 * a.m11;
    r.m14 = b.m2 * a.m12 + b.m6 * a.m13 + b.m10 * a.m14 + b.m14 * a.m15;
    r.m3 = b.m3 * a.m0 + b.m7 * a.m1 + b.m11 * a.m2 + b.m15 * a.m3;
    r.m7 = b.m3 * a.m4 + b.m7 * a.m5 + b.m11 * a.m6 + b.m15 * a.m7;
    r.m11 = b.m3 * a.m8 + b.m7 * a.m9 + b.m11 * a.m10 + b.m15 * a.m11;
    r.m15 = b.m3 * a.m12 + b.m7 * a.m13 + b.m11 * a.m14 + b.m15 * a.m15;
    return r;
}

RMAPI Matrix MatrixTranslate(float x, float y, float z) {
    Matrix r = MatrixIdentity();
    r.m12 = x;
    r.m13 = y;
    r.m14 = z;
    return r;
}

RMAPI Matrix MatrixScale(float x, float y, float z) {
    Matrix r = MatrixIdentity();
    r.m0 = x;
    r.m5 = y;
    r.m10 = z;
    return r;
}

// Counter-clockwise rotation by angle (radians) about axis (normalised here).
RMAPI Matrix MatrixRotate(Vector3 axis, float angle) {
    float x = axis.x, y = axis.y, z = axis.z;
    float length = sqrtf(x * x + y * y + z * z);
    if (length != 1.0f && length != 0.0f) {
        x /= length;
        y /= length;
        z /= length;
    }
    float s = sinf(angle), c = cosf(angle), t = 1.0f - c;
    Matrix r = MatrixIdentity();
    r.m0 = x * x * t + c;
    r.m4 = x * y * t - z * s;
    r.m8 = x * z * t + y * s;
    r.m1 = y * x * t + z * s;
    r.m5 = y * y * t + c;
    r.m9 = y * z * t - x * s;
    r.m2 = z * x * t - y * s;
    r.m6 = z * y * t + x * s;
    r.m10 = z * z * t + c;
    return r;
}

RMAPI Matrix MatrixRotateX(float angle) {
    Matrix r = MatrixIdentity();
    float c = cosf(angle), s = sinf(angle);
    r.m5 = c;
    r.m9 = -s;
    r.m6 = s;
    r.m10 = c;
    return r;
}

RMAPI Matrix MatrixRotateY(float angle) {
    Matrix r = MatrixIdentity();
    float c = cosf(angle), s = sinf(angle);
    r.m0 = c;
    r.m8 = s;
    r.m2 = -s;
    r.m10 = c;
    return r;
}

RMAPI Matrix MatrixRotateZ(float angle) {
    Matrix r = MatrixIdentity();
    float c = cosf(angle), s = sinf(angle);
    r.m0 = c;
    r.m4 = -s;
    r.m1 = s;
    r.m5 = c;
    return r;
}

// Rotation about x, then y, then z (angles in radians).
RMAPI Matrix MatrixRotateXYZ(Vector3 angle) {
    return MatrixMultiply(MatrixMultiply(MatrixRotateX(angle.x), MatrixRotateY(angle.y)), MatrixRotateZ(angle.z));
}

RMAPI Matrix MatrixFrustum(double left, double right, double bottom, double top, double nearPlane, double farPlane) {
    Matrix r = MatrixIdentity();
    r.m5 = 0.0f;
    r.m10 = 0.0f;
    r.m15 = 0.0f;
    r.m0 = 0.0f;
    float rl = (float)(right - left), tb = (float)(top - bottom), fn = (float)(farPlane - nearPlane);
    r.m0 = ((float)nearPlane * 2.0f) / rl;
    r.m5 = ((float)nearPlane * 2.0f) / tb;
    r.m8 = ((float)right + (float)left) / rl;
    r.m9 = ((float)top + (float)bottom) / tb;
    r.m10 = -((float)farPlane + (float)nearPlane) / fn;
    r.m11 = -1.0f;
    r.m14 = -((float)farPlane * (float)nearPlane * 2.0f) / fn;
    return r;
}

// fovY in radians.
RMAPI Matrix MatrixPerspective(double fovY, double aspect, double nearPlane, double farPlane) {
    double top = nearPlane * tan(fovY * 0.5);
    double right = top * aspect;
    return MatrixFrustum(-right, right, -top, top, nearPlane, farPlane);
}

RMAPI Matrix MatrixOrtho(double left, double right, double bottom, double top, double nearPlane, double farPlane) {
    Matrix r = MatrixIdentity();
    r.m5 = 0.0f;
    r.m10 = 0.0f;
    r.m15 = 0.0f;
    r.m0 = 0.0f;
    float rl = (float)(right - left), tb = (float)(top - bottom), fn = (float)(farPlane - nearPlane);
    r.m0 = 2.0f / rl;
    r.m5 = 2.0f / tb;
    r.m10 = -2.0f / fn;
    r.m12 = -((float)left + (float)right) / rl;
    r.m13 = -((float)top + (float)bottom) / tb;
    r.m14 = -((float)farPlane + (float)nearPlane) / fn;
    r.m15 = 1.0f;
    return r;
}

// World-to-camera matrix of a camera at eye looking at target; its first row is the
// camera's right axis, normalize(cross(up, eye − target)).
RMAPI Matrix MatrixLookAt(Vector3 eye, Vector3 target, Vector3 up) {
    Vector3 vz = Vector3Normalize(Vector3Subtract(eye, target));
    Vector3 vx = Vector3Normalize(Vector3CrossProduct(up, vz));
    Vector3 vy = Vector3CrossProduct(vz, vx);
    Matrix r;
    r.m0 = vx.x;
    r.m4 = vx.y;
    r.m8 = vx.z;
    r.m12 = -Vector3DotProduct(vx, eye);
    r.m1 = vy.x;
    r.m5 = vy.y;
    r.m9 = vy.z;
    r.m13 = -Vector3DotProduct(vy, eye);
    r.m2 = vz.x;
    r.m6 = vz.y;
    r.m10 = vz.z;
    r.m14 = -Vector3DotProduct(vz, eye);
    r.m3 = 0.0f;
    r.m7 = 0.0f;
    r.m11 = 0.0f;
    r.m15 = 1.0f;
    return r;
}

// m0, m1, ..., m15: column-major, as glUniformMatrix4fv expects.
RMAPI float16 MatrixToFloatV(Matrix m) {
    float16 r;
    r.v[0] = m.m0;
    r.v[1] = m.m1;
    r.v[2] = m.m2;
    r.v[3] = m.m3;
    r.v[4] = m.m4;
    r.v[5] = m.m5;
    r.v[6] = m.m6;
    r.v[7] = m.m7;
    r.v[8] = m.m8;
    r.v[9] = m.m9;
    r.v[10] = m.m10;
    r.v[11] = m.m11;
    r.v[12] = m.m12;
    r.v[13] = m.m13;
    r.v[14] = m.m14;
    r.v[15] = m.m15;
    return r;
}

// ------------------------------------------------------------------ Quaternion
RMAPI Quaternion QuaternionIdentity(void) {
    Quaternion r = {0.0f, 0.0f, 0.0f, 1.0f};
    return r;
}

RMAPI float QuaternionLength(Quaternion q) { return sqrtf(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w); }

RMAPI Quaternion QuaternionNormalize(Quaternion q) {
    float length = sqrtf(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    if (length == 0.0f) length = 1.0f;
    float inv = 1.0f / length;
    Quaternion r = {q.x * inv, q.y * inv, q.z * inv, q.w * inv};
    return r;
}

RMAPI Quaternion QuaternionMultiply(Quaternion a, Quaternion b) {
    Quaternion r;
    r.x = a.x * b.w + a.w * b.x + a.y * b.z - a.z * b.y;
    r.y = a.y * b.w + a.w * b.y + a.z * b.x - a.x * b.z;
    r.z = a.z * b.w + a.w * b.z + a.x * b.y - a.y * b.x;
    r.w = a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z;
    return r;
}

RMAPI Quaternion QuaternionFromAxisAngle(Vector3 axis, float angle) {
    Quaternion r = {0.0f, 0.0f, 0.0f, 1.0f};
    float length = sqrtf(axis.x * axis.x + axis.y * axis.y + axis.z * axis.z);
    if (length != 0.0f) {
        axis = Vector3Scale(axis, 1.0f / length);
        float s = sinf(angle * 0.5f);
        r.x = axis.x * s;
        r.y = axis.y * s;
        r.z = axis.z * s;
        r.w = cosf(angle * 0.5f);
        r = QuaternionNormalize(r);
    }
    return r;
}

// Euler angles in radians: pitch about x, yaw about y, roll about z.
RMAPI Quaternion QuaternionFromEuler(float pitch, float yaw, float roll) {
    float sp = sinf(pitch * 0.5f), cp = cosf(pitch * 0.5f);
    float sy = sinf(yaw * 0.5f), cy = cosf(yaw * 0.5f);
    float sr = sinf(roll * 0.5f), cr = cosf(roll * 0.5f);
    Quaternion q;
    q.x = sp * cy * cr - cp * sy * sr;
    q.y = cp * sy * cr + sp * cy * sr;
    q.z = cp * cy * sr - sp * sy * cr;
    q.w = cp * cy * cr + sp * sy * sr;
    return q;
}

// Rotation matrix of a unit quaternion.
RMAPI Matrix QuaternionToMatrix(Quaternion q) {
    float a2 = q.x * q.x, b2 = q.y * q.y, c2 = q.z * q.z;
    float ac = q.x * q.z, ab = q.x * q.y, bc = q.y * q.z;
    float ad = q.w * q.x, bd = q.w * q.y, cd = q.w * q.z;
    Matrix r = MatrixIdentity();
    r.m0 = 1 - 2 * (b2 + c2);
    r.m4 = 2 * (ab - cd);
    r.m8 = 2 * (ac + bd);
    r.m1 = 2 * (ab + cd);
    r.m5 = 1 - 2 * (a2 + c2);
    r.m9 = 2 * (bc - ad);
    r.m2 = 2 * (ac - bd);
    r.m6 = 2 * (bc + ad);
    r.m10 = 1 - 2 * (a2 + b2);
    return r;
}

#endif  // RAYMATH_H
