// results_test.cpp -- a two-lap race of two autopilot riders on "arena"
// ends with final standings and a results file that matches race control.
#include "ride_fixture.h"

#include <fstream>
#include <iterator>
#include <sstream>

namespace {

class RaceResults : public RideFixture {};

std::string clock_text(float seconds) {
  int ms = (int)(seconds * 1000);
  char out[32];
  snprintf(out, sizeof out, "%3d:%02d.%03d", ms / 60000, ms / 1000 - ms / 60000 * 60, ms % 1000);
  return out;
}

TEST_F(RaceResults, TwoRidersTwoLapsWriteTheResultsFile) {
  std::filesystem::path file = std::string(search_path(0)) + "results.txt";
  std::filesystem::remove(file);
  start_race("arena", 2, 2);
  const RaceState& rs = race_state();
  const int limit = (int)(400 / SIM_STEP);
  while (!rs.results_final && rs.race_tick < limit) step();
  ASSERT_TRUE(rs.results_final) << "laps: " << laps_completed(rider(0)) << ", " << laps_completed(rider(1));
  ASSERT_EQ(rs.final_order.count, 2);
  for (int i = 0; i < 2; i++) {
    const Rider* r = rider(rs.final_order.entries[i].slot);
    EXPECT_TRUE(r->race.finished);
    EXPECT_EQ(laps_completed(r), 2);
    EXPECT_EQ(rs.final_order.entries[i].penalty_ticks, 0) << "a clean ride is never penalised";
  }

  std::ifstream in(file, std::ios::binary);
  ASSERT_TRUE(in) << file;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Every line ends in CR LF, and no LF stands alone.
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t lf = text.find('\n', at);
    ASSERT_NE(lf, std::string::npos);
    ASSERT_GT(lf, at) << "empty line without CR at byte " << lf;
    ASSERT_EQ(text[lf - 1], '\r') << "line " << lines.size() + 1;
    lines.push_back(text.substr(at, lf - 1 - at));
    at = lf + 1;
  }
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0].rfind("Time=0.00|Laps=2|Track=arena|Date=", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1], " No. |         Bike | Laps | Total Time | BLap |  Best Time");
  for (int i = 0; i < 2; i++) {
    const StandingEntry& e = rs.final_order.entries[i];
    const Rider* r = rider(e.slot);
    int best = best_lap_number(r);
    EXPECT_EQ(best, 2) << "lap 1 never counts, so the second is the best of two";
    char want[160];
    snprintf(want, sizeof want, "%4s | %12s | %4d | %s | %4d | %s", r->race.number_text.c_str(),
             r->race.bike_key.c_str(), 2, clock_text((float)((e.last_tick - rs.start_tick) * SIM_STEP)).c_str(),
             best, clock_text(lap_time(r, best)).c_str());
    EXPECT_EQ(lines[(size_t)(2 + i)], want);
  }
  // Then each finisher's gates: a blank line, the gate count, one line of times per lap.
  const TrackTiming& timing = track_current().timing;
  size_t line = 4;
  for (int i = 0; i < 2; i++) {
    const StandingEntry& e = rs.final_order.entries[i];
    const Rider* r = rider(e.slot);
    ASSERT_LT(line + 2, lines.size());
    EXPECT_EQ(lines[line++], "");
    EXPECT_EQ(lines[line++], std::to_string(e.gate_count));
    int gate = 0;
    for (int lap = 1; lap <= 2; lap++) {
      int n = lap == 1 ? timing.first_lap_gates : timing.normal_lap_gates;
      ASSERT_LT(line, lines.size());
      std::istringstream times(lines[line++]);
      for (int k = 0; k < n; k++, gate++) {
        double t = 0;
        ASSERT_TRUE(times >> t) << "lap " << lap << " gate " << k;
        EXPECT_NEAR(t, (gate_time(r, gate) - rs.start_tick) * SIM_STEP, 0.0006);
      }
      std::string extra;
      EXPECT_FALSE(times >> extra) << "more than a lap on one line";
    }
  }
  EXPECT_EQ(line, lines.size());
}

}  // namespace
