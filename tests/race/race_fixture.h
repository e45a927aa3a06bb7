// race_fixture.h -- a race without physics: riders are plain records whose
// chassis positions and speeds the test sets, on a straight row of
// checkpoints, with the home folder in a scratch directory.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/common.h"
#include "data/data.h"
#include "race/race.h"

namespace race_test {

inline std::map<const Rider*, Vec3>& positions() {
  static std::map<const Rider*, Vec3> p;
  return p;
}
inline float& speed() {
  static float v = 50;  // ft/s
  return v;
}

inline Vec3 probe_position(const Rider& r) {
  auto it = positions().find(&r);
  return it == positions().end() ? Vec3{0, 0, -1000} : it->second;
}
inline float probe_speed(const Rider&) { return speed(); }

// Far from every checkpoint of the fixture tracks.
inline constexpr Vec3 AWAY{0, 0, -1000};

}  // namespace race_test

class RaceFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
      if (c == '/') c = '_';
    scratch_ = fs::path(KT_BUILD_DIR) / "race_scratch" / name;
    fs::remove_all(scratch_);
    fs::create_directories(scratch_);
    setenv("XDG_DATA_HOME", scratch_.c_str(), 1);
    data_paths_reset();
    messages_clear();

    race_reset();
    race_test::positions().clear();
    race_test::speed() = 50;
    RaceHooks hooks;
    hooks.chassis_position = race_test::probe_position;
    hooks.chassis_speed = race_test::probe_speed;
    hooks.calendar_time = [] { return 1700000000L; };
    race_set_hooks(hooks);
    Track& t = track_current();
    t.timing = TrackTiming{};
    t.track_name = "scripted";
  }

  void TearDown() override {
    race_reset();
    race_set_hooks(RaceHooks{});
    race_test::positions().clear();
    Track& t = track_current();
    t.timing = TrackTiming{};
    t.track_name.clear();
    t.gate_bar_count = 0;
    t.statues.clear();
    unsetenv("XDG_DATA_HOME");
    data_paths_reset();
    std::filesystem::remove_all(scratch_);
  }

  // Checkpoint i stands at x = 100 (i + 1) ft, z = 0, crossed toward +x,
  // 10 ft in radius; the lists name checkpoints by number.
  static void set_track(int checkpoints, const std::vector<int>& first, const std::vector<int>& normal) {
    TrackTiming& t = track_current().timing;
    t = TrackTiming{};
    for (int i = 0; i < checkpoints; i++) t.checkpoints[i] = Checkpoint{100.0f * (i + 1), 0, 0, 1, 0, 0, 10};
    t.checkpoint_count = checkpoints;
    int n = 0;
    for (int c : first) t.lap_gate_list[n++] = c;
    for (int c : normal) t.lap_gate_list[n++] = c;
    t.first_lap_gates = (int)first.size();
    t.normal_lap_gates = (int)normal.size();
  }

  // Four checkpoints, both laps through all four; checkpoint 3 is the line.
  static void set_square_track() { set_track(4, {0, 1, 2, 3}, {0, 1, 2, 3}); }

  Rider* add_rider(int slot, SlotKind kind = SLOT_ROBOT, const char* number = "", const char* bike = "") {
    Rider& r = riders_.emplace_back();
    r.race.number_text = number;
    r.race.bike_key = bike;
    race_set_slot(slot, &r, kind);
    return &r;
  }

  static void set_tick(int tick) { race_state().race_tick = tick; }

  static void place(const Rider* r, Vec3 p) { race_test::positions()[r] = p; }

  // The centre of checkpoint c of the fixture row.
  static Vec3 checkpoint_point(int c) { return Vec3{100.0f * (c + 1), 0, 0}; }

  // One tick of check_gates with r standing on checkpoint c, then away again.
  static void ride_through(Rider* r, int checkpoint) {
    place(r, checkpoint_point(checkpoint));
    check_gates(r);
    place(r, race_test::AWAY);
  }

  static std::vector<int> times_of(const Rider* r) {
    std::vector<int> v;
    for (int i = 0; i < r->race.gate_times.length; i++) v.push_back(r->race.gate_times.at(i));
    return v;
  }

  std::filesystem::path scratch_;
  std::deque<Rider> riders_;  // stable addresses for the slots
};
