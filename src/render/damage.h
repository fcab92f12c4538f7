// Rectangles of a render target that must be drawn again, and the bounds that find
// them: which pixels a model instance can touch through a camera. Used to keep the
// shadow map and the 3D layer from frame to frame and re-make only what changed.
#pragma once

#include <cstdint>

#include "app/vec3d.h"
#include "raylib.h"
#include "render/model_registry.h"

// Pixels x0 <= x < x1, y0 <= y < y1 in a target's own coordinates (origin at the
// bottom left, as the scissor test counts them).
struct PixelRect {
    std::int32_t x0 = 0;
    std::int32_t y0 = 0;
    std::int32_t x1 = 0;
    std::int32_t y1 = 0;
};

constexpr bool is_empty(PixelRect r) { return r.x1 <= r.x0 || r.y1 <= r.y0; }
constexpr std::int64_t area(PixelRect r) {
    return is_empty(r) ? 0 : static_cast<std::int64_t>(r.x1 - r.x0) * (r.y1 - r.y0);
}
constexpr bool overlaps(PixelRect a, PixelRect b) {
    return !is_empty(a) && !is_empty(b) && a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
}
PixelRect unite(PixelRect a, PixelRect b);

inline constexpr int max_damage_rects = 12;

// What must be drawn again in a target of width x height: nothing, a few rectangles,
// or all of it. Rectangles that overlap are merged; past max_damage_rects, or once they
// cover most of the target, the whole target is damaged (one full pass is cheaper).
struct Damage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool whole = false;
    int count = 0;
    PixelRect rects[max_damage_rects];
};

Damage no_damage(std::int32_t width, std::int32_t height);
void damage_all(Damage *d);
void add_damage(Damage *d, PixelRect r);
bool any_damage(const Damage &d);

// The model matrix DrawModelEx builds for the instance (scale, rotation, translation,
// then the model's own transform).
Matrix instance_matrix(const ModelInstance &inst);
// The instance's model in its own space; an empty box for a model without vertices.
BoundingBox model_bounds(const Model &model);
// The axis-aligned box around `local` carried by `m`.
BoundingBox transform_box(BoundingBox local, const Matrix &m);
// Pixels the box can touch in a width x height target seen through view_projection,
// grown by `pad` on every side and kept inside the target. The whole target when a
// corner is behind the eye or not a number; empty when the box lies outside.
PixelRect project_box(BoundingBox box, const Matrix &view_projection, std::int32_t width, std::int32_t height,
                      std::int32_t pad);

// Model-space bounds per instance slot, worked out again only when the slot's
// geometry changes.
struct SlotBounds {
    const Mesh *of[max_model_instances] = {};
    BoundingBox box[max_model_instances] = {};
};
// The world-space box around the slot's model as it is placed now.
BoundingBox placed_bounds(SlotBounds *cache, std::uint32_t slot, const ModelInstance &inst);
