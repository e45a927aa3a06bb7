// race.cpp -- the race clock and slots, gate indices and laps, checkpoint
// crossing, the chequered flag and the live standings.
#include "race/race.h"

#include "platform/platform.h"
#include "race/line_hooks.h"
#include "race/race_internal.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>

static RaceState g_race;
static RaceHooks g_hooks;

RaceState& race_state() { return g_race; }

void race_reset() {
  g_race = RaceState{};
  for (SlotKind& k : g_race.slot_kind) k = SLOT_REMOTE;
}

void race_set_hooks(const RaceHooks& hooks) { g_hooks = hooks; }
const RaceHooks& race_hooks() { return g_hooks; }

// ---------------------------------------------------------------- clock and slots

void race_start(int race_length_ticks, int laps, int start_tick, bool time_trial) {
  RaceState& s = g_race;
  s.time_trial = time_trial;
  // A time trial starts long after its (never shown) gate drop.
  s.race_tick = time_trial ? seconds_to_ticks(300) : 0;
  s.start_tick = start_tick;
  s.race_length_ticks = race_length_ticks;
  s.race_laps = laps;
  if (race_length_ticks > 0) {
    s.halfway_lap = LAP_PENDING;
    s.final_lap = LAP_PENDING;
  } else {
    s.final_lap = laps;
    s.halfway_lap = (laps + 1) / 2;
  }
  if (time_trial) s.last_lap_ticks = s.best_lap_ticks = 0;
  for (float& u : s.gate_bar_raise) u = 1;
  s.results_final = false;
  s.live_order = Standings{};
  s.final_order = Standings{};
}

void race_set_slot(int slot, Rider* rider, SlotKind kind) {
  if (slot < 0 || slot >= RACE_SLOTS) return;
  g_race.riders[slot] = rider;
  g_race.slot_kind[slot] = rider ? kind : SLOT_REMOTE;
}

Rider* race_rider(int slot) { return slot >= 0 && slot < RACE_SLOTS ? g_race.riders[slot] : nullptr; }

SlotKind race_slot_kind(int slot) {
  return slot >= 0 && slot < RACE_SLOTS ? g_race.slot_kind[slot] : SLOT_REMOTE;
}

int race_slot_of(const Rider* r) {
  if (!r) return -1;
  for (int i = 0; i < RACE_SLOTS; i++)
    if (g_race.riders[i] == r) return i;
  return -1;
}

void race_note_remote_state(int slot, int tick) {
  if (slot >= 0 && slot < RACE_SLOTS) g_race.last_state_tick[slot] = tick;
}

void race_advance_tick() { g_race.race_tick++; }

void race_description(char* out, int out_size) {
  const RaceState& s = g_race;
  int minutes = (int)std::lround(s.race_length_ticks * SIM_STEP / 60.0);
  if (s.race_length_ticks <= 0)
    snprintf(out, (size_t)out_size, "%d laps", s.race_laps);
  else if (s.race_laps > 0)
    snprintf(out, (size_t)out_size, "%d minutes + %d laps", minutes, s.race_laps);
  else
    snprintf(out, (size_t)out_size, "%d minutes", minutes);
}

// ---------------------------------------------------------------- gates and laps

bool race_has_timing() {
  const TrackTiming& t = race_timing();
  // Both lap lists must be non-empty or the lap arithmetic divides by zero.
  return t.checkpoint_count > 0 && t.first_lap_gates > 0 && t.normal_lap_gates > 0;
}

int lap_list_position(int n) {
  const TrackTiming& t = race_timing();
  if (n < t.first_lap_gates || t.normal_lap_gates <= 0) return n;
  return t.first_lap_gates + (n - t.first_lap_gates) % t.normal_lap_gates;
}

int lap_end_gate(int lap) {
  const TrackTiming& t = race_timing();
  return t.first_lap_gates + (lap - 1) * t.normal_lap_gates - 1;
}

int laps_for_gate_count(int gate_count) {
  const TrackTiming& t = race_timing();
  if (!race_has_timing() || gate_count < t.first_lap_gates) return 0;
  return (gate_count - t.first_lap_gates) / t.normal_lap_gates + 1;
}

