// race_bench.cpp -- kestrail-ride's race, headless: 1 and 40 autopilot
// riders from the rabbithill gate for 60 s of race time, through load_race
// and frame_step as the game runs them, with the time split by phase; and
// riders resting at the gate.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app.h"
#include "common/common.h"
#include "physics/control.h"
#include "race/race.h"
#include "ride.h"

namespace {

constexpr double RACE_SECONDS = 60;

double now_seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void use_built_data() {
  static bool done = [] {
    setenv("KT_HOME", KT_DATA_DIR, 1);  // the built archives
    setenv("XDG_DATA_HOME", "/tmp/kt_race_bench_home", 1);
    return true;
  }();
  (void)done;
}

void begin(int riders, double seconds) {
  use_built_data();
  RideSetup setup;
  setup.track = "rabbithill";
  setup.riders = riders;
  setup.seconds = seconds;
  std::string error;
  if (!ride_begin(setup, &error)) {
    fprintf(stderr, "race_bench: %s\n", error.c_str());
    std::abort();
  }
}

// As `kestrail-ride --track rabbithill --riders N --seconds 60`.
void BM_Race(benchmark::State& state) {
  int n = (int)state.range(0);
  const int ticks = (int)(RACE_SECONDS / SIM_STEP);
  double seconds = 0, autopilot = 0;
  FrameStepTimes total;
  for (auto _ : state) {
    begin(n, RACE_SECONDS);
    frame_step_profile(true);
    double t0 = now_seconds();
    while (race_state().race_tick < ticks) ride_tick();
    seconds += now_seconds() - t0;
    autopilot += ride_autopilot_seconds();
    const FrameStepTimes& t = frame_step_times();
    total.world_step += t.world_step;
    total.contacts += t.contacts;
    total.riders += t.riders;
    frame_step_profile(false);
    ride_end();
  }
  double steps = (double)ticks * (double)state.iterations();
  state.counters["steps_per_s"] = steps / seconds;
  state.counters["x_real_time"] = steps / seconds * SIM_STEP;
  state.counters["us_per_rider_step"] = seconds / steps / n * 1e6;
  state.counters["world_step_share"] = total.world_step / seconds;
  state.counters["contacts_share"] = total.contacts / seconds;
  state.counters["rider_steps_share"] = total.riders / seconds;
  state.counters["autopilot_share"] = autopilot / seconds;
  // The fastest the race could run were everything else free: the world
  // step alone, and the world step with the contacts it needs.
  state.counters["world_step_limit_x"] = steps / total.world_step * SIM_STEP;
  state.counters["contacts_and_world_step_limit_x"] = steps / (total.world_step + total.contacts) * SIM_STEP;
}
BENCHMARK(BM_Race)->Arg(1)->Arg(40)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// Riders resting at the rabbithill gate on their brakes with a foot down:
// what standing still costs, split the same way.
void BM_RestingAtTheGate(benchmark::State& state) {
  int n = (int)state.range(0);
  begin(n, RACE_SECONDS);
  auto hold = [] {
    for (Rider* r : race_state().riders)
      if (r) {
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
  ride_end();
}
BENCHMARK(BM_RestingAtTheGate)->Arg(1)->Arg(40)->MinTime(3)->Unit(benchmark::kMicrosecond);

}  // namespace
