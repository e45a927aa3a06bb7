// gates_test.cpp -- checkpoint crossing: skipped gates, riding back for a
// missed one, the finish line that cannot be skipped, the slow state and
// the gate-count setter.
#include "race_fixture.h"

class GatesTest : public RaceFixture {
 protected:
  void SetUp() override {
    RaceFixture::SetUp();
    set_square_track();
    race_start(0, 3, 1664, false);
  }

  // Rides the checkpoints in order, one crossing per tick from tick 2000 on
  // in steps of 100.
  void ride(Rider* r, const std::vector<int>& checkpoints) {
    for (int c : checkpoints) {
      set_tick(tick_);
      ride_through(r, c);
      tick_ += 100;
    }
  }

  int tick_ = 2000;
};

TEST_F(GatesTest, SkippedCheckpointsReadMinusOne) {
  struct Case {
    const char* name;
    std::vector<int> path;
    std::vector<int> times;
    int gate_count;
  };
  const Case cases[] = {
      {"clean lap", {0, 1, 2, 3}, {2000, 2100, 2200, 2300}, 4},
      {"one skipped", {0, 1, 3}, {2000, 2100, -1, 2200}, 4},
      {"two skipped", {0, 3}, {2000, -1, -1, 2100}, 4},
      {"first skipped", {1, 2}, {-1, 2000, 2100}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    race_reset();
    race_start(0, 3, 1664, false);
    riders_.clear();
    tick_ = 2000;
    Rider* r = add_rider(0);
    ride(r, c.path);
    EXPECT_EQ(times_of(r), c.times);
    EXPECT_EQ(r->race.gate_count, c.gate_count);
    for (int i = 0; i < c.gate_count; i++) EXPECT_EQ(gate_time(r, i), c.times[i]);
  }
}

TEST_F(GatesTest, ThreeSkippedAreTooMany) {
  Rider* r = add_rider(0);
  ride(r, {0});
  // Gate index 4 is three past the next one: never tried.
  set_track(5, {0, 1, 2, 3, 4}, {0, 1, 2, 3, 4});
  ride(r, {4});
  EXPECT_EQ(r->race.gate_count, 1);
}

TEST_F(GatesTest, RidingBackRetakesAMissedGate) {
  struct Case {
    const char* name;
    std::vector<int> path;  // ends one or more gates past the missed one, then back to it
    int back_to;
    std::vector<int> times;
    int gate_count;
  };
  const Case cases[] = {
      // Gate 1 skipped, the rider is at gate count 3; gate 1 is offset -2.
      {"two back", {0, 2}, 1, {2000, 2200, 2100}, 2},
      // Past the line (gate count 4): gate 1 is offset -3.
      {"three back over the line", {0, 2, 3}, 1, {2000, 2300, 2100, 2200}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    race_reset();
    race_start(0, 3, 1664, false);
    riders_.clear();
    tick_ = 2000;
    Rider* r = add_rider(0);
    ride(r, c.path);
    ride(r, {c.back_to});
    EXPECT_EQ(times_of(r), c.times);
    EXPECT_EQ(r->race.gate_count, c.gate_count);
  }
}

TEST_F(GatesTest, RetakenGatesAreOverwrittenWhenCrossedAgain) {
  Rider* r = add_rider(0);
  ride(r, {0, 2, 3});  // skips 1, crosses the line at 2200
  ride(r, {1});        // back for gate 1 at 2300
  EXPECT_EQ(times_of(r), (std::vector<int>{2000, 2300, 2100, 2200}));
  ride(r, {2, 3});  // on again
  EXPECT_EQ(times_of(r), (std::vector<int>{2000, 2300, 2400, 2500}));
  EXPECT_EQ(r->race.gate_count, 4);
}

TEST_F(GatesTest, NoGoingBackToAGateThatHasATime) {
  Rider* r = add_rider(0);
  ride(r, {0, 1, 2});
  ride(r, {0});  // offset -3, timed
  ride(r, {1});  // offset -2, timed
  EXPECT_EQ(times_of(r), (std::vector<int>{2000, 2100, 2200}));
  EXPECT_EQ(r->race.gate_count, 3);
}

TEST_F(GatesTest, NothingBeyondAnUnpassedFinishLine) {
  // After gates 0..2 the line (checkpoint 3) is next; the next lap's first
  // two checkpoints lie within reach but must not be taken before it.
  for (int ahead : {0, 1}) {
    SCOPED_TRACE(ahead);
    race_reset();
    race_start(0, 3, 1664, false);
    riders_.clear();
    tick_ = 2000;
    Rider* r = add_rider(0);
    ride(r, {0, 1, 2});
    ride(r, {ahead});
    EXPECT_EQ(r->race.gate_count, 3);
    EXPECT_EQ(r->race.gate_times.length, 3);
  }
}

TEST_F(GatesTest, CrossingNeedsTheFarSideOfTheCircle) {
  Rider* r = add_rider(0);
  struct Case {
    Vec3 offset;  // from checkpoint 0
    bool crossed;
  };
  const Case cases[] = {
      {{-1, 0, 0}, false},    // near side
      {{1, 50, 0}, true},     // height is not looked at
      {{9, 0, 3}, true},      // inside, far side
      {{8, 0, 8}, false},     // outside the radius
      {{0, 0, 10}, true},     // on the circle, on the line
  };
  for (const Case& c : cases) {
    set_gate_count(r, 0);
    place(r, checkpoint_point(0) + c.offset);
    check_gates(r);
    EXPECT_EQ(r->race.gate_count, c.crossed ? 1 : 0) << c.offset.x << " " << c.offset.z;
  }
}

TEST_F(GatesTest, UnusedLineEntriesStillTime) {
  // An entry marked for the line analysis names the same checkpoint.
  set_track(4, {0, LAP_ENTRY_UNUSED + 1, 2, 3}, {0, 1, 2, 3});
  Rider* r = add_rider(0);
  ride(r, {0, 1, 2});
  EXPECT_EQ(times_of(r), (std::vector<int>{2000, 2100, 2200}));
}

TEST_F(GatesTest, NoCheckpointsNoTiming) {
  track_current().timing = TrackTiming{};
  Rider* r = add_rider(0);
  ride(r, {0, 1, 2, 3});
  EXPECT_EQ(r->race.gate_count, 0);
  EXPECT_EQ(laps_completed(r), 0);
  EXPECT_FALSE(rider_has_finished(r));
}

TEST_F(GatesTest, SlowStateAfterTwoSecondsAndClearedAtACrossing) {
  Rider* r = add_rider(0);
  race_test::speed() = 4.9f;
  place(r, race_test::AWAY);
  set_tick(1664 + 256);  // exactly 2 s after the drop: not yet
  check_gates(r);
  EXPECT_EQ(r->race.slow_state, 0);
  set_tick(1664 + 257);
  check_gates(r);
  EXPECT_EQ(r->race.slow_state, 2);
  race_test::speed() = 50;
  ride_through(r, 0);
  EXPECT_EQ(r->race.slow_state, 0);

  race_test::speed() = 5;  // 5 ft/s is not slow
  check_gates(r);
  EXPECT_EQ(r->race.slow_state, 0);
  race_test::speed() = 1;
  check_gates(r);
  EXPECT_EQ(r->race.slow_state, 2);
  set_gate_count(r, 1);
  EXPECT_EQ(r->race.slow_state, 0);
}

TEST_F(GatesTest, SetGateCount) {
  struct Case {
    int n;
    int gate_count;
    int length;
    bool finished;
  };
  // From 4 gates passed, finished, with a fifth time left by riding back.
  const Case cases[] = {
      {5, 5, 5, true},
      {4, 4, 4, true},
      {2, 2, 2, false},
      {0, 0, 0, false},
      {-3, 0, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    Rider r;
    for (int i = 0; i < 5; i++) r.race.gate_times.set(i, 100 * i);
    r.race.gate_count = 4;
    r.race.finished = true;
    r.race.slow_state = 2;
    set_gate_count(&r, c.n);
    EXPECT_EQ(r.race.gate_count, c.gate_count);
    EXPECT_EQ(r.race.gate_times.length, c.length);
    EXPECT_EQ(r.race.finished, c.finished);
    EXPECT_EQ(r.race.slow_state, 0);
  }
}

TEST_F(GatesTest, GateTimeOutsideTheArrayIsMissing) {
  Rider r;
  record_gate_crossing(&r, 2, 700);
  EXPECT_EQ(r.race.gate_count, 3);
  EXPECT_EQ(gate_time(&r, -1), -1);
  EXPECT_EQ(gate_time(&r, 0), -1);
  EXPECT_EQ(gate_time(&r, 2), 700);
  EXPECT_EQ(gate_time(&r, 3), -1);
  EXPECT_EQ(gate_time(nullptr, 0), -1);
}

TEST_F(GatesTest, GateTimesGrowAndCopy) {
  Rider r;
  for (int i = 0; i < 100; i++) r.race.gate_times.set(i, i);
  EXPECT_EQ(r.race.gate_times.capacity, 128);  // 16 doubled three times
  RiderRace copy = r.race;
  copy.gate_times.set(5, -7);
  EXPECT_EQ(gate_time(&r, 5), 5);
  EXPECT_EQ(copy.gate_times.at(5), -7);
  EXPECT_EQ(copy.gate_times.at(99), 99);
  copy = r.race;
  EXPECT_EQ(copy.gate_times.at(5), 5);
}

TEST_F(GatesTest, LapListNamingNoCheckpointIsNeverCrossed) {
  // Lists normally come cleaned by the track reader; entries that name no
  // checkpoint simply never match.
  set_track(2, {0, 7, -4, LAP_ENTRY_UNUSED + 9}, {1});
  Rider* r = add_rider(0);
  ride(r, {0, 1});
  EXPECT_EQ(times_of(r), (std::vector<int>{2000}));
  EXPECT_EQ(r->race.gate_count, 1);
}
