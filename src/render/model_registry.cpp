#include "render/model_registry.h"

#include <algorithm>

#include "app/game_state.h"
#include "app/prefetch.h"
#include "gameplay/buttons.h"
#include "gameplay/player.h"
#include "platform/raylib_bridge.h"

ModelInstance model_instances[max_model_instances];
std::uint32_t model_count = 0;

static bool blank_made = false;
static Texture2D blank{};

Texture2D blank_texture() {
    if (!blank_made) {
        Image img = GenImageColor(1, 1, Color{0, 0, 0, 0});
        blank = LoadTextureFromImage(img);
        UnloadImage(img);
        blank_made = true;
    }
    return blank;
}

unsigned char shininess_to_alpha(float shininess) {
    // The lighting shader reads shininess 0..1000 as 0..255 from the diffuse alpha.
    // Values outside that range are clamped rather than wrapped into the byte.
    float s = std::clamp(shininess, 0.0f, 1000.0f);
    if (!(s == s)) s = 0.0f;  // NaN
    return static_cast<unsigned char>(s / 1000.0f * 255.0f);
}

void prepare_materials(Model *model) {
    for (int i = 0; i < model->materialCount; ++i) {
        Material &mat = model->materials[i];
        if (mat.maps == nullptr) continue;
        mat.maps[MATERIAL_MAP_ALBEDO].color.a = shininess_to_alpha(mat.maps[MATERIAL_MAP_NORMAL].value);
        // A 1x1 albedo is the loader's stand-in for "no texture"; the shared
        // transparent one tells the lighting shader to use the plain colour.
        if (mat.maps[MATERIAL_MAP_ALBEDO].texture.width == 1) mat.maps[MATERIAL_MAP_ALBEDO].texture = blank_texture();
    }
}

bool map_meshes_to_materials(Model *model) {
    if (model->meshMaterial == nullptr || model->materials == nullptr) return false;
    // One mesh on material 0 is right already; other counts mean another layout of
    // objects, which a guess would only colour wrongly.
    if (model->meshCount < 2 || model->meshCount != model->materialCount) return false;
    for (int i = 0; i < model->meshCount; ++i) {
        if (model->meshMaterial[i] != 0) return false;  // the loader mapped them itself
    }
    for (int i = 0; i < model->meshCount; ++i) model->meshMaterial[i] = i;
    return true;
}

ModelInstance *add_model(const ModelDesc &desc) {
    if (model_count >= max_model_instances) {
        TraceLog(LOG_WARNING, "MODELS: all %u instance slots are in use; model not added", max_model_instances);
        return nullptr;
    }
    ModelInstance inst{};
    if (desc.source.kind == ModelSource::Kind::path) {
        inst.model = load_model_file(desc.source.path);
        map_meshes_to_materials(&inst.model);
    } else {
        inst.model = desc.source.model;
    }
    inst.position = desc.position;
    inst.base_scale = desc.scale;
    inst.scale = Vec3d{desc.scale, desc.scale, desc.scale};
    inst.custom_shader = desc.shader;
    if (desc.shader) {
        for (int i = 0; i < inst.model.materialCount; ++i) inst.model.materials[i].shader = *desc.shader;
    } else {
        prepare_materials(&inst.model);
    }
    model_instances[model_count] = inst;
    return &model_instances[model_count++];
}

namespace {

// Sets one field and hands the instance back, so that setters chain.
template <typename T>
ModelInstance *with_field(ModelInstance *inst, T ModelInstance::*field, T value) {
    inst->*field = value;
    return inst;
}

}  // namespace

ModelInstance *set_rotation_axis(ModelInstance *inst, Vec3d axis) {
    return with_field(inst, &ModelInstance::rotation_axis, axis);
}
ModelInstance *set_tint(ModelInstance *inst, Color tint) { return with_field(inst, &ModelInstance::tint, tint); }
ModelInstance *set_visible(ModelInstance *inst, bool visible) {
    return with_field(inst, &ModelInstance::visible, visible);
}
ModelInstance *set_casts_shadow(ModelInstance *inst, bool casts) {
    return with_field(inst, &ModelInstance::casts_shadow, casts);
}
ModelInstance *set_receives_shadow(ModelInstance *inst, bool receives) {
    return with_field(inst, &ModelInstance::receives_shadow, receives);
}

void poll_watched_model(ModelInstance *inst) {
    if (inst->watched_path == nullptr) return;
    auto t = static_cast<std::int32_t>(GetFileModTime(inst->watched_path));
    if (t == inst->mod_time) return;
    UnloadModel(inst->model);
    inst->mod_time = t;
    inst->model = load_model_file(inst->watched_path);
    map_meshes_to_materials(&inst->model);
    prepare_materials(&inst->model);
    TraceLog(LOG_INFO, "Updated model %s\n", inst->watched_path);
}

void draw_model_instance(ModelInstance *inst) {
    poll_watched_model(inst);
    draw_model_geometry(inst);
}

void draw_model_geometry(ModelInstance *inst) {
    BeginBlendMode(inst->blend_mode);
    DrawModelEx(inst->model, to_vector3(inst->position), to_vector3(inst->rotation_axis), inst->rotation_angle,
                to_vector3(inst->scale), inst->tint);
    EndBlendMode();
}

void draw_models() {
    for (std::uint32_t i = 0; i < model_count; ++i) {
        if (model_instances[i].visible) draw_model_instance(&model_instances[i]);
    }
}

static ModelInstance *add_from_path(const char *path, Vec3d position) {
    ModelDesc desc{};
    desc.position = position;
    desc.source.kind = ModelSource::Kind::path;
    desc.source.path = path;
    desc.scale = 1.0;
    return add_model(desc);
}

static constexpr const char *grass_path = "assets/models/grass.obj";
static constexpr const char *button_path = "assets/models/button.obj";
static constexpr const char *tomato_path = "assets/models/tomato.obj";

void prefetch_scene_models() {
    prefetch_model(grass_path);
    prefetch_model(button_path);
    prefetch_model(tomato_path);
}

void load_scene_models() {
    add_from_path(grass_path, Vec3d{0.0, -0.05, 0.0});

    for (int i = 0; i < button_count; ++i) {
        ModelInstance *inst = add_from_path(button_path, button_position(i));
        init_button(game_state.buttons[i], inst, i);
    }

    game_state.players[0].instance = add_from_path(tomato_path, player1_start);
    game_state.players[1].instance = add_from_path(tomato_path, player2_start);

    for (int i = 0; i < beam_count; ++i) {
        ModelDesc desc{};
        desc.source.kind = ModelSource::Kind::model;
        desc.source.model = LoadModelFromMesh(GenMeshCube(0.2f, 0.2f, 12.0f));
        desc.scale = 1.0;
        ModelInstance *inst = add_model(desc);
        set_rotation_axis(inst, Vec3d{0.0, 1.0, 0.0});
        set_tint(inst, RED);
        set_visible(inst, false);
        set_casts_shadow(inst, false);
        set_receives_shadow(inst, false);
        init_beam(game_state.beams[i], inst);
    }
}

void unload_models() {
    // Hidden instances (the beams at rest, a hidden player) are left to the closing
    // of the window, which frees every model still alive.
    for (std::uint32_t i = 0; i < model_count; ++i) {
        if (model_instances[i].visible) UnloadModel(model_instances[i].model);
    }
    // The table is empty again, so a later start-up in the same process fills it afresh
    // instead of drawing models that were released.
    model_count = 0;
    // The shared transparent texture goes with the window too; a later start-up must make
    // its own rather than hand out an id the new context gives to another texture.
    blank_made = false;
    blank = Texture2D{};
}