bool gate_count_ends_lap(int gate_count) {
  const TrackTiming& t = race_timing();
  if (!race_has_timing()) return false;
  int past = gate_count - t.first_lap_gates;
  return past >= 0 && past % t.normal_lap_gates == 0;
}

int gate_time(const Rider* r, int i) { return r ? r->race.gate_times.at(i) : -1; }

int laps_completed(const Rider* r) { return r ? laps_for_gate_count(r->race.gate_count) : 0; }

float lap_time(const Rider* r, int lap) {
  if (!r || !race_has_timing()) return 0;
  int laps = laps_completed(r);
  if (lap < 0) lap = laps;
  if (lap <= 0 || lap > laps) return 0;
  int begin = lap == 1 ? g_race.start_tick : gate_time(r, lap_end_gate(lap - 1));
  int end = gate_time(r, lap_end_gate(lap));
  if (begin == -1 || end == -1) return 0;
  return (float)((end - begin) * SIM_STEP);
}

int best_lap_number(const Rider* r) {
  int laps = laps_completed(r);
  int best = 0;
  float best_time = 0;
  // Lap 1 starts from the gate, so it never counts.
  for (int lap = 2; lap <= laps; lap++) {
    float t = lap_time(r, lap);
    if (t == 0) continue;
    if (best == 0 || t < best_time) {
      best = lap;
      best_time = t;
    }
  }
  return best;
}

void set_gate_count(Rider* r, int n) {
  if (!r) return;
  if (n < 0) n = 0;
  if (n < r->race.gate_count) r->race.finished = false;
  r->race.gate_times.truncate(n);
  r->race.gate_count = n;
  r->race.slow_state = 0;
}

void record_gate_crossing(Rider* r, int i, int tick) {
  if (!r || i < 0) return;
  // When the array cannot grow the crossing still counts; the gate reads as missed.
  if (!r->race.gate_times.set(i, tick))
    log_printf("Out of memory for the gate times of rider %s\n", r->race.number_text.c_str());
  r->race.gate_count = i + 1;
}

// ---------------------------------------------------------------- crossing

// Inside the checkpoint's circle on its far side; the height is not tested.
static bool checkpoint_crossed(int gate_index, Vec3 p) {
  const TrackTiming& t = race_timing();
  int entry = t.lap_gate_list[lap_list_position(gate_index)] % LAP_ENTRY_UNUSED;
  if (entry < 0 || entry >= t.checkpoint_count) return false;
  const Checkpoint& c = t.checkpoints[entry];
  float dx = p.x - c.x, dz = p.z - c.z;
  return dx * dx + dz * dz <= c.radius * c.radius && dx * c.nx + dz * c.nz >= 0;
}

// The gate count of the leader beyond which the chequered flag is out.
static int flag_gate() { return g_race.final_lap == 0 ? 0 : lap_end_gate(g_race.final_lap); }

static const Rider* leader() {
  const Standings& live = g_race.live_order;
  return live.count > 0 ? g_race.riders[live.entries[0].slot] : nullptr;
}

void check_gates(Rider* r) {
  if (!r || !race_has_timing() || r->race.finished) return;
  assert(g_hooks.chassis_position && "race_set_hooks must give the chassis position before check_gates");
  if (!g_hooks.chassis_position) return;
  RiderRace& rr = r->race;
  RaceState& s = g_race;

  record_line_sample(r);

  if (rr.slow_state == 0 && g_hooks.chassis_speed &&
      s.race_tick * SIM_STEP > s.start_tick * SIM_STEP + 2 && g_hooks.chassis_speed(*r) < 5) {
    rr.slow_state = 1;
    slow_event_lines(r);
    rr.slow_state = 2;
  }

  Vec3 p = g_hooks.chassis_position(*r);
  const int n = rr.gate_count;
  // -1 is the gate just crossed, so it is never tried.
  static constexpr int OFFSETS[] = {-3, -2, 0, 1, 2};
  bool gap = false;
  int taken = 0;
  bool found = false;
  for (int k : OFFSETS) {
    int e = n + k;
    if (e < 0) continue;
    if (rr.gate_times.at(e) == -1) gap = true;
    if (checkpoint_crossed(e, p)) {
      // Going back is allowed only to take a gate that has no time.
      if (k >= 0 || gap) {
        taken = k;
        found = true;
        break;
      }
      continue;
    }
    // A finish line is never skipped: nothing beyond an unpassed one is looked at.
    if (gate_count_ends_lap(e + 1) && rr.gate_times.at(e) == -1) break;
  }
  if (!found) return;

  int e = n + taken;
  if (!rr.gate_times.set(e, s.race_tick))
    log_printf("Out of memory for the gate times of rider %s\n", rr.number_text.c_str());
  gate_crossed_lines(r, taken);
  rr.gate_count = e + 1;

  if (gate_count_ends_lap(rr.gate_count) && !rr.finished) {
    const Rider* first = leader();
    bool flag_out = first && first->race.gate_count > flag_gate();
    if (flag_out || laps_completed(r) >= s.final_lap) {
      rr.finished = true;
      rider_finished_lines(r);
    }
  }
  update_standings();
  rr.slow_state = 0;
}

