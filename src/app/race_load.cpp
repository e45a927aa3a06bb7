// race_load.cpp -- turning a lineup into a running race: the robot roster
// and its shuffle, keeping or loading the track, creating and placing every
// rider on the grid, and the time-trial restart.
#include "app/app.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/settings.h"
#include "physics/control.h"
#include "physics/physics.h"
#include "physics/roost.h"
#include "physics/rider.h"
#include "platform/platform.h"
#include "race/race.h"
#include "render/model.h"
#include "track/terrain.h"
#include "track/track.h"

namespace {

// One robot: its number, personality, bike and skins (0 = the default skin).
struct RosterRow {
  const char* number;
  const char* personality;
  const char* bike;
  int body, head, bike_skin, wheels;
};

constexpr RosterRow ROSTER[80] = {
    {"20", "falcon", "kx125", 1, 1, 0, 0}, {"21", "falcon", "kx125", 2, 2, 0, 0},
    {"22", "falcon", "kx125", 3, 3, 0, 0}, {"23", "falcon", "kx125", 1, 0, 1, 1},
    {"24", "falcon", "kx125", 1, 0, 0, 0}, {"25", "falcon", "yz125", 2, 1, 0, 0},
    {"26", "falcon", "yz125", 3, 2, 0, 0}, {"27", "falcon", "yz125", 1, 2, 1, 1},
    {"28", "falcon", "yz125", 1, 3, 0, 0}, {"29", "falcon", "yz125", 2, 1, 0, 0},
    {"30", "falcon", "cr125", 3, 0, 0, 0}, {"31", "falcon", "cr125", 1, 1, 1, 1},
    {"32", "falcon", "cr125", 1, 2, 0, 0}, {"33", "falcon", "cr125", 2, 3, 0, 0},
    {"34", "falcon", "cr125", 3, 1, 0, 0}, {"35", "falcon", "rm125", 1, 0, 1, 1},
    {"36", "falcon", "rm125", 1, 1, 0, 0}, {"37", "falcon", "rm125", 2, 2, 0, 0},
    {"38", "falcon", "rm125", 3, 3, 0, 0}, {"39", "falcon", "rm125", 0, 1, 0, 0},
    {"40", "heron", "crf250", 1, 1, 0, 0}, {"41", "heron", "crf250", 2, 2, 0, 0},
    {"42", "heron", "crf250", 3, 3, 0, 0}, {"43", "heron", "crf250", 0, 0, 0, 0},
    {"44", "heron", "crf250", 1, 2, 0, 0}, {"45", "heron", "kx250f", 2, 3, 0, 0},
    {"46", "heron", "kx250f", 3, 1, 0, 0}, {"47", "heron", "kx250f", 0, 1, 0, 0},
    {"48", "heron", "kx250f", 1, 3, 0, 0}, {"49", "heron", "kx250f", 2, 1, 0, 0},
    {"50", "heron", "rmz250", 3, 2, 0, 0}, {"51", "heron", "rmz250", 0, 0, 0, 0},
    {"52", "heron", "rmz250", 1, 1, 0, 0}, {"53", "heron", "rmz250", 2, 2, 0, 0},
    {"54", "heron", "yz250f", 3, 3, 0, 0}, {"55", "heron", "yz250f", 0, 1, 0, 0},
    {"56", "heron", "yz250f", 1, 2, 0, 0}, {"57", "heron", "yz250f", 2, 3, 0, 0},
    {"58", "heron", "yz250f", 3, 1, 0, 0}, {"59", "heron", "yz250f_se(2006)", 0, 0, 0, 0},
    {"60", "falcon", "crf250", 1, 3, 0, 0}, {"61", "falcon", "crf250", 2, 1, 0, 0},
    {"62", "falcon", "crf250", 3, 2, 0, 0}, {"63", "falcon", "crf250", 0, 1, 0, 0},
    {"64", "falcon", "crf250", 1, 1, 0, 0}, {"65", "falcon", "kx250f", 2, 2, 0, 0},
    {"66", "falcon", "kx250f", 3, 3, 0, 0}, {"67", "falcon", "kx250f", 0, 0, 0, 0},
    {"68", "falcon", "kx250f", 1, 2, 0, 0}, {"69", "falcon", "kx250f", 2, 3, 0, 0},
    {"70", "falcon", "rmz250", 3, 1, 0, 0}, {"71", "falcon", "rmz250", 0, 1, 0, 0},
    {"72", "falcon", "rmz250", 1, 3, 0, 0}, {"73", "falcon", "rmz250", 2, 1, 0, 0},
    {"74", "falcon", "rmz250", 3, 2, 0, 0}, {"75", "falcon", "yz250f", 0, 0, 0, 0},
    {"76", "falcon", "yz250f", 1, 1, 0, 0}, {"77", "falcon", "yz250f", 2, 2, 0, 0},
    {"78", "falcon", "yz250f", 3, 3, 0, 0}, {"79", "falcon", "yz250f_se(2006)", 0, 0, 0, 0},
    {"80", "osprey", "crf250", 1, 1, 1, 1}, {"81", "osprey", "crf250", 2, 2, 2, 2},
    {"82", "osprey", "crf250", 1, 1, 1, 1}, {"83", "osprey", "crf250", 2, 2, 2, 2},
    {"84", "osprey", "crf250", 1, 1, 1, 1}, {"85", "osprey", "kx250f", 1, 1, 1, 1},
    {"86", "osprey", "kx250f", 2, 2, 2, 2}, {"87", "osprey", "kx250f", 1, 1, 1, 1},
    {"88", "osprey", "kx250f", 2, 2, 2, 2}, {"89", "osprey", "kx250f", 1, 1, 1, 1},
    {"90", "osprey", "yz250f", 1, 1, 1, 1}, {"91", "osprey", "yz250f", 2, 2, 2, 2},
    {"92", "osprey", "yz250f", 1, 1, 1, 1}, {"93", "osprey", "yz250f", 2, 2, 2, 2},
    {"94", "osprey", "yz250f", 1, 1, 1, 1}, {"95", "osprey", "rmz250", 1, 1, 1, 1},
    {"96", "osprey", "rmz250", 2, 2, 2, 2}, {"97", "osprey", "rmz250", 1, 1, 1, 1},
    {"98", "osprey", "rmz250", 2, 2, 2, 2}, {"99", "osprey", "rmz250", 1, 1, 1, 1},
};

// Bike names older data calls by their model alone.
constexpr const char* RENAMES[][2] = {{"crf250", "crf250(2008)"},
                                      {"kx250f", "kx250f(2008)"},
                                      {"rmz250", "rmz250(2008)"},
                                      {"yz250f", "yz250f(2008)"}};

const char* renamed(const char* bike) {
  for (const auto& r : RENAMES)
    if (strcmp(bike, r[0]) == 0) return r[1];
  return bike;
}

// The prefix of a bike's skin files.
std::string skin_prefix(const std::string& bike) {
  for (const char* p : {"yz250f_se", "crf250", "kx250f", "rmz250", "yz250f", "cr125", "kx125", "rm125", "yz125"})
    if (bike.rfind(p, 0) == 0) return std::string(p) + "-";
  return "";
}

std::string skin(const char* prefix, int n) {
  return n ? std::string("@") + prefix + "alt" + std::to_string(n) + ".png" : "";
}

const char* or_null(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }

struct LoadState {
  int lineup[RACE_SLOTS];
  int viewed_slot = 0;
};

LoadState g_load;

Vec3 chassis_position(const Rider& r) {
  const dReal* p = dBodyGetPosition(rider_chassis(&r));
  return {(float)p[0], (float)p[1], (float)p[2]};
}

}  // namespace

