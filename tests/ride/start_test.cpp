// start_test.cpp -- the start straight of "rabbithill" from the gate: full
// throttle through the gears, then a hard stop.
#include "ride_fixture.h"

namespace {

constexpr float MPH = 5280.0f / 3600.0f;  // ft/s per mph

class StartStraight : public RideFixture {};

TEST_F(StartStraight, FullThrottleShiftsUpToFortyThenBrakesToAStop) {
  start_race("rabbithill", 1, 3);
  run_to_gate_drop();
  Rider* r = rider(0);
  // Full throttle, the autopilot only steering along the straight, until
  // the bike is past 40 mph and the gearbox has shifted into third.
  auto full_throttle = [](ControlChannels& ch) {
    ch.value[CH_THROTTLE] = 1;
    ch.value[CH_FRONT_BRAKE] = ch.value[CH_REAR_BRAKE] = 0;
  };
  int top_gear = 0;
  int ticks = 0, forty_ticks = 0;
  while ((ground_speed(r) < 40 * MPH || rider_gear(r) < 2) && ticks < 15 * 128) {
    step_with(0, full_throttle);
    top_gear = std::max(top_gear, rider_gear(r) + 1);
    ticks++;
    if (!forty_ticks && ground_speed(r) >= 40 * MPH) forty_ticks = ticks;
  }
  ASSERT_GT(forty_ticks, 0) << "never reached 40 mph in " << ticks * SIM_STEP << " s";
  EXPECT_GE(top_gear, 3);
  EXPECT_EQ(crashes[0], 0);
  // 0-40 mph on a 250 takes a few seconds, not a fraction of one nor half a minute.
  EXPECT_GT(forty_ticks * SIM_STEP, 2.0);
  EXPECT_LT(forty_ticks * SIM_STEP, 10.0);
  float gear_three_mph = ground_speed(r) / MPH;

  // Both brakes hard, throttle shut, still steering along the straight;
  // the distance counts from where the speed falls through 40 mph.
  Vec3 from = position(r);
  bool counting = false;
  int stop_ticks = 0;
  while (ground_speed(r) > 0.5f && stop_ticks < 10 * 128) {
    if (!counting && ground_speed(r) <= 40 * MPH) {
      counting = true;
      from = position(r);
    }
    step_with(0, [](ControlChannels& ch) {
      ch.value[CH_THROTTLE] = 0;
      ch.value[CH_FRONT_BRAKE] = ch.value[CH_REAR_BRAKE] = 1;
    });
    if (counting) stop_ticks++;
  }
  Vec3 to = position(r);
  float distance = std::hypot(to.x - from.x, to.z - from.z);
  // A motocross 250 on dirt stops from 40 mph in roughly 70 to 120 ft
  // (about 0.45 to 0.75 g); allow a little either side.
  EXPECT_GT(distance, 55.0f);
  EXPECT_LT(distance, 135.0f);
  EXPECT_LT(ground_speed(r), 0.5f);
  EXPECT_EQ(crashes[0], 0);
  RecordProperty("stop_from_forty_ft", std::to_string(distance));
  printf("0-40 mph %.2f s, third gear at %.1f mph, stop from 40 mph %.1f ft in %.2f s\n", forty_ticks * SIM_STEP,
         gear_three_mph, distance, stop_ticks * SIM_STEP);
}

}  // namespace
