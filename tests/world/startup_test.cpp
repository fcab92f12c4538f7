// The started game: the scene's instances in their order, the records built on them,
// the material preparation, and the order of a frame's update and drawing.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "app/frame_loop.h"
#include "app/game_state.h"
#include "app_fixture.h"
#include "render/camera.h"
#include "render/model_registry.h"
#include "render/overlay.h"
#include "render/particles.h"
#include "render/shader_registry.h"
#include "render/shadow_scene.h"
#include "settings/display.h"
#include "settings/settings.h"
#include "support/game_frame.h"
#include "support/solid_texture.h"
#include "testing.h"

using StartUp = StartedApp;

TEST_F(StartUp, SceneHoldsFortySevenInstancesInOrder) {
    ASSERT_EQ(model_count, 47u);
    // 0: the ground.
    EXPECT_TRUE(model_instances[0].position == (Vec3d{0.0, -0.05, 0.0}));
    EXPECT_TRUE(model_instances[0].casts_shadow && model_instances[0].receives_shadow);
    // 1..24: the buttons, each carrying its record.
    for (int i = 0; i < 24; ++i) {
        const ModelInstance *inst = &model_instances[1 + i];
        Vec3d expected = button_position(i);
        EXPECT_EQ(game_state.buttons[i].instance, inst) << i;
        EXPECT_EQ(inst->position.x, expected.x) << i;
        EXPECT_EQ(inst->position.z, expected.z) << i;
        EXPECT_EQ(game_state.buttons[i].side, i >= 12) << i;
        EXPECT_EQ(inst->base_scale, 1.0);
    }
    // 25, 26: the tomatoes.
    EXPECT_EQ(game_state.players[0].instance, &model_instances[25]);
    EXPECT_EQ(game_state.players[1].instance, &model_instances[26]);
    EXPECT_EQ(model_instances[26].position.x, 6.0);
    // 27..46: the beams, hidden and out of both shadow roles.
    for (int i = 0; i < 20; ++i) {
        const ModelInstance *inst = &model_instances[27 + i];
        EXPECT_EQ(game_state.beams[i].instance, inst) << i;
        EXPECT_FALSE(inst->visible || inst->casts_shadow || inst->receives_shadow) << i;
        EXPECT_TRUE(inst->rotation_axis == (Vec3d{0.0, 1.0, 0.0}));
        EXPECT_EQ(inst->tint.r, 230);
        EXPECT_EQ(inst->tint.g, 41);
        EXPECT_EQ(inst->model.meshCount, 1);
    }
    // Nothing of the scene has a custom shader or a watched file.
    for (std::uint32_t i = 0; i < model_count; ++i) {
        EXPECT_FALSE(model_instances[i].custom_shader.has_value());
        EXPECT_EQ(model_instances[i].watched_path, nullptr);
    }
}

TEST_F(StartUp, WorldIsReadyForTheTitleScreen) {
    EXPECT_EQ(game_state.screen_state, ScreenState::menu);
    EXPECT_TRUE(game_state.joined[0]);
    EXPECT_TRUE(game_state.players[0].input_locked);
    EXPECT_TRUE(camera_motion.move_to == menu_view_position);
    EXPECT_EQ(light_camera.scale.x, 4.0f);
    EXPECT_TRUE(light_camera.orthographic);
    EXPECT_FALSE(view_camera.orthographic);
    EXPECT_GT(shadow_scene.shadow_map.id, 0u);
    EXPECT_GT(shadow_scene.shadow_map.depth.id, 0u);
    EXPECT_EQ(shadow_scene.shadow_map_size, shadow_map_size);
    EXPECT_GE(shadow_map_size, 4096);
    EXPECT_NE(shadow_scene.loc_mat_light, -1);
    EXPECT_NE(shadow_scene.geom_shader.locs[21], -1);  // shadowMap on the height-map slot
    EXPECT_GT(particle_texture.id, 0u);
    // No settings.cfg here: the defaults stand and nothing was written.
    EXPECT_EQ(settings.screen_width, 1280);
    EXPECT_TRUE(settings.vsync);
    EXPECT_NE(access("settings.cfg", F_OK), 0);
}