bool rider_has_finished(Rider* r) {
  if (!r) return false;
  if (r->race.finished) return true;
  if (!race_has_timing()) return false;
  const Rider* first = leader();
  int flag = flag_gate();
  if (!first || first->race.gate_count <= flag) return false;
  int flag_time = gate_time(first, flag);
  if (flag_time == -1) return false;
  int laps = laps_completed(r);
  int own = gate_time(r, laps > 0 ? lap_end_gate(laps) : 0);
  if (own < flag_time) return false;
  r->race.finished = true;
  return true;
}

// ---------------------------------------------------------------- standings

StandingEntry standing_of(int slot) {
  const Rider* r = g_race.riders[slot];
  StandingEntry e;
  e.slot = slot;
  e.gate_count = r->race.gate_count;
  e.last_tick = e.gate_count > 0 ? r->race.gate_times.at(e.gate_count - 1) : 0;
  return e;
}

void standings_sort(Standings* list) {
  std::sort(list->entries, list->entries + list->count, [](const StandingEntry& a, const StandingEntry& b) {
    if (a.gate_count != b.gate_count) return a.gate_count > b.gate_count;
    if (a.last_tick != b.last_tick) return a.last_tick < b.last_tick;
    return a.slot < b.slot;
  });
}

// True when a rider no longer holds back the end of the race.
static bool rider_through(int slot) {
  RaceState& s = g_race;
  if (rider_has_finished(s.riders[slot])) return true;
  // Online, a remote rider silent for a second is not waited for; the
  // player's own rider always is.
  bool own = slot == s.my_slot || s.slot_kind[slot] == SLOT_LOCAL;
  return s.online && !own && s.race_tick - s.last_state_tick[slot] >= seconds_to_ticks(1);
}

void update_standings() {
  RaceState& s = g_race;
  if (s.results_final) return;

  Standings& live = s.live_order;
  live.count = 0;
  for (int slot = 0; slot < RACE_SLOTS; slot++)
    if (s.riders[slot]) live.entries[live.count++] = standing_of(slot);
  standings_sort(&live);
  if (!race_has_timing() || live.count == 0) return;

  int leader_laps = laps_for_gate_count(live.entries[0].gate_count);
  if (s.race_length_ticks > 0) {
    if (s.halfway_lap == LAP_PENDING && s.race_tick >= s.race_length_ticks / 2) s.halfway_lap = leader_laps + 1;
    if (s.race_tick >= s.race_length_ticks) {
      if (s.final_lap == LAP_PENDING) {
        // The leader completes the lap under way, then race_laps more.
        s.final_lap = leader_laps + s.race_laps + 1;
      } else {
        // A crossing reported late may show that the lap under way when time
        // ran out had already been completed: one lap more per call.
        int o = s.final_lap == s.race_laps ? 0 : lap_end_gate(s.final_lap - s.race_laps);
        for (int i = 0; i < live.count; i++) {
          int t = gate_time(s.riders[live.entries[i].slot], o);
          if (t > 0 && t < s.race_length_ticks) {
            s.final_lap++;
            break;
          }
        }
      }
    }
  }

  for (int i = 0; i < live.count; i++)
    if (!rider_through(live.entries[i].slot)) return;
  race_finalize();
}
