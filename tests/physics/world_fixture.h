// world_fixture.h -- a physics world over an in-memory terrain with the
// generated bike shapes on the search path, and a frame step for tests.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "data/data.h"
#include "physics/physics.h"
#include "physics/shape.h"
#include "track/terrain.h"
#include "track/track.h"

bool write_bike_shapes(const std::string& out_dir);

class PhysicsWorld : public ::testing::Test {
 protected:
  inline static std::string shape_dir;

  static void SetUpTestSuite() {
    char pattern[] = "/tmp/kt_physics_XXXXXX";
    const char* dir = mkdtemp(pattern);
    ASSERT_NE(dir, nullptr);
    shape_dir = dir;
    ASSERT_TRUE(write_bike_shapes(shape_dir));
  }
  static void TearDownTestSuite() {
    std::string command = "rm -rf '" + shape_dir + "'";
    EXPECT_EQ(system(command.c_str()), 0);
  }

  void SetUp() override {
    setenv("KT_HOME", shape_dir.c_str(), 1);
    data_paths_reset();
    shapes_clear();
    physics_init();
    physics_set_race_tick(0);
    flat_ground(0);
  }
  void TearDown() override {
    for (dJointID j : stands) dJointDestroy(j);
    stands.clear();
    for (Rider* r : riders) destroy_rider(r);
    riders.clear();
    physics_shutdown();
    track_unload();
    shapes_clear();
    unsetenv("KT_HOME");
    data_paths_reset();
  }

  // 128 x 128 cells of 2 ft, every tile with one friction point and one
  // rolling-resistance point (lbf).
  void ground(float (*height)(float x, float z), float friction = 1, float roll_a = 5, float roll_b = 15) {
    Terrain& t = terrain_record();
    terrain_init_grid(t, 6, 2.0f);
    for (int r = 0; r < t.samples; r++)
      for (int c = 0; c < t.samples; c++) t.heights[r * t.samples + c] = height(c * t.cell, r * t.cell);
    for (Surface& s : t.surfaces) {
      s = Surface{};
      s.friction_value[0] = friction;
      s.friction_speed[0] = 1;
      s.roll_value[0][0] = roll_a;
      s.roll_value[0][1] = roll_b;
      s.roll_speed[0] = 1;
    }
  }
  void flat_ground(float friction = 1) {
    ground([](float, float) { return 3.0f; }, friction);
  }

  Rider* add_rider(float x, float z, float heading) {
    Rider* r = create_rider("yz250f(2007)", (int)riders.size(), "7", nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(r, nullptr);
    riders.push_back(r);
    place_rider(r, x, z, heading);
    enable_rider(r);
    return r;
  }

  // Stands in for the rider springs, which are not part of these tests:
  // the torso is held fixed to the chassis.
  void hold_torso(Rider* r) {
    dJointID j = dJointCreateFixed(physics_world(), nullptr);
    dJointAttach(j, r->bodies[BODY_TORSO], r->bodies[BODY_CHASSIS]);
    dJointSetFixed(j);
    stands.push_back(j);
  }
  // Stands in for the rider's foot and steering, which are not part of
  // these tests either: the bars are locked straight and a motor holds the
  // chassis's roll about its forward axis (a bike at rest falls over).
  void hold_upright(Rider* r) {
    dJointSetHingeParam(r->joints[JOINT_STEERING], dParamLoStop, 0);
    dJointSetHingeParam(r->joints[JOINT_STEERING], dParamHiStop, 0);
    dJointID j = dJointCreateAMotor(physics_world(), nullptr);
    dJointAttach(j, r->bodies[BODY_CHASSIS], nullptr);
    dJointSetAMotorMode(j, dAMotorUser);
    dJointSetAMotorNumAxes(j, 1);
    Vec3 forward = -mat3_column(rotation(r->bodies[BODY_CHASSIS]), 2);
    dJointSetAMotorAxis(j, 0, 0, forward.x, forward.y, forward.z);
    dJointSetAMotorParam(j, dParamVel, 0);
    dJointSetAMotorParam(j, dParamFMax, 2000);
    stands.push_back(j);
  }
  // Both axle motors held at zero speed with torque lbf*ft, as the brakes do.
  static void hold_brakes(Rider* r, float torque) {
    for (int j : {JOINT_FRONT_AXLE, JOINT_REAR_AXLE}) {
      dJointSetHingeParam(r->joints[j], dParamVel, 0);
      dJointSetHingeParam(r->joints[j], dParamFMax, torque);
    }
  }
  // Every body moving at v (ft/s), wheels rolling with it on flat ground.
  static void launch(Rider* r, Vec3 v) {
    for (int b = 0; b < BODY_COUNT; b++) dBodySetLinearVel(r->bodies[b], v.x, v.y, v.z);
    for (int w = 0; w < 2; w++) {
      const WheelState& ws = r->wheels[w];
      float radius = ws.ring_radius + ws.tube_radius;
      // Rolling: the bottom of the tyre stands still, omega = up x v / radius.
      Vec3 omega = vec3_cross(Vec3{0, 1, 0}, v) * (1.0f / radius);
      dBodySetAngularVel(ws.body, omega.x, omega.y, omega.z);
    }
  }

  // One race step in the frame step's order; returns the bits of rider
  // contacts seen this step.
  int step() {
    for (Rider* r : riders) {
      ground_contacts(r);
      object_contacts(r);
    }
    std::vector<Rider*> order = riders;
    std::stable_sort(order.begin(), order.end(),
                     [](const Rider* a, const Rider* b) { return compare_rider_speed(a, b) < 0; });
    int bits = 0;
    for (size_t i = 0; i < order.size(); i++)
      for (size_t k = i + 1; k < order.size(); k++) bits |= rider_contacts(order[i], order[k], false);
    physics_step();
    for (Rider* r : riders) rider_step(r, true);
    physics_set_race_tick(physics_race_tick() + 1);
    return bits;
  }
  void run(double seconds) {
    for (int i = 0; i < seconds_to_ticks(seconds); i++) step();
  }

  static Vec3 position(dBodyID b) {
    const dReal* p = dBodyGetPosition(b);
    return {(float)p[0], (float)p[1], (float)p[2]};
  }
  static Vec3 velocity(dBodyID b) {
    const dReal* v = dBodyGetLinearVel(b);
    return {(float)v[0], (float)v[1], (float)v[2]};
  }

  static Mat3 rotation(dBodyID b) {
    const dReal* r = dBodyGetRotation(b);
    Mat3 m;
    for (int i = 0; i < 3; i++)
      for (int k = 0; k < 3; k++) m.m[i][k] = (float)r[i * 4 + k];
    return m;
  }

  std::vector<Rider*> riders;
  std::vector<dJointID> stands;
};
