#include "render/damage.h"

#include <algorithm>
#include <cmath>

#include "raymath.h"
#include "render/model_registry.h"

PixelRect unite(PixelRect a, PixelRect b) {
    if (is_empty(a)) return b;
    if (is_empty(b)) return a;
    return PixelRect{std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1)};
}

Damage no_damage(std::int32_t width, std::int32_t height) {
    Damage d{};
    d.width = width;
    d.height = height;
    return d;
}

void damage_all(Damage *d) {
    d->whole = true;
    d->count = 0;
}

bool any_damage(const Damage &d) { return d.whole || d.count > 0; }

void add_damage(Damage *d, PixelRect r) {
    if (d->whole) return;
    r = PixelRect{std::max(r.x0, 0), std::max(r.y0, 0), std::min(r.x1, d->width), std::min(r.y1, d->height)};
    if (is_empty(r)) return;
    // Fold every rectangle this one overlaps into it, again until none is left, so
    // the list stays disjoint and no pixel is drawn twice.
    for (bool merged = true; merged;) {
        merged = false;
        for (int i = 0; i < d->count; ++i) {
            if (!overlaps(r, d->rects[i])) continue;
            r = unite(r, d->rects[i]);
            d->rects[i] = d->rects[--d->count];
            merged = true;
            break;
        }
    }
    if (d->count == max_damage_rects) {
        damage_all(d);
        return;
    }
    d->rects[d->count++] = r;
    std::int64_t covered = 0;
    for (int i = 0; i < d->count; ++i) covered += area(d->rects[i]);
    if (covered * 5 > static_cast<std::int64_t>(d->width) * d->height * 3) damage_all(d);
}

Matrix instance_matrix(const ModelInstance &inst) {
    const Vector3 axis = to_vector3(inst.rotation_axis);
    const Vector3 scale = to_vector3(inst.scale);
    const Vector3 position = to_vector3(inst.position);
    const bool rotates = Vector3LengthSqr(axis) > 0.0f && inst.rotation_angle != 0.0f;
    const Matrix rotation = rotates ? MatrixRotate(axis, inst.rotation_angle * DEG2RAD) : MatrixIdentity();
    const Matrix local = MatrixMultiply(MatrixMultiply(MatrixScale(scale.x, scale.y, scale.z), rotation),
                                        MatrixTranslate(position.x, position.y, position.z));
    return MatrixMultiply(local, inst.model.transform);
}

BoundingBox model_bounds(const Model &model) {
    BoundingBox box{};
    bool any = false;
    for (int i = 0; i < model.meshCount; ++i) {
        const Mesh &mesh = model.meshes[i];
        if (mesh.vertices == nullptr || mesh.vertexCount <= 0) continue;
        const BoundingBox b = GetMeshBoundingBox(mesh);
        box = any ? BoundingBox{Vector3Min(box.min, b.min), Vector3Max(box.max, b.max)} : b;
        any = true;
    }
    return box;
}

BoundingBox transform_box(BoundingBox local, const Matrix &m) {
    BoundingBox out{};
    for (int i = 0; i < 8; ++i) {
        const Vector3 corner{(i & 1) ? local.max.x : local.min.x, (i & 2) ? local.max.y : local.min.y,
                             (i & 4) ? local.max.z : local.min.z};
        const Vector3 p = Vector3Transform(corner, m);
        out = i == 0 ? BoundingBox{p, p} : BoundingBox{Vector3Min(out.min, p), Vector3Max(out.max, p)};
    }
    return out;
}

PixelRect project_box(BoundingBox box, const Matrix &vp, std::int32_t width, std::int32_t height, std::int32_t pad) {
    const PixelRect whole{0, 0, width, height};
    float x0 = 0.0f, y0 = 0.0f, x1 = 0.0f, y1 = 0.0f;
    for (int i = 0; i < 8; ++i) {
        const float x = (i & 1) ? box.max.x : box.min.x;
        const float y = (i & 2) ? box.max.y : box.min.y;
        const float z = (i & 4) ? box.max.z : box.min.z;
        const float cx = vp.m0 * x + vp.m4 * y + vp.m8 * z + vp.m12;
        const float cy = vp.m1 * x + vp.m5 * y + vp.m9 * z + vp.m13;
        const float cw = vp.m3 * x + vp.m7 * y + vp.m11 * z + vp.m15;
        // Behind the eye the projection folds over; a NaN compares false here too.
        if (!(cw > 1e-6f) || !std::isfinite(cx) || !std::isfinite(cy)) return whole;
        const float px = (cx / cw * 0.5f + 0.5f) * static_cast<float>(width);
        const float py = (cy / cw * 0.5f + 0.5f) * static_cast<float>(height);
        x0 = i == 0 ? px : std::min(x0, px);
        x1 = i == 0 ? px : std::max(x1, px);
        y0 = i == 0 ? py : std::min(y0, py);
        y1 = i == 0 ? py : std::max(y1, py);
    }
    // Far outside the target the float-to-int conversion would overflow.
    const float limit = 1e8f;
    auto to_int = [limit](float v) { return static_cast<std::int32_t>(std::clamp(v, -limit, limit)); };
    PixelRect r{to_int(std::floor(x0)) - pad, to_int(std::floor(y0)) - pad, to_int(std::ceil(x1)) + pad,
                to_int(std::ceil(y1)) + pad};
    r = PixelRect{std::max(r.x0, 0), std::max(r.y0, 0), std::min(r.x1, width), std::min(r.y1, height)};
    return is_empty(r) ? PixelRect{} : r;
}

BoundingBox placed_bounds(SlotBounds *cache, std::uint32_t slot, const ModelInstance &inst) {
    if (cache->of[slot] != inst.model.meshes) {
        cache->box[slot] = model_bounds(inst.model);
        cache->of[slot] = inst.model.meshes;
    }
    return transform_box(cache->box[slot], instance_matrix(inst));
}
