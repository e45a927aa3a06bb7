// settings.h -- the program-wide settings record: set by the configuration
// file and the command line, read by every subsystem that they steer.
#pragma once

#include <string>

#include "common/common.h"

struct GameSettings {
  int debug_level = 0;            // 1 "--debug", 2 "--super-debug": extra log lines
  bool practice = false;          // every robot rides as "tester"
  bool flat_shading = false;
  bool no_vertex_arrays = false;
  bool learn_lines = true;        // robots save what they learn
  int texture_detail = 0;         // 0..4, mip levels dropped from model textures
  int ground_texture_detail = 0;  // 0..4
  int roost_frequency = 0;        // 0..1000 particles per second budget
  float erode = 0;                // 0..1
  float ground_detail = 0;
  float max_detail_distance = 0;  // ft
  float max_detail_outer = 0;     // ft, max_detail_distance + 5
  float lod_scale = 1;            // 0.000001..1000000
  float lod_bias = 0;
  double fake_lag = 0;            // s, 0..1
  int fake_loss = 0;              // percent, 0..100
  int rotate_lineup = 0;
  bool editor_enabled = false;
  int draw_fps = 0, draw_time = 0, draw_ping = 0, draw_render_stats = 0;  // display levels
  bool accurate_skip = false;     // demo skip runs frame_step instead of jumping
  int window_width = 640, window_height = 480;
  std::string track;              // track directory to load at start
  std::string player_bike = "crf250(2009)";  // the "Bike" setting
  std::string player_number = "999";         // the "Number" setting, at most 3 characters
  int robot_skill = 0;            // 0 "Novice", 1 "Amateur", 2 "Expert"
  std::string server_address;
  std::string server_password;
};

// Settings that live only for this run of the program.
struct StartupSettings {
  float lock_fps = 0;             // frames per second, 0 = off
  bool warp = false;              // 100 steps a frame, races restart themselves
  bool nosound = false;
  std::string record_audio_file;  // empty = no recording
  bool record_video = false;      // raw frames to standard output
  bool show_pause_text = true;
  bool draw_hud = true;
  bool glfinish = false;
  int depth = 16;                 // window colour depth, bits
  Vec3 chase_center{0, 2.52f, 0.52f};  // ft, in the bike body's frame
  float orbit_distance = 10;      // ft
  float orbit_height = 5;         // ft
  int audio_samples_per_step = (int)(SIM_STEP * 88320);  // 690
};

GameSettings& game_settings();
StartupSettings& startup_settings();
// Back to the defaults above (start-up step 1, and tests).
void settings_reset();
