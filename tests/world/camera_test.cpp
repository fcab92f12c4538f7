// The view camera's eased move and shake, and the camera matrices.
#include <gtest/gtest.h>

#include <cmath>

#include "app/game_state.h"
#include "app/rng.h"
#include "raymath.h"
#include "render/camera.h"

namespace {

class CameraMotionTest : public ::testing::Test {
protected:
    void SetUp() override {
        seed_rng(game_state.rng, 42);
        camera_motion = CameraMotion{};
        camera_position = menu_view_position;
        view_camera = make_camera(to_vector3(camera_position), Vector3{-45.0f, 0.0f, 0.0f}, 60.0f, 0.01f, 100.0f,
                                  16.0 / 9.0, false);
    }
};

double distance(Vec3d a, Vec3d b) {
    Vec3d d = a - b;
    return std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
}

void expect_view_camera_follows() {
    EXPECT_EQ(view_camera.position.x, static_cast<float>(camera_position.x));
    EXPECT_EQ(view_camera.position.y, static_cast<float>(camera_position.y));
    EXPECT_EQ(view_camera.position.z, static_cast<float>(camera_position.z));
}

}  // namespace

TEST_F(CameraMotionTest, MoveEasesOutAndSnapsToTheTarget) {
    move_camera_to(match_view_position);
    const Vec3d from = menu_view_position;
    double elapsed = 0.0;
    const double dt = 1.0 / 60.0;
    int frames = 0;
    while (camera_motion.move_active) {
        update_camera_motion(dt);
        expect_view_camera_follows();
        ++frames;
        if (camera_motion.move_active) {
            elapsed += dt;
            double t = elapsed / 0.15;
            double e = 1.0 - (1.0 - t) * (1.0 - t);
            Vec3d expected = from + (match_view_position - from) * e;
            EXPECT_NEAR(camera_position.x, expected.x, 1e-9);
            EXPECT_NEAR(camera_position.y, expected.y, 1e-9);
            EXPECT_NEAR(camera_position.z, expected.z, 1e-9);
        }
        ASSERT_LT(frames, 100);
    }
    // Eased steps until the accumulated time reaches 0.15 s, then one more frame that
    // snaps (the end test comes before the time is added).
    int steps = 0;
    for (double acc = 0.0; !(acc >= 0.15); acc += dt) ++steps;
    EXPECT_EQ(frames, steps + 1);
    EXPECT_TRUE(camera_position == match_view_position);
}

TEST_F(CameraMotionTest, LongFramesFinishTheMoveInTwoSteps) {
    move_camera_to(match_view_position);
    update_camera_motion(0.2);  // t = 4/3: eased step past the end, not clamped
    EXPECT_TRUE(camera_motion.move_active);
    double e = 1.0 - (1.0 - 0.2 / 0.15) * (1.0 - 0.2 / 0.15);
    EXPECT_NEAR(camera_position.y, 2.2 + (11.5 - 2.2) * e, 1e-9);
    EXPECT_LT(e, 1.0);
    update_camera_motion(0.2);  // the snap
    EXPECT_FALSE(camera_motion.move_active);
    EXPECT_TRUE(camera_position == match_view_position);
    expect_view_camera_follows();
}

TEST_F(CameraMotionTest, MoveToTheSamePointStillRunsAndEndsInPlace) {
    move_camera_to(menu_view_position);
    for (int i = 0; i < 20; ++i) update_camera_motion(0.02);
    EXPECT_FALSE(camera_motion.move_active);
    EXPECT_TRUE(camera_position == menu_view_position);
}

TEST_F(CameraMotionTest, ShakeStaysNearTheMoveTargetAndEndsThere) {
    move_camera_to(match_view_position);
    update_camera_motion(0.2);  // eased step, the move is still running
    start_camera_shake();
    double worst = 0.0;
    bool moved = false;
    int frames = 0;
    while (camera_motion.shake_active || camera_motion.move_active) {
        update_camera_motion(1.0 / 60.0);
        ++frames;
        ASSERT_LT(frames, 100);
        if (camera_motion.shake_active) {
            // While shaking the camera circles the target in the x-y plane.
            double d = distance(camera_position, match_view_position);
            worst = std::max(worst, d);
            moved = moved || d > 1e-6;
            EXPECT_EQ(camera_position.z, match_view_position.z);
        }
        expect_view_camera_follows();
    }
    EXPECT_LE(worst, 0.08 + 1e-12);
    EXPECT_TRUE(moved);
    EXPECT_TRUE(camera_position == match_view_position);
    EXPECT_EQ(camera_motion.shake_time, 0.0);
}

