// ride_test.cpp -- whole riders on fixture ground: placing, coming to rest
// on the suspension, rolling down a slope, riders meeting and a statue.
#include <cmath>
#include <cstdio>

#include "world_fixture.h"

namespace {

constexpr float MM_PER_FT = 304.8f;

using RideTest = PhysicsWorld;

// ---------------------------------------------------------------- placing

TEST_F(RideTest, PlacingRaisesTheRiderUntilNothingTouches) {
  Rider* r = add_rider(128, 128, 0.5f);
  float ground = terrain_height(terrain_record(), 128, 128);
  Vec3 chassis = position(r->bodies[BODY_CHASSIS]);
  // Turned by the heading about y, then lifted by the ground plus whole quarter feet.
  float lift = chassis.y - r->spec.chassis.centre.y - ground;
  EXPECT_NEAR(std::fmod(lift + 1e-4f, 0.25f), 0, 1e-3f);
  EXPECT_GT(lift, 0);
  EXPECT_FALSE(ground_contacts(r));
  // A quarter foot lower something touches.
  move_rider(r, 0, -0.25f, 0);
  EXPECT_TRUE(ground_contacts(r));
  physics_empty_contacts();
  move_rider(r, 0, 0.25f, 0);
  for (int b = 0; b < BODY_COUNT; b++) {
    Vec3 p = position(r->bodies[b]);
    EXPECT_FLOAT_EQ(p.x, r->noted_positions[b].x);
    EXPECT_FLOAT_EQ(p.y, r->noted_positions[b].y);
  }
}

// ---------------------------------------------------------------- rest

TEST_F(RideTest, RestsOnBothTyresWithTheBrakesOn) {
  Rider* r = add_rider(128, 128, 0);
  hold_torso(r);
  hold_upright(r);
  hold_brakes(r, 250);
  run(2.5);
  Vec3 before[BODY_COUNT];
  for (int b = 0; b < BODY_COUNT; b++) before[b] = position(r->bodies[b]);
  run(0.5);
  EXPECT_GT(r->wheels[WHEEL_FRONT].depth, 0);
  EXPECT_GT(r->wheels[WHEEL_REAR].depth, 0);
  for (int b = 0; b < BODY_COUNT; b++) {
    SCOPED_TRACE(b);
    EXPECT_LT(vec3_length(position(r->bodies[b]) - before[b]), 0.01f);
    EXPECT_LT(vec3_length(velocity(r->bodies[b])), 0.05f);
  }
  // Upright and in line.
  EXPECT_GT(mat3_column(rotation(r->bodies[BODY_CHASSIS]), 1).y, 0.999f);
  float fork = -(float)dJointGetSliderPosition(r->joints[JOINT_FORK_SLIDE]);
  float swing = -(float)dJointGetHingeAngle(r->joints[JOINT_SWING_ARM]);
  const BikeSpec& b = r->spec;
  float s = swing / b.swing_arm.travel;
  float shock = b.shock.leverage_top * s + 0.5f * (b.shock.leverage_bottom - b.shock.leverage_top) * s * s;
  float shock_travel = 0.5f * (b.shock.leverage_top + b.shock.leverage_bottom);
  printf("static fork compression %.1f mm (%.0f%% of travel), shock %.1f mm (%.0f%% of travel)\n",
         fork * MM_PER_FT, 100 * fork / b.fork.travel, shock * MM_PER_FT, 100 * shock / shock_travel);
  EXPECT_GT(fork, 0.05f * b.fork.travel);
  EXPECT_LT(fork, 0.6f * b.fork.travel);
  EXPECT_GT(s, 0.05f);
  EXPECT_LT(s, 0.6f);
}

}  // namespace
