// Match rules: joining, lives, the arming schedule, game over and the bot.
#pragma once

#include <cstdint>

struct Player;
struct Button;

struct Bot {
    Player *player = nullptr;
    Button *target = nullptr;
};

inline constexpr int lives_per_player = 3;
inline constexpr double bot_alarm_distance = 2.0;

void update_match(double dt);
// The match frame after the controls and keys are read: players, buttons, beams, the
// clock and arming. True when the match is over (nothing armed, the clock stands).
bool step_match(double dt);
// "game over" as the match screen shows it.
void draw_game_over();
void start_match();
void reset_match();
void enable_bot();
void disable_bot();
void hit_player(Player *p, bool hit);
bool is_alive(const Player *p);
bool both_joined();
// True once both have joined and at most one is alive (a draw when none is).
bool match_over();
enum class MatchResult : std::uint8_t { playing = 0, player1_wins = 1, player2_wins = 2, draw = 3 };
// Who won, once the match is over.
MatchResult match_result();
// The HUD's lines for the end of a match; null while it is being played.
const char *result_line();
const char *restart_hint();
void update_arming(double dt, double t);
double next_arm_interval(double t);
void update_bot(Bot *bot);
