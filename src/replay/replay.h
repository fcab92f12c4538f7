// Recording a match (--record FILE) and playing a recording back (--replay FILE, or a
// file handed to the page). A recorded match starts from the online match's initial
// record and steps at the online match's fixed step, so that its inputs alone give it
// back, frame for frame, on any build.
#pragma once

#include <cstdint>

#include "replay/replay_file.h"

struct Rollback;

struct ReplayOptions {
    const char *record = nullptr;  // --record FILE
    const char *play = nullptr;    // --replay FILE
};
// Takes --record FILE and --replay FILE (also --record=FILE) out of argv, leaving the
// other options for their own reader. False, with a one-line reason, when one lacks
// its file or both are given.
bool take_replay_options(int &argc, char **argv, ReplayOptions &out, const char *&why);

// The match the header describes, set up in game_state before its first frame: the
// initial record from the seed, the bot on player 2 for a BOT match.
void replay_start_match(const ReplayHeader &h);
// One frame of a recorded match.
void replay_step(const ReplayFrame &f, double step);

// --record FILE: checked at once (a line says when it cannot be written; the game
// runs without recording). Each match played from then on is recorded and written
// when it ends, to FILE, replacing the one before.
void replay_set_record_path(const char *path);
bool replay_recording_enabled();
// A LOCAL or BOT match has just been set up by the menu.
void replay_begin_local(bool bot);
// An online match began from this seed at this step.
void replay_begin_online(std::uint64_t seed, double step);
// After the online match's steps of a frame: takes the newly confirmed inputs.
void replay_note_online(const Rollback &r);
// True while a LOCAL or BOT match is being recorded: it steps through
// update_recorded_match instead of update_match.
bool recording_local_match();
void update_recorded_match();
// Writes what was recorded, if anything (the match ended, or the game is leaving).
void replay_finish_recording();

// --replay FILE, or a file given to the page: reads and checks it. On failure, the
// reason (replay_error_text) and nothing else changes.
ReplayError replay_load(const char *path);
// Shows the loaded replay from its start (at the next frame's update).
void replay_request_playback();
bool replay_playing();
void update_replay_playback();
// Every frame: starts a requested playback, ends playback or recording when the
// screen went back to the title.
void follow_replay();
// "replay" and the time over the match, or the last failure over the title.
void draw_replay_lines();
