// race.h -- race control: the race clock and rider slots, checkpoint
// crossing, laps, standings, cutting penalties, the results file, the
// online false-start rule, the starting gate and the time-trial timing.
#pragma once

#include <cstdint>

#include "common/common.h"
#include "physics/rider.h"
#include "track/track.h"

inline constexpr int RACE_SLOTS = 40;
inline constexpr int NO_RACE_SLOT = 40;      // my_slot of a client the server gave no slot
inline constexpr int LAP_PENDING = 1000000;  // halfway_lap / final_lap not fixed yet

enum SlotKind : int {
  SLOT_LOCAL = 0,   // ridden here by the player's controls
  SLOT_REMOTE = 1,  // driven from outside: the server, a demo, a time-trial ghost
  SLOT_ROBOT = 2,
};

// One row of a standings list. final_order rows carry penalised values.
struct StandingEntry {
  int slot = 0;
  int gate_count = 0;
  int last_tick = 0;     // tick of the last gate passed, 0 before the first
  int laps_lost = 0;     // final_order only: whole laps taken for cutting
  int penalty_ticks = 0; // final_order only: cutting time added to last_tick
};

struct Standings {
  StandingEntry entries[RACE_SLOTS];
  int count = 0;
};

// The race record, cleared at every race load.
struct RaceState {
  int race_tick = 0;          // advanced by one at the end of every frame step
  int start_tick = 0;         // the gate drops here
  int race_length_ticks = 0;  // 0 for a race run by laps alone
  int race_laps = 0;          // laps, or the extra laps after time runs out
  int halfway_lap = LAP_PENDING;
  int final_lap = LAP_PENDING;
  bool results_final = false;

  bool online = false;
  int my_slot = NO_RACE_SLOT;
  Rider* riders[RACE_SLOTS] = {};  // not owned; made and destroyed by the physics code
  SlotKind slot_kind[RACE_SLOTS] = {};
  int last_state_tick[RACE_SLOTS] = {};  // when each slot's state last came from the server

  Standings live_order;
  Standings final_order;

  // Time trial.
  bool time_trial = false;
  int last_lap_ticks = 0;  // the player's last lap; 0 when it was not valid
  int best_lap_ticks = 0;  // 0 until a lap has been timed

  // Online false start of the SLOT_LOCAL rider.
  Vec3 start_position;     // ft, its chassis at load
  int penalty_hold_ticks = 0;

  // Starting-gate bars: 1 up, 0 down.
  float gate_bar_raise[GATE_BAR_LIMIT] = {};
};

// The race record. Race loading fills it; everything here reads it.
RaceState& race_state();
// Empties every slot and puts the clock, standings and flags back to the
// state before any race. Race loading starts with it; so do tests.
void race_reset();

// What race control reads from outside its subsystem. The owner of the
// riders sets these once; a test sets its own. A null entry means: no
// such source, and the rule that needs it does nothing.
struct RaceHooks {
  Vec3 (*chassis_position)(const Rider& r) = nullptr;  // ft
  float (*chassis_speed)(const Rider& r) = nullptr;    // ft/s
  // The control setters that hold a rider after a false start.
  void (*set_front_brake)(Rider* r, float v) = nullptr;
  void (*set_rear_brake)(Rider* r, float v) = nullptr;
  void (*set_back_up)(Rider* r, float v) = nullptr;
  void (*set_clutch)(Rider* r, float v) = nullptr;
  void (*set_throttle)(Rider* r, float v) = nullptr;
  void (*set_dab)(Rider* r, float v) = nullptr;
  // Seconds since the epoch for the results file; null uses the system clock.
  long (*calendar_time)() = nullptr;
  // Told once when the final results exist (the points series scores them).
  void (*race_finished)() = nullptr;
};
void race_set_hooks(const RaceHooks& hooks);
const RaceHooks& race_hooks();
// The hooks for riders built in the physics world: the chassis body's
// position and speed, and the hold through the rider's control setters;
// calendar_time and race_finished stay null.
RaceHooks race_physics_hooks();
// Sets those hooks and gives the physics code the finishing test it asks
// before letting a stopped rider pivot. Call once at start-up.
void race_install_physics_hooks();
// FNV-1a over the bytes of every slot's rider bodies: positions,
// orientations and both velocities. Two runs of one race agree on it tick
// for tick; demos and online races rely on that.
uint64_t race_bodies_hash();

