// ride_test.cpp -- whole riders on fixture ground: placing, coming to rest
// on the suspension, rolling down a slope, riders meeting and a statue.
#include <algorithm>
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

// ---------------------------------------------------------------- rolling

// Free wheels on a 1 in 10 slope, rolling resistance 3 lbf a tyre. The
// prediction: a = (M g sin(theta) - 2 * 3 lbf) / (M + I_front/rho_f^2 + I_rear/rho_r^2),
// M the whole assembly, I each wheel's inertia about its axle (hub sphere
// plus the ring of tube spheres), rho the axle's height over the contact.
TEST_F(RideTest, RollsDownASlopeAsGravityRollingResistanceAndWheelInertiaPredict) {
  constexpr float SLOPE = 0.1f, ROLL = 3;  // rise per ft, lbf
  ground([](float, float z) { return 3 + SLOPE * z; }, 1, ROLL, ROLL);
  Rider* r = add_rider(128, 190, 0);
  hold_torso(r);
  hold_upright(r);
  const BikeSpec& b = r->spec;
  Vec3 downhill = vec3_normalize(Vec3{0, -SLOPE, -1});
  auto speed = [&] { return vec3_dot(velocity(r->bodies[BODY_CHASSIS]), downhill); };
  run(1.5);
  float v1 = speed();
  run(2.0);
  float v2 = speed();
  float measured = (v2 - v1) / 2.0f;
  EXPECT_GT(r->wheels[WHEEL_FRONT].depth, 0);
  EXPECT_GT(r->wheels[WHEEL_REAR].depth, 0);

  float mass = b.chassis.mass + b.rider.mass + 2 * b.fork.mass + 2 * b.swing_arm.arm_mass + b.front_wheel.ring_mass +
               b.front_wheel.hub_mass + b.rear_wheel.ring_mass + b.rear_wheel.hub_mass;
  auto inertia = [](const WheelSpec& w) {
    return 0.4f * w.hub_mass * w.hub_radius * w.hub_radius +
           w.ring_mass * (w.ring_radius * w.ring_radius + 0.4f * w.tube_radius * w.tube_radius);
  };
  float rho_f = b.front_wheel.ring_radius + b.front_wheel.tube_radius - r->wheels[WHEEL_FRONT].depth;
  float rho_r = b.rear_wheel.ring_radius + b.rear_wheel.tube_radius - r->wheels[WHEEL_REAR].depth;
  float sine = SLOPE / std::sqrt(1 + SLOPE * SLOPE);
  float predicted = (mass * 32 * sine - 2 * ROLL) /
                    (mass + inertia(b.front_wheel) / (rho_f * rho_f) + inertia(b.rear_wheel) / (rho_r * rho_r));
  printf("slope acceleration: predicted %.3f ft/s^2, measured %.3f ft/s^2 (%.2f to %.2f ft/s)\n", predicted, measured,
         v1, v2);
  EXPECT_NEAR(measured, predicted, 0.03f * predicted);
  EXPECT_NEAR(r->total_mass, mass, 1e-3f);
}

// ---------------------------------------------------------------- riders meeting

struct MeetingCase {
  const char* name;
  float b_heading;   // rad; 0 faces -z like a
  float b_speed;     // ft/s along +z, toward a
  float a_timer_min, a_timer_max;
  float b_timer_min, b_timer_max;
};

TEST_F(RideTest, RidersDrivenIntoEachOtherExchangeContactsAndBumpTimers) {
  const float PI_F = 3.14159265f;
  const MeetingCase cases[] = {
      // The timers are read after the step's rider_step, which has already
      // decayed them by one.
      // Head on at 12 ft/s each: both front ends, both timers at least 192.
      {"head on", PI_F, 12, 191, 1e9f, 191, 1e9f},
      // a runs into the back of a standing b: a's front end hit b's other
      // parts, so a gets 256 and b is protected with -640.
      {"from behind", 0, 0, 255, 1e9f, -1e9f, -639},
  };
  for (const MeetingCase& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    // a at z = 160 riding toward -z, b ahead of it at z = 140.
    Rider* a = add_rider(128, 160, 0);
    Rider* b = add_rider(128, 140, c.b_heading);
    for (Rider* r : {a, b}) {
      hold_torso(r);
      hold_upright(r);
    }
    launch(a, {0, 0, -12});
    launch(b, {0, 0, c.b_speed});
    int seen = 0, contact_tick = -1;
    for (int i = 0; i < 3 * 128 && !seen; i++) {
      int tick = physics_race_tick();
      seen = step();
      if (seen) contact_tick = tick;
    }
    ASSERT_NE(seen, 0);
    EXPECT_EQ(a->last_bump_tick, contact_tick);
    EXPECT_EQ(b->last_bump_tick, contact_tick);
    EXPECT_GE(a->bump_timer, c.a_timer_min);
    EXPECT_LE(a->bump_timer, c.a_timer_max);
    EXPECT_GE(b->bump_timer, c.b_timer_min);
    EXPECT_LE(b->bump_timer, c.b_timer_max);
    // The contacts push them apart: closing (b toward a, along +z) turns to parting.
    float closing = velocity(b->bodies[BODY_CHASSIS]).z - velocity(a->bodies[BODY_CHASSIS]).z;
    run(0.5);
    float after = velocity(b->bodies[BODY_CHASSIS]).z - velocity(a->bodies[BODY_CHASSIS]).z;
    EXPECT_LT(after, closing - 4);
    EXPECT_LT(after, 0.5f);
    EXPECT_LT(position(a->bodies[BODY_CHASSIS]).z - position(b->bodies[BODY_CHASSIS]).z, 20.0f);
    EXPECT_GT(position(a->bodies[BODY_CHASSIS]).z, position(b->bodies[BODY_CHASSIS]).z);
  }
}

// ---------------------------------------------------------------- statues

TEST_F(RideTest, ARiderDrivenIntoAHayBaleStopsAtIt) {
  // An upright bale across the path at z = 130; bins are built from the terrain's extent.
  int bale = statue_create(128, 0, 130, -6.2831855f, nullptr, nullptr, "fixtures/hay_bale.shp");
  ASSERT_NE(track_current().statues[bale].shape, nullptr);
  statue_bins_rebuild();
  Rider* r = add_rider(128, 150, 0);
  hold_torso(r);
  hold_upright(r);
  launch(r, {0, 0, -12});
  float nearest = 1e9f;
  for (int i = 0; i < 3 * 128; i++) {
    step();
    nearest = std::min(nearest, position(r->bodies[BODY_FRONT_WHEEL]).z);
  }
  EXPECT_GT(track_current().statues[bale].tick_stamp, 0);
  // The tyre (1.17 ft) never gets through the bale's front (1 ft before its centre line).
  EXPECT_GT(nearest, 130 + 1 + 1.17f - 0.5f);
  // Stopped, or rolling slowly back from where it struck.
  EXPECT_GT(velocity(r->bodies[BODY_CHASSIS]).z, -0.5f);
  EXPECT_LT(vec3_length(velocity(r->bodies[BODY_CHASSIS])), 3.0f);
}

}  // namespace
