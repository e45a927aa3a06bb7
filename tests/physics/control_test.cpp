// control_test.cpp -- the rider's assists on fixture ground: lean steering's
// limits, the foot down when stopping, landing damping, bump protection,
// backing up, falling off and getting back on, and arcade lean.
#include <cmath>

#include "physics/control.h"
#include "world_fixture.h"

namespace {

constexpr float PI_F = 3.14159265f;

class Control : public PhysicsWorld {
 protected:
  // A rider at the player's default settings ("Stability" 100), arcade
  // physics as the case asks.
  Rider* add_default_rider(float x, float z, float heading, bool arcade) {
    bike_settings_reset();
    apply_stability_preset(bike_setting(SETTING_STABILITY));
    Rider* r = add_rider(x, z, heading);
    apply_rider_settings(r);
    apply_rider_masses(r);
    set_option(r, RiderOption::arcade, arcade ? 1 : 0);
    return r;
  }
  float speed(const Rider* r) { return vec3_length(velocity(r->bodies[BODY_CHASSIS])); }
  static Vec3 vec3_from_force(const Rider* r) {
    const dReal* f = dBodyGetForce(r->bodies[BODY_CHASSIS]);
    return {(float)f[0], (float)f[1], (float)f[2]};
  }
};

TEST_F(Control, LeanSteeringAtStabilityHundredAsksForBoundedLeanAndRollRate) {
  Rider* r = add_default_rider(128, 128, 0, false);
  ASSERT_EQ(r->direct_steering, 0);
  float s = r->max_dab_speed;
  struct Case {
    float speed, lean, steer, rate;
  };
  const float M10 = r->roll_limit_angle * (1 - std::pow(1 - 100 / (s * s), 4.0f));
  const Case cases[] = {
      {0, 0, 1, 0},                             // at rest the bars ask for no lean
      {10, 0, -1, M10 * 2.5f},                  // full steer asks for the allowance at 10 ft/s
      {10, M10, -1, 0},                         // and holds it there
      {s, 0, 1, -3.926991f},                    // fast: the largest roll rate away from upright
      {s + 10, 0, -1, 3.926991f},
      {s, 1.5f, 0, -3.75f},                     // righting is quicker, up to 9.817477
      {s, 6, 0, -9.817477f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.speed << " ft/s, lean " << c.lean << ", steer " << c.steer);
    EXPECT_NEAR(wanted_roll_rate(r, c.speed, c.lean, c.steer), c.rate, 1e-4f);
  }
  EXPECT_LE(lean_allowance(r, 14.9f, 4), r->roll_limit_angle);
}

TEST_F(Control, DabWhenStoppedPutsTheFootOutAndHoldsTheBike) {
  // Rolling at 12 ft/s, throttle closed with the clutch out: engine braking.
  Rider* r = add_default_rider(128, 200, 0, false);
  launch(r, {0, 0, -12});
  float most_out = 0;
  bool braked_while_slow = false;
  for (int i = 0; i < 6 * 128; i++) {
    set_clutch(r, 1);
    step();
    most_out = std::max(most_out, r->foot_out);
  }
  braked_while_slow = speed(r) < 0.5f;
  EXPECT_GT(most_out, 0.5f);
  EXPECT_TRUE(braked_while_slow) << speed(r) << " ft/s";
  EXPECT_EQ(r->crash_timer, 0);
  // Still on its wheels: the foot held it up.
  EXPECT_GT(mat3_column(rotation(r->bodies[BODY_CHASSIS]), 1).y, 0.8f);
}

TEST_F(Control, RidingOnWithThrottleAndClutchKeepsTheFootUp) {
  Rider* r = add_default_rider(128, 230, 0, false);
  launch(r, {0, 0, -15});
  int steps_with_dab = 0;
  for (int i = 0; i < 2 * 128; i++) {
    set_throttle(r, 0.3f);
    set_clutch(r, 1);
    step();
    if (r->foot_out > 0) steps_with_dab++;
  }
  EXPECT_GT(speed(r), 5);
  EXPECT_EQ(steps_with_dab, 0);
}

TEST_F(Control, LandingOnTheFrontWheelArmsRollDampingThatFadesOverTheFalloff) {
  Rider* r = add_default_rider(128, 128, 0, false);
  ASSERT_GT(r->land_damping_factor, 1);
  ASSERT_GT(r->land_damping_falloff, 0);
  WheelState& front = r->wheels[WHEEL_FRONT];
  front.depth = 0;
  steering(r);
  EXPECT_FLOAT_EQ(r->landing_factor, r->land_damping_factor);
  // Down and rolling forward: the factor falls to 1 within the falloff.
  front.depth = 0.05f;
  const dReal* fork = dBodyGetAngularVel(r->bodies[BODY_FORK_LOWER]);
  dBodySetAngularVel(r->bodies[BODY_FRONT_WHEEL], fork[0] - 10, fork[1], fork[2]);
  int half = seconds_to_ticks(r->land_damping_falloff / 2);
  for (int i = 0; i < half; i++) steering(r);
  EXPECT_NEAR(r->landing_factor, 1 + 0.5f * (r->land_damping_factor - 1), 0.02f);
  for (int i = 0; i < half + 2; i++) steering(r);
  EXPECT_FLOAT_EQ(r->landing_factor, 1);
}

TEST_F(Control, TornFromTheSeatFallsOffUnlessProtectedByABump) {
  struct Case {
    const char* name;
    float bump_timer;
    float jerk;  // ft/s of the torso relative to the chassis
    bool crashes;
  };
  const Case cases[] = {
      {"30 ft/s holds on", 0, 30, false},
      {"32 ft/s falls off", 0, 32, true},
      {"rammed from behind is protected", -300, 40, false},
      {"the rammer is not", 200, 40, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    Rider* r = add_default_rider(128, 128, 0, false);
    r->bump_timer = c.bump_timer;
    dBodySetLinearVel(r->bodies[BODY_TORSO], 0, c.jerk, 0);
    for (Vec3& v : r->torso_velocity_history) v = {0, c.jerk, 0};  // no impact, only separation
    detect_crash(r);
    EXPECT_EQ(r->crash_timer > 0, c.crashes);
  }
}

TEST_F(Control, FallenRiderGetsBackOnAfterLyingStillAboutFourSeconds) {
  Rider* r = add_default_rider(128, 128, 0, false);
  run(1);
  crash_rider(r);
  ASSERT_EQ(r->crash_timer, 512);
  EXPECT_EQ(dJointGetBody(r->joints[JOINT_RIDER_MOUNT], 0), nullptr);
  int ticks = 0;
  while (r->crash_timer > 0 && ticks < 12 * 128) {
    set_throttle(r, 1);  // ignored while off the bike
    step();
    EXPECT_EQ(r->throttle, 0);
    ticks++;
  }
  EXPECT_EQ(r->crash_timer, 0);
  EXPECT_GE(ticks, 511);
  EXPECT_LT(ticks, 8 * 128);
  EXPECT_EQ(dJointGetBody(r->joints[JOINT_RIDER_MOUNT], 0), r->bodies[BODY_TORSO]);
  // Back on the seat.
  Vec3 seat_offset = r->spec.rider.torso_centre - r->spec.chassis.centre;
  dVector3 seat;
  dBodyGetRelPointPos(r->bodies[BODY_CHASSIS], seat_offset.x, seat_offset.y, seat_offset.z, seat);
  EXPECT_LT(vec3_length(position(r->bodies[BODY_TORSO]) - Vec3{(float)seat[0], (float)seat[1], (float)seat[2]}), 0.01f);
}

TEST_F(Control, BackingUpWorksOnlyBelowFiveFeetASecond) {
  struct Case {
    const char* name;
    float start_speed;  // ft/s forward
    bool pushes;
  };
  for (const Case& c : {Case{"at rest", 0, true}, Case{"rolling at 6 ft/s", 6, false}}) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    Rider* r = add_default_rider(128, 128, 0, false);
    run(0.5);
    launch(r, {0, 0, -c.start_speed});
    set_back_up(r, 1);
    Vec3 before = vec3_from_force(r);
    ground_assists(r);
    Vec3 after = vec3_from_force(r);
    restore_assisted_controls(r);
    EXPECT_EQ(vec3_length(after - before) > 1, c.pushes);
  }
  // Held for two seconds from rest the bike walks backwards (+z for heading 0).
  TearDown();
  SetUp();
  Rider* r = add_default_rider(128, 128, 0, false);
  run(0.5);
  float z0 = position(r->bodies[BODY_CHASSIS]).z;
  for (int i = 0; i < 2 * 128; i++) {
    set_back_up(r, 1);
    step();
  }
  EXPECT_GT(position(r->bodies[BODY_CHASSIS]).z - z0, 1.5f);
  EXPECT_EQ(r->crash_timer, 0);
}

TEST_F(Control, ArcadeLeansToTheBarsAngle) {
  struct Case {
    float steer, lean;
  };
  for (Case c : {Case{0.5f, -PI_F / 8}, Case{-0.5f, PI_F / 8}, Case{0, 0}}) {
    SCOPED_TRACE(c.steer);
    TearDown();
    SetUp();
    Rider* r = add_default_rider(128, 200, 0, true);
    launch(r, {0, 0, -20});
    for (int i = 0; i < 2 * 128; i++) {
      set_steer(r, c.steer);
      set_throttle(r, 0.2f);
      set_clutch(r, 1);
      step();
    }
    EXPECT_NEAR(rider_lean_angle(r), c.lean, 0.08f);
    EXPECT_EQ(r->crash_timer, 0);
  }
}

}  // namespace
