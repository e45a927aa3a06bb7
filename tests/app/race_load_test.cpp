// race_load_test.cpp -- race loading on the generated tracks: who rides where,
// the roster picks, the grid, and that the same seed makes the same race.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "app/app.h"
#include "common/settings.h"
#include "data/data.h"
#include "physics/control.h"
#include "physics/physics.h"
#include "physics/rider.h"
#include "physics/shape.h"
#include "platform/platform.h"
#include "race/race.h"
#include "render/model.h"
#include "track/track.h"
#include "game_data_home.h"

namespace {

class RaceLoad : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    data.open("race_load");
    physics_init();
  }
  static void TearDownTestSuite() {
    free_race_world();
    data.close();
  }
  void SetUp() override { game_settings().track = "arena"; }
  static std::string log_text() { return data.log_text(); }
  inline static GameDataHome data;
};

TEST_F(RaceLoad, OneHumanAtMostInTheFirstHumanSlot) {
  int lineup[RACE_SLOTS] = {2, 1, 2, 1};
  ASSERT_TRUE(load_race(lineup, false, false, 0, 3, 0));
  const RaceState& rs = race_state();
  EXPECT_EQ(race_viewed_slot(), 1);
  EXPECT_EQ(rs.slot_kind[1], SLOT_LOCAL);
  EXPECT_EQ(rs.slot_kind[0], SLOT_ROBOT);
  EXPECT_EQ(rs.slot_kind[2], SLOT_ROBOT);
  EXPECT_EQ(rs.riders[3], nullptr);  // the second human became an empty slot
  EXPECT_EQ(rs.slot_kind[3], SLOT_REMOTE);
  EXPECT_EQ(std::string(rider_number_text(rs.riders[1])), game_settings().player_number);
  EXPECT_EQ(rs.final_lap, 3);
  EXPECT_EQ(rs.halfway_lap, 2);
}

TEST_F(RaceLoad, SameTrackStaysLoadedButRidersAreRebuilt) {
  int lineup[RACE_SLOTS] = {1, 2};
  ASSERT_TRUE(load_race(lineup, false, false, 0, 2, 0));
  size_t mark = log_text().size();
  ASSERT_TRUE(load_race(lineup, false, false, 0, 2, 0));
  std::string since = log_text().substr(mark);
  EXPECT_EQ(since.find("Deallocating track"), std::string::npos) << since;
  EXPECT_NE(since.find("Deallocating bikes"), std::string::npos);
  EXPECT_NE(race_state().riders[1], nullptr);

  // Once unloaded, the same name is a track to load again, not one kept.
  for (Rider*& r : race_state().riders) {
    destroy_rider(r);
    r = nullptr;
  }
  track_unload();
  EXPECT_EQ(track_current().track_name, "");
  ASSERT_TRUE(load_race(lineup, false, false, 0, 2, 0));
  EXPECT_EQ(track_current().track_name, game_settings().track);
  EXPECT_GT(track_current().gate_bar_count, 0);
  EXPECT_NE(terrain_record().heights, nullptr);
}

TEST_F(RaceLoad, RidersBeyondTheBarsStandInRowsBehind) {
  const Track& t = track_current();
  int lineup[RACE_SLOTS];
  for (int& e : lineup) e = 2;
  ASSERT_TRUE(load_race(lineup, false, false, 0, 1, 0));
  int n = t.gate_bar_count;
  ASSERT_GT(n, 0);
  ASSERT_LT(n, RACE_SLOTS);
  for (int slot : {0, n - 1, n, n + 3, RACE_SLOTS - 1}) {
    const GateBar& bar = t.gate_bars[slot % n];
    int row = slot / n;
    GridPlace p = grid_place(slot);
    float back = std::hypot(p.x - bar.x, p.z - bar.z);
    EXPECT_NEAR(back, 10 * (row + 0.0625f), 1e-3f) << slot;
    EXPECT_FLOAT_EQ(p.heading, bar.angle);
    // Behind the bar: against the direction the bikes face.
    float forward_x = -std::sin(bar.angle), forward_z = -std::cos(bar.angle);
    EXPECT_LT((p.x - bar.x) * forward_x + (p.z - bar.z) * forward_z, 0) << slot << " bar " << bar.x << "," << bar.z << " a=" << bar.angle << " p " << p.x << "," << p.z;
    // And the rider stands there.
    const dReal* c = dBodyGetPosition(rider_chassis(race_state().riders[slot]));
    EXPECT_LT(std::hypot(c[0] - p.x, c[2] - p.z), 5) << slot;  // the chassis sits over its place
  }
}

