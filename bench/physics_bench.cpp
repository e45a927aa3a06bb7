// physics_bench.cpp -- microseconds per rider step for 1 and 40 riders
// resting and rolling on hilly ground, split into the program's contact
// generation and the physics library's world step.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "data/data.h"
#include "physics/physics.h"
#include "physics/shape.h"
#include "track/terrain.h"
#include "track/track.h"

bool write_bike_shapes(const std::string& out_dir);

namespace {

using Clock = std::chrono::steady_clock;

// A rolling field of 513 x 513 samples, 2 ft apart.
void hilly_ground() {
  Terrain& t = terrain_record();
  terrain_init_grid(t, 8, 2.0f);
  for (int r = 0; r < t.samples; r++)
    for (int c = 0; c < t.samples; c++) {
      float x = c * t.cell, z = r * t.cell;
      t.heights[r * t.samples + c] = 10 * std::sin(x / 40) * std::cos(z / 55) + 3 * std::sin(x / 13 + z / 17);
    }
  for (Surface& s : t.surfaces) {
    s = Surface{};
    s.friction_value[0] = 1;
    s.friction_speed[0] = 1;
    s.roll_value[0][0] = 5;
    s.roll_value[0][1] = 15;
    s.roll_speed[0] = 1;
  }
}

struct Scene {
  std::vector<Rider*> riders;
  std::vector<dJointID> stands;  // stand-ins for the rider springs and balance
  bool rolling = false;
};

// The rider springs and balance assists hold a real rider on the bike and
// upright; here a fixed joint and a roll motor stand in for them.
void hold(Scene& s, Rider* r) {
  dJointID fixed = dJointCreateFixed(physics_world(), nullptr);
  dJointAttach(fixed, r->bodies[BODY_TORSO], r->bodies[BODY_CHASSIS]);
  dJointSetFixed(fixed);
  dJointSetHingeParam(r->joints[JOINT_STEERING], dParamLoStop, 0);
  dJointSetHingeParam(r->joints[JOINT_STEERING], dParamHiStop, 0);
  dJointID roll = dJointCreateAMotor(physics_world(), nullptr);
  dJointAttach(roll, r->bodies[BODY_CHASSIS], nullptr);
  dJointSetAMotorMode(roll, dAMotorUser);
  dJointSetAMotorNumAxes(roll, 1);
  const dReal* m = dBodyGetRotation(r->bodies[BODY_CHASSIS]);
  dJointSetAMotorAxis(roll, 0, 0, -m[2], -m[6], -m[10]);
  dJointSetAMotorParam(roll, dParamFMax, 2000);
  s.stands.push_back(fixed);
  s.stands.push_back(roll);
}

void place_all(Scene& s) {
  for (dJointID j : s.stands) dJointDestroy(j);
  s.stands.clear();
  for (size_t i = 0; i < s.riders.size(); i++) {
    Rider* r = s.riders[i];
    place_rider(r, 200 + 24.0f * (float)(i % 8), 150 + 40.0f * (float)(i / 8), 0);
    enable_rider(r);
    hold(s, r);
    float brake = s.rolling ? 0 : 250;
    for (int j : {JOINT_FRONT_AXLE, JOINT_REAR_AXLE}) {
      dJointSetHingeParam(r->joints[j], dParamVel, 0);
      dJointSetHingeParam(r->joints[j], dParamFMax, brake);
    }
    if (s.rolling) {
      for (dBodyID b : r->bodies) dBodySetLinearVel(b, 0, 0, -15);
      for (int w : {BODY_FRONT_WHEEL, BODY_REAR_WHEEL}) dBodySetAngularVel(r->bodies[w], -15 / 1.1, 0, 0);
    }
  }
}

void BM_RiderStep(benchmark::State& state) {
  char pattern[] = "/tmp/kt_physics_bench_XXXXXX";
  const char* dir = mkdtemp(pattern);
  if (!dir || !write_bike_shapes(dir)) {
    state.SkipWithError("cannot write the bike shapes");
    return;
  }
  setenv("KT_HOME", dir, 1);
  data_paths_reset();
  shapes_clear();
  physics_init();
  hilly_ground();

  Scene scene;
  scene.rolling = state.range(1) != 0;
  int count = (int)state.range(0);
  for (int i = 0; i < count; i++)
    scene.riders.push_back(create_rider("yz250f(2007)", i, "1", nullptr, nullptr, nullptr, nullptr));
  place_all(scene);
  // Settle on the suspension before timing.
  int tick = 0;
  auto one_step = [&](double* contact_s, double* world_s) {
    physics_set_race_tick(tick++);
    Clock::time_point t0 = Clock::now();
    for (Rider* r : scene.riders) {
      ground_contacts(r);
      object_contacts(r);
    }
    for (size_t i = 0; i < scene.riders.size(); i++)
      for (size_t k = i + 1; k < scene.riders.size(); k++) rider_contacts(scene.riders[i], scene.riders[k], false);
    Clock::time_point t1 = Clock::now();
    physics_step();
    for (Rider* r : scene.riders) rider_step(r, true);
    Clock::time_point t2 = Clock::now();
    *contact_s += std::chrono::duration<double>(t1 - t0).count();
    *world_s += std::chrono::duration<double>(t2 - t1).count();
  };
  double contact_s = 0, world_s = 0;
  for (int i = 0; i < 128; i++) one_step(&contact_s, &world_s);
  contact_s = world_s = 0;

  int steps = 0;
  for (auto _ : state) {
    one_step(&contact_s, &world_s);
    // Rolling riders leave their spot; every 4 s they start again.
    if (++steps % 512 == 0) {
      state.PauseTiming();
      place_all(scene);
      state.ResumeTiming();
    }
  }
  double per = 1e6 / ((double)steps * count);
  state.counters["contacts_us"] = contact_s * per;
  state.counters["world_step_us"] = world_s * per;
  state.counters["rider_step_us"] = (contact_s + world_s) * per;

  for (dJointID j : scene.stands) dJointDestroy(j);
  for (Rider* r : scene.riders) destroy_rider(r);
  physics_shutdown();
  track_unload();
  shapes_clear();
  std::string command = std::string("rm -rf '") + dir + "'";
  if (system(command.c_str()) != 0) state.SkipWithError("cannot remove the shape folder");
}

}  // namespace

// Arguments: riders, rolling (0 resting with the brakes on, 1 rolling at 15 ft/s).
BENCHMARK(BM_RiderStep)->Args({1, 0})->Args({1, 1})->Args({40, 0})->Args({40, 1})->Unit(benchmark::kMicrosecond);
