#include "render/camera.h"

#include <cmath>

#include "app/effects.h"
#include "app/rng.h"
#include "raymath.h"

SceneCamera view_camera{};
SceneCamera light_camera{};
Vec3d camera_position = menu_view_position;
CameraMotion camera_motion{};

SceneCamera make_camera(Vector3 position, Vector3 euler_degrees, float fovy, float near_plane, float far_plane,
                        double aspect, bool orthographic) {
    SceneCamera cam{};
    cam.position = position;
    cam.rotation = QuaternionFromEuler(euler_degrees.x * DEG2RAD, euler_degrees.y * DEG2RAD, euler_degrees.z * DEG2RAD);
    cam.scale = Vector3{1.0f, 1.0f, 1.0f};
    cam.fovy = fovy;
    cam.near_plane = near_plane;
    cam.far_plane = far_plane;
    cam.aspect = aspect;
    cam.orthographic = orthographic;
    update_camera(&cam);
    return cam;
}

void update_camera(SceneCamera *cam) {
    cam->transform = MatrixMultiply(
        MatrixMultiply(MatrixScale(cam->scale.x, cam->scale.y, cam->scale.z), QuaternionToMatrix(cam->rotation)),
        MatrixTranslate(cam->position.x, cam->position.y, cam->position.z));
    cam->view = MatrixInvert(cam->transform);
    if (cam->orthographic) {
        double h = static_cast<double>(cam->fovy) / 2.0;
        double w = h * cam->aspect;
        cam->projection = MatrixOrtho(-w, w, -h, h, cam->near_plane, cam->far_plane);
    } else {
        float fovy_rad = cam->fovy * DEG2RAD;
        cam->projection = MatrixPerspective(fovy_rad, cam->aspect, cam->near_plane, cam->far_plane);
    }
}

static void place_view_camera(Vec3d p) {
    camera_position = p;
    view_camera.position = to_vector3(p);
}

DiscPoint random_in_disc() {
    double u1 = rng_float(effects_rng());
    double u2 = rng_float(effects_rng());
    double r = std::sqrt(u1);
    double theta = 2.0 * pi * u2;
    return DiscPoint{r * std::cos(theta), r * std::sin(theta)};
}

void update_camera_motion(double dt) {
    CameraMotion &m = camera_motion;
    if (m.move_active) {
        if (m.move_time >= camera_move_duration) {
            place_view_camera(m.move_to);
            m.move_active = false;
            return;  // the shake waits for the next frame
        }
        m.move_time += dt;
        double t = m.move_time / camera_move_duration;  // may pass 1 on the last step
        double e = 1.0 - (1.0 - t) * (1.0 - t);
        place_view_camera(m.move_from + (m.move_to - m.move_from) * e);
    }
    if (m.shake_active) {
        if (m.shake_time >= camera_shake_duration) {
            place_view_camera(m.move_to);
            m.shake_time = 0.0;
            m.shake_active = false;
            return;
        }
        m.shake_time += dt;
        DiscPoint d = random_in_disc();
        // The shake always circles the move's target, overriding a running move.
        place_view_camera(m.move_to + Vec3d{camera_shake_strength * d.x, camera_shake_strength * d.y, 0.0});
    }
}

void move_camera_to(Vec3d target) {
    camera_motion.move_from = camera_position;
    camera_motion.move_to = target;
    camera_motion.move_time = 0.0;
    camera_motion.move_active = true;
}

void start_camera_shake() {
    camera_motion.shake_active = true;
    camera_motion.shake_time = 0.0;
}
