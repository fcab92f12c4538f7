// The directional light's shadow map and the two passes that use it.
#pragma once

#include <cstdint>

#include "raylib.h"
#include "render/camera.h"

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

ShadowScene load_shadow_scene(std::int32_t size);
ShadowMap load_shadow_map(std::int32_t width, std::int32_t height);
// Both shaders, then the framebuffer and its depth texture.
void unload_shadow_scene(ShadowScene *scene);

void update_light(ShadowScene *scene, const SceneCamera *light, const SceneCamera *view);
void draw_scene_3d();
void begin_camera_3d(const SceneCamera &cam);
void end_camera_3d();
void begin_shadow_map(const ShadowMap *map);
void end_shadow_map();
void draw_shadow_pass(ShadowScene *scene);
