#include "bench_support.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "app/frame_loop.h"
#include "app/game_state.h"
#include "raylib.h"
#include "render/model_registry.h"
#include "render/particles.h"
#include "settings/settings.h"
#include "settings/startup.h"
#include "testing.h"

namespace {

std::string home;
std::string scratch;
bool started = false;

// The benchmark's own generator for the scenario, so the game's rng is left to the game.
std::uint64_t scenario_state = 0x9E3779B97F4A7C15ull;
double scenario_random() {
    scenario_state ^= scenario_state << 13;
    scenario_state ^= scenario_state >> 7;
    scenario_state ^= scenario_state << 17;
    return static_cast<double>(scenario_state >> 11) * 0x1.0p-53;
}

void hold(int key, bool down) {
    if (down)
        testing_key_down(key);
    else
        testing_key_up(key);
}

// A long-lived spark somewhere over the court, drifting slowly, so the pool stays
// full and the far-to-near order changes from frame to frame.
void spawn_resident_particle() {
    const Vec3d at{scenario_random() * 16.0 - 8.0, scenario_random() * 2.0, scenario_random() * 12.0 - 6.0};
    const Vec3d v{scenario_random() - 0.5, scenario_random() * 0.5, scenario_random() - 0.5};
    const Color c{230, 41, 55, 255};
    spawn_particle(&at, &v, -0.5f, 1.0e6, &c);
}

}  // namespace

bool start_game() {
    if (started) return true;
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) return false;
    home = cwd;
    char tmpl[] = "/tmp/vorbel-bench-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) return false;
    scratch = tmpl;
    if (symlink((home + "/assets").c_str(), (scratch + "/assets").c_str()) != 0) return false;
    if (chdir(scratch.c_str()) != 0) return false;
    // The game's defaults (1280 x 720, windowed), without the frame-rate cap: frames
    // are paced by the benchmark, and the fixed frame time keeps EndDrawing from waiting.
    Settings s;
    s.vsync = false;
    if (!save_settings_to(settings_file_name, s)) return false;
    testing_set_fixed_frame_time(bench_frame_dt);
    SetTraceLogLevel(LOG_WARNING);
    if (!init_app()) return false;
    started = true;
    return true;
}

void stop_game() {
    if (!started) return;
    deinit_app();
    started = false;
    testing_set_fixed_frame_time(-1.0);
    if (chdir(home.c_str()) != 0) return;
    const std::string cmd = "rm -rf '" + scratch + "'";
    if (std::system(cmd.c_str()) != 0) return;
}

void end_empty_frame() {
    BeginDrawing();
    EndDrawing();
}

void enter_busy_match() {
    testing_release_all_input();
    end_empty_frame();
    if (game_state.screen_state != ScreenState::menu) set_screen_state(ScreenState::menu);
    // What the BOT button does, then player 1 joins with Space.
    set_screen_state(ScreenState::match);
    enable_bot();
    game_state.joined[1] = true;
    testing_key_down(KEY_SPACE);
    update_game(bench_frame_dt);
    end_empty_frame();
    testing_key_up(KEY_SPACE);
    // Let the camera arrive and both tomatoes land before the load is piled on.
    for (int i = 0; i < 60; ++i) {
        update_game(bench_frame_dt);
        end_empty_frame();
    }
    for (Particle &p : particles) p = Particle{};
    for (int i = 0; i < max_particles; ++i) spawn_resident_particle();
    keep_match_busy();
}

void drive_player1(std::uint64_t frame) {
    // A new heading every 40 frames, among the eight the keyboard gives; Space held,
    // so it jumps again each time it lands; a dash every 97 frames.
    static const int headings[8][2] = {{KEY_D, 0}, {KEY_D, KEY_S}, {KEY_S, 0}, {KEY_S, KEY_A},
                                       {KEY_A, 0}, {KEY_A, KEY_W}, {KEY_W, 0}, {KEY_W, KEY_D}};
    const int *h = headings[(frame / 40) % 8];
    for (int key : {KEY_W, KEY_A, KEY_S, KEY_D}) hold(key, key == h[0] || key == h[1]);
    hold(KEY_SPACE, true);
    hold(KEY_LEFT_SHIFT, frame % 97 == 0);
}

void keep_match_busy() {
    int live = 0;
    for (const Particle &p : particles) live += p.active ? 1 : 0;
    for (; live < max_particles; ++live) spawn_resident_particle();
    bool side = false;
    for (const Beam &b : game_state.beams) {
        if (!b.active) {
            launch_beam(side);
            side = !side;
        }
    }
    for (Player &p : game_state.players) {
        if (p.lives < lives_per_player) {
            p.lives = lives_per_player;
            if (p.instance != nullptr) p.instance->visible = true;
        }
    }
}
