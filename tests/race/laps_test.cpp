// laps_test.cpp -- lap arithmetic, lap times and best laps, and how lap
// races and timed races fix their half-way and final laps.
#include "race_fixture.h"

class LapsTest : public RaceFixture {
 protected:
  void SetUp() override {
    RaceFixture::SetUp();
    // Two gates in the first lap, three in every later one.
    set_track(3, {1, 2}, {0, 1, 2});
  }

  // Gate crossings at the given ticks, -1 leaving a gate missed.
  static void record(Rider* r, const std::vector<int>& ticks) {
    for (int i = 0; i < (int)ticks.size(); i++) {
      if (ticks[i] >= 0) record_gate_crossing(r, i, ticks[i]);
      r->race.gate_count = i + 1;
    }
  }
};

TEST_F(LapsTest, GateIndexArithmetic) {
  struct Case {
    int n;
    int position;
    int laps;
    bool ends_lap;
  };
  const Case cases[] = {
      {0, 0, 0, false}, {1, 1, 0, false}, {2, 2, 1, true},  {3, 3, 1, false},
      {4, 4, 1, false}, {5, 2, 2, true},  {6, 3, 2, false}, {8, 2, 3, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    EXPECT_EQ(lap_list_position(c.n), c.position);
    EXPECT_EQ(laps_for_gate_count(c.n), c.laps);
    EXPECT_EQ(gate_count_ends_lap(c.n), c.ends_lap);
  }
  EXPECT_EQ(lap_end_gate(1), 1);
  EXPECT_EQ(lap_end_gate(2), 4);
  EXPECT_EQ(lap_end_gate(3), 7);
}

TEST_F(LapsTest, LapTimes) {
  race_start(0, 5, 1000, false);
  Rider* r = add_rider(0);
  // Laps end at gates 1, 4, 7 and 10: ticks 1640, 2920, 4072, 5480.
  record(r, {1320, 1640, 2000, 2500, 2920, 3200, -1, 4072, 4500, 5000, 5480, 5600});
  struct Case {
    int lap;
    float seconds;
  };
  const Case cases[] = {
      {1, 640 * SIM_STEP},   // from the drop
      {2, 1280 * SIM_STEP},
      {3, 1152 * SIM_STEP},  // a missed gate inside a lap does not matter
      {4, 1408 * SIM_STEP},
      {-1, 1408 * SIM_STEP},  // the last completed lap
      {0, 0},
      {5, 0},  // under way
  };
  EXPECT_EQ(laps_completed(r), 4);
  for (const Case& c : cases) EXPECT_FLOAT_EQ(lap_time(r, c.lap), c.seconds) << c.lap;
}

TEST_F(LapsTest, LapWithAMissingEndHasNoTime) {
  race_start(0, 5, 1000, false);
  Rider* r = add_rider(0);
  // The end of lap 2 (gate 4) lost its time, as after a failed allocation.
  record(r, {1320, 1640, 2000, 2500, -1, 3200, 3500, 4000});
  EXPECT_EQ(lap_time(r, 2), 0);
  EXPECT_EQ(lap_time(r, 3), 0);
  EXPECT_EQ(best_lap_number(r), 0);
}

TEST_F(LapsTest, BestLap) {
  race_start(0, 10, 1000, false);
  struct Case {
    const char* name;
    std::vector<int> lap_ends;  // ticks of gates 1, 4, 7, ...; -1 lost
    int best;
  };
  const Case cases[] = {
      {"one lap", {1100}, 0},
      {"lap 1 fastest never counts", {1100, 2100, 3000}, 3},
      {"equal laps keep the earlier", {2000, 3000, 4000}, 2},
      {"later and faster", {2000, 3000, 3900, 4950}, 3},
      {"lap without time passed over", {2000, -1, 3000, 4100}, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    race_reset();
    race_start(0, 10, 1000, false);
    riders_.clear();
    Rider* r = add_rider(0);
    std::vector<int> ticks(1 + 3 * (c.lap_ends.size() - 1) + 1, -1);
    ticks[0] = 1000;
    for (size_t lap = 0; lap < c.lap_ends.size(); lap++) {
      ticks[1 + 3 * lap] = c.lap_ends[lap];
      if (lap > 0) {
        ticks[3 * lap - 1] = c.lap_ends[lap - 1] > 0 ? c.lap_ends[lap - 1] + 1 : 1;
        ticks[3 * lap] = c.lap_ends[lap - 1] > 0 ? c.lap_ends[lap - 1] + 2 : 2;
      }
    }
    record(r, ticks);
    EXPECT_EQ(best_lap_number(r), c.best);
  }
}

TEST_F(LapsTest, LapRaceFixesItsLapsAtTheStart) {
  struct Case {
    int laps;
    int halfway;
    int final_lap;
  };
  const Case cases[] = {{5, 3, 5}, {4, 2, 4}, {1, 1, 1}, {20, 10, 20}};
  for (const Case& c : cases) {
    race_start(0, c.laps, 1664, false);
    EXPECT_EQ(race_state().halfway_lap, c.halfway) << c.laps;
    EXPECT_EQ(race_state().final_lap, c.final_lap) << c.laps;
    EXPECT_EQ(race_state().race_tick, 0);
  }
  race_start(seconds_to_ticks(600), 2, 1664, false);
  EXPECT_EQ(race_state().halfway_lap, LAP_PENDING);
  EXPECT_EQ(race_state().final_lap, LAP_PENDING);
  race_start(0, 1000, 1664, true);
  EXPECT_EQ(race_state().race_tick, 38400);  // 300 s
}

TEST_F(LapsTest, RaceDescription) {
  struct Case {
    int length_ticks;
    int laps;
    const char* text;
  };
  const Case cases[] = {
      {0, 5, "5 laps"},
      {seconds_to_ticks(600), 2, "10 minutes + 2 laps"},
      {seconds_to_ticks(600), 0, "10 minutes"},
      {seconds_to_ticks(89), 0, "1 minutes"},  // rounded to the nearest minute
      {seconds_to_ticks(91), 1, "2 minutes + 1 laps"},
  };
  for (const Case& c : cases) {
    race_start(c.length_ticks, c.laps, 1664, false);
    char text[64];
    race_description(text, sizeof text);
    EXPECT_STREQ(text, c.text);
  }
}

// A timed race of 10 minutes + 2 laps whose leader has done 6 laps when
// the time runs out ends after lap 9; a late report of lap 7 done in time
// moves it one lap on.
TEST_F(LapsTest, TimedRaceFixesHalfwayAndFinalLap) {
  const int length = seconds_to_ticks(600);  // 76800
  race_start(length, 2, 1664, false);
  Rider* leader = add_rider(0);
  Rider* other = add_rider(1);
  // Lap L of the leader ends at tick 10000 L.
  auto ride_laps = [](Rider* r, int laps, int per_lap) {
    for (int lap = 1; lap <= laps; lap++) {
      int end = lap_end_gate(lap);
      for (int g = lap == 1 ? 0 : lap_end_gate(lap - 1) + 1; g <= end; g++)
        record_gate_crossing(r, g, per_lap * lap - (end - g));
    }
  };
  ride_laps(leader, 3, 10000);
  set_tick(length / 2 - 1);
  update_standings();
  EXPECT_EQ(race_state().halfway_lap, LAP_PENDING);
  set_tick(length / 2);
  update_standings();
  EXPECT_EQ(race_state().halfway_lap, 4);

  ride_laps(leader, 6, 10000);
  set_tick(length);
  update_standings();
  EXPECT_EQ(race_state().final_lap, 9);
  EXPECT_EQ(race_state().halfway_lap, 4);  // fixed once
  update_standings();
  EXPECT_EQ(race_state().final_lap, 9);

  // The other rider's lap 7, done at 76000 (before time ran out), arrives late.
  ride_laps(other, 7, 76000 / 7);
  record_gate_crossing(other, lap_end_gate(7), 76000);
  set_tick(length + 300);
  update_standings();
  EXPECT_EQ(race_state().final_lap, 10);
  update_standings();  // nobody finished lap 8 in time
  EXPECT_EQ(race_state().final_lap, 10);
}
