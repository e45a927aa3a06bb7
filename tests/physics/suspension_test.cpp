// suspension_test.cpp -- the fork and shock force laws.
#include "physics/suspension.h"

#include <gtest/gtest.h>

namespace {

class SuspensionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bike_settings_reset();
    r.spec = *find_bike_spec("yz250f(2007)");
    rider_set_creation_values(&r);
    apply_rider_settings(&r);  // every click at 50: middle oil level, air gap 1/3 ft
  }
  void TearDown() override { bike_settings_reset(); }
  Rider r;
};

TEST_F(SuspensionTest, ForkForceIsZeroAtFullExtensionWhateverThePreload) {
  for (float preload : {0.0f, 0.04f, 0.0833f}) {
    r.fork_preload = preload;
    EXPECT_EQ(fork_force(r, 0, 0), 0);
    EXPECT_EQ(fork_force(r, 0, -3), 0);
    EXPECT_EQ(fork_force(r, 0.01f, 0), 0);  // past the stop
  }
}

TEST_F(SuspensionTest, ForkRampsOverTheLastThirtySecondOfTravel) {
  const float travel = r.spec.fork.travel;
  float x = -travel / 64;
  float unramped = (r.fork_preload - x) * r.fork_spring +
                   82.46169f * ((travel + r.fork_air_gap) / (travel + r.fork_air_gap + x) - 1);
  EXPECT_NEAR(fork_force(r, x, 0), 0.5f * unramped, 1e-3);
  x = -travel / 32;  // the ramp is complete from here on
  unramped = (r.fork_preload - x) * r.fork_spring +
             82.46169f * ((travel + r.fork_air_gap) / (travel + r.fork_air_gap + x) - 1);
  EXPECT_NEAR(fork_force(r, x, 0), unramped, 1e-3);
}

TEST_F(SuspensionTest, ForkAirSpringAtFullCompression) {
  EXPECT_NEAR(r.fork_air_gap, 0.3333f, 1e-4);
  r.fork_spring = 0;  // leave the air spring alone
  EXPECT_NEAR(fork_force(r, -1, 0), 247.4f, 0.05f);
  // Beyond full compression the column stops shrinking.
  EXPECT_NEAR(fork_force(r, -1.2f, 0), 247.4f, 0.05f);
}

TEST_F(SuspensionTest, ForkDampingBySignOfTheRate) {
  r.fork_spring = 0;
  float x = -0.5f;
  float still = fork_force(r, x, 0);
  EXPECT_NEAR(fork_force(r, x, 2) - still, -2 * r.fork_rebound, 1e-3);       // extending
  EXPECT_NEAR(fork_force(r, x, -2) - still, 2 * r.fork_compression, 1e-3);   // compressing
}

TEST_F(SuspensionTest, ShockTorqueThroughTheLeverage) {
  const float travel = r.spec.swing_arm.travel;
  const float l = r.spec.shock.leverage_top;
  EXPECT_EQ(shock_torque(r, 0, 0), 0);
  EXPECT_EQ(shock_torque(r, 0, 5), 0);
  // Full compression: displacement one leverage, plus the preload.
  EXPECT_NEAR(shock_torque(r, -travel, 0), l * (l + r.shock_preload) * r.shock_spring, 1e-2);
  // Half the ramp at 1/64 of travel.
  float s = 1.0f / 64;
  EXPECT_NEAR(shock_torque(r, -travel / 64, 0), 0.5f * l * (l * s + r.shock_preload) * r.shock_spring, 1e-3);
  // Damping: compressing (omega < 0) resists with the compression rate.
  float still = shock_torque(r, -travel / 2, 0);
  EXPECT_NEAR(shock_torque(r, -travel / 2, -1) - still, l * l * r.shock_compression, 1e-2);
  EXPECT_NEAR(shock_torque(r, -travel / 2, 1) - still, -l * l * r.shock_rebound, 1e-2);
}

TEST_F(SuspensionTest, ShockLeverageRunsFromTopToBottom) {
  // A rising-rate linkage: the bottom leverage holds at full compression and
  // the displacement is the mean of the two.
  r.spec.shock.leverage_top = 0.5f;
  r.spec.shock.leverage_bottom = 0.8f;
  r.shock_preload = 0;
  float t = shock_torque(r, -r.spec.swing_arm.travel, 0);
  EXPECT_NEAR(t, 0.8f * 0.65f * r.shock_spring, 1e-2);
}

TEST(SuspensionMotor, DirectionAndLimit) {
  MotorCommand m = suspension_motor(-12.5f);
  EXPECT_EQ(m.velocity, -1000);
  EXPECT_EQ(m.max_force, 12.5f);
  m = suspension_motor(0);
  EXPECT_EQ(m.velocity, 1000);
  EXPECT_EQ(m.max_force, 0);
}

}  // namespace
