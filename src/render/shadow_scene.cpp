#include "render/shadow_scene.h"

#include "platform/raylib_bridge.h"
#include "raymath.h"
#include "render/model_registry.h"
#include "render/scene_diff.h"
#include "rlgl.h"

ShadowScene shadow_scene{};

namespace {

bool map_valid = false;  // the map holds what the last pass drew
ShadowPassReport report;

constexpr std::int32_t texel_pad = 2;

bool in_shadow_pass(const ModelInstance &inst) { return inst.visible && !inst.custom_shader; }

PixelRect texels_of(const BoundingBox &box, const Matrix &light_vp, const ShadowMap &map) {
    return project_box(box, light_vp, map.width, map.height, texel_pad);
}

// Shader and shadow-map assignments every instance of the pass gets, drawn or not.
void give_shadow_shader(const ShadowScene *scene) {
    for (std::uint32_t i = 0; i < model_count; ++i) {
        ModelInstance &inst = model_instances[i];
        if (!in_shadow_pass(inst)) continue;
        Model &m = inst.model;
        for (int k = 0; k < m.materialCount; ++k) m.materials[k].shader = scene->shadow_shader;
    }
}

void give_lighting_shader(const ShadowScene *scene) {
    for (std::uint32_t i = 0; i < model_count; ++i) {
        ModelInstance &inst = model_instances[i];
        if (!in_shadow_pass(inst)) continue;
        Model &m = inst.model;
        for (int k = 0; k < m.materialCount; ++k) {
            Material &mat = m.materials[k];
            if (inst.receives_shadow && mat.maps != nullptr)
                mat.maps[MATERIAL_MAP_HEIGHT].texture = scene->shadow_map.depth;
            mat.shader = scene->geom_shader;
        }
    }
}

// What of the map must be drawn again, from what changed in the scene.
ShadowPassReport plan_shadow_pass(const SceneDiff &diff, const ShadowMap &map, const Matrix &light_vp) {
    ShadowPassReport plan{};
    plan.damage = no_damage(map.width, map.height);
    if (!map_valid || diff.full_redraw || diff.light_changed) damage_all(&plan.damage);
    for (std::uint32_t i = 0; i < diff.slots && !plan.damage.whole; ++i) {
        const SlotChange &c = diff.slot[i];
        if (c.casts != c.cast) {
            damage_all(&plan.damage);  // a caster appeared or went
        } else if (c.casts && c.record_changed) {
            add_damage(&plan.damage, texels_of(c.was_box, light_vp, map));
            add_damage(&plan.damage, texels_of(c.box, light_vp, map));
        }
    }
    map_valid = true;
    plan.remake = plan.damage.whole       ? ShadowRemake::whole
                  : plan.damage.count > 0 ? ShadowRemake::regions
                                          : ShadowRemake::none;
    return plan;
}

// Clears each damaged region alone and draws into it the casters that can reach it.
// Depth keeps the nearest surface whatever the order, so the regions come out as a
// whole re-make would draw them.
void redraw_regions(ShadowScene *scene, const Damage &damage, const SceneDiff &diff, const Matrix &light_vp) {
    PixelRect texels[max_model_instances];
    for (std::uint32_t i = 0; i < diff.slots; ++i)
        texels[i] = diff.slot[i].casts ? texels_of(diff.slot[i].box, light_vp, scene->shadow_map) : PixelRect{};
    give_shadow_shader(scene);
    rlEnableScissorTest();
    for (int r = 0; r < damage.count; ++r) {
        const PixelRect &rect = damage.rects[r];
        rlScissor(rect.x0, rect.y0, rect.x1 - rect.x0, rect.y1 - rect.y0);
        rlClearScreenBuffers();
        for (std::uint32_t i = 0; i < diff.slots; ++i) {
            if (overlaps(texels[i], rect)) draw_model_geometry(&model_instances[i]);
        }
    }
    rlDisableScissorTest();
    give_lighting_shader(scene);
}

}  // namespace

