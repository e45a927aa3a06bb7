// ride_fixture.h -- races on the built archives ridden by the autopilot:
// the game data in a temporary home, the player's default settings on
// every bike, and a step that drives every rider before the frame step.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app.h"
#include "autopilot.h"
#include "common/settings.h"
#include "data/data.h"
#include "physics/bike_spec.h"
#include "physics/control.h"
#include "physics/physics.h"
#include "physics/shape.h"
#include "platform/platform.h"
#include "race/race.h"
#include "render/model.h"
#include "track/track.h"
#include "game_data_home.h"

class RideFixture : public ::testing::Test {
 protected:
  inline static GameDataHome data;

  static void SetUpTestSuite() {
    data.open("ride");
    make_home_folder();
    settings_reset();
    bike_settings_reset();
    apply_stability_preset(bike_setting(SETTING_STABILITY));
    physics_init();
    race_install_physics_hooks();
  }
  static void TearDownTestSuite() {
    free_race_world();
    data.close();
  }

  // A race of `riders` (slot 0 the player, the rest robots) on track, every
  // one ridden by the autopilot with the player's settings. The seed is fixed
  // so a failure can be ridden again.
  void start_race(const char* track, int riders, int laps) {
    game_settings().track = track;
    int lineup[RACE_SLOTS] = {};
    lineup[0] = 1;
    for (int i = 1; i < riders; i++) lineup[i] = 2;
    race_state().race_tick = 4321;
    ASSERT_TRUE(load_race(lineup, false, false, 0, laps, 0));
    for (int slot = 0; slot < RACE_SLOTS; slot++)
      if (Rider* r = race_state().riders[slot]) {
        apply_rider_settings(r);
        apply_rider_masses(r);
      }
    ASSERT_TRUE(autopilot_path_build(&path, tuning));
    pilots.assign(RACE_SLOTS, Autopilot{});
    for (Autopilot& a : pilots) autopilot_start(&a, &path, tuning);
    crashes.assign(RACE_SLOTS, 0);
  }

  Rider* rider(int slot) { return race_state().riders[slot]; }

  // One race step: the autopilot on every rider, then the game's frame step.
  void step() {
    RaceState& rs = race_state();
    for (int slot = 0; slot < RACE_SLOTS; slot++)
      if (Rider* r = rs.riders[slot]) autopilot_drive(&pilots[(size_t)slot], r);
    frame_step();
    count_crashes();
  }

  // The autopilot's channels with the caller's changes, through the
  // player's control code.
  void step_with(int slot, void (*change)(ControlChannels& ch)) {
    RaceState& rs = race_state();
    for (int s = 0; s < RACE_SLOTS; s++) {
      Rider* r = rs.riders[s];
      if (!r) continue;
      Autopilot& a = pilots[(size_t)s];
      ControlChannels ch = autopilot_channels(&a, r);
      if (s == slot) change(ch);
      bool reverse = bike_setting(SETTING_REVERSE_STEERING) >= 0.5;
      apply_controls(r, controls_from_channels(ch, reverse, false, rider_clutch(r), a.memory));
    }
    frame_step();
    count_crashes();
  }

  void run_to_gate_drop() {
    while (race_state().race_tick <= race_state().start_tick) step();
  }

  static Vec3 position(const Rider* r) {
    const dReal* p = dBodyGetPosition(rider_chassis(r));
    return {(float)p[0], (float)p[1], (float)p[2]};
  }
  static float ground_speed(const Rider* r) {
    const dReal* v = dBodyGetLinearVel(rider_chassis(r));
    return (float)std::sqrt(v[0] * v[0] + v[2] * v[2]);
  }

  AutopilotTuning tuning;
  AutopilotPath path;
  std::vector<Autopilot> pilots;
  std::vector<int> crashes;  // per slot, times thrown off
  bool was_crashed[RACE_SLOTS] = {};

 private:
  void count_crashes() {
    for (int slot = 0; slot < RACE_SLOTS; slot++) {
      Rider* r = race_state().riders[slot];
      bool now = r && r->crash_timer > 0;
      if (now && !was_crashed[slot]) crashes[(size_t)slot]++;
      was_crashed[slot] = now;
    }
  }
};
