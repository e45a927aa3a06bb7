// app.h -- the application core: the command line, start-up and shut-down,
// the main loop with its fixed simulation step, and the race frame step.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/common.h"

// ---------------------------------------------------------------- command line

struct ArgCursor {
  int remaining = 0;          // arguments not yet read
  char** next = nullptr;
  int end_of_options = 0;     // set once "--" has been seen
};

// True when the next argument is the option called name. Without a value
// place it must equal name and is consumed. With one, "--" ends the options
// (consumed, false); "name value" and "name=value" both yield the value,
// which is null when name stands last.
bool match_option(ArgCursor& cursor, const char* name, const char** value);

enum class OptionArg { None, Int, Float, File, Name, Text, Triple };

struct CommandOption {
  const char* name;
  OptionArg arg;
  const char* help;
  // Applies the value (null for OptionArg::None or when missing); false
  // means "Bad arg for <name>".
  bool (*apply)(const char* value);
};

// Every option in the order they are tried; the first match wins.
const CommandOption* command_options(int* count);

struct CommandLine {
  int exit_code = -1;          // -1: go on starting; otherwise return this from main
  bool open_home = false;      // "--open-home": open the folder, then exit 0
  std::string file;            // the demo to play, empty when none
  std::string output;          // text for standard output ("--help", "--version")
};

// Parses argv (argument 0 is the program) into the settings records.
// Messages meant for standard error are appended to errors.
CommandLine parse_command_line(int argc, char** argv, std::string* errors);

// The "--help" text, one line per option, made from the option table.
std::string command_line_help();

// ---------------------------------------------------------------- derived graphics settings

// The menu sliders that the graphics settings derive from (configuration
// file), at their default values.
struct GraphicsSliders {
  float ground_geometric_detail = 50;  // 0..100
  float ground_texture_levels = 9;     // 0..10
  int ground_texture_resolution = 2;   // index into 32, 64, 128, ... 1024
  float model_geometric_detail = 50;   // 0..100
  float model_texture_detail = 9;      // 0..10
  float roost_density = 250;           // 0..1000
};

struct DerivedGraphics {
  float ground_detail;
  int ground_texture_detail;
  int ground_texture_size;
  float lod_scale;
  float lod_bias;
  int texture_detail;
  int roost_frequency;
};

DerivedGraphics derive_graphics(const GraphicsSliders& sliders);

// ---------------------------------------------------------------- controls

enum Channel {
  CH_STEER,        // left +, right -
  CH_THROTTLE,
  CH_FRONT_BRAKE,
  CH_REAR_BRAKE,
  CH_SHIFT,        // up +, down -
  CH_CLUTCH_LEVER,
  CH_SIT_DAB,
  CH_BACK_UP,
  CH_LEAN,         // back +, forward -
  CHANNEL_COUNT
};

struct ControlChannels {
  float value[CHANNEL_COUNT] = {};
};

inline constexpr int NO_KEY = -1;  // a binding or fixed key with no key code

// One row of the control binding table: which channel a key or axis drives.
struct ControlBinding {
  const char* label;       // "Throttle"
  int channel;             // Channel
  float sign;              // +1 or -1
  int key_code = NO_KEY;
  int axis = -1;           // axis handle, -1 = none (input devices)
  float axis_min = 0.0625f, axis_max = 0.9375f;
  float value = 0;         // current key value, 0 or 1
};

inline constexpr int BINDING_COUNT = 12;

// The working copy of the binding table (start-up step 1 copies the defaults).
std::array<ControlBinding, BINDING_COUNT>& control_bindings();
void control_bindings_reset();

// Sums every binding's sign x value into its channel. axis_values holds the
// raw reading (-32768..32767) of each binding's axis, or is null.
ControlChannels channels_from_bindings(const std::array<ControlBinding, BINDING_COUNT>& bindings,
                                       const float* axis_values);

// What the player's channels do to the rider this step, in the order the
// rider setters take them.
struct AppliedControls {
  float steer, front_brake, rear_brake, throttle, dab, back_up, lean, clutch;
  int shift;  // +1 up, -1 down, 0 none
};

struct ControlMemory {
  float previous_dab_channel = 0;  // for sticky dab
  float held_dab = 0;              // 0 or 1, sticky dab's toggled state
};

// reverse_steering and sticky_dab are player settings; current_clutch is the
// rider's clutch value (1 = engaged).
AppliedControls controls_from_channels(const ControlChannels& ch, bool reverse_steering,
                                       bool sticky_dab, float current_clutch,
                                       ControlMemory& memory);

// The controls through the rider setters, in the order the setters take them.
struct Rider;
void apply_controls(Rider* r, const AppliedControls& a);

// ---------------------------------------------------------------- main loop

