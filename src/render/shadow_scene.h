// The directional light's shadow map and the two passes that use it.
#pragma once

#include <cstdint>

#include "raylib.h"
#include "render/camera.h"
#include "render/damage.h"

struct ShadowMap {
    unsigned int id = 0;  // framebuffer
    std::int32_t width = 0;
    std::int32_t height = 0;
    Texture2D depth{};
};

struct ShadowScene {
    Shader geom_shader{};
    Shader shadow_shader{};
    ShadowMap shadow_map{};
    std::int32_t shadow_map_size = 0;
    std::int32_t loc_mat_light = -1;
    std::int32_t loc_light_pos = -1;
    std::int32_t loc_light_dir = -1;
    std::int32_t loc_shadow_map_size = -1;
};

extern ShadowScene shadow_scene;

// The depth map is kept from frame to frame. Each shadow pass re-makes only the
// regions that changed casters covered before or cover now; a change of the light
// camera, of the map, or of which instances cast re-makes all of it (scene_diff.h
// says what changed).
enum class ShadowRemake : std::uint8_t { none, regions, whole };

struct ShadowPassReport {
    ShadowRemake remake = ShadowRemake::whole;
    Damage damage{};  // texels of the map drawn again (whole: all of them)
};

// What the last draw_scene_3d did to the map.
const ShadowPassReport &last_shadow_pass();
// The next shadow pass re-makes the whole map.
void forget_shadow_map_contents();

ShadowScene load_shadow_scene(std::int32_t size);
ShadowMap load_shadow_map(std::int32_t width, std::int32_t height);
// Both shaders, then the framebuffer and its depth texture.
void unload_shadow_scene(ShadowScene *scene);

void update_light(ShadowScene *scene, const SceneCamera *light, const SceneCamera *view);
// Works out the frame's scene difference (diff_scene), then brings the map up to date.
void draw_scene_3d();
void begin_camera_3d(const SceneCamera &cam);
void end_camera_3d();
void begin_shadow_map(const ShadowMap *map);
void end_shadow_map();
void draw_shadow_pass(ShadowScene *scene);
