// drivetrain_test.cpp -- gear changes, the torque tables, the clutch and its
// automatic band, the engine coasting, automatic shifting and the brakes.
#include <cmath>

#include "physics/control.h"
#include "world_fixture.h"

namespace {

constexpr float RPM = 9.549296585513721f;  // rpm per rad/s

using Drivetrain = PhysicsWorld;

TEST_F(Drivetrain, ShiftingStopsAtTheGearsTheBikeHasAndActsOnChangesOnly) {
  Rider* r = add_rider(128, 128, 0);
  ASSERT_LE(r->spec.gear_ratio[5], 0) << "the reference bike has five speeds";
  struct Case {
    const char* name;
    int gear_before;
    int inputs[4];
    int gear_after;
  };
  const Case cases[] = {
      {"up from fifth stays in fifth", 4, {1, 0, 1, 0}, 4},
      {"down from first stays in first", 0, {-1, 0, -1, 0}, 0},
      {"held up shifts once", 0, {1, 1, 1, 1}, 1},
      {"released and pressed again shifts again", 0, {1, 0, 1, 1}, 2},
      {"up then down", 2, {1, -1, 0, 0}, 2},
      {"out of range is ignored", 1, {2, -2, 5, 0}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    r->gear = c.gear_before;
    r->shift_input = 0;
    for (int in : c.inputs) shift(r, in);
    EXPECT_EQ(r->gear, c.gear_after);
  }
  // Off the bike the lever does nothing.
  r->gear = 1;
  r->shift_input = 0;
  r->crash_timer = 10;
  shift(r, 1);
  EXPECT_EQ(r->gear, 1);
}

TEST_F(Drivetrain, ReferenceTorqueTable) {
  Rider* r = add_rider(128, 128, 0);
  set_throttle(r, 1);
  struct Case {
    float rpm, torque;
  };
  for (Case c : {Case{8499, 18.3f}, Case{13500, 0}, Case{0, 5}, Case{24999, -11}}) {
    SCOPED_TRACE(c.rpm);
    r->engine_speed = c.rpm / RPM;
    EXPECT_FLOAT_EQ(engine_torque(r), c.torque);
  }
  // Closed throttle: entries 0 to 3 are 2, 1, 0, 0.
  set_throttle(r, 0);
  r->engine_speed = 400 / RPM;
  EXPECT_FLOAT_EQ(engine_torque(r), 1);
  r->engine_speed = 1700 / RPM;
  EXPECT_FLOAT_EQ(engine_torque(r), 0);
}

// The clutch torque on a wheel at rest, wound 0.01 rad: T = (7500 * 0.01 +
// 0.75 * engine speed) * e^2, read back from the rear wheel's accumulator.
TEST_F(Drivetrain, AutomaticClutchBitesOverTwoThousandRpm) {
  Rider* r = add_rider(128, 128, 0);
  set_auto_clutch_rpm(r, 5000);
  struct Case {
    float rpm, lever, factor;
  };
  const Case cases[] = {{4000, 1, 0}, {5000, 1, 0}, {6000, 1, 0.25f}, {7000, 1, 1}, {9000, 1, 1}, {9000, 0.5f, 0.25f}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rpm);
    dBodyID wheel = r->bodies[BODY_REAR_WHEEL];
    dBodySetTorque(wheel, 0, 0, 0);
    set_clutch(r, c.lever);
    r->engine_speed = c.rpm / RPM;
    r->clutch_angle = (float)dJointGetHingeAngle(r->joints[JOINT_REAR_AXLE]) + 0.01f;
    drivetrain_step(r);
    const dReal* t = dBodyGetTorque(wheel);
    dVector3 local;
    dBodyVectorFromWorld(wheel, t[0], t[1], t[2], local);
    float expected = (7500 * 0.01f + 0.75f * c.rpm / RPM) * c.factor;
    EXPECT_NEAR(-local[0], expected, 1e-3f * expected + 1e-3f);
  }
}

TEST_F(Drivetrain, FreeEngineCoastsDownAndSpinsUpToItsTableZeros) {
  Rider* r = add_rider(128, 128, 0);
  set_clutch(r, 0);
  set_throttle(r, 0);
  r->engine_speed = 10000 / RPM;
  for (int i = 0; i < 20 * 128; i++) drivetrain_step(r);
  EXPECT_GT(engine_rpm(r), 1700);
  EXPECT_LE(engine_rpm(r), 1750);
  r->engine_speed = 0;
  for (int i = 0; i < 20 * 128; i++) drivetrain_step(r);
  EXPECT_GE(engine_rpm(r), 750);
  EXPECT_LT(engine_rpm(r), 800);
}

TEST_F(Drivetrain, AutomaticShiftingNeedsALoadedGrippingRearWheel) {
  struct Case {
    const char* name;
    bool in_air;
    float slide;  // ft/s of the rear contact
    int gear_after;
  };
  const Case cases[] = {
      {"loaded and gripping shifts up", false, 0.5f, 1},
      {"spinning on the ground keeps the gear", false, 3, 0},
      {"in the air keeps the gear", true, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    Rider* r = add_rider(128, 128, 0);
    set_option(r, RiderOption::auto_shift, 1);
    if (c.in_air) {
      move_rider(r, 0, 20, 0);
      run(0.25);
    } else {
      run(0.5);  // settles onto the suspension
      ASSERT_LT(dJointGetHingeAngle(r->joints[JOINT_SWING_ARM]), -0.01);
      r->wheels[WHEEL_REAR].depth = 0.05f;
      r->wheels[WHEEL_REAR].contact_velocity = {0, 0, c.slide};
    }
    // The rear wheel turning for well above the up-shift rpm in first.
    float n = overall_ratio(r);
    float rate = (r->spec.shift_up_rpm + 1000) / RPM / n;
    const dReal* arm = dBodyGetAngularVel(r->bodies[BODY_SWING_ARM]);
    dBodySetAngularVel(r->bodies[BODY_REAR_WHEEL], arm[0] - rate, arm[1], arm[2]);
    ASSERT_GT(dJointGetHingeAngleRate(r->joints[JOINT_REAR_AXLE]), 0.9 * rate);
    physics_set_race_tick(64);
    r->gear = 0;
    drivetrain_step(r);
    EXPECT_EQ(r->gear, c.gear_after);
  }
}

TEST_F(Drivetrain, FrontBrakeLetsGoEntirelyWhileSlidingOrOnTheFrontWheelAlone) {
  Rider* r = add_rider(128, 128, 0);
  set_front_brake_torque(r, 250);
  set_rear_brake_torque(r, 200);
  set_option(r, RiderOption::front_antilock, 1);
  set_option(r, RiderOption::rear_antilock, 1);
  set_option(r, RiderOption::stop_wheelies, STOP_WHEELIES_YES);
  set_front_brake(r, 1);
  set_rear_brake(r, 1);
  struct Case {
    const char* name;
    float front_depth, front_slide, rear_depth, rear_slide;
    float front_torque, rear_torque;
  };
  const Case cases[] = {
      {"both gripping", 0.05f, 1.9f, 0.05f, 1.9f, 250, 200},
      {"front sliding", 0.05f, 2.1f, 0.05f, 0, 0, 200},
      {"rear sliding", 0.05f, 0, 0.05f, 5, 250, 0},
      {"front alone: no stoppie", 0.05f, 0, 0, 0, 0, 200},
      {"both in the air", 0, 9, 0, 9, 250, 200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    r->wheels[WHEEL_FRONT].depth = c.front_depth;
    r->wheels[WHEEL_FRONT].contact_velocity = {c.front_slide, 0, 0};
    r->wheels[WHEEL_REAR].depth = c.rear_depth;
    r->wheels[WHEEL_REAR].contact_velocity = {0, 0, c.rear_slide};
    drivetrain_step(r);
    EXPECT_FLOAT_EQ(dJointGetHingeParam(r->joints[JOINT_FRONT_AXLE], dParamFMax), c.front_torque);
    EXPECT_FLOAT_EQ(dJointGetHingeParam(r->joints[JOINT_REAR_AXLE], dParamFMax), c.rear_torque);
    EXPECT_EQ(dJointGetHingeParam(r->joints[JOINT_FRONT_AXLE], dParamVel), 0);
  }
}

}  // namespace
