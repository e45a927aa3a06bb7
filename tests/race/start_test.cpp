// start_test.cpp -- the online false start, the starting-gate bars and the
// time-trial timing.
#include <cmath>

#include "race_fixture.h"

namespace {

// What the hold did to the rider, in the order the setters were called.
std::vector<std::pair<char, float>>& held() {
  static std::vector<std::pair<char, float>> h;
  return h;
}

}  // namespace

class FalseStartTest : public RaceFixture {
 protected:
  void SetUp() override {
    RaceFixture::SetUp();
    set_square_track();
    held().clear();
    RaceHooks hooks = race_hooks();
    hooks.set_front_brake = [](Rider*, float v) { held().push_back({'f', v}); };
    hooks.set_rear_brake = [](Rider*, float v) { held().push_back({'r', v}); };
    hooks.set_back_up = [](Rider*, float v) { held().push_back({'b', v}); };
    hooks.set_clutch = [](Rider*, float v) { held().push_back({'c', v}); };
    hooks.set_throttle = [](Rider*, float v) { held().push_back({'t', v}); };
    hooks.set_dab = [](Rider*, float v) { held().push_back({'d', v}); };
    race_set_hooks(hooks);
    race_start(0, 3, START, false);
  }

  static constexpr int START = 1664;
  static constexpr Vec3 GRID{-50, 2, 0};
};

