// Every 3D object of the scene: a model with its placement, tint, blend mode and the
// flags that steer the shadow and main passes. Fixed table, filled at start-up.
#pragma once

#include <cstdint>
#include <optional>

#include "app/vec3d.h"
#include "raylib.h"

struct ModelInstance {
    Vec3d position{};
    double base_scale = 1.0;
    Vec3d scale{1.0, 1.0, 1.0};
    Vec3d rotation_axis{};
    Model model{};
    std::optional<Shader> custom_shader;
    const char *watched_path = nullptr;
    float rotation_angle = 0.0f;
    std::int32_t blend_mode = 0;  // BLEND_ALPHA
    std::int32_t mod_time = 0;
    bool visible = true;
    bool casts_shadow = true;
    bool receives_shadow = true;
    Color tint{255, 255, 255, 255};
};

struct ModelSource {
    enum class Kind : std::uint8_t { model, path };
    Kind kind = Kind::path;
    Model model{};               // kind model: taken over by the instance
    const char *path = nullptr;  // kind path: loaded with LoadModel
};

struct ModelDesc {
    Vec3d position{};
    std::optional<Shader> shader;
    ModelSource source{};
    double scale = 1.0;
};

inline constexpr std::uint32_t max_model_instances = 100;
extern ModelInstance model_instances[max_model_instances];
extern std::uint32_t model_count;

// Null when the table is full (nothing is loaded then).
ModelInstance *add_model(const ModelDesc &desc);
ModelInstance *set_rotation_axis(ModelInstance *inst, Vec3d axis);
ModelInstance *set_tint(ModelInstance *inst, Color tint);
ModelInstance *set_visible(ModelInstance *inst, bool visible);
ModelInstance *set_casts_shadow(ModelInstance *inst, bool casts);
ModelInstance *set_receives_shadow(ModelInstance *inst, bool receives);

// Shininess (0..1000, clamped) into the albedo alpha; untextured albedo maps get the
// shared transparent texture.
void prepare_materials(Model *model);
unsigned char shininess_to_alpha(float shininess);
// Our model files hold one object per material, in the material library's order.
// raylib 5.0's OBJ loader makes a mesh of each object but leaves every mesh on
// material 0; when that is what a model shows and there are as many meshes as
// materials, mesh i gets material i. Returns whether it remapped anything.
bool map_meshes_to_materials(Model *model);
Texture2D blank_texture();

// Polls the watched file (reloading the model when it changed), then draws.
void draw_model_instance(ModelInstance *inst);
void poll_watched_model(ModelInstance *inst);
// The draw alone: blend mode, transform, tint.
void draw_model_geometry(ModelInstance *inst);
void draw_models();
// Ground, 24 buttons, two tomatoes, 20 beams; builds the gameplay records on them.
// Has the scene's model files parsed ahead (before the window opens); the loads of
// load_scene_models take them, every instance of a file sharing one parse.
void prefetch_scene_models();
void load_scene_models();
void unload_models();