const ShadowPassReport &last_shadow_pass() { return report; }

void forget_shadow_map_contents() { map_valid = false; }

static constexpr const char *geom_vs_path = "assets/shaders/glsl330/geom.vs";
static constexpr const char *geom_fs_path = "assets/shaders/glsl330/geom.fs";
static constexpr const char *shadow_vs_path = "assets/shaders/glsl330/shadow.vs";
static constexpr const char *shadow_fs_path = "assets/shaders/glsl330/shadow.fs";

ShadowMap load_shadow_map(std::int32_t width, std::int32_t height) {
    ShadowMap map{};
    map.id = load_framebuffer(width, height);
    map.width = width;
    map.height = height;
    rlEnableFramebuffer(map.id);
    map.depth.id = rlLoadTextureDepth(width, height, false);
    map.depth.width = width;
    map.depth.height = height;
    map.depth.mipmaps = 1;
    map.depth.format = 19;
    rlTextureParameters(map.depth.id, RL_TEXTURE_WRAP_S, RL_TEXTURE_WRAP_CLAMP);
    rlTextureParameters(map.depth.id, RL_TEXTURE_WRAP_T, RL_TEXTURE_WRAP_CLAMP);
    rlFramebufferAttach(map.id, map.depth.id, RL_ATTACHMENT_DEPTH, RL_ATTACHMENT_TEXTURE2D, 0);
    rlDisableFramebuffer();
    return map;
}

ShadowScene load_shadow_scene(std::int32_t size) {
    ShadowScene scene{};
    scene.shadow_map = load_shadow_map(size, size);
    scene.geom_shader = load_shader(geom_vs_path, geom_fs_path);
    scene.shadow_shader = load_shader(shadow_vs_path, shadow_fs_path);
    Shader &g = scene.geom_shader;
    if (shader_valid(g)) {
        // The shadow map travels in each material's height-map slot, so DrawModelEx
        // binds it to unit 6 and points the shader's "shadowMap" sampler there.
        g.locs[SHADER_LOC_MAP_HEIGHT] = GetShaderLocation(g, "shadowMap");
        g.locs[SHADER_LOC_VECTOR_VIEW] = GetShaderLocation(g, "viewPos");
    }
    scene.loc_mat_light = GetShaderLocation(g, "matLight");
    scene.loc_light_pos = GetShaderLocation(g, "lightPos");
    scene.loc_light_dir = GetShaderLocation(g, "lightDir");
    scene.loc_shadow_map_size = GetShaderLocation(g, "shadowMapSize");
    scene.shadow_map_size = size;
    // A new scene: nothing kept from the last one compares.
    forget_scene();
    forget_shadow_map_contents();
    return scene;
}

void unload_shadow_scene(ShadowScene *scene) {
    UnloadShader(scene->geom_shader);
    UnloadShader(scene->shadow_shader);
    rlUnloadFramebuffer(scene->shadow_map.id);
    rlUnloadTexture(scene->shadow_map.depth.id);
}

void update_light(ShadowScene *scene, const SceneCamera *light, const SceneCamera *view) {
    Matrix mat_light = MatrixMultiply(light->view, light->projection);
    Vector3 light_dir = Vector3RotateByQuaternion(Vector3{0.0f, 0.0f, -1.0f}, light->rotation);
    Shader &g = scene->geom_shader;
    SetShaderValue(g, scene->loc_light_pos, &light->position, SHADER_UNIFORM_VEC3);
    SetShaderValue(g, scene->loc_light_dir, &light_dir, SHADER_UNIFORM_VEC3);
    SetShaderValueMatrix(g, scene->loc_mat_light, mat_light);
    SetShaderValue(g, scene->loc_shadow_map_size, &scene->shadow_map_size, SHADER_UNIFORM_INT);
    if (shader_valid(g)) SetShaderValue(g, g.locs[SHADER_LOC_VECTOR_VIEW], &view->position, SHADER_UNIFORM_VEC3);
}

