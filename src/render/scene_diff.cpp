#include "render/scene_diff.h"

#include <cstring>
#include <type_traits>

#if defined(__EMSCRIPTEN__)
#include <emscripten.h>
#endif

#include "render/camera.h"
#include "render/damage.h"
#include "render/shadow_scene.h"

bool full_redraw_every_frame = false;

#if defined(__EMSCRIPTEN__)
// The page has no environment of its own: its console switches the whole redraw
// (Module._vorbel_full_redraw(1)), as the browser test does to compare the two.
extern "C" EMSCRIPTEN_KEEPALIVE void vorbel_full_redraw(int on) { full_redraw_every_frame = on != 0; }
#endif

namespace {

// The records are kept with memcpy and compared with memcmp, padding included: it is
// copied along, and differs only after the whole record is written anew, which at
// worst re-makes a little more than needed. Pointers compare by address: a reload
// gives new arrays.
static_assert(std::is_trivially_copyable_v<ModelInstance>);
static_assert(std::is_trivially_copyable_v<SceneCamera>);
static_assert(std::is_trivially_copyable_v<ShadowScene>);

template <typename T>
bool same_bytes(const T &a, const T &b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}
template <typename T>
void keep_bytes(T *kept, const T &now) {
    std::memcpy(static_cast<void *>(kept), &now, sizeof(T));
}

// The materials a model draws with, whole, with the maps they point to, and which
// material each mesh takes. A model with more than these is taken as changed.
constexpr int kept_materials = 8;
constexpr int kept_meshes = 16;
// The maps each material carries: raylib's header leaves its build setting unsaid.
#if defined(MAX_MATERIAL_MAPS)
constexpr int material_maps = MAX_MATERIAL_MAPS;
#else
constexpr int material_maps = 12;
#endif

struct KeptLook {
    int materials = -1;  // -1: too many to keep
    int meshes = -1;
    Material material[kept_materials];
    MaterialMap maps[kept_materials][material_maps];
    int mesh_material[kept_meshes];
};

void fill_look(KeptLook *k, const Model &m) {
    k->materials = m.materials == nullptr ? 0 : m.materialCount <= kept_materials ? m.materialCount : -1;
    k->meshes = m.meshMaterial == nullptr ? 0 : m.meshCount <= kept_meshes ? m.meshCount : -1;
    for (int j = 0; j < k->materials; ++j) {
        keep_bytes(&k->material[j], m.materials[j]);
        if (m.materials[j].maps != nullptr) {
            std::memcpy(static_cast<void *>(k->maps[j]), m.materials[j].maps, sizeof k->maps[j]);
        } else {
            std::memset(static_cast<void *>(k->maps[j]), 0, sizeof k->maps[j]);
        }
    }
    if (k->meshes > 0) std::memcpy(k->mesh_material, m.meshMaterial, sizeof(int) * static_cast<std::size_t>(k->meshes));
}

bool same_look(const KeptLook &a, const KeptLook &b) {
    if (a.materials < 0 || a.meshes < 0 || a.materials != b.materials || a.meshes != b.meshes) return false;
    const auto materials = static_cast<std::size_t>(a.materials);
    return std::memcmp(a.material, b.material, sizeof(Material) * materials) == 0 &&
           std::memcmp(a.maps, b.maps, sizeof a.maps[0] * materials) == 0 &&
           std::memcmp(a.mesh_material, b.mesh_material, sizeof(int) * static_cast<std::size_t>(a.meshes)) == 0;
}

struct KeptSlot {
    ModelInstance instance;
    KeptLook look;
    BoundingBox box;
};

struct KeptScene {
    bool valid = false;
    SceneCamera view{};
    SceneCamera light{};
    ShadowScene shadows{};
    std::uint32_t slots = 0;
    KeptSlot slot[max_model_instances];
};

KeptScene kept;
KeptLook look_now;
SlotBounds bounds;
SceneDiff diff;

}  // namespace

const SceneDiff &diff_scene() {
    const bool fresh = !kept.valid;
    ++diff.number;
    diff.full_redraw = full_redraw_every_frame;
    diff.light_changed = fresh || !same_bytes(kept.light, light_camera) || !same_bytes(kept.shadows, shadow_scene) ||
                         kept.slots != model_count;
    diff.view_changed = fresh || !same_bytes(kept.view, view_camera);
    diff.slots = model_count;
    for (std::uint32_t i = 0; i < model_count; ++i) {
        ModelInstance &inst = model_instances[i];
        if (casts_into_shadow_map(inst)) poll_watched_model(&inst);
        KeptSlot &k = kept.slot[i];
        SlotChange &c = diff.slot[i];
        c.was_visible = !fresh && k.instance.visible;
        c.cast = !fresh && casts_into_shadow_map(k.instance);
        c.was_box = k.box;
        c.visible = inst.visible;
        c.casts = casts_into_shadow_map(inst);
        c.record_changed = fresh || !same_bytes(k.instance, inst);
        fill_look(&look_now, inst.model);
        c.look_changed = c.record_changed || inst.custom_shader.has_value() || !same_look(look_now, k.look);
        // The box follows from the record (the bounds are kept per geometry).
        c.box = !c.visible ? BoundingBox{} : c.record_changed ? placed_bounds(&bounds, i, inst) : k.box;
        if (c.record_changed) keep_bytes(&k.instance, inst);
        if (c.look_changed) keep_bytes(&k.look, look_now);
        k.box = c.box;
    }
    keep_bytes(&kept.view, view_camera);
    keep_bytes(&kept.light, light_camera);
    keep_bytes(&kept.shadows, shadow_scene);
    kept.slots = model_count;
    kept.valid = true;
    return diff;
}

const SceneDiff &scene_diff() { return diff; }

void forget_scene() { kept.valid = false; }
