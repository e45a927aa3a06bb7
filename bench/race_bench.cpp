// race_bench.cpp -- a whole race, headless: 1 and 40 autopilot riders from
// the rabbithill gate for 60 s of race time, through load_race and
// frame_step as the game runs them, with the time split by phase; riders
// resting at the gate; and the floor under a race, the physics world step
// with only its contacts made.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <vector>

#include "app/app.h"
#include "autopilot.h"
#include "common/settings.h"
#include "data/data.h"
#include "physics/control.h"
#include "physics/physics.h"
#include "physics/rider.h"
#include "race/race.h"
#include "track/track.h"

namespace {

constexpr double RACE_SECONDS = 60;

void setup_once() {
  static bool done = [] {
    setenv("KT_HOME", KT_DATA_DIR, 1);  // the built archives
    setenv("XDG_DATA_HOME", "/tmp/kt_race_bench_home", 1);
    data_paths_reset();
    physics_init();
    game_settings().track = "rabbithill";
    return true;
  }();
  (void)done;
}

struct Field {
  AutopilotPath path;
  std::vector<Autopilot> pilots;
};

// A fresh race of n riders: the player's entry and n - 1 robot entries,
// every one ridden by an autopilot.
Field start_race(int n) {
  int lineup[RACE_SLOTS] = {};
  for (int i = 0; i < n; i++) lineup[i] = i == 0 ? 1 : 2;
  race_state().race_tick = 1;
  if (!load_race(lineup, false, false, 0, 1000, 0)) std::abort();
  Field f;
  autopilot_path_build(&f.path, AutopilotTuning{});
  f.pilots.resize(RACE_SLOTS);
  for (int slot = 0; slot < RACE_SLOTS; slot++)
    if (race_state().riders[slot]) autopilot_start(&f.pilots[slot], &f.path, AutopilotTuning{});
  return f;
}

void drive(Field& f) {
  for (int slot = 0; slot < RACE_SLOTS; slot++)
    if (Rider* r = race_state().riders[slot]) autopilot_drive(&f.pilots[slot], r);
}

void BM_Race(benchmark::State& state) {
  setup_once();
  int n = (int)state.range(0);
  const int ticks = (int)(RACE_SECONDS / SIM_STEP);
  double seconds = 0, autopilot = 0;
  for (auto _ : state) {
    Field f = start_race(n);
    frame_step_profile(true);
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < ticks; i++) {
      auto a = std::chrono::steady_clock::now();
      drive(f);
      autopilot += std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
      frame_step();
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  const FrameStepTimes& t = frame_step_times();
  double steps = (double)ticks * (double)state.iterations();
  state.counters["steps_per_s"] = steps / seconds;
  state.counters["x_real_time"] = steps / seconds * SIM_STEP;
  state.counters["us_per_rider_step"] = seconds / steps / n * 1e6;
  state.counters["world_step_share"] = t.world_step / seconds;
  state.counters["contacts_share"] = t.contacts / seconds;
  state.counters["rider_steps_share"] = t.riders / seconds;
  state.counters["autopilot_share"] = autopilot / seconds;
  frame_step_profile(false);
}
BENCHMARK(BM_Race)->Arg(1)->Arg(40)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// Riders resting at the rabbithill gate on their brakes with a foot down:
// what standing still costs, split the same way.
void BM_RestingAtTheGate(benchmark::State& state) {
  setup_once();
  int n = (int)state.range(0);
  Field f = start_race(n);
  auto hold = [] {
    for (int slot = 0; slot < RACE_SLOTS; slot++)
      if (Rider* r = race_state().riders[slot]) {
        set_front_brake(r, 1);
        set_rear_brake(r, 1);
        set_clutch(r, 0);
        set_dab(r, 1);
      }
  };
  for (int i = 0; i < 256; i++) {  // settle on the suspension first
    hold();
    frame_step();
  }
  frame_step_profile(true);
  for (auto _ : state) {
    hold();
    frame_step();
  }
  const FrameStepTimes& t = frame_step_times();
  double per = 1e6 / ((double)t.steps * n);
  state.counters["contacts_us"] = t.contacts * per;
  state.counters["world_step_us"] = t.world_step * per;
  state.counters["rider_steps_us"] = t.riders * per;
  frame_step_profile(false);
}
BENCHMARK(BM_RestingAtTheGate)->Arg(1)->Arg(40)->MinTime(3)->Unit(benchmark::kMicrosecond);

// The same field spread over the first corners, then only what the world
// step needs each tick: the contacts and the step itself.
void BM_ContactsAndWorldStepOnly(benchmark::State& state) {
  setup_once();
  int n = (int)state.range(0);
  Field f = start_race(n);
  for (int i = 0; i < (int)(18 / SIM_STEP); i++) {
    drive(f);
    frame_step();
  }
  Rider* riders[RACE_SLOTS];
  int k = 0;
  for (int slot = 0; slot < RACE_SLOTS; slot++)
    if (race_state().riders[slot]) riders[k++] = race_state().riders[slot];
  long steps = 0;
  double world = 0;
  for (auto _ : state) {
    for (int i = 0; i < k; i++) {
      ground_contacts(riders[i]);
      object_contacts(riders[i]);
    }
    std::stable_sort(riders, riders + k, [](const Rider* a, const Rider* b) { return compare_rider_speed(a, b) < 0; });
    for (int i = 0; i < k; i++)
      for (int j = i + 1; j < k; j++) rider_contacts(riders[i], riders[j], false);
    auto a = std::chrono::steady_clock::now();
    physics_step();
    world += std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
    steps++;
  }
  state.counters["steps_per_s"] = benchmark::Counter((double)steps, benchmark::Counter::kIsRate);
  state.counters["world_step_us_per_rider_step"] = world / (double)steps / k * 1e6;
}
BENCHMARK(BM_ContactsAndWorldStepOnly)->Arg(40)->MinTime(5)->UseRealTime();

}  // namespace
