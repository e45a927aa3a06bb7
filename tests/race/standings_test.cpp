// standings_test.cpp -- live and final order, the chequered flag, when the
// race is over offline and online, and cutting penalties with lost laps.
#include "race_fixture.h"

namespace {

int g_finished_calls = 0;

}  // namespace

class StandingsTest : public RaceFixture {
 protected:
  void SetUp() override {
    RaceFixture::SetUp();
    set_square_track();  // laps end at gate counts 4, 8, 12, ...
    g_finished_calls = 0;
    RaceHooks hooks = race_hooks();
    hooks.race_finished = [] { g_finished_calls++; };
    race_set_hooks(hooks);
  }

  // Rides whole laps through the checkpoints, one crossing every `step`
  // ticks from `from` on; returns the tick after the last crossing.
  int ride_laps(Rider* r, int laps, int from, int step) {
    int tick = from;
    for (int i = 0; i < 4 * laps; i++) {
      set_tick(tick);
      ride_through(r, i % 4);
      tick += step;
    }
    return tick;
  }

  static std::vector<int> slots_of(const Standings& s) {
    std::vector<int> v;
    for (int i = 0; i < s.count; i++) v.push_back(s.entries[i].slot);
    return v;
  }
};

TEST_F(StandingsTest, OrderByGatesThenTimeThenSlot) {
  race_start(0, 3, 1664, false);
  struct Row {
    int slot;
    std::vector<int> ticks;
  };
  const Row rows[] = {
      {9, {2000, 2100}},        // two gates, same last tick as slots 2 and 5
      {5, {2000, 2100}},
      {2, {2000, 2100}},
      {7, {2000, 2050}},        // two gates, earlier
      {1, {2000}},              // one gate
      {0, {}},                  // none: last tick 0
      {3, {2000, 2100, 2200}},  // most gates
  };
  for (const Row& row : rows) {
    Rider* r = add_rider(row.slot);
    for (int i = 0; i < (int)row.ticks.size(); i++) record_gate_crossing(r, i, row.ticks[i]);
  }
  update_standings();
  EXPECT_EQ(slots_of(race_state().live_order), (std::vector<int>{3, 7, 2, 5, 9, 1, 0}));
  EXPECT_EQ(race_state().live_order.entries[1].last_tick, 2050);
  EXPECT_EQ(race_state().live_order.entries[6].last_tick, 0);
}

TEST_F(StandingsTest, LeaderFinishesAtTheLastLap) {
  race_start(0, 2, 1664, false);
  Rider* a = add_rider(0);
  ride_laps(a, 1, 2000, 100);
  EXPECT_FALSE(a->race.finished);
  ride_laps(a, 1, 3000, 100);
  EXPECT_TRUE(a->race.finished);
  // A finished rider is not timed any more.
  ride_through(a, 0);
  EXPECT_EQ(a->race.gate_count, 8);
}

TEST_F(StandingsTest, RiderALapDownFinishesAtTheNextCrossingOfTheLine) {
  race_start(0, 2, 1664, false);
  Rider* a = add_rider(0);
  Rider* b = add_rider(1);
  set_tick(2010);
  ride_through(b, 0);
  set_tick(2020);
  ride_through(b, 1);
  ride_laps(a, 2, 2000, 100);  // a finishes at 2700, b still in its first lap
  ASSERT_TRUE(a->race.finished);
  EXPECT_FALSE(b->race.finished);
  EXPECT_FALSE(race_state().results_final);
  set_tick(2800);
  ride_through(b, 2);
  EXPECT_FALSE(b->race.finished);
  EXPECT_FALSE(race_state().results_final);
  set_tick(2900);
  ride_through(b, 3);
  EXPECT_TRUE(b->race.finished);
  EXPECT_EQ(laps_completed(b), 1);
  EXPECT_TRUE(race_state().results_final);
  EXPECT_EQ(g_finished_calls, 1);
}

TEST_F(StandingsTest, OfflineEveryRiderMustFinish) {
  race_start(0, 1, 1664, false);
  Rider* a = add_rider(0, SLOT_LOCAL);
  Rider* b = add_rider(1, SLOT_ROBOT);
  add_rider(2, SLOT_REMOTE);  // a demo rider standing still
  ride_laps(a, 1, 2000, 100);
  ride_laps(b, 1, 2000, 110);
  set_tick(100000);
  update_standings();
  EXPECT_FALSE(race_state().results_final);
  EXPECT_EQ(g_finished_calls, 0);
}