TEST_F(StartUp, ShininessBecomesTheAlbedoAlpha) {
    Model model = LoadModelFromMesh(GenMeshCube(1.0f, 1.0f, 1.0f));
    ASSERT_GE(model.materialCount, 1);
    MaterialMap *maps = model.materials[0].maps;
    struct Case {
        float shininess;
        unsigned char alpha;
    };
    for (Case c : {Case{1000.0f, 255}, Case{500.0f, 127}, Case{0.0f, 0}, Case{96.078431f, 24}, Case{2500.0f, 255},
                   Case{-4.0f, 0}}) {
        maps[MATERIAL_MAP_NORMAL].value = c.shininess;
        maps[MATERIAL_MAP_ALBEDO].color.a = 77;
        prepare_materials(&model);
        EXPECT_EQ(maps[MATERIAL_MAP_ALBEDO].color.a, c.alpha) << c.shininess;
    }
    UnloadModel(model);
}

TEST_F(StartUp, UntexturedAlbedoGetsTheSharedTransparentTexture) {
    Model plain = LoadModelFromMesh(GenMeshCube(1.0f, 1.0f, 1.0f));
    Model textured = LoadModelFromMesh(GenMeshCube(1.0f, 1.0f, 1.0f));
    Texture2D tex = test_support::solid_texture(4, 2, Color{10, 20, 30, 255});
    textured.materials[0].maps[MATERIAL_MAP_ALBEDO].texture = tex;
    ASSERT_EQ(plain.materials[0].maps[MATERIAL_MAP_ALBEDO].texture.width, 1);
    unsigned int white = plain.materials[0].maps[MATERIAL_MAP_ALBEDO].texture.id;

    prepare_materials(&plain);
    prepare_materials(&textured);
    Texture2D blank = blank_texture();
    EXPECT_EQ(plain.materials[0].maps[MATERIAL_MAP_ALBEDO].texture.id, blank.id);
    EXPECT_NE(blank.id, white);
    EXPECT_EQ(textured.materials[0].maps[MATERIAL_MAP_ALBEDO].texture.id, tex.id);
    EXPECT_EQ(blank_texture().id, blank.id);  // one shared texture

    // The shared texture is a transparent texel: drawn over white it leaves white.
    BeginDrawing();
    ClearBackground(Color{255, 255, 255, 255});
    DrawTexturePro(blank, Rectangle{0, 0, 1, 1}, Rectangle{0, 0, 32, 32}, Vector2{0, 0}, 0.0f,
                   Color{255, 255, 255, 255});
    Image back = testing_read_frame();
    EndDrawing();
    ASSERT_NE(back.data, nullptr);
    Color c = GetImageColor(back, 16, 16);
    EXPECT_EQ(c.r, 255);
    EXPECT_EQ(c.g, 255);
    EXPECT_EQ(c.b, 255);
    UnloadImage(back);
    // The scene's own untextured materials went the same way.
    EXPECT_EQ(model_instances[25].model.materials[0].maps[MATERIAL_MAP_ALBEDO].texture.id, blank.id);

    UnloadTexture(tex);
    UnloadModel(plain);
    UnloadModel(textured);
}

TEST_F(StartUp, CamerasUpdateBeforeTheirMotion) {
    // update_camera runs before update_camera_motion, so a position written by the
    // motion reaches the matrices one frame later.
    Vec3d before = camera_position;
    move_camera_to(match_view_position);
    update_game(0.05);
    EXPECT_FALSE(camera_position == before);
    EXPECT_FLOAT_EQ(view_camera.transform.m13, static_cast<float>(before.y));  // still the old place
    float moved_y = view_camera.position.y;
    update_game(0.05);
    EXPECT_FLOAT_EQ(view_camera.transform.m13, moved_y);
    // Let the move finish and come back to the menu viewpoint for the other tests.
    for (int i = 0; i < 10; ++i) update_game(0.05);
    move_camera_to(menu_view_position);
    for (int i = 0; i < 10; ++i) update_game(0.05);
    EXPECT_TRUE(camera_position == menu_view_position);
}

TEST_F(StartUp, ParticlesMoveBeforeTheScreenUpdateSpawnsNewOnes) {
    // The idle tomato's landing splash is spawned by the screen update, after the
    // particle update of the same frame: the new sparks have age 0 in that frame.
    for (Particle &p : particles) p = Particle{};
    Player &p1 = game_state.players[0];
    p1.instance->position.y = 0.5;
    p1.velocity = Vec3d{};
    p1.grounded = false;
    int frames = 0;
    int live = 0;
    while (live == 0 && frames < 120) {
        update_game(1.0 / 60.0);
        ++frames;
        live = 0;
        for (const Particle &p : particles) live += p.active ? 1 : 0;
    }
    ASSERT_GT(live, 0) << "the tomato never landed";
    for (const Particle &p : particles) {
        if (p.active) {
            EXPECT_EQ(p.age, 0.0);
        }
    }
    update_game(1.0 / 60.0);
    for (const Particle &p : particles) {
        if (p.active) {
            EXPECT_DOUBLE_EQ(p.age, 1.0 / 60.0);
        }
    }
}