// ---------------------------------------------------------------- clock and slots

// The race-control part of a race load: the clock (race_tick 0, or 300 s
// in a time trial), the length and laps, halfway_lap and final_lap, every
// starting-gate bar up, results not final. Slots are set afterwards.
void race_start(int race_length_ticks, int laps, int start_tick, bool time_trial);
// Puts a rider (or none) in a slot. A slot without a rider counts as SLOT_REMOTE.
void race_set_slot(int slot, Rider* rider, SlotKind kind);
Rider* race_rider(int slot);
SlotKind race_slot_kind(int slot);
// The slot holding r, or -1.
int race_slot_of(const Rider* r);
// The network client notes when a slot's state last arrived (tick).
void race_note_remote_state(int slot, int tick);
// The frame step's last act: race_tick += 1.
void race_advance_tick();
// The race as the HUD names it: "%d laps", "%d minutes + %d laps" or "%d minutes".
void race_description(char* out, int out_size);

// ---------------------------------------------------------------- gates and laps

// True when the loaded track times the race (it has checkpoints and both lap lists).
bool race_has_timing();
// The lap-list position used by gate index n.
int lap_list_position(int n);
// The gate index that ends lap `lap` (counted from 1).
int lap_end_gate(int lap);
// Laps completed by a rider that has passed gate_count gates.
int laps_for_gate_count(int gate_count);
// True when passing gate_count gates has just ended a lap.
bool gate_count_ends_lap(int gate_count);

// The tick at which r crossed gate index i; -1 when skipped or outside its times.
int gate_time(const Rider* r, int i);
int laps_completed(const Rider* r);
// Lap `lap` in seconds (lap < 0: the last completed lap); 0 when that lap
// is not complete or one of its end times is missing.
float lap_time(const Rider* r, int lap);
// The fastest of laps 2 onward; 0 with fewer than two laps completed.
int best_lap_number(const Rider* r);

// Lowers or sets a rider's progress: rewinds, the time trial, the network.
void set_gate_count(Rider* r, int n);
// Records a crossing of gate index i at tick (gaps before it read -1) and
// moves gate_count to i + 1. For crossings reported from outside (network).
void record_gate_crossing(Rider* r, int i, int tick);

// Once per tick per rider after its physics step (offline every rider,
// online only the SLOT_LOCAL one): slow detection, crossings, finishing.
void check_gates(Rider* r);
// After every crossing, load, rewind or time-trial lap: live_order, the
// timed race's halfway and final laps and, once everybody is through, the
// final results, the results file and the series. Nothing once final.
void update_standings();
// The chequered-flag test; sets r's finished flag when it passes.
bool rider_has_finished(Rider* r);
// Mean ticks from gate a to gate b over the riders that rode that section
// cleanly; 7680 (60 s) when nobody did.
int expected_section_ticks(int a, int b);

// ---------------------------------------------------------------- start

// Where the SLOT_LOCAL rider stood at load; clears any false-start hold.
void race_set_start_position(Vec3 position);
// Online, per tick for the SLOT_LOCAL rider before its physics step:
// holds a rider that left before the drop until 15 s after it.
void apply_false_start_rule(Rider* r);
// Once per tick from the frame step: lowers the gate bars after the drop
// and turns their statues to match.
void animate_starting_gate();

// ---------------------------------------------------------------- time trial

// The checkpoint an attempt starts from: its x, z (ft) and the heading
// (rad) to place the player with. False without timing.
bool time_trial_start_place(float* x, float* z, float* heading);
// After the player was placed there: its gate count, no last lap, standings.
void time_trial_restart(Rider* player);
// Ticks of the lap a time-trial rider has just completed (gate E(2) less
// E(1)); 0 when a gate of it is missing.
int time_trial_lap_ticks(const Rider* r);
// The player completed a lap: last_lap_ticks and best_lap_ticks.
void time_trial_player_lap(const Rider* player);
// The ghost completed a lap: best_lap_ticks.
void time_trial_ghost_lap(const Rider* ghost);
// Whether the lap just ridden becomes the fastest-lap demo.
bool time_trial_lap_is_fastest(bool have_fastest_demo, const Rider* player, const Rider* ghost);
// After the ghosts were rebuilt: every rider back before the finish line,
// the player re-takes it at once, standings.
void time_trial_rearm(Rider* player);
