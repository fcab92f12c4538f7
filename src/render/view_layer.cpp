#include "render/view_layer.h"

#include <algorithm>
#include <cmath>

#include "raymath.h"
#include "render/camera.h"
#include "render/damage.h"
#include "render/model_registry.h"
#include "render/particles.h"
#include "render/scene_diff.h"
#include "render/shadow_scene.h"
#include "rlgl.h"

namespace {

// The models and particles through the view camera, onto whatever is bound.
void draw_view() {
    begin_camera_3d(view_camera);
    draw_models();
    draw_particles();
    end_camera_3d();
}

}  // namespace

#if !defined(RL_ENGINE_SCREEN_LAYERS) || defined(VORBEL_SYSTEM_RAYLIB)

void draw_world() {
    draw_scene_3d();
    draw_view();
}
void unload_view_layer() {}

#else

namespace {

struct LayerRecord {
    unsigned int layer = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool valid = false;  // the layer holds the scene as diff `drawn_at` found it
    std::uint64_t drawn_at = 0;
    Damage particles{};  // where the particles were drawn
};

LayerRecord rec;
bool drawn_before = false;  // a frame has been drawn since start-up

// Model-space bounds of each mesh, per slot, kept while the mesh stays the same.
constexpr int cached_meshes = 8;
struct MeshBounds {
    const float *vertices = nullptr;
    BoundingBox box{};
};
MeshBounds mesh_bounds[max_model_instances][cached_meshes];

BoundingBox cached_mesh_bounds(std::uint32_t slot, int k, const Mesh &mesh) {
    if (k >= cached_meshes) return GetMeshBoundingBox(mesh);
    MeshBounds &b = mesh_bounds[slot][k];
    if (b.vertices != mesh.vertices) b = MeshBounds{mesh.vertices, GetMeshBoundingBox(mesh)};
    return b.box;
}

constexpr std::int32_t pixel_pad = 2;
// The lighting shader filters the shadow map over a texel either side.
constexpr std::int32_t shadow_filter_pad = 2;

// The column of space the light sees through some texels of its map: the four
// edges of the column, each from the map's near plane (a) to its far plane (b).
struct LightColumn {
    Vector3 a[4];
    Vector3 b[4];
    bool bounded = true;  // false: the light runs along the ground, no useful bound
};

LightColumn light_column(PixelRect texels) {
    const ShadowMap &map = shadow_scene.shadow_map;
    const Matrix to_world = MatrixInvert(MatrixMultiply(light_camera.view, light_camera.projection));
    LightColumn c{};
    for (int i = 0; i < 4; ++i) {
        const float tx = static_cast<float>((i & 1) ? texels.x1 + shadow_filter_pad : texels.x0 - shadow_filter_pad);
        const float ty = static_cast<float>((i & 2) ? texels.y1 + shadow_filter_pad : texels.y0 - shadow_filter_pad);
        const float nx = tx / static_cast<float>(map.width) * 2.0f - 1.0f;
        const float ny = ty / static_cast<float>(map.height) * 2.0f - 1.0f;
        c.a[i] = Vector3Transform(Vector3{nx, ny, -1.0f}, to_world);
        c.b[i] = Vector3Transform(Vector3{nx, ny, 1.0f}, to_world);
        if (!(std::fabs(c.b[i].y - c.a[i].y) > 1e-6f)) c.bounded = false;
    }
    return c;
}

// The part of the column inside `box`, as a box (empty: min above max).
BoundingBox column_in_box(const LightColumn &c, const BoundingBox &box) {
    BoundingBox out{Vector3{1.0f, 1.0f, 1.0f}, Vector3{-1.0f, -1.0f, -1.0f}};
    bool first = true;
    for (int i = 0; i < 4; ++i) {
        const float dy = c.b[i].y - c.a[i].y;
        for (float y : {box.min.y, box.max.y}) {
            const Vector3 p = Vector3Lerp(c.a[i], c.b[i], std::clamp((y - c.a[i].y) / dy, 0.0f, 1.0f));
            out = first ? BoundingBox{p, p} : BoundingBox{Vector3Min(out.min, p), Vector3Max(out.max, p)};
            first = false;
        }
    }
    out.min = Vector3Max(out.min, box.min);
    out.max = Vector3Min(out.max, box.max);
    return out;
}

bool box_empty(const BoundingBox &b) { return b.min.x > b.max.x || b.min.y > b.max.y || b.min.z > b.max.z; }

BoundingBox unite_boxes(const BoundingBox &a, const BoundingBox &b) {
    if (box_empty(a)) return b;
    if (box_empty(b)) return a;
    return BoundingBox{Vector3Min(a.min, b.min), Vector3Max(a.max, b.max)};
}

bool covered(const Damage &d, PixelRect r) {
    if (d.whole) return true;
    for (int i = 0; i < d.count; ++i) {
        const PixelRect &q = d.rects[i];
        if (r.x0 >= q.x0 && r.y0 >= q.y0 && r.x1 <= q.x1 && r.y1 <= q.y1) return true;
    }
    return false;
}

// Damages the screen pixels whose lighting reads the given texels of the shadow map:
// the surfaces of the visible models inside the light's column through them. A
// mesh whose box the column crosses is looked at triangle by triangle, so a model
// that is large but thin where the column passes (the ground and its walls) only
// damages where it is actually met.
void damage_shadowed(Damage *damage, PixelRect texels, const Matrix &view_vp) {
    const LightColumn column = light_column(texels);
    if (!column.bounded) {
        damage_all(damage);
        return;
    }
    for (std::uint32_t slot = 0; slot < model_count && !damage->whole; ++slot) {
        const ModelInstance &inst = model_instances[slot];
        if (!inst.visible) continue;
        const Matrix m = instance_matrix(inst);
        for (int k = 0; k < inst.model.meshCount; ++k) {
            const Mesh &mesh = inst.model.meshes[k];
            if (mesh.vertices == nullptr || mesh.vertexCount <= 0) continue;
            const BoundingBox world = transform_box(cached_mesh_bounds(slot, k, mesh), m);
            const BoundingBox hit = column_in_box(column, world);
            if (box_empty(hit)) continue;
            const PixelRect rough = project_box(hit, view_vp, rec.width, rec.height, pixel_pad);
            if (is_empty(rough) || covered(*damage, rough)) continue;
            BoundingBox met{Vector3{1.0f, 1.0f, 1.0f}, Vector3{-1.0f, -1.0f, -1.0f}};
            const int triangles = mesh.indices != nullptr ? mesh.triangleCount : mesh.vertexCount / 3;
            for (int t = 0; t < triangles; ++t) {
                Vector3 v[3];
                for (int j = 0; j < 3; ++j) {
                    const int index = mesh.indices != nullptr ? mesh.indices[t * 3 + j] : t * 3 + j;
                    const float *f = &mesh.vertices[index * 3];
                    v[j] = Vector3Transform(Vector3{f[0], f[1], f[2]}, m);
                }
                const BoundingBox tri{Vector3Min(v[0], Vector3Min(v[1], v[2])),
                                      Vector3Max(v[0], Vector3Max(v[1], v[2]))};
                met = unite_boxes(met, column_in_box(column, tri));
            }
            if (!box_empty(met)) add_damage(damage, project_box(met, view_vp, rec.width, rec.height, pixel_pad));
        }
    }
}

// Where the particles are drawn this frame: a rectangle per cluster, or their
// bounding rectangle when they are spread too widely for that (whole when even that
// covers most of the screen).
Damage particle_pixels(const Matrix &view_vp) {
    Damage d = no_damage(rec.width, rec.height);
    const float r = particle_size * 1.5f;
    PixelRect all{};
    for (const Particle &p : particles) {
        if (!p.active) continue;
        const Vector3 c = to_vector3(p.position);
        const PixelRect px =
            project_box(BoundingBox{Vector3{c.x - r, c.y - r, c.z - r}, Vector3{c.x + r, c.y + r, c.z + r}}, view_vp,
                        rec.width, rec.height, pixel_pad);
        all = unite(all, px);
        add_damage(&d, px);
    }
    if (d.whole) {
        d = no_damage(rec.width, rec.height);
        add_damage(&d, all);
    }
    return d;
}

// Which screen pixels differ from what the layer holds.
Damage plan_view_pass() {
    Damage damage = no_damage(rec.width, rec.height);
    const SceneDiff &diff = scene_diff();
    const ShadowPassReport &shadow = last_shadow_pass();
    if (!rec.valid || diff.number != rec.drawn_at + 1 || diff.light_changed || diff.view_changed ||
        shadow.remake == ShadowRemake::whole)
        damage_all(&damage);
    const Matrix view_vp = MatrixMultiply(view_camera.view, view_camera.projection);
    for (std::uint32_t i = 0; i < diff.slots && !damage.whole; ++i) {
        const SlotChange &c = diff.slot[i];
        if (!c.look_changed) continue;
        if (c.was_visible) add_damage(&damage, project_box(c.was_box, view_vp, rec.width, rec.height, pixel_pad));
        if (c.visible) add_damage(&damage, project_box(c.box, view_vp, rec.width, rec.height, pixel_pad));
    }
    // Surfaces that moved away were damaged whole above; what stands still and reads
    // re-made texels is found here.
    if (shadow.remake == ShadowRemake::regions) {
        for (int i = 0; i < shadow.damage.count; ++i) damage_shadowed(&damage, shadow.damage.rects[i], view_vp);
    }
    const Damage sparks = particle_pixels(view_vp);
    for (const Damage *d : {static_cast<const Damage *>(&rec.particles), &sparks}) {
        if (d->whole) damage_all(&damage);
        for (int i = 0; i < d->count; ++i) add_damage(&damage, d->rects[i]);
    }
    rec.particles = sparks;
    rec.valid = true;
    rec.drawn_at = diff.number;
    return damage;
}

bool ready_layer() {
    const std::int32_t width = GetRenderWidth();
    const std::int32_t height = GetRenderHeight();
    if (width <= 0 || height <= 0) return false;
    if (rec.layer != 0 && rec.width == width && rec.height == height) return true;
    unload_view_layer();
    rec.layer = rlLoadScreenLayer(width, height);
    rec.width = width;
    rec.height = height;
    return rec.layer != 0;
}

void draw_layer(const Damage &damage) {
    rlEnableFramebuffer(rec.layer);
    const PixelRect whole{0, 0, rec.width, rec.height};
    const int passes = damage.whole ? 1 : damage.count;
    if (!damage.whole) rlEnableScissorTest();
    for (int i = 0; i < passes; ++i) {
        const PixelRect r = damage.whole ? whole : damage.rects[i];
        if (!damage.whole) rlScissor(r.x0, r.y0, r.x1 - r.x0, r.y1 - r.y0);
        rlClearColor(frame_clear_color.r, frame_clear_color.g, frame_clear_color.b, frame_clear_color.a);
        rlClearScreenBuffers();
        begin_camera_3d(view_camera);
        draw_models();
        draw_sorted_particles();
        end_camera_3d();
    }
    if (!damage.whole) rlDisableScissorTest();
    rlDisableFramebuffer();
}

}  // namespace

void draw_world() {
    // Drawing queued before the frame (text drawn during the update) lands on the
    // screen at the first flush, under the scene, where the layer would cover it: such
    // a frame is drawn straight, as is every frame when asked to or when no layer fits
    // the screen. The first frame is drawn straight too: a layer pays only from the
    // second frame on, and making it first would hold back the window's first picture.
    const bool queued = rlScreenDrawingQueued();
    draw_scene_3d();
    const bool straight = scene_diff().full_redraw || queued || !drawn_before || !ready_layer();
    drawn_before = true;
    if (straight) {
        rec.valid = false;
        draw_view();
        return;
    }
    const Damage damage = plan_view_pass();
    // Sorted once a frame, as a straight draw does, whatever is drawn again.
    sort_particles_far_to_near(view_camera.position);
    if (any_damage(damage)) draw_layer(damage);
    rlCopyScreenLayer(rec.layer);
}

void unload_view_layer() {
    if (rec.layer != 0) rlUnloadFramebuffer(rec.layer);
    rec = LayerRecord{};
}

#endif