TEST_F(FalseStartTest, MovingBeforeTheDrop) {
  struct Case {
    const char* name;
    bool online;
    Vec3 moved;  // from the grid place
    int tick;
    bool penalised;
  };
  const Case cases[] = {
      {"online, 3 ft early", true, {3, 0, 0}, 1000, true},
      {"online, up 3 ft counts too", true, {0, 3, 0}, 1000, true},
      {"online, at the drop tick", true, {0, 0, 5}, START, true},
      {"online, 2.9 ft", true, {2.9f, 0, 0}, 1000, false},
      {"online, after the drop", true, {30, 0, 0}, START + 1, false},
      {"offline", false, {30, 0, 0}, 1000, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    race_reset();
    race_start(0, 3, START, false);
    riders_.clear();
    messages_clear();
    race_state().online = c.online;
    Rider* me = add_rider(0, SLOT_LOCAL);
    race_set_start_position(GRID);
    place(me, GRID + c.moved);
    set_tick(c.tick);
    apply_false_start_rule(me);
    EXPECT_EQ(race_state().penalty_hold_ticks > 0, c.penalised);
    EXPECT_STREQ(message_line(0), c.penalised ? "15 second false start penalty" : "");
  }
}

TEST_F(FalseStartTest, HeldUntilFifteenSecondsAfterTheDrop) {
  race_state().online = true;
  Rider* me = add_rider(0, SLOT_LOCAL);
  race_set_start_position(GRID);
  place(me, GRID + Vec3{4, 0, 0});
  set_tick(1000);
  apply_false_start_rule(me);
  ASSERT_EQ(race_state().penalty_hold_ticks, START + 1920 - 1000);
  EXPECT_TRUE(held().empty());  // the hold starts on the next tick

  const int last_held = START + seconds_to_ticks(15);
  for (int tick = 1001; tick <= last_held + 5; tick++) {
    set_tick(tick);
    held().clear();
    apply_false_start_rule(me);
    if (tick <= last_held) {
      const std::vector<std::pair<char, float>> hold = {{'f', 1}, {'r', 1}, {'b', 0},
                                                        {'c', 0}, {'t', 0}, {'d', 1}};
      ASSERT_EQ(held(), hold) << tick;
    } else {
      ASSERT_TRUE(held().empty()) << tick;
    }
  }
  EXPECT_EQ(race_state().penalty_hold_ticks, 0);
}

TEST_F(FalseStartTest, PhysicsHooksHoldThroughTheControlSetters) {
  race_set_hooks(race_physics_hooks());
  race_state().online = true;
  Rider* me = add_rider(0, SLOT_LOCAL);
  me->throttle = 1;
  me->clutch = 1;
  me->back_up = 1;
  // Not built in the physics world: its chassis reads as the origin, 5 ft
  // from where it was placed.
  race_set_start_position(Vec3{0, 0, 5});
  set_tick(1000);
  apply_false_start_rule(me);
  ASSERT_GT(race_state().penalty_hold_ticks, 0);
  set_tick(1001);
  apply_false_start_rule(me);
  EXPECT_EQ(me->front_brake, 1);
  EXPECT_EQ(me->rear_brake, 1);
  EXPECT_EQ(me->back_up, 0);
  EXPECT_EQ(me->clutch, 0);
  EXPECT_EQ(me->throttle, 0);
  EXPECT_EQ(me->dab, 1);
}

TEST_F(FalseStartTest, LoadingTheStartPlaceClearsAHold) {
  race_state().online = true;
  race_state().penalty_hold_ticks = 500;
  race_set_start_position(GRID);
  EXPECT_EQ(race_state().penalty_hold_ticks, 0);
}

// ---------------------------------------------------------------- starting gate

class StartingGateTest : public RaceFixture {
 protected:
  void SetUp() override {
    RaceFixture::SetUp();
    Track& t = track_current();
    t.statues.clear();
    // Bars 0 and 1 have statues; bar 2 has none.
    for (int i = 0; i < 2; i++) {
      Statue s{};
      s.x = 10.0f * i;
      s.z = 5;
      s.angle = 0.5f;
      s.orientation = statue_orientation(s.x, s.z, s.angle);
      t.statues.push(s);
      t.gate_bars[i] = GateBar{s.x, 0, s.z, s.angle, i};
    }
    t.gate_bars[2] = GateBar{30, 0, 5, 0, -1};
    t.gate_bar_count = 3;
    race_start(0, 3, START, false);
  }

  // The bar's hinge angle (rad) read back from its statue.
  static float hinge_angle(int bar) {
    const Statue& s = track_current().statues[bar];
    Mat3 rest = statue_orientation(s.x, s.z, s.angle);
    Mat3 hinge = mat3_multiply(mat3_transpose(rest), s.orientation);
    return std::atan2(hinge.m[2][1], hinge.m[1][1]);
  }

  static void step() {
    animate_starting_gate();
    race_advance_tick();
  }

  static constexpr int START = 1664;
  static constexpr float UP = 3.0f * 3.14159265f / 16.0f;
};

TEST_F(StartingGateTest, BarsStandUpUntilTheDropThenFallInAnEighthOfASecond) {
  set_tick(START);
  step();
  EXPECT_FLOAT_EQ(race_state().gate_bar_raise[0], 1);
  EXPECT_NEAR(hinge_angle(0), UP, 1e-5);
  for (int i = 1; i <= 16; i++) {
    step();
    EXPECT_NEAR(race_state().gate_bar_raise[0], 1 - i / 16.0f, 1e-6) << i;
    EXPECT_NEAR(hinge_angle(0), (1 - i / 16.0f) * UP, 1e-5) << i;
  }
  step();
  EXPECT_EQ(race_state().gate_bar_raise[0], 0);
  EXPECT_EQ(race_state().gate_bar_raise[2], 1);  // no statue: left alone
}

TEST_F(StartingGateTest, ABarARiderLeansOnStays) {
  set_tick(START + 1);
  step();
  step();
  float u = race_state().gate_bar_raise[0];
  ASSERT_LT(u, 1);
  for (int i = 0; i < 5; i++) {
    track_current().statues[0].tick_stamp = race_state().race_tick;
    step();
  }
  EXPECT_EQ(race_state().gate_bar_raise[0], u);
  EXPECT_LT(race_state().gate_bar_raise[1], u);
  // Before the drop a stamp changes nothing: the bar is up anyway.
  race_start(0, 3, START, false);
  set_tick(START - 1);
  track_current().statues[0].tick_stamp = START - 1;
  step();
  EXPECT_EQ(race_state().gate_bar_raise[0], 1);
}

TEST_F(StartingGateTest, NothingMovesTenSecondsAfterTheDrop) {
  set_tick(START + seconds_to_ticks(10) + 1);
  step();
  EXPECT_EQ(race_state().gate_bar_raise[0], 1);
}

// ---------------------------------------------------------------- time trial

class TimeTrialTest : public RaceFixture {
 protected:
  void SetUp() override {
    RaceFixture::SetUp();
    // Checkpoint 1 faces -x so the start heading is easy to read.
    set_track(4, {0, 1, 2, 3}, {0, 1, 2, 3});
    track_current().timing.checkpoints[2].nx = 0;
    track_current().timing.checkpoints[2].nz = -1;
    race_start(0, 1000, 1664, true);
  }

  // One lap from the finish line round to it again, a crossing every `step` ticks.
  static void ride_lap(Rider* r, int step) {
    for (int c = 0; c < 4; c++) {
      race_state().race_tick += step;
      ride_through(r, c);
    }
  }
};

TEST_F(TimeTrialTest, StartPlaceIsTwoGatesBeforeTheLine) {
  float x, z, heading;
  ASSERT_TRUE(time_trial_start_place(&x, &z, &heading));
  EXPECT_EQ(x, 300);  // checkpoint 2
  EXPECT_EQ(z, 0);
  EXPECT_NEAR(heading, 0, 1e-6);  // atan2(-0, 1): facing against -z
  Rider* me = add_rider(0, SLOT_LOCAL);
  record_gate_crossing(me, 0, 100);
  race_state().last_lap_ticks = 99;
  time_trial_restart(me);
  EXPECT_EQ(me->race.gate_count, 2);
  EXPECT_EQ(race_state().last_lap_ticks, 0);
  EXPECT_EQ(race_state().live_order.count, 1);

  track_current().timing = TrackTiming{};
  EXPECT_FALSE(time_trial_start_place(&x, &z, &heading));
}

TEST_F(TimeTrialTest, EveryLapIsTimedAsLapTwo) {
  Rider* me = add_rider(0, SLOT_LOCAL);
  Rider* ghost = add_rider(1, SLOT_REMOTE);
  time_trial_restart(me);
  ride_through(me, 2);
  ride_through(me, 3);  // over the line: lap 1 done
  ASSERT_EQ(laps_completed(me), 1);
  ride_lap(me, 100);
  ASSERT_EQ(laps_completed(me), 2);
  time_trial_player_lap(me);
  EXPECT_EQ(race_state().last_lap_ticks, 400);
  EXPECT_EQ(race_state().best_lap_ticks, 400);
  EXPECT_TRUE(time_trial_lap_is_fastest(false, me, ghost));
  EXPECT_TRUE(time_trial_lap_is_fastest(true, me, ghost));  // the ghost is behind

  // Back before the line; the player, still on it, takes it again at once.
  place(me, checkpoint_point(3));
  time_trial_rearm(me);
  EXPECT_EQ(me->race.gate_count, 4);
  EXPECT_EQ(gate_time(me, 3), race_state().race_tick);
  EXPECT_EQ(ghost->race.gate_count, 3);

  // A slower lap keeps the best; a lap with a missed gate is not valid.
  ride_lap(me, 120);
  time_trial_player_lap(me);
  EXPECT_EQ(race_state().last_lap_ticks, 480);
  EXPECT_EQ(race_state().best_lap_ticks, 400);
  place(me, checkpoint_point(3));
  time_trial_rearm(me);
  race_state().race_tick += 100;
  ride_through(me, 0);
  race_state().race_tick += 100;
  ride_through(me, 2);  // skips checkpoint 1
  race_state().race_tick += 100;
  ride_through(me, 3);
  ASSERT_EQ(laps_completed(me), 2);
  time_trial_player_lap(me);
  EXPECT_EQ(race_state().last_lap_ticks, 0);
  EXPECT_EQ(race_state().best_lap_ticks, 400);
  EXPECT_FALSE(time_trial_lap_is_fastest(true, me, ghost));
}

TEST_F(TimeTrialTest, TheGhostsLapsCountForTheBest) {
  Rider* ghost = add_rider(1, SLOT_REMOTE);
  for (int g = 0; g < 8; g++) record_gate_crossing(ghost, g, 40000 + 90 * g);
  time_trial_ghost_lap(ghost);
  EXPECT_EQ(race_state().best_lap_ticks, 360);
}