TEST_F(StandingsTest, OnlineSilentRemoteRidersDoNotHoldTheResults) {
  struct Case {
    const char* name;
    int silent_ticks;    // since the remote rider's last state
    bool player_done;
    bool final_results;
  };
  const Case cases[] = {
      {"remote heard just now", 127, true, false},
      {"remote silent a second", 128, true, true},
      {"player not through", 100000, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    race_reset();
    race_start(0, 1, 1664, false);
    riders_.clear();
    race_state().online = true;
    race_state().my_slot = 4;
    Rider* me = add_rider(4, SLOT_LOCAL);
    Rider* other = add_rider(6, SLOT_REMOTE);
    Rider* leader = add_rider(1, SLOT_REMOTE);
    for (int i = 0; i < 4; i++) record_gate_crossing(leader, i, 2000 + 10 * i);
    leader->race.finished = true;
    race_note_remote_state(1, 3000);
    record_gate_crossing(other, 0, 1990);  // still in its first lap
    race_note_remote_state(6, 3000);
    // The player's own slot is never skipped, however long ago its state came.
    race_note_remote_state(4, 0);
    if (c.player_done) ride_laps(me, 1, 2500, 100);
    set_tick(3000 + c.silent_ticks);
    update_standings();
    EXPECT_EQ(race_state().results_final, c.final_results);
  }
}

TEST_F(StandingsTest, ResultsAreFinalOnce) {
  race_start(0, 1, 1664, false);
  Rider* a = add_rider(0);
  ride_laps(a, 1, 2000, 100);
  ASSERT_TRUE(race_state().results_final);
  EXPECT_EQ(g_finished_calls, 1);
  EXPECT_TRUE(std::filesystem::exists(scratch_ / "Kestrail" / "results.txt"));
  update_standings();
  EXPECT_EQ(g_finished_calls, 1);
  // A rewind clears the flag and the race goes on.
  set_gate_count(a, 2);
  race_state().results_final = false;
  update_standings();
  EXPECT_FALSE(race_state().results_final);
  EXPECT_FALSE(a->race.finished);
}

TEST_F(StandingsTest, NoRidersNoResults) {
  race_start(0, 1, 1664, false);
  update_standings();
  EXPECT_FALSE(race_state().results_final);
  EXPECT_EQ(race_state().live_order.count, 0);
}

// A cutter whose penalty exceeds its best lap loses whole laps for it, one
// best lap's worth each, never below its first lap; the rest is time.
TEST_F(StandingsTest, CuttingPenaltyBecomesLostLaps) {
  // Lap offsets of the four gates: 100, 800, 900, 1000 ticks. The cut goes
  // from gate 0 straight to gate 2 in 100 ticks instead of 800: the allowed
  // time is 800 + 128, so the penalty is 828 ticks, and the cut lap (300
  // ticks) is the best.
  static constexpr int OFFSETS[] = {100, 800, 900, 1000};
  // Whole laps and then `extra` gates of the next one; cut_lap 0 rides clean.
  auto ride = [](Rider* r, int laps, int extra, int cut_lap) {
    for (int lap = 1; lap <= laps + 1; lap++)
      for (int g = 0; g < (lap <= laps ? 4 : extra); g++) {
        int base = 1000 * lap;
        if (lap == cut_lap && g == 1) continue;
        int tick = base + OFFSETS[g];
        if (cut_lap > 0 && (lap > cut_lap || (lap == cut_lap && g >= 2))) tick -= 700;
        record_gate_crossing(r, 4 * (lap - 1) + g, tick);
      }
    r->race.finished = true;
  };
  struct Case {
    const char* name;
    int laps, extra;
    int laps_lost;
    int penalty_ticks;
    int last_tick;
  };
  const Case cases[] = {
      {"four laps, cut in lap 2", 4, 0, 2, 828 - 2 * 300, 4300 + 228},
      {"two laps: stops at the first lap", 2, 0, 1, 828 - 300, 2300 + 528},
      // Stopped two gates into lap 3: one lap goes, a second would leave
      // less than the first lap.
      {"two laps and two gates", 2, 2, 1, 828 - 300, 3100 + 528},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    race_reset();
    race_start(0, c.laps, 0, false);
    riders_.clear();
    Rider* clean = add_rider(0);
    Rider* cutter = add_rider(1);
    ride(clean, c.laps, c.extra, 0);
    ride(cutter, c.laps, c.extra, 2);
    // Ridden cleanly, the section from gate 4 to 6 takes 800 ticks.
    update_standings();
    EXPECT_EQ(expected_section_ticks(4, 6), 800);
    ASSERT_TRUE(race_state().results_final);
    const Standings& order = race_state().final_order;
    ASSERT_EQ(order.count, 2);
    EXPECT_EQ(order.entries[0].slot, 0);
    EXPECT_EQ(order.entries[0].penalty_ticks, 0);
    const StandingEntry& e = order.entries[1];
    EXPECT_EQ(e.slot, 1);
    EXPECT_EQ(e.laps_lost, c.laps_lost);
    EXPECT_EQ(e.gate_count, 4 * (c.laps - c.laps_lost) + c.extra);
    EXPECT_EQ(e.penalty_ticks, c.penalty_ticks);
    EXPECT_EQ(e.last_tick, c.last_tick);
  }
}

TEST_F(StandingsTest, ExpectedSectionTicks) {
  race_start(0, 3, 0, false);
  Rider* a = add_rider(0);
  Rider* b = add_rider(1);
  Rider* c = add_rider(2);
  // a: two laps, 100 ticks a gate but 200 into gate 6.
  for (int g = 0; g < 8; g++) record_gate_crossing(a, g, 1000 + 100 * g + (g >= 6 ? 100 : 0));
  // b: the first lap, 200 ticks a gate.
  for (int g = 0; g < 4; g++) record_gate_crossing(b, g, 1000 + 200 * g);
  // c: missed gate 2, so it never rode a section across it cleanly.
  record_gate_crossing(c, 0, 1000);
  record_gate_crossing(c, 1, 1010);
  record_gate_crossing(c, 3, 1020);
  update_standings();
  struct Case {
    int a, b;
    int ticks;
  };
  const Case cases[] = {
      {1, 3, (200 + 400) / 2},
      {-1, 1, (1100 + 1200 + 1010) / 3},  // from the start of the clock
      {5, 7, 300},                        // a's second lap only
      {9, 11, 300},                       // the same stretch a lap later
      {6, 8, 7680},                       // nobody reached gate 8: 60 s
  };
  for (const Case& k : cases) EXPECT_EQ(expected_section_ticks(k.a, k.b), k.ticks) << k.a << " " << k.b;
}
