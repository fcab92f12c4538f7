#include "render/particles.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#include "raymath.h"
#include "rlgl.h"

Particle particles[max_particles];
Texture2D particle_texture{};

void spawn_particle(const Vec3d *position, const Vec3d *velocity, float gravity, double lifetime, const Color *color) {
    for (Particle &p : particles) {
        if (p.active) continue;
        p.position = *position;
        p.velocity = *velocity;
        p.gravity = gravity;
        p.lifetime = lifetime;
        p.color = *color;
        p.age = 0.0;
        p.active = true;
        return;
    }
    // Pool full: the spark is dropped.
}

void update_particles(double dt) {
    for (Particle &p : particles) {
        if (!p.active) continue;
        p.velocity.y += static_cast<double>(p.gravity) * dt;
        p.position = p.position + p.velocity * dt;
        // The floor stops the fall but not the slide; the velocity is left alone.
        if (p.position.y <= particle_floor) p.position.y = particle_floor;
        p.age += dt;
        if (p.age > p.lifetime) p.active = false;
    }
}

float particle_fade_alpha(const Particle &p) {
    auto f = static_cast<float>(p.age / p.lifetime);
    return std::clamp(1.0f - f, 0.0f, 1.0f);
}

void sort_particles_far_to_near(Vector3 eye) {
    // Heap sort, in place, with no allocation. It runs over compact 8-byte keys rather
    // than the 80-byte particles: each key holds the squared distance (the bits of a
    // non-negative float order like its value) above the slot index, so keys are
    // distinct and compare as plain integers. The particles are then moved once, cycle
    // by cycle, into the order found.
    static std::uint64_t keys[max_particles];
    for (int i = 0; i < max_particles; ++i) {
        const float d = Vector3DistanceSqr(to_vector3(particles[i].position), eye);
        std::uint32_t bits = 0;
        std::memcpy(&bits, &d, sizeof bits);
        keys[i] = static_cast<std::uint64_t>(bits) << 32 | static_cast<std::uint32_t>(i);
    }
    // A min-heap: taking the smallest out to the end leaves the largest first. Each
    // sift walks down to a leaf along the smaller children (no early exit, so the
    // branch predictor has nothing to miss) and then climbs back to where the key fits.
    auto sift = [](int root, int n) {
        const std::uint64_t key = keys[root];
        int hole = root;
        for (int child = 2 * hole + 1; child < n; child = 2 * hole + 1) {
            child += (child + 1 < n && keys[child + 1] < keys[child]) ? 1 : 0;
            keys[hole] = keys[child];
            hole = child;
        }
        while (hole > root) {
            const int parent = (hole - 1) / 2;
            if (keys[parent] <= key) break;
            keys[hole] = keys[parent];
            hole = parent;
        }
        keys[hole] = key;
    };
    for (int i = max_particles / 2 - 1; i >= 0; --i) sift(i, max_particles);
    for (int n = max_particles - 1; n > 0; --n) {
        std::swap(keys[0], keys[n]);
        sift(0, n);
    }
    // keys[k] now names the slot whose particle belongs at k. Follow each cycle of that
    // permutation with one particle in hand, marking placed slots as done.
    constexpr std::uint64_t done = ~std::uint64_t{0};
    for (int start = 0; start < max_particles; ++start) {
        if (keys[start] == done) continue;
        int from = static_cast<int>(keys[start] & 0xFFFFFFFFu);
        if (from == start) {
            keys[start] = done;
            continue;
        }
        const Particle first = particles[start];
        int at = start;
        while (from != start) {
            particles[at] = particles[from];
            keys[at] = done;
            at = from;
            from = static_cast<int>(keys[at] & 0xFFFFFFFFu);
        }
        particles[at] = first;
        keys[at] = done;
    }
}

void draw_particles() {
    sort_particles_far_to_near(view_camera.position);
    draw_sorted_particles();
}

void draw_sorted_particles() {
    Vector3 up{view_camera.transform.m0, view_camera.transform.m4, view_camera.transform.m8};
    for (const Particle &p : particles) {
        if (!p.active) continue;
        float f = static_cast<float>(p.age / p.lifetime);
        draw_billboard(view_camera, particle_texture, to_vector3(p.position), up, Vector2{particle_size, particle_size},
                       0.0f, ColorAlpha(p.color, 1.0f - f));
    }
}

void draw_billboard(const SceneCamera &camera, Texture2D texture, Vector3 position, Vector3 up, Vector2 size,
                    float rotation, Color tint) {
    float w = static_cast<float>(texture.width);
    float h = static_cast<float>(texture.height);
    Vector2 size_ratio{size.x * (h != 0.0f ? std::fabs(w / h) : 1.0f), size.y};

    Matrix look = MatrixLookAt(camera.position, position, up);
    Vector3 right{look.m0, look.m4, look.m8};
    Vector3 r = Vector3Scale(right, size_ratio.x / 2.0f);
    Vector3 u = Vector3Scale(up, size_ratio.y / 2.0f);
    Vector3 p1 = Vector3Add(r, u);
    Vector3 p2 = Vector3Subtract(r, u);
    Vector3 top_left = Vector3Scale(p2, -1.0f);
    Vector3 top_right = p1;
    Vector3 bottom_right = p2;
    Vector3 bottom_left = Vector3Scale(p1, -1.0f);

    if (rotation != 0.0f) {
        // Rotate the corners in the quad's plane about the texture's centre.
        Vector3 forward = Vector3CrossProduct(right, up);
        Vector3 origin3 = Vector3Add(Vector3Scale(right, size_ratio.x * (w / 2.0f) / 2.0f),
                                     Vector3Scale(up, size_ratio.y * (h / 2.0f) / 2.0f));
        float rad = rotation * DEG2RAD;
        Matrix rot = MatrixRotate(forward, rad);
        auto turn = [&](Vector3 c) { return Vector3Add(Vector3Transform(Vector3Subtract(c, origin3), rot), origin3); };
        top_left = turn(top_left);
        top_right = turn(top_right);
        bottom_right = turn(bottom_right);
        bottom_left = turn(bottom_left);
    }

    top_left = Vector3Add(top_left, position);
    top_right = Vector3Add(top_right, position);
    bottom_right = Vector3Add(bottom_right, position);
    bottom_left = Vector3Add(bottom_left, position);

    rlSetTexture(texture.id);
    rlBegin(RL_QUADS);
    rlColor4ub(tint.r, tint.g, tint.b, tint.a);
    auto corner = [](float u, float v, Vector3 p) {
        rlTexCoord2f(u, v);
        rlVertex3f(p.x, p.y, p.z);
    };
    // A negative size mirrors the quad; its corners then go round the other way.
    if (size_ratio.x * size_ratio.y >= 0.0f) {
        corner(0.0f, 0.0f, top_left);
        corner(0.0f, 1.0f, bottom_left);
        corner(1.0f, 1.0f, bottom_right);
        corner(1.0f, 0.0f, top_right);
    } else {
        corner(1.0f, 0.0f, top_right);
        corner(1.0f, 1.0f, bottom_right);
        corner(0.0f, 1.0f, bottom_left);
        corner(0.0f, 0.0f, top_left);
    }
    rlEnd();
    rlSetTexture(0);
}
