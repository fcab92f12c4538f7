// The two scene cameras (the view and the directional light) and the view camera's
// eased moves and shake.
#pragma once

#include "app/vec3d.h"
#include "raylib.h"

struct SceneCamera {
    Vector3 position;
    Quaternion rotation;
    Vector3 scale;
    Matrix transform;  // camera to world
    float fovy;        // degrees, or the view height for an orthographic camera
    float near_plane;
    float far_plane;
    double aspect;
    bool orthographic;
    Matrix projection;
    Matrix view;  // world to camera
};

struct CameraMotion {
    bool move_active = false;
    double move_time = 0.0;
    Vec3d move_to{};
    Vec3d move_from{};
    bool shake_active = false;
    double shake_time = 0.0;
};

inline constexpr Vec3d menu_view_position{-6.0, 2.2, 1.4};
inline constexpr Vec3d match_view_position{0.0, 11.5, 11.5};
inline constexpr double camera_move_duration = 0.15;
inline constexpr double camera_shake_duration = 0.25;
inline constexpr double camera_shake_strength = 0.08;

extern SceneCamera view_camera;
extern SceneCamera light_camera;
// The authoritative position of the view camera; copied into view_camera.position
// whenever it changes.
extern Vec3d camera_position;
extern CameraMotion camera_motion;

SceneCamera make_camera(Vector3 position, Vector3 euler_degrees, float fovy, float near_plane, float far_plane,
                        double aspect, bool orthographic);
void update_camera(SceneCamera *cam);
void update_camera_motion(double dt);
void move_camera_to(Vec3d target);
void start_camera_shake();
// A point of the unit plane, kept in f64 like the position it offsets.
struct DiscPoint {
    double x = 0.0;
    double y = 0.0;
};

// A uniform point of the unit disc, from the game's generator.
DiscPoint random_in_disc();
