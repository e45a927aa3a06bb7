// race_start.cpp -- the start of a race (the online false-start rule and the
// starting-gate bars) and the time-trial timing.
#include "platform/platform.h"
#include "race/race.h"
#include "race/race_internal.h"

#include <cmath>

// ---------------------------------------------------------------- false start

void race_set_start_position(Vec3 position) {
  RaceState& s = race_state();
  s.start_position = position;
  s.penalty_hold_ticks = 0;
}

// The rider sits on the bike with both brakes on and the clutch pulled in.
static void hold_rider(Rider* r) {
  const RaceHooks& h = race_hooks();
  if (h.set_front_brake) h.set_front_brake(r, 1);
  if (h.set_rear_brake) h.set_rear_brake(r, 1);
  if (h.set_back_up) h.set_back_up(r, 0);
  if (h.set_clutch) h.set_clutch(r, 0);
  if (h.set_throttle) h.set_throttle(r, 0);
  if (h.set_dab) h.set_dab(r, 1);
}

void apply_false_start_rule(Rider* r) {
  RaceState& s = race_state();
  if (!r || !s.online) return;  // offline races have no false-start rule
  if (s.penalty_hold_ticks > 0) {
    s.penalty_hold_ticks--;
    hold_rider(r);
    return;
  }
  if (s.start_tick < s.race_tick || !race_hooks().chassis_position) return;
  Vec3 d = race_hooks().chassis_position(*r) - s.start_position;
  if (vec3_dot(d, d) < 9) return;  // 3 ft
  // Held until 15 s after the gate drops.
  s.penalty_hold_ticks = s.start_tick + seconds_to_ticks(15) - s.race_tick;
  log_printf("15 second false start penalty\n");
  add_message("15 second false start penalty");
}

// ---------------------------------------------------------------- starting gate

static constexpr float GATE_BAR_UP = 3.0f * 3.14159265358979f / 16.0f;  // rad, the hinge angle at u = 1

void animate_starting_gate() {
  RaceState& s = race_state();
  // Ten seconds after the drop every bar has long come to rest.
  if (s.race_tick * SIM_STEP > s.start_tick * SIM_STEP + 10) return;
  Track& t = track_current();
  bool dropped = s.start_tick < s.race_tick;
  for (int i = 0; i < t.gate_bar_count && i < GATE_BAR_LIMIT; i++) {
    int index = t.gate_bars[i].statue;
    float& u = s.gate_bar_raise[i];
    if (index < 0 || index >= t.statues.count || u <= 0) continue;
    Statue& statue = t.statues[index];
    if (dropped) {
      // A bar a rider leans on this tick stays where it is.
      if (statue.tick_stamp == s.race_tick) continue;
      u = std::fmax(u - (float)(8 * SIM_STEP), 0.0f);
    }
    Mat3 hinge = mat3_axis_angle(Vec3{1, 0, 0}, u * GATE_BAR_UP);
    statue.orientation = mat3_multiply(statue_orientation(statue.x, statue.z, statue.angle), hinge);
  }
}

// ---------------------------------------------------------------- time trial

// Attempts start two gates before the end of the first lap, so that the
// rider rolls through the finish line and every lap is timed like lap 2.
static int time_trial_start_gate() {
  int g = race_timing().first_lap_gates - 2;
  return g > 0 ? g : 0;
}

bool time_trial_start_place(float* x, float* z, float* heading) {
  if (!race_has_timing()) return false;
  const TrackTiming& t = race_timing();
  int entry = t.lap_gate_list[lap_list_position(time_trial_start_gate())] % LAP_ENTRY_UNUSED;
  if (entry < 0 || entry >= t.checkpoint_count) return false;
  const Checkpoint& c = t.checkpoints[entry];
  *x = c.x;
  *z = c.z;
  *heading = std::atan2(-c.nx, -c.nz);
  return true;
}

void time_trial_restart(Rider* player) {
  if (!player || !race_has_timing()) return;
  set_gate_count(player, time_trial_start_gate());
  race_state().last_lap_ticks = 0;
  update_standings();
}

int time_trial_lap_ticks(const Rider* r) {
  if (!r || !race_has_timing()) return 0;
  int from = lap_end_gate(1), to = lap_end_gate(2);
  for (int i = from; i <= to; i++)
    if (gate_time(r, i) == -1) return 0;
  return gate_time(r, to) - gate_time(r, from);
}

static void note_best_lap(int ticks) {
  RaceState& s = race_state();
  if (ticks > 0 && (s.best_lap_ticks == 0 || ticks < s.best_lap_ticks)) s.best_lap_ticks = ticks;
}

void time_trial_player_lap(const Rider* player) {
  int ticks = time_trial_lap_ticks(player);
  race_state().last_lap_ticks = ticks;
  note_best_lap(ticks);
}

void time_trial_ghost_lap(const Rider* ghost) { note_best_lap(time_trial_lap_ticks(ghost)); }

bool time_trial_lap_is_fastest(bool have_fastest_demo, const Rider* player, const Rider* ghost) {
  if (!have_fastest_demo) return true;
  // The player beat the ghost when the ghost is still short of the line.
  bool beat = !ghost || (player && ghost->race.gate_count < player->race.gate_count);
  return beat && race_state().last_lap_ticks > 0;
}

void time_trial_rearm(Rider* player) {
  if (!race_has_timing()) return;
  int g = race_timing().first_lap_gates - 1;
  if (g < 0) g = 0;
  RaceState& s = race_state();
  for (Rider* r : s.riders)
    if (r) set_gate_count(r, g);
  check_gates(player);
  update_standings();
}
