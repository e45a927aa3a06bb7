// race_results.cpp -- the final results: cutting penalties and lost laps,
// the final order and the results file in the home folder.
#include "data/data.h"
#include "platform/platform.h"
#include "race/race.h"
#include "race/race_internal.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <ctime>

// ---------------------------------------------------------------- cutting

// Ticks r took from gate a to gate b when every gate of the section has a
// time, else -1. Gate -1 stands for the start of the clock.
static int clean_pass_ticks(const Rider* r, int a, int b) {
  int ta = a < 0 ? 0 : gate_time(r, a);
  int tb = gate_time(r, b);
  if (ta == -1 || tb == -1) return -1;
  for (int i = std::max(a + 1, 0); i < b; i++)
    if (gate_time(r, i) == -1) return -1;
  return tb - ta >= 0 ? tb - ta : -1;
}

int expected_section_ticks(int a, int b) {
  const TrackTiming& t = race_timing();
  const RaceState& s = race_state();
  int64_t total = 0;
  int riders = 0;
  for (int i = 0; i < s.live_order.count; i++) {
    const Rider* r = s.riders[s.live_order.entries[i].slot];
    if (!r) continue;
    if (a < t.first_lap_gates || t.normal_lap_gates <= 0) {
      int pass = clean_pass_ticks(r, a, b);
      if (pass >= 0) {
        total += pass;
        riders++;
      }
      continue;
    }
    // A later section: the same stretch in every normal lap the rider rode.
    int from = t.first_lap_gates + (a - t.first_lap_gates) % t.normal_lap_gates;
    int to = from + (b - a);
    int64_t sum = 0;
    int passes = 0;
    for (; to < r->race.gate_count; from += t.normal_lap_gates, to += t.normal_lap_gates) {
      int pass = clean_pass_ticks(r, from, to);
      if (pass >= 0) {
        sum += pass;
        passes++;
      }
    }
    if (passes > 0) {
      total += sum / passes;
      riders++;
    }
  }
  return riders > 0 ? (int)(total / riders) : seconds_to_ticks(60);
}

// Ticks owed for the sections r cut short by skipping gates: each such
// section ridden faster than the expected time plus one second pays the
// difference.
static int64_t cutting_penalty_ticks(const Rider* r) {
  int64_t penalty = 0;
  int last = 0;    // tick of the last recorded gate; the clock's start before any
  int missed = 0;  // consecutive skipped gates since it
  for (int i = 0; i < r->race.gate_count; i++) {
    int t = gate_time(r, i);
    if (t == -1) {
      missed++;
      continue;
    }
    if (missed > 0) {
      int64_t allowed = (int64_t)expected_section_ticks(i - missed - 1, i) + seconds_to_ticks(1);
      if (t - last < allowed) penalty += allowed - (t - last);
      missed = 0;
    }
    last = t;
  }
  return penalty;
}

// The final row of slot: penalty, whole laps lost for it, the rest as time.
static StandingEntry final_entry(int slot) {
  const TrackTiming& t = race_timing();
  const Rider* r = race_state().riders[slot];
  StandingEntry e = standing_of(slot);
  int64_t penalty = cutting_penalty_ticks(r);
  int best = best_lap_number(r);
  if (best > 1) {
    int lap_ticks = gate_time(r, lap_end_gate(best)) - gate_time(r, lap_end_gate(best - 1));
    // Lowering only while a whole lap stays above the first keeps a rider
    // stopped mid-lap from dropping below its first lap.
    if (lap_ticks > 0 && lap_ticks < penalty) {
      while (penalty > lap_ticks && e.gate_count - t.normal_lap_gates >= t.first_lap_gates) {
        e.gate_count -= t.normal_lap_gates;
        penalty -= lap_ticks;
        e.laps_lost++;
      }
    }
  }
  int64_t last = e.last_tick + penalty;
  e.last_tick = (int)std::min<int64_t>(last, INT_MAX);
  e.penalty_ticks = (int)std::min<int64_t>(penalty, INT_MAX);
  return e;
}

// ---------------------------------------------------------------- results file

struct ClockTime {
  int minutes, seconds, milliseconds;
};

static ClockTime clock_time(float seconds) {
  int ms = (int)(seconds * 1000);
  int minutes = ms / 60000;
  return {minutes, ms / 1000 - minutes * 60, ms % 1000};
}

static void write_results() {
  const RaceState& s = race_state();
  const Standings& order = s.final_order;
  Stream* f = open_stream("@results.txt", "wb");
  if (!f) return;  // no results this time; the race still ends
  const RaceHooks& hooks = race_hooks();
  long date = hooks.calendar_time ? hooks.calendar_time() : (long)time(nullptr);
  stream_printf(f, "Time=%.2f|Laps=%d|Track=%s|Date=%ld\r\n", s.race_length_ticks * SIM_STEP, s.race_laps,
                track_current().track_name.c_str(), date);
  stream_printf(f, "%4s | %12s | %4s | %10s | %4s | %10s\r\n", "No.", "Bike", "Laps", "Total Time", "BLap",
                "Best Time");
  for (int i = 0; i < order.count; i++) {
    const StandingEntry& e = order.entries[i];
    const Rider* r = s.riders[e.slot];
    if (!r->race.finished) continue;
    ClockTime total = clock_time((float)((e.last_tick - s.start_tick) * SIM_STEP));
    int best = best_lap_number(r);
    ClockTime lap = clock_time(lap_time(r, best));
    stream_printf(f, "%4s | %12s | %4d | %3d:%02d.%03d | ", r->race.number_text.c_str(), r->race.bike_key.c_str(),
                  laps_for_gate_count(e.gate_count), total.minutes, total.seconds, total.milliseconds);
    stream_printf(f, "%4d | %3d:%02d.%03d\r\n", best, lap.minutes, lap.seconds, lap.milliseconds);
  }
  // Every finisher's gate times since the start, one line per lap.
  for (int i = 0; i < order.count; i++) {
    const StandingEntry& e = order.entries[i];
    const Rider* r = s.riders[e.slot];
    if (!r->race.finished) continue;
    stream_printf(f, "\r\n%d\r\n", e.gate_count);
    for (int g = 0; g < e.gate_count; g++) {
      int t = gate_time(r, g);
      if (t == -1)
        stream_printf(f, "%8d", -1);
      else
        stream_printf(f, "%8.3f", (t - s.start_tick) * SIM_STEP);
      stream_puts(f, gate_count_ends_lap(g + 1) ? "\r\n" : " ");
    }
  }
  if (!close_stream(f)) log_printf("Couldn't write results.txt\n");
}

void race_finalize() {
  RaceState& s = race_state();
  Standings& order = s.final_order;
  order.count = 0;
  for (int slot = 0; slot < RACE_SLOTS; slot++)
    if (s.riders[slot]) order.entries[order.count++] = final_entry(slot);
  standings_sort(&order);
  if (order.count > 0 && s.riders[order.entries[0].slot]->race.finished) write_results();
  s.results_final = true;
  if (race_hooks().race_finished) race_hooks().race_finished();
}
