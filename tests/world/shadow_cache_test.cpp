// The shadow map kept from frame to frame: each thing that must re-make it does, and
// what the kept map holds afterwards is, value for value, what a whole re-make draws.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "app/frame_loop.h"
#include "app/game_state.h"
#include "app_fixture.h"
#include "render/camera.h"
#include "render/model_registry.h"
#include "render/shadow_scene.h"
#include "rlgl.h"
#include "testing.h"

namespace {

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