void show_status(const char* text) {
  // Drawn as a title-screen frame once the window exists; logged meanwhile.
  if (game_settings().debug_level >= 1) log_printf("%s\n", text);
}

int race_viewed_slot() { return g_load.viewed_slot; }

GridPlace grid_place(int slot) {
  const Track& t = track_current();
  GridPlace p{};
  if (t.gate_bar_count > 0) {
    const GateBar& bar = t.gate_bars[slot % t.gate_bar_count];
    int row = slot / t.gate_bar_count;
    p.x = bar.x + 10 * (row + 0.0625f) * std::sin(bar.angle);
    p.z = bar.z + 10 * (row + 0.0625f) * std::cos(bar.angle);
    p.heading = bar.angle;
  } else {
    float extent = terrain_record().extent;
    p.x = extent / 2 + 5.0f * (float)slot;
    p.z = extent / 2;
    p.heading = 0;
  }
  return p;
}

void shuffle_roster(int order[80]) {
  for (int i = 0; i < 80; i++) order[i] = i;
  for (int n = 79; n >= 1; n--) {
    // Modulo n, not n + 1: no row keeps its place.
    int k = (int)((random_next() >> 16) % (uint32_t)n);
    std::swap(order[n], order[k]);
  }
}

int roster_pick(int order[80], int cursor, int entry) {
  auto matches = [&](int row) {
    if (entry == 3) return strstr(ROSTER[row].bike, "125") != nullptr;
    if (entry == 4) return strstr(ROSTER[row].bike, "250") != nullptr;
    if (entry > 999) return std::to_string(entry - 1000) == ROSTER[row].number;
    return false;
  };
  if (entry == 3 || entry == 4 || entry > 999) {
    for (int i = 79; i > cursor; i--)
      if (matches(order[i])) {
        std::swap(order[i], order[cursor]);
        break;
      }
  }
  return order[cursor];
}

const char* roster_number(int row) { return ROSTER[row].number; }
const char* roster_bike(int row) { return ROSTER[row].bike; }

void restart_time_trial() {
  RaceState& rs = race_state();
  // Demo playback and recording arrive with the demo subsystem.
  for (int slot = 1; slot < RACE_SLOTS; slot++) {
    destroy_rider(rs.riders[slot]);
    race_set_slot(slot, nullptr, SLOT_REMOTE);
  }
  Rider* player = rs.riders[0];
  float x, z, heading;
  if (!player || !time_trial_start_place(&x, &z, &heading)) return;
  place_rider(player, x, z, heading);
  physics_empty_contacts();
  time_trial_restart(player);
}