TEST_F(StartUp, RunFrameScalesAndCapsTheDelta) {
    // The camera's move clock shows the delta each update received.
    Settings saved = settings;
    testing_set_fixed_frame_time(0.05);
    settings.game_speed = 2.0;
    move_camera_to(menu_view_position);
    run_frame();
    EXPECT_NEAR(camera_motion.move_time, 0.1, 1e-7);
    settings.game_speed = 10.0;
    move_camera_to(menu_view_position);
    run_frame();
    EXPECT_EQ(camera_motion.move_time, 0.15);
    settings = saved;
    testing_set_fixed_frame_time(1.0 / 60.0);
    for (int i = 0; i < 12; ++i) run_frame();
    EXPECT_FALSE(camera_motion.move_active);
}

TEST_F(StartUp, FrameIsClearedLitAndCountedInOrder) {
    for (int i = 0; i < 3; ++i) run_frame();
    update_game(scaled_frame_delta(GetFrameTime(), settings.game_speed));
    Image frame = test_support::draw_game_frame();
    ASSERT_NE(frame.data, nullptr);
    // The FPS counter comes last, over everything, in the top right corner.
    EXPECT_GT(test_support::fps_counter_pixels(frame, 20), 20);
    UnloadImage(frame);
}

TEST_F(StartUp, FullscreenSwitchRecordsTheRealStateAndSaves) {
    Settings saved = settings;
    settings.screen_width = 1000;
    settings.screen_height = 600;
    toggle_fullscreen();
    EXPECT_EQ(settings.fullscreen, IsWindowFullscreen());
    Result<Settings> on_disk = load_settings();
    ASSERT_TRUE(on_disk.ok());
    EXPECT_EQ(on_disk.value().fullscreen, settings.fullscreen);
    if (IsWindowFullscreen()) toggle_fullscreen();
    // Leaving (or failing to enter) fullscreen restores the size from the settings.
    EXPECT_FALSE(settings.fullscreen);
    EXPECT_EQ(GetScreenWidth(), 1000);
    EXPECT_EQ(GetScreenHeight(), 600);
    EXPECT_FALSE(load_settings().value().fullscreen);

    SetWindowSize(1280, 720);
    settings = saved;
    std::remove("settings.cfg");
}

TEST_F(StartUp, MissingOverlayShaderLeavesTheHudAndDrawsNoOverlay) {
    // Without the shader file the engine hands back its default shader: the uniforms
    // are not found, nothing is bound, and the overlay quad samples a transparent
    // texture, so the match looks the same minus the overlay.
    const RenderTexture2D saved_target = overlay_target;
    const Shader saved_shader = overlay_shader;
    const std::size_t entries = shader_registry.size();
    ASSERT_EQ(mkdir("no-assets", 0755), 0);
    ASSERT_EQ(chdir("no-assets"), 0);
    load_overlay();
    ASSERT_EQ(chdir(".."), 0);
    rmdir("no-assets");
    ASSERT_EQ(shader_registry.size(), entries + 1);
    EXPECT_TRUE(shader_registry.back().uniforms.empty());

    const bool joined[2] = {game_state.joined[0], game_state.joined[1]};
    game_state.joined[0] = game_state.joined[1] = true;
    BeginDrawing();
    ClearBackground(Color{255, 255, 255, 255});
    draw_match_hud(MatchEndLines{});
    Image frame = testing_read_frame();
    EndDrawing();
    game_state.joined[0] = joined[0];
    game_state.joined[1] = joined[1];
    ASSERT_NE(frame.data, nullptr);
    int text = 0;
    for (int y = 0; y < 50; ++y) {
        for (int x = 0; x < 150; ++x) {
            Color c = GetImageColor(frame, x, y);
            text += (c.r == 0 && c.g == 121 && c.b == 241) ? 1 : 0;
        }
    }
    EXPECT_GT(text, 50);  // both lives lines
    Color middle = GetImageColor(frame, GetScreenWidth() / 2, GetScreenHeight() / 2);
    EXPECT_EQ(middle.r, 255);
    EXPECT_EQ(middle.g, 255);
    EXPECT_EQ(middle.b, 255);
    UnloadImage(frame);

    shader_registry.pop_back();  // the engine's default shader: nothing to unload
    overlay_target = saved_target;
    overlay_shader = saved_shader;
    overlay_ready = true;
}
