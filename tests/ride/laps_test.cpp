// laps_test.cpp -- the autopilot rides three laps of each generated track
// from the gate without falling, over every jump on the way, and finds its
// place on the line wherever the rider is.
#include "ride_fixture.h"

#include <cstdio>

namespace {

class Laps : public RideFixture {
 protected:
  struct JumpLog {
    int passes = 0;   // times ridden over the lip on the line
    int flown = 0;    // of those, times the bike left the ground after it
  };

  // Rides `laps` laps and checks them; min_jumps is how many take-offs
  // the track's course is built with.
  void ride_laps(const char* track, int laps, int min_jumps) {
    start_race(track, 1, laps);
    ASSERT_GE((int)path.jumps.size(), min_jumps) << "take-offs found along the line";
    std::vector<JumpLog> log(path.jumps.size());
    std::vector<int> air_after(path.jumps.size(), -1);  // ticks since the lip, -1 = not watching
    Rider* r = rider(0);
    const Autopilot& a = pilots[0];
    int previous = -1;
    int air_ticks = 0;
    const int limit = (int)(laps * 400 / SIM_STEP);
    while (laps_completed(r) < laps && race_state().race_tick < limit) {
      step();
      bool in_air = r->wheels[WHEEL_FRONT].depth <= 0 && r->wheels[WHEEL_REAR].depth <= 0;
      air_ticks = in_air ? air_ticks + 1 : 0;
      for (size_t j = 0; j < path.jumps.size(); j++) {
        int lip = path.jumps[j].lip;
        if (previous >= 0 && previous < lip && a.index >= lip && a.index - previous < 50) {
          const PathSample& s = path.samples[(size_t)lip];
          Vec3 p = position(r);
          if (std::hypot(p.x - s.x, p.z - s.z) < 8) {
            log[j].passes++;
            air_after[j] = 0;
          }
        }
        if (air_after[j] >= 0) {
          // A tenth of a second off the ground within a second of the lip.
          if (air_ticks >= 13) {
            log[j].flown++;
            air_after[j] = -1;
          } else if (++air_after[j] > 128) {
            air_after[j] = -1;
          }
        }
      }
      previous = a.index;
    }
    int ticks = race_state().race_tick - race_state().start_tick;
    EXPECT_EQ(laps_completed(r), laps) << "after " << ticks * SIM_STEP << " s of racing";
    EXPECT_EQ(crashes[0], 0);
    for (int lap = 1; lap <= laps_completed(r); lap++) {
      printf("%s lap %d: %.2f s\n", track, lap, lap_time(r, lap));
      EXPECT_GT(lap_time(r, lap), 0) << "lap " << lap << " is missing a gate";
    }
    for (size_t j = 0; j < log.size(); j++) {
      const PathSample& s = path.samples[(size_t)path.jumps[j].lip];
      printf("%s take-off at (%.0f, %.0f), %.0f ft round: passed %d, flown %d, lip speed %.0f ft/s\n", track, s.x,
             s.z, s.s, log[j].passes, log[j].flown, path.jumps[j].lip_speed);
      EXPECT_GE(log[j].passes, laps) << "take-off at (" << s.x << ", " << s.z << ")";
      EXPECT_GE(log[j].flown, laps) << "rolled over the take-off at (" << s.x << ", " << s.z << ")";
    }
  }
};

TEST_F(Laps, ThreeLapsOfRabbitHill) { ride_laps("rabbithill", 3, 7); }

TEST_F(Laps, ThreeLapsOfTheArena) { ride_laps("arena", 3, 2); }

// The nearest sample is found through buckets of the line; it must be the
// one a scan of every sample finds (the first of equals), on the line, off
// it and far outside the track, and at the samples themselves.
using AutopilotLine = RideFixture;

TEST_F(AutopilotLine, NearestSampleThroughBucketsIsTheScansNearest) {
  start_race("rabbithill", 1, 1);
  const AutopilotPath& p = path;
  ASSERT_GT(p.samples.size(), 1000u);
  auto scan = [&](float x, float z) {
    int best = 0;
    float best_d = 1e30f;
    for (int i = 0; i < (int)p.samples.size(); i++) {
      float dx = p.samples[(size_t)i].x - x, dz = p.samples[(size_t)i].z - z;
      float d = dx * dx + dz * dz;
      if (d < best_d) best_d = d, best = i;
    }
    return best;
  };
  unsigned seed = 99;
  auto uniform = [&] {  // 0..1
    seed = seed * 1664525u + 1013904223u;
    return (float)(seed >> 8) / 16777216.0f;
  };
  for (int k = 0; k < 3000; k++) {
    float x, z;
    if (k % 3 == 0) {  // a sample itself, or just beside one
      const PathSample& s = p.samples[(size_t)(uniform() * (float)(p.samples.size() - 1))];
      x = s.x + (k % 2 ? 0 : 3 * (uniform() - 0.5f));
      z = s.z;
    } else {  // anywhere over the field and well beyond it
      x = -3000 + 8000 * uniform();
      z = -3000 + 8000 * uniform();
    }
    ASSERT_EQ(autopilot_path_nearest(p, x, z), scan(x, z)) << "case " << k << " at " << x << ", " << z;
  }
}

}  // namespace
