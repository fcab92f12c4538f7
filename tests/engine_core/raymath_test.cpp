// raymath against values worked out by hand (or with an independent script).
#include <gtest/gtest.h>

#include <cmath>

#include "raylib.h"
#include "raymath.h"

namespace {

constexpr float deg = 0.017453292f;

void expect_matrix_near(const Matrix &a, const Matrix &b, float tol) {
    const float16 fa = MatrixToFloatV(a), fb = MatrixToFloatV(b);
    for (int i = 0; i < 16; i++) EXPECT_NEAR(fa.v[i], fb.v[i], tol) << "element m" << i;
}

// Each of x, y and z within `tol` of `want`'s.
void expect_near(Vector3 got, Vector3 want, double tol) {
    EXPECT_NEAR(got.x, want.x, tol);
    EXPECT_NEAR(got.y, want.y, tol);
    EXPECT_NEAR(got.z, want.z, tol);
}

Vector4 transform_point4(const Matrix &m, Vector3 p) {
    return Vector4{m.m0 * p.x + m.m4 * p.y + m.m8 * p.z + m.m12, m.m1 * p.x + m.m5 * p.y + m.m9 * p.z + m.m13,
                   m.m2 * p.x + m.m6 * p.y + m.m10 * p.z + m.m14, m.m3 * p.x + m.m7 * p.y + m.m11 * p.z + m.m15};
}

Vector3 project(const Matrix &m, Vector3 p) {
    Vector4 c = transform_point4(m, p);
    return Vector3{c.x / c.w, c.y / c.w, c.z / c.w};
}

TEST(Raymath, QuaternionFromEulerOfTheLightCamera) {
    // Half-angle products computed separately in double precision; the same value
    // is the product of the axis rotations z·y·x.
    Quaternion q = QuaternionFromEuler(151.8338165283203f * deg, 65.31718444824219f * deg, 179.9087371826172f * deg);
    EXPECT_NEAR(q.x, -0.13065758928899152, 2e-6);
    EXPECT_NEAR(q.y, 0.8167010290308979, 2e-6);
    EXPECT_NEAR(q.z, 0.20444183759963816, 2e-6);
    EXPECT_NEAR(q.w, 0.5235757429254575, 2e-6);
    EXPECT_NEAR(QuaternionLength(q), 1.0f, 1e-6);
}

TEST(Raymath, EulerQuaternionRotatesLikeXThenYThenZ) {
    Vector3 angles = {0.3f, -1.1f, 2.0f};
    Matrix from_q = QuaternionToMatrix(QuaternionFromEuler(angles.x, angles.y, angles.z));
    expect_matrix_near(from_q, MatrixRotateXYZ(angles), 1e-5f);
    Matrix composed =
        MatrixMultiply(MatrixMultiply(MatrixRotateX(angles.x), MatrixRotateY(angles.y)), MatrixRotateZ(angles.z));
    expect_matrix_near(from_q, composed, 1e-5f);

    // Rotating a vector by the quaternion equals transforming it by its matrix.
    Vector3 v = {0.0f, 0.0f, -1.0f};
    Vector3 a = Vector3RotateByQuaternion(v, QuaternionFromEuler(angles.x, angles.y, angles.z));
    Vector3 b = Vector3Transform(v, from_q);
    expect_near(a, b, 1e-5);
}

TEST(Raymath, QuarterTurnsByHand) {
    // 90° about z takes x to y; about y takes z to x; about x takes y to z.
    Vector3 r = Vector3Transform(Vector3{1, 0, 0}, MatrixRotateZ(PI / 2));
    EXPECT_NEAR(r.x, 0.0f, 1e-6);
    EXPECT_NEAR(r.y, 1.0f, 1e-6);
    r = Vector3Transform(Vector3{0, 0, 1}, MatrixRotate(Vector3{0, 2, 0}, PI / 2));  // axis gets normalised
    EXPECT_NEAR(r.x, 1.0f, 1e-6);
    EXPECT_NEAR(r.z, 0.0f, 1e-6);
    r = Vector3RotateByQuaternion(Vector3{0, 1, 0}, QuaternionFromAxisAngle(Vector3{1, 0, 0}, PI / 2));
    EXPECT_NEAR(r.y, 0.0f, 1e-6);
    EXPECT_NEAR(r.z, 1.0f, 1e-6);
}

TEST(Raymath, MultiplyAppliesTheFirstMatrixFirst) {
    // Scale by 2, then move by (10, 0, 0): (1, 1, 1) -> (12, 2, 2). The other order
    // would give (22, 2, 2).
    Matrix m = MatrixMultiply(MatrixScale(2, 2, 2), MatrixTranslate(10, 0, 0));
    Vector3 p = Vector3Transform(Vector3{1, 1, 1}, m);
    EXPECT_FLOAT_EQ(p.x, 12.0f);
    EXPECT_FLOAT_EQ(p.y, 2.0f);
    EXPECT_FLOAT_EQ(p.z, 2.0f);
    // Translation lives in m12..m14 and comes out of MatrixToFloatV at 12..14.
    float16 f = MatrixToFloatV(MatrixTranslate(3, 4, 5));
    EXPECT_FLOAT_EQ(f.v[12], 3.0f);
    EXPECT_FLOAT_EQ(f.v[13], 4.0f);
    EXPECT_FLOAT_EQ(f.v[14], 5.0f);
    EXPECT_FLOAT_EQ(f.v[3], 0.0f);
}

TEST(Raymath, InverseOfScaleRotateTranslateGivesIdentity) {
    Matrix m = MatrixMultiply(MatrixMultiply(MatrixScale(4, 4, 4), QuaternionToMatrix(QuaternionFromEuler(
                                                                       151.83f * deg, 65.32f * deg, 179.91f * deg))),
                              MatrixTranslate(28.5f, 16.6f, -22.14f));
    Matrix inv = MatrixInvert(m);
    expect_matrix_near(MatrixMultiply(m, inv), MatrixIdentity(), 1e-5f);
    expect_matrix_near(MatrixMultiply(inv, m), MatrixIdentity(), 1e-5f);
    // The inverse takes the camera position back to the origin.
    Vector3 o = Vector3Transform(Vector3{28.5f, 16.6f, -22.14f}, inv);
    expect_near(o, Vector3{0.0f, 0.0f, 0.0f}, 1e-5);
    EXPECT_NEAR(MatrixDeterminant(m), 64.0f, 1e-3);  // scale 4 in three axes
}

TEST(Raymath, OrthoMapsTheBoxCornersToUnitCube) {
    Matrix m = MatrixOrtho(-7.0, 5.0, -2.0, 6.0, 0.5, 20.0);
    // GL looks down -z: the near plane is z = -near, the far plane z = -far.
    Vector3 a = project(m, Vector3{-7, -2, -0.5f});
    Vector3 b = project(m, Vector3{5, 6, -20});
    expect_near(a, Vector3{-1.0f, -1.0f, -1.0f}, 1e-6);
    expect_near(b, Vector3{1.0f, 1.0f, 1.0f}, 1e-6);
    // The 2D pixel projection: (0, 0) is the top left corner.
    Matrix px = MatrixOrtho(0, 1280, 720, 0, 0, 1);
    Vector3 tl = project(px, Vector3{0, 0, 0});
    Vector3 br = project(px, Vector3{1280, 720, 0});
    EXPECT_NEAR(tl.x, -1.0f, 1e-6);
    EXPECT_NEAR(tl.y, 1.0f, 1e-6);
    EXPECT_NEAR(br.x, 1.0f, 1e-6);
    EXPECT_NEAR(br.y, -1.0f, 1e-6);
}

TEST(Raymath, PerspectiveMapsFrustumCornersToUnitCube) {
    double fovy = 60.0 * deg, aspect = 16.0 / 9.0, n = 0.01, f = 100.0;
    Matrix m = MatrixPerspective(fovy, aspect, n, f);
    double t = std::tan(fovy / 2);
    // Top right corner of the near plane and bottom left of the far plane.
    Vector3 near_tr = project(m, Vector3{float(n * t * aspect), float(n * t), float(-n)});
    Vector3 far_bl = project(m, Vector3{float(-f * t * aspect), float(-f * t), float(-f)});
    expect_near(near_tr, Vector3{1.0f, 1.0f, -1.0f}, 1e-4);
    expect_near(far_bl, Vector3{-1.0f, -1.0f, 1.0f}, 1e-4);
    EXPECT_FLOAT_EQ(m.m11, -1.0f);  // w' = -z
}

TEST(Raymath, LookAtRightAxisAndEye) {
    Vector3 eye = {3, 2, 5}, target = {3, 2, 0}, up = {0, 1, 0};
    Matrix v = MatrixLookAt(eye, target, up);
    // Looking down -z from +z: right is +x; the eye maps to the origin, the target
    // 5 units in front (z = -5).
    EXPECT_NEAR(v.m0, 1.0f, 1e-6);
    EXPECT_NEAR(v.m4, 0.0f, 1e-6);
    EXPECT_NEAR(v.m8, 0.0f, 1e-6);
    Vector3 e = Vector3Transform(eye, v), t = Vector3Transform(target, v);
    EXPECT_NEAR(Vector3Length(e), 0.0f, 1e-6);
    EXPECT_NEAR(t.z, -5.0f, 1e-6);
}

TEST(Raymath, VectorHelpersAndScalars) {
    EXPECT_FLOAT_EQ(Vector3DistanceSqr(Vector3{1, 2, 3}, Vector3{4, 6, 3}), 25.0f);
    Vector3 n = Vector3Normalize(Vector3{0, 3, 4});
    EXPECT_FLOAT_EQ(n.y, 0.6f);
    EXPECT_FLOAT_EQ(n.z, 0.8f);
    Vector3 zero = Vector3Normalize(Vector3{0, 0, 0});  // no NaN from a zero vector
    EXPECT_EQ(zero.x, 0.0f);
    Vector3 c = Vector3CrossProduct(Vector3{1, 0, 0}, Vector3{0, 1, 0});
    EXPECT_FLOAT_EQ(c.z, 1.0f);
    EXPECT_FLOAT_EQ(Clamp(5.0f, 0.0f, 1.0f), 1.0f);
    EXPECT_FLOAT_EQ(Clamp(-5.0f, 0.0f, 1.0f), 0.0f);
    EXPECT_FLOAT_EQ(Lerp(2.0f, 4.0f, 0.25f), 2.5f);
    Quaternion q = QuaternionNormalize(Quaternion{0, 0, 0, 0});  // no division by zero
    EXPECT_EQ(q.w, 0.0f);
    EXPECT_NEAR(QuaternionLength(QuaternionNormalize(Quaternion{1, 2, 3, 4})), 1.0f, 1e-6);
}

}  // namespace
