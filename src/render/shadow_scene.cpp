#include "render/shadow_scene.h"

#include "raymath.h"
#include "render/model_registry.h"
#include "rlgl.h"

ShadowScene shadow_scene{};

static constexpr const char *geom_vs_path = "assets/shaders/glsl330/geom.vs";
static constexpr const char *geom_fs_path = "assets/shaders/glsl330/geom.fs";
static constexpr const char *shadow_vs_path = "assets/shaders/glsl330/shadow.vs";
static constexpr const char *shadow_fs_path = "assets/shaders/glsl330/shadow.fs";

ShadowMap load_shadow_map(std::int32_t width, std::int32_t height) {
    ShadowMap map{};
    map.id = rlLoadFramebuffer(width, height);
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
    scene.geom_shader = LoadShader(geom_vs_path, geom_fs_path);
    scene.shadow_shader = LoadShader(shadow_vs_path, shadow_fs_path);
    Shader &g = scene.geom_shader;
    if (g.locs != nullptr) {
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
    if (g.locs != nullptr) SetShaderValue(g, g.locs[SHADER_LOC_VECTOR_VIEW], &view->position, SHADER_UNIFORM_VEC3);
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
    rlMatrixMode(RL_PROJECTION);
    rlLoadIdentity();
    rlOrtho(0, GetScreenWidth(), GetScreenHeight(), 0, 0, 1);
    rlMatrixMode(RL_MODELVIEW);
    rlLoadIdentity();
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
    begin_shadow_map(&shadow_scene.shadow_map);
    begin_camera_3d(light_camera);
    draw_shadow_pass(&shadow_scene);
    end_camera_3d();
    end_shadow_map();
}