void begin_shadow_map(const ShadowMap *map) {
    rlDrawRenderBatchActive();
    rlEnableFramebuffer(map->id);
    rlClearScreenBuffers();
    rlViewport(0, 0, map->width, map->height);
    rlMatrixMode(RL_PROJECTION);
    rlLoadIdentity();
    rlOrtho(0, map->width, map->height, 0, 0, 1);
    rlMatrixMode(RL_MODELVIEW);
    rlLoadIdentity();
    rlClearColor(255, 255, 255, 255);
    rlDisableColorBlend();
}

void end_shadow_map() {
    rlEnableColorBlend();
    rlDisableTexture();
    rlDrawRenderBatchActive();
    rlDisableFramebuffer();
    // Back to the window's real drawable: on a high-DPI window it is larger than the
    // screen size, elsewhere the same whatever the desktop's scale.
    rlViewport(0, 0, GetRenderWidth(), GetRenderHeight());
    load_screen_projection();
}

void begin_camera_3d(const SceneCamera &cam) {
    rlDrawRenderBatchActive();
    rlMatrixMode(RL_PROJECTION);
    rlPushMatrix();
    rlLoadIdentity();
    rlMultMatrixf(MatrixToFloatV(cam.projection).v);
    rlMatrixMode(RL_MODELVIEW);
    rlLoadIdentity();
    rlMultMatrixf(MatrixToFloatV(cam.view).v);
    rlEnableDepthTest();
}

void end_camera_3d() { EndMode3D(); }

void draw_shadow_pass(ShadowScene *scene) {
    for (std::uint32_t i = 0; i < model_count; ++i) {
        ModelInstance &inst = model_instances[i];
        if (!inst.visible || inst.custom_shader) continue;
        Model &m = inst.model;
        for (int k = 0; k < m.materialCount; ++k) m.materials[k].shader = scene->shadow_shader;
        if (inst.casts_shadow) draw_model_instance(&inst);
        for (int k = 0; k < m.materialCount; ++k) {
            Material &mat = m.materials[k];
            if (inst.receives_shadow && mat.maps != nullptr)
                mat.maps[MATERIAL_MAP_HEIGHT].texture = scene->shadow_map.depth;
            mat.shader = scene->geom_shader;
        }
    }
}

void draw_scene_3d() {
    const SceneDiff &diff = diff_scene();
    const Matrix light_vp = MatrixMultiply(light_camera.view, light_camera.projection);
    report = plan_shadow_pass(diff, shadow_scene.shadow_map, light_vp);
    switch (report.remake) {
    case ShadowRemake::whole:
        begin_shadow_map(&shadow_scene.shadow_map);
        begin_camera_3d(light_camera);
        draw_shadow_pass(&shadow_scene);
        end_camera_3d();
        end_shadow_map();
        break;
    case ShadowRemake::regions:
        // As begin_shadow_map, without clearing the whole map.
        rlDrawRenderBatchActive();
        rlEnableFramebuffer(shadow_scene.shadow_map.id);
        rlViewport(0, 0, shadow_scene.shadow_map.width, shadow_scene.shadow_map.height);
        rlClearColor(255, 255, 255, 255);
        rlDisableColorBlend();
        begin_camera_3d(light_camera);
        redraw_regions(&shadow_scene, report.damage, diff, light_vp);
        end_camera_3d();
        end_shadow_map();
        break;
    case ShadowRemake::none:
        // The map stays bound to nothing; what was queued for the screen is drawn
        // now, as the pass would, and the screen's state comes back the same.
        rlDrawRenderBatchActive();
        rlClearColor(255, 255, 255, 255);
        give_shadow_shader(&shadow_scene);
        give_lighting_shader(&shadow_scene);
        end_shadow_map();
        break;
    }
}
