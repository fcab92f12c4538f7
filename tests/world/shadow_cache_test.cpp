// The shadow map kept from frame to frame: each thing that must re-make it does, and
// what the kept map holds afterwards is, value for value, what a whole re-make draws.
// First the rectangles both kept targets are re-made by: how they add up, and which
// pixels a box covers.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <vector>

#include "app/frame_loop.h"
#include "app/game_state.h"
#include "app_fixture.h"
#include "raymath.h"
#include "render/camera.h"
#include "render/damage.h"
#include "render/model_registry.h"
#include "render/shadow_scene.h"
#include "rlgl.h"
#include "testing.h"

namespace {

bool same_rect(PixelRect a, PixelRect b) { return a.x0 == b.x0 && a.y0 == b.y0 && a.x1 == b.x1 && a.y1 == b.y1; }

TEST(DamageRects, AddUpAsTheRowsSay) {
    struct Row {
        const char *what;
        std::vector<PixelRect> added;  // into a 100 x 100 target
        bool whole;
        std::vector<PixelRect> expected;
    };
    std::vector<PixelRect> thirteen;
    for (int i = 0; i < 13; ++i) thirteen.push_back(PixelRect{i * 7, 0, i * 7 + 5, 5});
    const Row rows[] = {
        {"nothing", {}, false, {}},
        {"kept inside the target", {{-10, -10, 20, 20}}, false, {{0, 0, 20, 20}}},
        {"an empty rectangle", {{5, 5, 5, 9}}, false, {}},
        {"outside the target", {{100, 0, 120, 20}}, false, {}},
        {"overlapping: merged", {{0, 0, 10, 10}, {5, 5, 15, 15}}, false, {{0, 0, 15, 15}}},
        {"side by side: kept apart", {{0, 0, 10, 10}, {10, 0, 20, 10}}, false, {{0, 0, 10, 10}, {10, 0, 20, 10}}},
        {"a bridge merges all it meets", {{0, 0, 10, 10}, {20, 0, 30, 10}, {5, 0, 25, 10}}, false, {{0, 0, 30, 10}}},
        {"three fifths covered: still rectangles", {{0, 0, 75, 80}}, false, {{0, 0, 75, 80}}},
        {"more than three fifths: whole", {{0, 0, 76, 80}}, true, {}},
        {"more rectangles than kept: whole", thirteen, true, {}},
        {"whole stays whole", {{0, 0, 90, 90}, {0, 0, 1, 1}}, true, {}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        Damage d = no_damage(100, 100);
        for (PixelRect r : row.added) add_damage(&d, r);
        EXPECT_EQ(d.whole, row.whole);
        EXPECT_EQ(any_damage(d), row.whole || !row.expected.empty());
        ASSERT_EQ(d.count, static_cast<int>(row.expected.size()));
        for (PixelRect r : row.expected) {
            bool found = false;
            for (int i = 0; i < d.count; ++i) found = found || same_rect(d.rects[i], r);
            EXPECT_TRUE(found) << r.x0 << "," << r.y0 << " " << r.x1 << "," << r.y1;
        }
    }
}

TEST(DamageRects, ProjectBoxAsTheRowsSay) {
    // Through the identity, x and y from -1 to 1 span a 100 x 100 target.
    const Matrix flat = MatrixIdentity();
    Matrix eye = MatrixIdentity();  // w = -z: what lies at z >= 0 is at or behind the eye
    eye.m11 = -1.0f;
    eye.m15 = 0.0f;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Row {
        const char *what;
        BoundingBox box;
        Matrix vp;
        int pad;
        PixelRect expected;
    };
    const Row rows[] = {
        {"the middle half", {{-0.5f, -0.5f, 0.0f}, {0.5f, 0.5f, 0.0f}}, flat, 0, {25, 25, 75, 75}},
        {"grown by the pad", {{-0.5f, -0.5f, 0.0f}, {0.5f, 0.5f, 0.0f}}, flat, 2, {23, 23, 77, 77}},
        {"fractions widen outwards", {{-0.499f, -0.499f, 0.0f}, {0.499f, 0.499f, 0.0f}}, flat, 0, {25, 25, 75, 75}},
        {"cut at the target's edge", {{0.5f, 0.5f, 0.0f}, {2.0f, 2.0f, 0.0f}}, flat, 0, {75, 75, 100, 100}},
        {"outside: empty", {{2.0f, 2.0f, 0.0f}, {3.0f, 3.0f, 0.0f}}, flat, 4, {}},
        {"far outside: empty, no overflow", {{1e30f, 1e30f, 0.0f}, {2e30f, 2e30f, 0.0f}}, flat, 0, {}},
        {"in front of the eye", {{-0.5f, -0.5f, -2.0f}, {0.5f, 0.5f, -1.0f}}, eye, 0, {25, 25, 75, 75}},
        {"a corner behind the eye: whole", {{0.1f, 0.1f, -1.0f}, {0.2f, 0.2f, 1.0f}}, eye, 0, {0, 0, 100, 100}},
        {"a corner not a number: whole", {{0.1f, 0.1f, 0.0f}, {nan, 0.2f, 0.0f}}, flat, 0, {0, 0, 100, 100}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const PixelRect r = project_box(row.box, row.vp, 100, 100, row.pad);
        EXPECT_TRUE(same_rect(r, row.expected)) << r.x0 << "," << r.y0 << " " << r.x1 << "," << r.y1;
    }
}

std::vector<float> read_map() {
    const ShadowMap &map = shadow_scene.shadow_map;
    return testing_read_depth(map.id, 0, 0, map.width, map.height);
}

// One shadow pass, without advancing the game (the title tomato never stops wobbling).
void shadow_pass() {
    BeginDrawing();
    draw_scene_3d();
    EndDrawing();
}

// The shadow pass once more from scratch.
std::vector<float> whole_remake() {
    forget_shadow_map_contents();
    shadow_pass();
    EXPECT_EQ(last_shadow_pass().remake, ShadowRemake::whole);
    return read_map();
}

std::size_t differing(const std::vector<float> &a, const std::vector<float> &b) {
    if (a.size() != b.size()) return a.size() + b.size();
    std::size_t n = 0;
    for (std::size_t i = 0; i < a.size(); ++i) n += a[i] != b[i] ? 1 : 0;
    return n;
}

void use_map(ShadowMap map) {
    shadow_scene.shadow_map = map;
    shadow_scene.shadow_map_size = map.width;
}

void unload_map() {
    rlUnloadFramebuffer(shadow_scene.shadow_map.id);
    rlUnloadTexture(shadow_scene.shadow_map.depth.id);
}

// Lets the title tomato land, then makes the map hold the scene as it stands.
void settle() {
    for (int i = 0; i < 120; ++i) run_frame();
    shadow_pass();
    shadow_pass();
    ASSERT_EQ(last_shadow_pass().remake, ShadowRemake::none);
}

// Flips a bit of the first material's colour; twice restores it.
void recolour(ModelInstance *inst) { inst->model.materials[0].maps[MATERIAL_MAP_DIFFUSE].color.r ^= 0x40; }

class ShadowCache : public StartedApp {};

TEST_F(ShadowCache, EachCauseRemakesWhatItMustAndTheMapMatchesAWholeRemake) {
    ASSERT_EQ(game_state.screen_state, ScreenState::menu);
    // A smaller map than the game's keeps the read-backs quick; the rules are the same.
    const ShadowMap game_map = shadow_scene.shadow_map;
    use_map(load_shadow_map(1024, 1024));
    settle();
    ModelInstance *tomato = game_state.players[0].instance;
    ModelInstance *button = game_state.buttons[4].instance;
    const Vec3d tomato_at = tomato->position;
    const Vector3 light_at = light_camera.position;
    const ShadowMap first_map = shadow_scene.shadow_map;

    struct Row {
        const char *cause;
        std::function<void()> apply;
        ShadowRemake expected;
        bool map_changes;
    };
    const Row rows[] = {
        {"nothing changed", [] {}, ShadowRemake::none, false},
        {"a caster moves",
         [&] {
             tomato->position = tomato_at + Vec3d{0.7, 0.0, 0.4};
         },
         ShadowRemake::regions, true},
        {"it moves back", [&] { tomato->position = tomato_at; }, ShadowRemake::regions, true},
        {"a caster turns",
         [&] {
             set_rotation_axis(button, Vec3d{0.0, 1.0, 0.0});
             button->rotation_angle = 30.0f;
         },
         ShadowRemake::regions, true},
        {"it turns back",
         [&] {
             set_rotation_axis(button, Vec3d{});
             button->rotation_angle = 0.0f;
         },
         ShadowRemake::regions, true},
        {"a caster disappears", [&] { set_visible(button, false); }, ShadowRemake::whole, true},
        {"it appears again", [&] { set_visible(button, true); }, ShadowRemake::whole, true},
        {"a caster stops casting", [&] { set_casts_shadow(tomato, false); }, ShadowRemake::whole, true},
        {"it casts again", [&] { set_casts_shadow(tomato, true); }, ShadowRemake::whole, true},
        // Each caster's record is compared whole, so no field can be left out.
        {"a field the pass never reads changes", [&] { tomato->base_scale += 1.0; }, ShadowRemake::regions, false},
        {"it changes back", [&] { tomato->base_scale -= 1.0; }, ShadowRemake::regions, false},
        {"only a material's colour changes", [&] { recolour(button); }, ShadowRemake::none, false},
        {"and back", [&] { recolour(button); }, ShadowRemake::none, false},
        {"the map's size changes", [&] { use_map(load_shadow_map(512, 512)); }, ShadowRemake::whole, true},
        {"the map's size comes back",
         [&] {
             unload_map();
             use_map(first_map);
         },
         ShadowRemake::whole, true},
        {"the light moves",
         [&] {
             light_camera.position.x += 0.5f;
             update_camera(&light_camera);
         },
         ShadowRemake::whole, true},
        {"the light moves back",
         [&] {
             light_camera.position = light_at;
             update_camera(&light_camera);
         },
         ShadowRemake::whole, true},
    };
    std::vector<float> before = read_map();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.cause);
        row.apply();
        shadow_pass();
        EXPECT_EQ(last_shadow_pass().remake, row.expected);
        const std::vector<float> kept = read_map();
        ASSERT_FALSE(kept.empty());
        if (row.expected == ShadowRemake::regions) {
            // Only a little of the map is drawn again.
            const Damage &d = last_shadow_pass().damage;
            std::int64_t texels = 0;
            for (int i = 0; i < d.count; ++i) texels += area(d.rects[i]);
            EXPECT_GT(texels, 0);
            EXPECT_LT(texels * 50, static_cast<std::int64_t>(kept.size()));
        }
        // Comparing sizes first: the map may have been swapped for another size.
        if (row.map_changes && before.size() == kept.size()) {
            EXPECT_GT(differing(before, kept), 0u);
        }
        EXPECT_EQ(differing(kept, whole_remake()), 0u);
        before = read_map();
    }
    // With nothing changed since, there is nothing to re-make.
    shadow_pass();
    EXPECT_EQ(last_shadow_pass().remake, ShadowRemake::none);
    unload_map();
    use_map(game_map);
    run_frame();
}

}  // namespace