bool load_race(const int* lineup, bool playback, bool record_demo, int race_length_ticks, int laps,
               int robot_skill) {
  RaceState& rs = race_state();
  const GameSettings& gs = game_settings();
  (void)playback;
  (void)record_demo;
  (void)robot_skill;
  // Race control reads the riders through the physics world.
  race_install_physics_hooks();
  // 1. The points series scores an unfinished counted race: series.
  show_status("Resetting...");
  // 2. The roster shuffle, from the tick the last race reached.
  random_seed((uint32_t)rs.race_tick);
  int order[80];
  shuffle_roster(order);
  int cursor = 0;
  // 3-4. Saving the riding lines and closing demos: robots and demos.
  show_status("Remembering lines...");
  // 5. The previous riders.
  show_status("Cleaning up...");
  log_printf("Deallocating bikes\n");
  for (int slot = 0; slot < RACE_SLOTS; slot++) {
    // Engine voices arrive with the sound subsystem.
    destroy_rider(rs.riders[slot]);
    rs.riders[slot] = nullptr;
  }
  log_printf("Finished deallocating bikes\n");
  // 6. The clock: the gate drops between 13 and 15 s.
  bool time_trial = lineup == nullptr;
  uint32_t r = random_next() & 0x7fffffffu;
  int start_tick = (int)((2.0 * r / 2147483648.0 + 13) / SIM_STEP);
  race_reset();
  race_start(race_length_ticks, laps, start_tick, time_trial);
  // 7-8. The track: kept when it is the one already loaded.
  Track& track = track_current();
  if (track.track_name.empty() || track.track_name != gs.track) {
    if (!track.track_name.empty()) track_unload();
    models_new_generation();
    track.track_name = gs.track;
    if (!track_load()) return false;
  }
  // 9. The lineup of this race.
  for (int i = 0; i < RACE_SLOTS; i++) g_load.lineup[i] = time_trial ? (i == 0) : lineup[i];
  // 10. The viewed slot: the first human; every later human becomes empty.
  g_load.viewed_slot = 0;
  bool any = false, human = false;
  for (int i = 0; i < RACE_SLOTS; i++) {
    if (g_load.lineup[i] && !any) {
      any = true;
      g_load.viewed_slot = i;
    }
    if (g_load.lineup[i] == 1) {
      if (human) g_load.lineup[i] = 0;
      else g_load.viewed_slot = i;
      human = true;
    }
  }
  if (!any) g_load.lineup[0] = 2;
  // 11. Riding lines: robots.
  // 12. Every rider at its start place.
  show_status("Loading bikes...");
  for (int slot = 0; slot < RACE_SLOTS; slot++) {
    int entry = g_load.lineup[slot];
    if (entry <= 0 || entry == 5) {
      // Demo riders and the server's players arrive with demos and the network.
      race_set_slot(slot, nullptr, SLOT_REMOTE);
      continue;
    }
    std::string number, bike, body, head, bike_skin, wheels;
    SlotKind kind;
    if (entry == 1) {
      kind = SLOT_LOCAL;
      number = gs.player_number;
      bike = gs.player_bike;
    } else {
      kind = SLOT_ROBOT;
      const RosterRow& row = ROSTER[roster_pick(order, cursor, entry)];
      number = entry > 999 ? std::to_string(entry - 1000) : row.number;
      bike = renamed(row.bike);
      body = skin("rider_body-", row.body);
      head = skin("rider_head-", row.head);
      bike_skin = skin(skin_prefix(bike).c_str(), row.bike_skin);
      wheels = skin("wheels-", row.wheels);
      cursor++;
    }
    Rider* rider = create_rider(renamed(bike.c_str()), slot, number.c_str(), or_null(body), or_null(head),
                                or_null(bike_skin), or_null(wheels));
    if (!rider) {
      race_set_slot(slot, nullptr, SLOT_REMOTE);
      continue;
    }
    race_set_slot(slot, rider, kind);
    // Engine sound set-up arrives with the sound subsystem.
    GridPlace p = grid_place(slot);
    place_rider(rider, p.x, p.z, p.heading);
    if (kind == SLOT_LOCAL) {
      race_set_start_position(chassis_position(*rider));
    }
    enable_rider(rider);
    // Robot personalities arrive with the robot riders.
  }
  // 13. Demo recording: demos.
  // 14. The roost particles; the robots' line picks arrive with the robots.
  reset_roost();
  // 15. Texture accounting arrives with the renderer's texture cache.
  models_release_stale();
  // 16. Race end and gate bars were set by race_start.
  // 17. The time trial starts at its checkpoint; demo frames arrive with demos.
  if (time_trial) restart_time_trial();
  update_standings();
  // 18. The view, contacts and the player's settings.
  if (!rs.riders[g_load.viewed_slot] && rs.live_order.count > 0)
    g_load.viewed_slot = rs.live_order.entries[0].slot;
  physics_empty_contacts();
  if (Rider* viewed = rs.riders[g_load.viewed_slot])
    if (rs.slot_kind[g_load.viewed_slot] == SLOT_LOCAL) apply_rider_settings(viewed);
  return true;
}