enum ViewMode { VIEW_RIDER = 0, VIEW_EDITOR = 2, VIEW_CHASE = 3, VIEW_FREE = 4, VIEW_TITLE = 5 };

// Inputs of the time advance besides the clock.
struct PacingSettings {
  double lock_fps = 0;    // frames per second, 0 = off
  bool warp = false;
  bool online = false;
  int server_tick = 0, race_tick = 0, start_tick = 0;
};

// How long to sleep before this frame's advance is taken (0 = none). With
// lock-fps the advance follows the sleep; otherwise the frame starts again.
double pacing_sleep(double elapsed, const PacingSettings& s);
// The time (s) this frame advances the simulation, elapsed being the real
// time since the last frame, after any lock-fps sleep.
double pacing_advance(double elapsed, const PacingSettings& s);
// Online speed factor: slower when ahead of the server, faster when behind.
double catch_up_factor(const PacingSettings& s);

struct LoopClock {
  double last_frame = 0;      // s
  double target = 0;          // simulation time to reach, s
  double simulated = 0;       // simulation time reached, s
  double display = 0;         // elapsed display time, s
  double shortest = 1.0, longest = 0;  // frame times seen, s
};

// Main-loop state that tests and the start-up code reach.
struct MainLoopState {
  LoopClock clock;
  PacingSettings pacing;
  ControlChannels channels;       // rebuilt every step
  AppliedControls applied{};      // last controls handed to the player's rider
  ControlMemory control_memory;
  int menu_page = -1;             // -1 = no menu
  bool menu_page_changed = false;
  bool paused = false;
  bool quit = false;
  bool mouse_held = false;
  int view = VIEW_TITLE;
  // Fixed keys (start-up step 18 looks them up by name).
  int key_esc = NO_KEY, key_pause = NO_KEY, key_step = NO_KEY;
  // Called in every simulation step once the channels are built; lets a
  // test or a tool watch what each step saw. Null = none.
  void (*step_observer)(const MainLoopState&) = nullptr;
};

MainLoopState& main_loop();
void main_loop_reset(double now);

// One pass of the main loop without drawing: time advance, then simulation
// steps with their input events, then the per-frame housekeeping.
void main_loop_pass();
// Runs passes until the quit flag is set.
void run_main_loop();
// Advances every rider and the world by one step.
void frame_step();

// Where frame_step's time goes, for the benchmarks: seconds per phase.
struct FrameStepTimes {
  double contacts = 0;    // ground, object and rider-against-rider contacts
  double roost = 0;       // roost emission
  double world_step = 0;  // the physics library's world step
  double riders = 0;      // every rider's own forces and checkpoints
  double other = 0;       // roost flight, the gate, the clock
  long steps = 0;
};
// Starts (or stops) timing frame_step's phases, from zero.
void frame_step_profile(bool on);
const FrameStepTimes& frame_step_times();

// ---------------------------------------------------------------- race loading

// Ends the race under way and starts a new one: the lineup is 40 entries
// (0 empty, 1 the player, 2 a robot, 3 a robot on a 125, 4 on a 250, 5 a
// player from the server, 1000 + n robot number n), or null for a time
// trial. race_length_ticks 0 is a race of laps. False when the track could
// not be loaded; the previous riders are gone then.
bool load_race(const int* lineup, bool playback, bool record_demo, int race_length_ticks, int laps,
               int robot_skill);
// Puts the player back at the start of a new time-trial attempt.
void restart_time_trial();
// The slot the camera starts on after load_race.
int race_viewed_slot();
// A progress line while loading ("Loading bikes...").
void show_status(const char* text);

// Where slot j starts: behind gate bar j mod n, in row j div n.
struct GridPlace {
  float x, z;     // ft
  float heading;  // rad
};
GridPlace grid_place(int slot);
// The roster shuffle of a race load, from the generator as seeded.
void shuffle_roster(int order[80]);
// The roster row for lineup entry (2, 3, 4 or 1000 + number) at the cursor;
// 3, 4 and numbers swap their row into the cursor's place.
int roster_pick(int order[80], int cursor, int entry);
const char* roster_number(int row);
const char* roster_bike(int row);

// ---------------------------------------------------------------- start-up

struct TrackListEntry {
  std::string directory;  // "rabbithill"
  std::string title;      // the first line of its "desc", else the directory
};

// Every track of the data (a directory holding "terrain.hf" or
// "terrain.hf.gz"), sorted by title ignoring case. Empty when there is none,
// or when a height field stands outside any directory.
std::vector<TrackListEntry> build_track_list();
// build_track_list, handed to the track layer (track_list_set) so that
// loaded tracks take their titles from it; returns the list.
std::vector<TrackListEntry> install_track_list();

// The program: start-up, main loop, shut-down. Returns the exit code.
int kestrail_main(int argc, char** argv);
