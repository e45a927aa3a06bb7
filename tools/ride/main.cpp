// main.cpp -- kestrail-ride: a race ridden headless by the autopilot on
// every bike, through the game's own race loading and frame step, printing
// the riders once a simulated second and the lap results at the end.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app.h"
#include "physics/bike_spec.h"
#include "physics/control.h"
#include "physics/physics.h"
#include "race/race.h"
#include "ride.h"

namespace {

const char USAGE[] =
    "usage: kestrail-ride --track NAME [--bike KEY] [--riders N] [--seconds S] [--laps L]\n";

bool parse_int(const char* text, int* out) {
  if (!text || !*text) return false;
  char* end = nullptr;
  long v = strtol(text, &end, 10);
  if (*end || v < -1000000000L || v > 1000000000L) return false;
  *out = (int)v;
  return true;
}

bool parse_seconds(const char* text, double* out) {
  if (!text || !*text) return false;
  char* end = nullptr;
  double v = strtod(text, &end);
  // A day of riding is far more than any test needs, and keeps the tick count an int.
  if (*end || !std::isfinite(v) || v <= 0 || v > 86400) return false;
  *out = v;
  return true;
}

// False after writing what was wrong to standard error.
bool parse_ride_options(int argc, char** argv, RideSetup* o) {
  for (int i = 1; i < argc; i++) {
    std::string arg = argv[i];
    std::string name = arg, value;
    bool has_value = false;
    size_t eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      has_value = true;
    }
    static const char* const NAMES[] = {"--track", "--bike", "--riders", "--seconds", "--laps"};
    bool known = false;
    for (const char* n : NAMES) known = known || name == n;
    if (!known) {
      fprintf(stderr, "kestrail-ride: unknown option '%s'\n%s", arg.c_str(), USAGE);
      return false;
    }
    if (!has_value) {
      if (i + 1 >= argc) {
        fprintf(stderr, "kestrail-ride: %s needs a value\n%s", name.c_str(), USAGE);
        return false;
      }
      value = argv[++i];
    }
    bool ok = true;
    if (name == "--track") {
      o->track = value;
      ok = !value.empty();
    } else if (name == "--bike") {
      o->bike = value;
      ok = lookup_bike_spec(value.c_str()) != nullptr;
    } else if (name == "--riders") {
      ok = parse_int(value.c_str(), &o->riders) && o->riders >= 1 && o->riders <= RACE_SLOTS;
    } else if (name == "--seconds") {
      ok = parse_seconds(value.c_str(), &o->seconds);
    } else if (name == "--laps") {
      ok = parse_int(value.c_str(), &o->laps) && o->laps >= 1 && o->laps <= 1000;
    }
    if (!ok) {
      fprintf(stderr, "kestrail-ride: bad value '%s' for %s\n%s", value.c_str(), name.c_str(), USAGE);
      return false;
    }
  }
  if (o->track.empty()) {
    fprintf(stderr, "kestrail-ride: --track is required\n%s", USAGE);
    return false;
  }
  return true;
}

void print_rider(int tick, int slot, const Rider* r) {
  const dReal* p = dBodyGetPosition(rider_chassis(r));
  printf("t=%.0f rider=%d x=%.1f z=%.1f mph=%.1f gear=%d rpm=%.0f gates=%d crashed=%d\n", tick * SIM_STEP,
         slot, p[0], p[2], rider_speedometer_mph(r), rider_gear(r) + 1, rider_engine_rpm(r), r->race.gate_count,
         r->crash_timer > 0 ? 1 : 0);
}

}  // namespace

int main(int argc, char** argv) {
  RideSetup opt;
  if (!parse_ride_options(argc, argv, &opt)) return 2;

  std::string error;
  if (!ride_begin(opt, &error)) {
    fprintf(stderr, "kestrail-ride: %s\n", error.c_str());
    return 1;
  }
  RaceState& rs = race_state();
  int laps = ride_laps(opt);

  int crashes[RACE_SLOTS] = {};
  bool was_crashed[RACE_SLOTS] = {};
  float top_mph[16] = {};
  int stop_tick = opt.seconds > 0 ? (int)(opt.seconds / SIM_STEP) : 0;
  // Without --seconds the race still ends: ten minutes a lap is far beyond any lap.
  if (stop_tick == 0) stop_tick = (int)(laps * 600 / SIM_STEP) + rs.start_tick;
  bool few = opt.riders <= 4;
  long steps = 0;
  frame_step_profile(true);
  auto wall_start = std::chrono::steady_clock::now();
  while (rs.race_tick < stop_tick) {
    ride_tick();
    steps++;
    for (int slot = 0; slot < RACE_SLOTS; slot++) {
      Rider* r = rs.riders[slot];
      if (!r) continue;
      bool crashed = r->crash_timer > 0;
      if (crashed && !was_crashed[slot]) crashes[slot]++;
      was_crashed[slot] = crashed;
    }
    Rider* lead = rs.riders[0];
    int g = rider_gear(lead);
    if (g >= 0 && g < 16) top_mph[g] = std::fmax(top_mph[g], rider_speedometer_mph(lead));
    if (rs.race_tick % 128 == 0)
      for (int slot = 0; slot < (few ? RACE_SLOTS : 1); slot++)
        if (rs.riders[slot]) print_rider(rs.race_tick, slot, rs.riders[slot]);
    if (opt.laps > 0 && laps_completed(lead) >= opt.laps) break;
    if (rs.results_final) break;
  }
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();

  Rider* lead = rs.riders[0];
  int done = laps_completed(lead);
  for (int lap = 1; lap <= done; lap++) printf("lap=%d time_s=%.3f\n", lap, lap_time(lead, lap));
  for (int g = 0; g < 16; g++)
    if (top_mph[g] > 0) printf("gear=%d top_mph=%.1f\n", g + 1, top_mph[g]);
  int best = best_lap_number(lead);
  printf("laps=%d best_lap_s=%.3f crashes=%d steps_per_s=%.0f\n", done, best ? lap_time(lead, best) : 0.0f,
         crashes[0], wall > 0 ? (double)steps / wall : 0.0);
  // Where the time went: the physics library's world step, and our own
  // code (contacts, the riders' forces, the rest of the frame step, and the
  // autopilots, which only this tool runs). The world step alone bounds how
  // fast a race can go.
  const FrameStepTimes& t = frame_step_times();
  double pilots = ride_autopilot_seconds();
  double ours = wall - t.world_step;
  printf("riders=%d steps=%ld x_real_time=%.2f us_per_rider_step=%.1f\n", opt.riders, steps,
         wall > 0 ? (double)steps / wall * SIM_STEP : 0.0, steps > 0 ? wall / (double)steps / opt.riders * 1e6 : 0.0);
  auto share = [wall](double s) { return wall > 0 ? s / wall : 0.0; };
  printf("world_step_share=%.3f own_code_share=%.3f contacts_share=%.3f rider_steps_share=%.3f "
         "autopilot_share=%.3f\n",
         share(t.world_step), share(ours), share(t.contacts), share(t.riders), share(pilots));
  // The fastest the race could go were everything else free: the world
  // step alone, and the world step with the contacts it needs.
  auto limit = [steps](double s) { return s > 0 ? (double)steps / s * SIM_STEP : 0.0; };
  printf("world_step_limit_x_real_time=%.2f contacts_and_world_step_limit_x_real_time=%.2f\n", limit(t.world_step),
         limit(t.world_step + t.contacts));
  printf("bodies_hash=%llu\n", (unsigned long long)race_bodies_hash());
  frame_step_profile(false);
  ride_end();
  return 0;
}
