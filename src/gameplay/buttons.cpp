#include "gameplay/buttons.h"

#include <algorithm>
#include <cmath>

#include "app/game_state.h"
#include "render/model_registry.h"

namespace {

struct ButtonSpot {
    double x;
    double z;
};

// Each half: the grid points at Manhattan distance 2 or 4 from the player's start.
constexpr ButtonSpot button_spots[button_count] = {
    {-8, 0}, {-8, -2}, {-8, 2}, {-4, -2}, {-4, 2}, {-6, 2}, {-4, 0}, {-6, -2}, {-6, -4}, {-10, 0}, {-2, 0}, {-6, 4},
    {4, 0},  {4, -2},  {4, 2},  {8, -2},  {8, 2},  {6, 2},  {8, 0},  {6, -2},  {6, -4},  {2, 0},   {10, 0}, {6, 4},
};

constexpr double button_height = 0.1;
constexpr double button_sunk_height = -0.08;

Vec3d direction_of(int code) {
    switch (code) {
    case 0:
        return {-1, 0, 0};
    case 1:
        return {0, 0, 1};
    case 2:
        return {0, 0, -1};
    default:
        return {1, 0, 0};
    }
}

// Codes 0 and 3 run along x, so the bar lies across the court (along z).
bool lies_along_z(int code) { return code == 0 || code == 3; }

Material *first_material(ModelInstance *inst) {
    if (inst == nullptr || inst->model.materialCount <= 0 || inst->model.materials == nullptr) return nullptr;
    Material *m = &inst->model.materials[0];
    return m->maps == nullptr ? nullptr : m;
}

bool beam_arrived(const Beam &beam) {
    const Vec3d at = beam.instance->position;
    if (beam.direction.x != 0.0) {
        return (beam.end.x > beam.start.x && at.x >= beam.end.x) || (beam.end.x < beam.start.x && at.x <= beam.end.x);
    }
    if (beam.direction.z != 0.0) {
        return (beam.end.z > beam.start.z && at.z >= beam.end.z) || (beam.end.z < beam.start.z && at.z <= beam.end.z);
    }
    return false;
}

Vec3d player_box_centre(const Player &p) { return p.instance->position + Vec3d{0.0, p.size.y / 2.0, 0.0}; }

}  // namespace

Vec3d button_position(int index) {
    const ButtonSpot s = button_spots[std::clamp(index, 0, button_count - 1)];
    return {s.x, button_height, s.z};
}

bool boxes_overlap(Vec3d a, Vec3d size_a, Vec3d b, Vec3d size_b) {
    return (size_a.x + size_b.x) / 2.0 >= std::abs(a.x - b.x) && (size_a.y + size_b.y) / 2.0 >= std::abs(a.y - b.y) &&
           (size_a.z + size_b.z) / 2.0 >= std::abs(a.z - b.z);
}

void init_button(Button &b, ModelInstance *instance, int index) {
    b = Button{};
    b.on_press = press_launch_beam;
    b.instance = instance;
    b.side = index >= button_count / 2;
    if (Material *m = first_material(instance)) b.idle_color = m->maps[MATERIAL_MAP_DIFFUSE].color;
}

void init_beam(Beam &beam, ModelInstance *instance) {
    beam = Beam{};
    beam.instance = instance;
}

void press_launch_beam(Button *b) {
    launch_beam(b->side);
    game_state.buttons_pressed += 1;
}

void show_button_color(Button *b) {
    if (Material *m = first_material(b->instance)) {
        m->maps[MATERIAL_MAP_DIFFUSE].color = b->armed ? b->armed_color : b->idle_color;
    }
}

void set_button_armed(Button *b, bool armed) {
    b->armed = armed;
    show_button_color(b);
    // Armed under a player who already stands on it: it fires at once.
    if (b->pressed && armed) {
        if (b->on_press != nullptr) b->on_press(b);
        set_button_armed(b, false);
    }
}

