// Floor buttons and the beams they launch across the opponent's half.
#pragma once

#include <cstdint>

#include "app/vec3d.h"
#include "raylib.h"

struct ModelInstance;
struct Player;

inline constexpr int button_count = 24;
inline constexpr int beam_count = 20;

struct Button;
using ButtonAction = void (*)(Button *);

struct Button {
    ButtonAction on_press = nullptr;  // set to press_launch_beam by init_button
    Vec3d size{1.0, 0.2, 1.0};
    ModelInstance *instance = nullptr;
    bool pressed = false;
    bool armed = false;
    bool was_pressed = false;
    bool side = false;
    Color armed_color{130, 130, 130, 255};
    Color idle_color{255, 255, 255, 255};
};

struct Beam {
    Vec3d start{};
    Vec3d end{};
    Vec3d direction{};
    Vec3d size{};
    double elapsed = 0.0;
    double duration = 3.0;
    ModelInstance *instance = nullptr;
    std::uint8_t dir = 3;  // direction code 0..3
    bool active = false;
};

// Where button `index` (0..23) stands on the floor (y = 0.1).
Vec3d button_position(int index);

// Fills a button record for the instance placed at button_position(index); the idle
// colour is read from the instance's model.
void init_button(Button &b, ModelInstance *instance, int index);
void init_beam(Beam &beam, ModelInstance *instance);

// Every button's press action: launches a beam into the other half and counts it.
void press_launch_beam(Button *b);

void update_buttons(Player *p1, Player *p2);
void set_button_armed(Button *b, bool armed);
// Gives the model the colour of the button's armed flag, firing nothing.
void show_button_color(Button *b);
void set_button_pressed(Button *b, bool pressed);
// side true: player 2 pressed, the beam sweeps player 1's half.
void launch_beam(bool side);
void update_beams(double dt);
Button *first_armed_button(bool side);
void reset_buttons_and_beams();

// Axis-aligned boxes given by centre and extents; touching counts.
bool boxes_overlap(Vec3d a, Vec3d size_a, Vec3d b, Vec3d size_b);
