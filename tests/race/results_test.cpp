// results_test.cpp -- the results file of a scripted race, byte for byte,
// and when no file is written.
#include <fstream>
#include <sstream>

#include "race_fixture.h"

namespace {

std::string read_bytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Who stands on which checkpoint at which tick.
struct Crossing {
  int tick;
  int slot;
  int checkpoint;
};

}  // namespace

class ResultsTest : public RaceFixture {
 protected:
  void SetUp() override {
    RaceFixture::SetUp();
    // The first lap starts past checkpoint 0 and runs 1, 2; later laps 0, 1, 2.
    set_track(3, {1, 2}, {0, 1, 2});
  }

  // Runs every tick up to `end`, each rider standing where the script puts
  // it at that tick and far away otherwise.
  void run_script(const std::vector<Crossing>& script, int end) {
    for (int tick = 0; tick <= end; tick++) {
      set_tick(tick);
      for (int slot = 0; slot < RACE_SLOTS; slot++) {
        Rider* r = race_rider(slot);
        if (!r) continue;
        place(r, race_test::AWAY);
        for (const Crossing& c : script)
          if (c.tick == tick && c.slot == slot) place(r, checkpoint_point(c.checkpoint));
        check_gates(r);
      }
    }
  }

  std::filesystem::path results_path() const { return scratch_ / "Kestrail" / "results.txt"; }
};

// Two laps, two riders. Slot 3 skips checkpoint 0 of its second lap and is
// first over the line, but the 320-tick penalty for the cut puts it second.
TEST_F(ResultsTest, ScriptedTwoLapRace) {
  race_start(0, 2, 1664, false);
  add_rider(0, SLOT_ROBOT, "20", "kx125");
  add_rider(3, SLOT_LOCAL, "7", "yz250f");
  const std::vector<Crossing> script = {
      {1984, 0, 1}, {2000, 3, 1}, {2624, 0, 2}, {2656, 3, 2}, {2944, 0, 0},
      {3104, 3, 1},  // the cut
      {3264, 0, 1}, {3584, 3, 2}, {3744, 0, 2},
  };
  run_script(script, 3800);
  ASSERT_TRUE(race_state().results_final);
  EXPECT_EQ(race_state().final_order.entries[1].penalty_ticks, 320);
  std::string expected = read_bytes(std::string(KT_TEST_DIR) + "/fixtures/two_riders_results.txt");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(read_bytes(results_path()), expected);
}

TEST_F(ResultsTest, NoFileWhenTheFirstOfTheFinalOrderHasNotFinished) {
  // Online, two laps. The player finished but cut its second lap and loses
  // a lap for it, which drops it behind a remote rider that went silent in
  // its second lap: that rider is not waited for, but it has not finished,
  // so there is nothing to print.
  race_start(0, 2, 1664, false);
  race_state().online = true;
  race_state().my_slot = 0;
  Rider* me = add_rider(0, SLOT_LOCAL, "5", "kx125");
  Rider* silent = add_rider(1, SLOT_REMOTE, "9", "rm125");
  const int my_ticks[] = {2000, 2100, 2200, -1, 2600};
  for (int i = 0; i < 5; i++)
    if (my_ticks[i] >= 0) record_gate_crossing(me, i, my_ticks[i]);
  me->race.finished = true;
  for (int i = 0; i < 4; i++) record_gate_crossing(silent, i, 1900 + 10 * i);
  race_note_remote_state(1, 2000);
  set_tick(2700);
  update_standings();
  ASSERT_TRUE(race_state().results_final);
  const Standings& order = race_state().final_order;
  EXPECT_EQ(order.entries[0].slot, 1);
  EXPECT_EQ(order.entries[1].laps_lost, 1);
  // Nobody rode gates 2 to 4 cleanly: 60 s + 1 s allowed, 400 ticks taken,
  // less the 500-tick best lap.
  EXPECT_EQ(order.entries[1].penalty_ticks, 7808 - 400 - 500);
  EXPECT_FALSE(std::filesystem::exists(results_path()));
}
