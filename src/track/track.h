// track.h -- the loaded track: its identity and digest, timing gates and lap
// lists, starting-gate bars, billboards, statues with their collision bins,
// flaggers, lighting and the map, with the loader and the editor's writers.
#pragma once

#include <cstdint>
#include <string>

#include "common/common.h"
#include "track/terrain.h"

struct Stream;
struct Mesh;
struct Shape;

inline constexpr int CHECKPOINT_LIMIT = 256;
inline constexpr int LAP_LIST_LIMIT = 256;        // entries of each lap list
inline constexpr int GATE_BAR_LIMIT = 40;
inline constexpr int LAP_ENTRY_UNUSED = 100000;   // added to an entry the line analysis skips
inline constexpr int PARTICLE_BILLBOARDS = 2000;  // the roost particle pool
inline constexpr int STATUE_BIN_SIDE = 8;
inline constexpr int FLARE_ELEMENTS = 8;

// ---------------------------------------------------------------- timing

struct Checkpoint {
  float x, y, z;     // ft
  float nx, ny, nz;  // direction a rider crosses it
  float radius;      // ft
};

struct TrackTiming {
  Checkpoint checkpoints[CHECKPOINT_LIMIT] = {};
  int checkpoint_count = 0;
  // The first-lap list, then the normal-lap list. An entry at or above
  // LAP_ENTRY_UNUSED names checkpoint entry - LAP_ENTRY_UNUSED.
  int lap_gate_list[2 * LAP_LIST_LIMIT] = {};
  int first_lap_gates = 0, normal_lap_gates = 0;
  int first_lap_line_gates = 0, normal_lap_line_gates = 0;  // entries below LAP_ENTRY_UNUSED
};

// A starting-gate bar as written in timing_gates, and the statue drawing it.
struct GateBar {
  float x, y, z;  // ft
  float angle;    // rad, -pi..pi
  int statue;
};

// ---------------------------------------------------------------- objects

// A camera-facing quad from y up to y + size.
struct Billboard {
  float x, y, z;       // ft; y is the ground plus y_offset
  float size;          // ft
  float y_offset;      // ft
  float width_ratio;   // width as a multiple of size
  int sort_key;        // the scene's depth key
  TextureId texture;
  uint8_t r, g, b, a;
  std::string texture_name;  // as read, without a colour prefix; written back by the editor
};

struct Statue {
  Mesh* model;          // null when the model file cannot be read
  Shape* shape;         // own copy, null when none
  TextureId texture;
  TextureId normal_map;
  TextureId specular_map;
  float x, y, z;        // ft; y is the ground plus y_offset
  float y_offset;       // ft
  float angle;          // rad; see statue_orientation for the special ranges
  Mat3 orientation;     // columns: the model's x, y and z axes in the world
  float face_camera_size;  // 2^angle for statues that turn toward the camera, else 0
  int tick_stamp;
  std::string model_name, texture_name, shape_name;  // as read; shape "" when none
};

struct StartFlagger {
  int billboard = -1;
  Vec3 from, to;         // ft
  float size = 0, width_ratio = 0;
  float walk_time = 0;   // s
  TextureId textures[5] = {};
};

struct FinishFlagger {
  int billboard = -1;
  TextureId textures[4] = {};
};

struct TrackFlagger {
  int billboard;
  TextureId textures[2];
  int checkpoints[4];  // -1 .. checkpoint_count - 1
};

// ---------------------------------------------------------------- lighting

struct FlareElement {
  float a = 0, b = 0;    // offset pair
  Vec3 color{1, 1, 1};
  float size = 1;
  TextureId texture = 0;
};

struct Flare {
  Vec3 position;            // a point, or a direction for kind 1
  float state[2] = {0, 0};  // the renderer's
  FlareElement elements[FLARE_ELEMENTS];
  int element_count = 0;
  int kind = 0;             // 0 a point in the world, 1 a direction to a far source
  int spare = 0;
};

enum SkyFace { SKY_N, SKY_E, SKY_S, SKY_W, SKY_U, SKY_FACES };

struct Lighting {
  Vec3 sun_vector;       // unit, toward the sun
  Vec3 sun_color;
  Vec3 ambient;
  Vec3 global_ambient;
  TextureId sky[SKY_FACES] = {};
  TextureId sky_env = 0;
  float fog_color[4] = {1, 1, 1, 1};  // kept from track to track until a "fog" line sets it
  float fog_density = 0;              // exponential fog; 0 is none
  bool fog_configured = false;        // a lighting file was read; the scene applies fog
  GrowList<Flare> flares;
};

// ---------------------------------------------------------------- the track

struct Track {
  std::string track_name;   // directory name chosen by the player or the server
  std::string track_title;  // the name shown to people
  uint8_t track_digest[20] = {};
  TrackTiming timing;
  GateBar gate_bars[GATE_BAR_LIMIT] = {};
  int gate_bar_count = 0;
  GrowList<Billboard> billboards;
  GrowList<uint32_t> billboard_slots;  // two per billboard, the scene's
  GrowList<Statue> statues;
  GrowList<int> statue_bins[STATUE_BIN_SIDE * STATUE_BIN_SIDE];
  bool has_start_flagger = false, has_finish_flagger = false;
  StartFlagger start_flagger;
  FinishFlagger finish_flagger;
  GrowList<TrackFlagger> flaggers;
  int first_track_billboard = 0;
  int first_track_statue = 0;
  TextureId map_texture = 0;
};

// The one loaded track and its lighting.
Track& track_current();
Lighting& track_lighting();

// The track list made at start-up: directory names and the names shown for
// them. track_load takes track_title from it.
void track_list_set(const std::string* directories, const std::string* titles, int count);

// ---------------------------------------------------------------- load and unload

// Loads the track named by track_current().track_name from "@" + name. False
// when the terrain cannot be loaded; the name and title are then cleared.
bool track_load();
// Frees everything track_load built, the terrain included.
void track_unload();

// ---------------------------------------------------------------- readers

// Each reads one object file from an open stream into the current track.
void timing_gates_parse(Stream* s);
void flaggers_parse(Stream* s);
void billboards_parse(Stream* s);
void statues_parse(Stream* s);
// Returns false when a line stopped the file with an unknown keyword.
bool lighting_parse(Stream* s);
// Puts the lighting back to its defaults (all but the fog colour).
void lighting_reset();
// After a lighting file: normalises the sun, fills missing sky faces from
// their default names and records the fog for the scene.
void lighting_finish();

// ---------------------------------------------------------------- objects

// New billboard; name may carry a "#RRGGBB#" colour prefix, or be null.
// Returns its index.
int billboard_create(float x, float y_offset, float z, float size, float width_ratio, const char* name);
// New statue; shape_name null for none. Returns its index.
int statue_create(float x, float y_offset, float z, float angle, const char* model_name,
                  const char* texture_name, const char* shape_name);
// Recomputes y and orientation after the editor moved or turned statue i.
void statue_place(int index);
// The orientation of an object at x, z (ft) with angle (rad): tilted with
// the ground for -2pi < angle < 3.25, upright at or below -2pi, unturned
// and upright from 3.25 (objects that face the camera).
Mat3 statue_orientation(float x, float z, float angle);
// Empties the statue bins and bins every statue with a shape again.
void statue_bins_rebuild();

// ---------------------------------------------------------------- editor writers

// Each writes its file of the current track; false after posting "Can't open '<file>'".
bool billboards_save();
bool statues_save();
bool timing_gates_save();
