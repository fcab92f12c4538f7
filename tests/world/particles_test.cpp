// The particle pool: spawning, motion, the floor, the fade and the draw order.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "raymath.h"
#include "render/particles.h"
#include "support/pool_counts.h"

namespace {

class ParticlePool : public ::testing::Test {
protected:
    void SetUp() override {
        for (Particle &p : particles) p = Particle{};
    }
    void TearDown() override {
        for (Particle &p : particles) p = Particle{};
    }
    static void spawn_at(Vec3d pos, double lifetime = 1.0, Vec3d vel = {}, float gravity = 0.0f) {
        Color c{230, 41, 55, 255};
        spawn_particle(&pos, &vel, gravity, lifetime, &c);
    }
};

}  // namespace

TEST_F(ParticlePool, SpawnFillsTheFirstFreeSlot) {
    spawn_at({1, 1, 1});
    spawn_at({2, 2, 2});
    spawn_at({3, 3, 3});
    EXPECT_TRUE(particles[0].active && particles[1].active && particles[2].active);
    EXPECT_EQ(particles[1].position.x, 2.0);
    EXPECT_EQ(particles[0].age, 0.0);
    particles[1].active = false;
    spawn_at({9, 9, 9});
    EXPECT_EQ(particles[1].position.x, 9.0);  // the hole is reused first
    EXPECT_EQ(particles[3].active, false);
}

TEST_F(ParticlePool, FullPoolDropsFurtherSparks) {
    for (int i = 0; i < max_particles; ++i) spawn_at({static_cast<double>(i), 1, 0});
    EXPECT_EQ(test_support::live_particles(), max_particles);
    Particle before[3] = {particles[0], particles[500], particles[999]};
    spawn_at({-50, -50, -50});
    EXPECT_EQ(test_support::live_particles(), max_particles);
    EXPECT_EQ(particles[0].position.x, before[0].position.x);
    EXPECT_EQ(particles[500].position.x, before[1].position.x);
    EXPECT_EQ(particles[999].position.x, before[2].position.x);
}

TEST_F(ParticlePool, BallisticMotionWithGravity) {
    spawn_at({0, 5, 0}, 10.0, {1, 2, -3}, -10.0f);
    update_particles(0.1);
    // Velocity first, then position with the new velocity.
    EXPECT_DOUBLE_EQ(particles[0].velocity.y, 2.0 - 1.0);
    EXPECT_DOUBLE_EQ(particles[0].position.x, 0.1);
    EXPECT_DOUBLE_EQ(particles[0].position.y, 5.0 + 0.1);
    EXPECT_DOUBLE_EQ(particles[0].position.z, -0.3);
    EXPECT_DOUBLE_EQ(particles[0].age, 0.1);
}

TEST_F(ParticlePool, FloorHoldsAtFiveHundredthsButKeepsTheSlide) {
    spawn_at({0, -1, 0}, 10.0, {2, 0, 0}, -25.0f);
    update_particles(0.0);
    EXPECT_EQ(particles[0].position.y, 0.05);  // lifted on its first update
    for (int i = 0; i < 10; ++i) update_particles(0.05);
    EXPECT_EQ(particles[0].position.y, 0.05);
    EXPECT_NEAR(particles[0].position.x, 1.0, 1e-12);  // still sliding
    EXPECT_LT(particles[0].velocity.y, -10.0);         // the floor does not touch velocity
}

TEST_F(ParticlePool, FadesOutAndDiesAfterItsLifetime) {
    spawn_at({0, 1, 0}, 0.3);
    EXPECT_FLOAT_EQ(particle_fade_alpha(particles[0]), 1.0f);
    EXPECT_EQ(ColorAlpha(Color{230, 41, 55, 255}, particle_fade_alpha(particles[0])).a, 255);
    update_particles(0.15);
    EXPECT_NEAR(particle_fade_alpha(particles[0]), 0.5f, 1e-6f);
    update_particles(0.15);
    // Age equal to the lifetime (within rounding) is not yet past it.
    EXPECT_EQ(particles[0].active, !(particles[0].age > 0.3));
    update_particles(0.01);
    EXPECT_FALSE(particles[0].active);
    // Never a negative alpha even if a caller looks at an expired slot.
    EXPECT_GE(particle_fade_alpha(particles[0]), 0.0f);
}

TEST_F(ParticlePool, SortPutsTheFarthestFirst) {
    std::mt19937 gen(3);
    std::uniform_real_distribution<double> u(-20.0, 20.0);
    for (int i = 0; i < 700; ++i) spawn_at({u(gen), u(gen), u(gen)});
    Vector3 eye{-6.0f, 2.2f, 1.4f};
    int live_before = test_support::live_particles();
    sort_particles_far_to_near(eye);
    EXPECT_EQ(test_support::live_particles(), live_before);  // nothing lost or duplicated
    for (int i = 1; i < max_particles; ++i) {
        float a = Vector3DistanceSqr(to_vector3(particles[i - 1].position), eye);
        float b = Vector3DistanceSqr(to_vector3(particles[i].position), eye);
        ASSERT_GE(a, b) << "slot " << i;
    }
}

TEST_F(ParticlePool, SortMovesEveryParticleWhole) {
    // Every slot gets a particle of its own (lifetime = slot number), active or not,
    // with equal distances mixed in; after the sort each one is still there exactly
    // once, with all of its fields together.
    std::mt19937 gen(11);
    std::uniform_int_distribution<int> coord(-6, 6);
    for (int i = 0; i < max_particles; ++i) {
        Particle &p = particles[i];
        p.position = {static_cast<double>(coord(gen)), 0.5, static_cast<double>(coord(gen))};
        p.velocity = {static_cast<double>(i), 0.0, 0.0};
        p.lifetime = static_cast<double>(i);
        p.active = i % 3 != 0;
        p.color = Color{static_cast<unsigned char>(i & 0xFF), static_cast<unsigned char>(i >> 8), 0, 255};
    }
    const Vector3 eye{0.0f, 11.5f, 11.5f};
    for (int round = 0; round < 2; ++round) {  // the second sort starts from sorted slots
        sort_particles_far_to_near(eye);
        std::vector<int> seen(max_particles, 0);
        for (int k = 0; k < max_particles; ++k) {
            const Particle &p = particles[k];
            const int id = static_cast<int>(p.lifetime);
            ASSERT_GE(id, 0);
            ASSERT_LT(id, max_particles);
            ++seen[id];
            EXPECT_EQ(p.velocity.x, p.lifetime);
            EXPECT_EQ(p.active, id % 3 != 0);
            EXPECT_EQ(p.color.r | (p.color.g << 8), id);
            if (k > 0) {
                ASSERT_GE(Vector3DistanceSqr(to_vector3(particles[k - 1].position), eye),
                          Vector3DistanceSqr(to_vector3(p.position), eye));
            }
        }
        for (int id = 0; id < max_particles; ++id) ASSERT_EQ(seen[id], 1) << "particle " << id;
    }
}
