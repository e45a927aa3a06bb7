// ride.cpp -- the headless autopilot race shared by kestrail-ride and the
// race benchmark.
#include "ride.h"

#include <chrono>
#include <vector>

#include "app/app.h"
#include "autopilot.h"
#include "common/settings.h"
#include "data/data.h"
#include "physics/bike_spec.h"
#include "physics/control.h"
#include "physics/physics.h"
#include "platform/platform.h"
#include "race/race.h"
#include "track/track.h"

namespace {

struct Ride {
  AutopilotPath path;
  std::vector<Autopilot> pilots;
  double autopilot_seconds = 0;
};

Ride g_ride;

void free_riders() {
  RaceState& rs = race_state();
  for (Rider*& r : rs.riders) {
    destroy_rider(r);
    r = nullptr;
  }
}

}  // namespace

bool ride_begin(const RideSetup& setup, std::string* error) {
  settings_reset();
  bike_settings_reset();
  // The player's assists at the default "Stability", as start-up sets them.
  apply_stability_preset(bike_setting(SETTING_STABILITY));
  make_home_folder();
  if (const char* home = search_path(0)) log_printf("VORN_LOGFILE=%sridelog.txt", home);
  if (!find_game_data()) {
    *error = "can't find game data (next to the program or in KT_HOME)";
    return false;
  }
  bool listed = false;
  for (const TrackListEntry& e : install_track_list()) listed = listed || e.directory == setup.track;
  if (!listed) {
    *error = "no track named '" + setup.track + "'";
    return false;
  }

  physics_init();
  race_install_physics_hooks();
  // Every ride starts as a fresh program does, so that one setup is one race.
  race_state().race_tick = 0;
  GameSettings& gs = game_settings();
  gs.track = setup.track;
  if (!setup.bike.empty()) gs.player_bike = setup.bike;
  int lineup[RACE_SLOTS] = {};
  lineup[0] = 1;
  for (int i = 1; i < setup.riders && i < RACE_SLOTS; i++) lineup[i] = 2;
  int length_ticks = setup.seconds > 0 ? (int)(setup.seconds / SIM_STEP) : 0;
  if (!load_race(lineup, false, false, length_ticks, ride_laps(setup), 0)) {
    *error = "track '" + setup.track + "' could not be loaded";
    physics_shutdown();
    return false;
  }
  RaceState& rs = race_state();
  // Every bike is ridden here as the player rides: with the player's settings.
  for (Rider* r : rs.riders)
    if (r) {
      apply_rider_settings(r);
      apply_rider_masses(r);
    }

  AutopilotTuning tuning;
  g_ride = Ride{};
  if (!autopilot_path_build(&g_ride.path, tuning)) {
    *error = "track '" + setup.track + "' has no checkpoints to ride";
    free_riders();
    track_unload();
    physics_shutdown();
    return false;
  }
  g_ride.pilots.resize(RACE_SLOTS);
  for (Autopilot& a : g_ride.pilots) autopilot_start(&a, &g_ride.path, tuning);
  return true;
}

void ride_tick() {
  auto start = std::chrono::steady_clock::now();
  RaceState& rs = race_state();
  for (int slot = 0; slot < RACE_SLOTS; slot++)
    if (Rider* r = rs.riders[slot]) autopilot_drive(&g_ride.pilots[(size_t)slot], r);
  g_ride.autopilot_seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  frame_step();
}

double ride_autopilot_seconds() { return g_ride.autopilot_seconds; }

int ride_laps(const RideSetup& setup) { return setup.laps > 0 ? setup.laps : (setup.seconds > 0 ? 0 : 3); }

void ride_end() {
  free_riders();
  track_unload();
  physics_shutdown();
  g_ride = Ride{};
}