TEST_F(CameraMotionTest, ShakeWithoutAMoveCirclesTheLastTarget) {
    // No move is running: the shake circles the target of the last move (here the
    // menu viewpoint, as after start-up) and ends there.
    camera_motion.move_to = menu_view_position;
    start_camera_shake();
    // The offset is worked out in f64 from the generator's next two draws, nothing
    // narrowed on the way to the authoritative position.
    Rng ahead = game_state.rng;
    const double r = std::sqrt(rng_float(ahead));
    const double theta = 2.0 * 3.14159265358979323846 * rng_float(ahead);
    update_camera_motion(0.05);
    EXPECT_EQ(camera_position.x, menu_view_position.x + 0.08 * (r * std::cos(theta)));
    EXPECT_EQ(camera_position.y, menu_view_position.y + 0.08 * (r * std::sin(theta)));
    for (int i = 0; i < 30; ++i) {
        update_camera_motion(0.05);
        EXPECT_LE(distance(camera_position, menu_view_position), 0.08 + 1e-12);
    }
    EXPECT_FALSE(camera_motion.shake_active);
    EXPECT_TRUE(camera_position == menu_view_position);
}

TEST_F(CameraMotionTest, RandomInDiscStaysInsideTheUnitDisc) {
    double sum_x = 0.0, sum_y = 0.0;
    int outer = 0;
    const int n = 20000;
    for (int i = 0; i < n; ++i) {
        DiscPoint p = random_in_disc();
        double r2 = p.x * p.x + p.y * p.y;
        ASSERT_LE(r2, 1.0 + 1e-6);
        sum_x += p.x;
        sum_y += p.y;
        if (r2 > 0.25) ++outer;
    }
    EXPECT_NEAR(sum_x / n, 0.0, 0.02);
    EXPECT_NEAR(sum_y / n, 0.0, 0.02);
    // Uniform over the area: three quarters lie outside radius 0.5.
    EXPECT_NEAR(static_cast<double>(outer) / n, 0.75, 0.02);
}

TEST(SceneCameraTest, ViewInvertsTheTransformAndLooksDownItsMinusZ) {
    SceneCamera cam =
        make_camera(Vector3{0.0f, 11.5f, 11.5f}, Vector3{-45.0f, 0.0f, 0.0f}, 60.0f, 0.01f, 100.0f, 16.0 / 9.0, false);
    // From the match viewpoint the court's centre lies straight ahead.
    Vector3 origin_in_view = Vector3Transform(Vector3{0.0f, 0.0f, 0.0f}, cam.view);
    EXPECT_NEAR(origin_in_view.x, 0.0f, 1e-4f);
    EXPECT_NEAR(origin_in_view.y, 0.0f, 1e-4f);
    EXPECT_NEAR(origin_in_view.z, -11.5f * std::sqrt(2.0f), 1e-3f);
    // Camera position maps to the view origin.
    Vector3 eye = Vector3Transform(cam.position, cam.view);
    EXPECT_NEAR(Vector3Length(eye), 0.0f, 1e-4f);
    // Perspective projection of a point straight ahead lands in the middle.
    Matrix vp = MatrixMultiply(cam.view, cam.projection);
    float w = vp.m3 * 0 + vp.m7 * 0 + vp.m11 * 0 + vp.m15;
    Vector3 clip = Vector3Transform(Vector3{0.0f, 0.0f, 0.0f}, vp);
    EXPECT_NEAR(clip.x / w, 0.0f, 1e-4f);
    EXPECT_NEAR(clip.y / w, 0.0f, 1e-4f);
}

TEST(SceneCameraTest, OrthographicLightCameraScaledByFour) {
    SceneCamera light =
        make_camera(Vector3{28.5f, 16.6f, -22.14f}, Vector3{151.8338165283203f, 65.31718444824219f, 179.9087371826172f},
                    10.0f, 0.06f, 100.0f, 16.0 / 9.0, true);
    // Ortho: half height 5, half width 5 · 16/9.
    EXPECT_NEAR(light.projection.m5, 2.0f / 10.0f, 1e-6f);
    EXPECT_NEAR(light.projection.m0, 2.0f / (10.0f * 16.0f / 9.0f), 1e-6f);
    light.scale = Vector3{4.0f, 4.0f, 4.0f};
    update_camera(&light);
    // The scale makes the view volume four times larger: a point 20 units along the
    // camera's local +y (its up) ends at the top edge (view y = 5).
    Vector3 up = Vector3RotateByQuaternion(Vector3{0.0f, 1.0f, 0.0f}, light.rotation);
    Vector3 p = Vector3Add(light.position, Vector3Scale(up, 20.0f));
    Vector3 v = Vector3Transform(p, light.view);
    EXPECT_NEAR(v.y, 5.0f, 1e-3f);
    // The light looks down onto the court.
    Vector3 dir = Vector3RotateByQuaternion(Vector3{0.0f, 0.0f, -1.0f}, light.rotation);
    EXPECT_LT(dir.y, -0.3f);
}