void set_button_pressed(Button *b, bool hit) {
    // The sink shows last frame's state, so a press is seen one frame late.
    if (b->instance != nullptr) b->instance->position.y = b->pressed ? button_sunk_height : button_height;
    b->was_pressed = b->pressed;
    b->pressed = hit;
    if (hit && !b->armed) return;
    if (b->pressed && !b->was_pressed) {
        if (b->on_press != nullptr) b->on_press(b);
        set_button_armed(b, false);
    }
}

void update_buttons(Player *p1, Player *p2) {
    for (Button &b : game_state.buttons) {
        Player *p = b.side ? p2 : p1;
        bool hit = false;
        if (p != nullptr && p->instance != nullptr && b.instance != nullptr) {
            hit = boxes_overlap(p->instance->position, p->size, b.instance->position, b.size);
        }
        set_button_pressed(&b, hit);
    }
}

void launch_beam(bool side) {
    Beam *beam = nullptr;
    for (Beam &candidate : game_state.beams) {
        if (!candidate.active) {
            beam = &candidate;
            break;
        }
    }
    if (beam == nullptr) return;

    // More directions unlock as the match goes on: one more every ten presses.
    const int n = std::min(game_state.buttons_pressed / 10 + 1, 4);
    int code = static_cast<int>(rng_below(game_state.rng, static_cast<std::uint64_t>(n)));
    // Mirror so that a code means the same sweep seen from either half.
    if (!side) {
        if (code == 0)
            code = 3;
        else if (code == 3)
            code = 0;
    }

    const Vec3d centre = side ? Vec3d{-6.5, 0.25, -0.5} : Vec3d{6.5, 0.25, -0.5};
    beam->dir = static_cast<std::uint8_t>(code);
    beam->elapsed = 0.0;
    beam->active = true;
    beam->direction = direction_of(code);
    beam->start = centre + beam->direction * 6.0;
    beam->end = centre - beam->direction * 6.0;
    if (lies_along_z(code)) {
        beam->size = {0.25, 0.25, 12.0};
    } else {
        beam->size = {12.0, 0.25, 0.25};
    }
    if (beam->instance != nullptr) {
        beam->instance->position = beam->start;
        beam->instance->visible = true;
        beam->instance->rotation_angle = lies_along_z(code) ? 0.0f : 90.0f;
    }
}

void update_beams(double dt) {
    Player &p1 = game_state.players[0];
    Player &p2 = game_state.players[1];
    bool hit1 = false;
    bool hit2 = false;

    for (Beam &beam : game_state.beams) {
        if (!beam.active || beam.instance == nullptr) continue;
        if (beam_arrived(beam)) {
            beam.active = false;
            beam.instance->position = beam.start;
            beam.elapsed = 0.0;
            beam.instance->visible = false;
            continue;
        }
        beam.elapsed += dt;
        const double t = beam.elapsed / beam.duration;
        beam.instance->position = lerp(beam.start, beam.end, t * t);

        const Vec3d at = beam.instance->position;
        if (p1.instance != nullptr && boxes_overlap(player_box_centre(p1), p1.size, at, beam.size)) hit1 = true;
        if (p2.instance != nullptr && boxes_overlap(player_box_centre(p2), p2.size, at, beam.size)) hit2 = true;
    }

    hit_player(&p1, hit1);
    hit_player(&p2, hit2);
}

Button *first_armed_button(bool side) {
    for (Button &b : game_state.buttons) {
        if (b.side == side && b.armed) return &b;
    }
    return nullptr;
}

void reset_buttons_and_beams() {
    game_state.buttons_pressed = 0;
    for (Button &b : game_state.buttons) {
        set_button_armed(&b, false);
        set_button_pressed(&b, false);
    }
    for (Beam &beam : game_state.beams) {
        beam.active = false;
        if (beam.instance != nullptr) beam.instance->visible = false;
    }
}