TEST_F(RaceLoad, NumberedEntriesPickTheirRobot) {
  int lineup[RACE_SLOTS] = {1025, 1003};
  ASSERT_TRUE(load_race(lineup, false, false, 0, 1, 0));
  const RaceState& rs = race_state();
  EXPECT_STREQ(rider_number_text(rs.riders[0]), "25");
  EXPECT_STREQ(rider_bike_key(rs.riders[0]), find_bike_spec("yz125")->name);
  // No robot is numbered 3: the row at the cursor rides with that number.
  EXPECT_STREQ(rider_number_text(rs.riders[1]), "3");
  EXPECT_EQ(rs.slot_kind[1], SLOT_ROBOT);
}

TEST_F(RaceLoad, SameSeedSameRace) {
  int lineup[RACE_SLOTS];
  for (int& e : lineup) e = 2;
  std::string bikes[2];
  int start[2];
  for (int run = 0; run < 2; run++) {
    race_state().race_tick = 4321;  // the tick the previous race had reached
    ASSERT_TRUE(load_race(lineup, false, false, 0, 1, 0));
    start[run] = race_state().start_tick;
    for (int slot = 0; slot < RACE_SLOTS; slot++) bikes[run] += std::string(rider_number_text(race_state().riders[slot])) + " ";
  }
  EXPECT_EQ(bikes[0], bikes[1]);
  EXPECT_EQ(start[0], start[1]);
  EXPECT_GE(start[0], (int)(13 / SIM_STEP));
  EXPECT_LE(start[0], (int)(15 / SIM_STEP));
  // Another seed shuffles differently.
  race_state().race_tick = 99;
  ASSERT_TRUE(load_race(lineup, false, false, 0, 1, 0));
  std::string other;
  for (int slot = 0; slot < RACE_SLOTS; slot++) other += std::string(rider_number_text(race_state().riders[slot])) + " ";
  EXPECT_NE(other, bikes[0]);
}

// A player's bike placed at the gate of the outdoor track, brakes on and a
// foot down, settles within 3 s on both tyres and then stays put.
TEST_F(RaceLoad, BikeRestsAtTheRabbithillGate) {
  game_settings().track = "rabbithill";
  int lineup[RACE_SLOTS] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  ASSERT_TRUE(load_race(lineup, false, false, 0, 1, 0));
  Rider* r = race_state().riders[19];
  ASSERT_NE(r, nullptr);
  auto hold = [&](int ticks) {
    for (int i = 0; i < ticks; i++) {
      set_front_brake(r, 1);
      set_rear_brake(r, 1);
      set_clutch(r, 0);
      set_dab(r, 1);
      frame_step();
    }
  };
  hold((int)(2.5 / SIM_STEP));
  Vec3 before[BODY_COUNT];
  for (int b = 0; b < BODY_COUNT; b++) {
    const dReal* p = dBodyGetPosition(r->bodies[b]);
    before[b] = {(float)p[0], (float)p[1], (float)p[2]};
  }
  hold((int)(0.5 / SIM_STEP));
  EXPECT_GT(r->wheels[WHEEL_FRONT].depth, 0);
  EXPECT_GT(r->wheels[WHEEL_REAR].depth, 0);
  for (int b = 0; b < BODY_COUNT; b++) {
    const dReal* p = dBodyGetPosition(r->bodies[b]);
    const dReal* v = dBodyGetLinearVel(r->bodies[b]);
    EXPECT_LT(std::hypot(std::hypot(p[0] - before[b].x, p[1] - before[b].y), p[2] - before[b].z), 0.01) << b;
    EXPECT_LT(std::hypot(std::hypot(v[0], v[1]), v[2]), 0.05) << b;
  }
  float fork = -(float)dJointGetSliderPosition(r->joints[JOINT_FORK_SLIDE]);
  float swing = -(float)dJointGetHingeAngle(r->joints[JOINT_SWING_ARM]);
  printf("at the rabbithill gate: fork %.1f mm (%.0f%% of travel), swing arm %.0f%% of travel\n",
         fork * 304.8f, 100 * fork / r->spec.fork.travel, 100 * swing / r->spec.swing_arm.travel);
  EXPECT_GT(fork, 0.05f * r->spec.fork.travel);
  EXPECT_LT(fork, 0.6f * r->spec.fork.travel);
  game_settings().track = "arena";
}

TEST(RosterShuffle, NoRowKeepsItsPlace) {
  random_seed(1);
  int order[80];
  shuffle_roster(order);
  int seen[80] = {};
  for (int i = 0; i < 80; i++) {
    EXPECT_NE(order[i], i);
    seen[order[i]]++;
  }
  for (int count : seen) EXPECT_EQ(count, 1);
}

}  // namespace
