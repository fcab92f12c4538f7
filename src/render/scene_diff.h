// What changed in the 3D scene since the last frame: worked out once a frame, at the
// start of the shadow pass, and read by both things kept from frame to frame, the
// shadow map and the 3D layer. Each instance is compared whole (a kept copy of its
// record and of the materials it draws with), and so are the cameras and the shadow
// map's record, so a field added to any of them is compared without being listed.
#pragma once

#include <cstdint>

#include "raylib.h"
#include "render/model_registry.h"

// Set from VORBEL_FULL_REDRAW at start-up (never saved): every frame re-makes the
// whole shadow map and draws the whole scene, as a reference and for comparisons.
// Read by diff_scene only; the rest of render sees it as SceneDiff::full_redraw.
extern bool full_redraw_every_frame;

// The depth the instance leaves in the shadow map: its own shader keeps it out.
inline bool casts_into_shadow_map(const ModelInstance &inst) {
    return inst.visible && !inst.custom_shader && inst.casts_shadow;
}

struct SlotChange {
    bool visible = false;
    bool was_visible = false;
    bool casts = false;  // casts_into_shadow_map, now and last frame
    bool cast = false;
    // The record itself: placement, geometry, flags, tint, anything of it.
    bool record_changed = false;
    // Anything the main pass draws it with: the record, the materials, or a shader
    // of its own (which may take new uniform values any frame).
    bool look_changed = false;
    BoundingBox box{};  // world box of the model, now and last frame (when visible)
    BoundingBox was_box{};
};

struct SceneDiff {
    // Counts the diffs: what was kept from an earlier one than the last missed changes.
    std::uint64_t number = 0;
    bool full_redraw = false;    // everything re-made whole, as asked
    bool light_changed = false;  // the light camera, the shadow map's record or the slot count
    bool view_changed = false;   // the view camera
    std::uint32_t slots = 0;
    SlotChange slot[max_model_instances];
};

// Compares the scene with the copy kept last frame, then keeps the scene as it is now.
// Polls the watched model files of the casters first (a reload gives new geometry).
const SceneDiff &diff_scene();
// The answer of the last diff_scene.
const SceneDiff &scene_diff();
// The next diff_scene finds everything changed.
void forget_scene();
