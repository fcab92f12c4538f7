// A fixed pool of short-lived camera-facing sparks.
#pragma once

#include "app/vec3d.h"
#include "raylib.h"
#include "render/camera.h"

struct Particle {
    Vec3d position{};
    Vec3d velocity{};
    double lifetime = 0.0;
    double age = 0.0;
    float gravity = 0.0f;
    bool active = false;
    Color color{};
};

inline constexpr int max_particles = 1000;
inline constexpr double particle_floor = 0.05;
inline constexpr float particle_size = 0.1f;

extern Particle particles[max_particles];
extern Texture2D particle_texture;

// Takes the first free slot; dropped silently when the pool is full.
void spawn_particle(const Vec3d *position, const Vec3d *velocity, float gravity, double lifetime, const Color *color);
void update_particles(double dt);
// Heap-sorts the whole pool farthest first from `eye`; part of draw_particles.
void sort_particles_far_to_near(Vector3 eye);
void draw_particles();
// The billboards alone, in the pool's current order (draw_particles sorts first).
void draw_sorted_particles();
void draw_billboard(const SceneCamera &camera, Texture2D texture, Vector3 position, Vector3 up, Vector2 size,
                    float rotation, Color tint);
// Alpha the fade gives a particle (0..1).
float particle_fade_alpha(const Particle &p);
