// terrain.h -- the ground of the loaded track: height field, baked shading
// and shadows, tile map with its surface table, decals, and the height and
// normal queries that contact, robots and drawing ask many times a step.
#pragma once

#include <cstdint>
#include <string>

#include "common/common.h"

struct Stream;

// GL texture name; 0 draws untextured.
using TextureId = unsigned int;

inline constexpr int TILE_LIMIT = 256;       // ground tiles a track may define
inline constexpr int SURFACE_POINTS = 8;     // friction and rolling-resistance points per tile
inline constexpr int ROOST_TYPES = 4;        // kinds of dirt per tile
inline constexpr int DECAL_BIN_SIDE = 8;     // decal bins along each side of the field
inline constexpr int TERRAIN_MIN_EXPONENT = 6;   // the ground textures need 64 tile cells a side
inline constexpr int TERRAIN_MAX_EXPONENT = 11;  // 4097 samples a side is far beyond any track

// ---------------------------------------------------------------- surface table

enum RoostKind { ROOST_NONE = 0, ROOST_DIRT = 1, ROOST_SPLASH = 2 };

// What one kind of ground throws when a wheel slips on it.
struct RoostType {
  int kind = ROOST_NONE;
  TextureId texture = 0;          // particle texture, "@roost.png" unless given
  float count = 10;               // particles thrown
  float dig = 1;                  // digging strength
  float slip_threshold = 4;       // ft/s of wheel slip from which dirt flies
  float slow_angle = 1.5707964f;  // rad, launch angle at slow_speed
  float fast_angle = 0.19634955f; // rad, launch angle at fast_speed
  float slow_speed = 0;           // ft/s
  float fast_speed = 64;          // ft/s
  float size = 0.25f;             // ft, initial particle size
  float grow = 4;                 // size growth
  float drag = 0.5f;              // velocity damping per second
  float vscale = 1;               // vertical velocity scale
  float randomize = 15;           // random spread
  uint8_t r = 255, g = 255, b = 255, a = 255;
  int8_t fade_r = 0, fade_g = 0, fade_b = 0, fade_a = -2;  // colour change per simulation step
};

// The surface behaviour of one ground tile. Points are sorted by ascending
// speed; a speed of 0 marks an empty point and ends the list.
struct Surface {
  float friction_value[SURFACE_POINTS];
  float friction_speed[SURFACE_POINTS];  // ft/s
  float roll_value[SURFACE_POINTS][2];   // contact blends between the two
  float roll_speed[SURFACE_POINTS];      // ft/s
  RoostType roost[ROOST_TYPES];
};

// A ground decal: a rectangle size wide and size * aspect long, turned by angle.
struct Decal {
  TextureId texture;
  float x, z;       // ft, centre
  float angle;      // rad
  float size;       // ft
  float aspect;
  float sin_angle, cos_angle;
  std::string texture_name;  // as read, written back by the editor
};

// ---------------------------------------------------------------- the record

// Where an interrupted LOD error computation goes on.
struct LodResume {
  int level = 0, x = 0, z = 0;
  int triangle = 0;     // 0 or 1: triangles of the node already finished
  int row = 0;          // next row of the triangle under way
  float partial = 0;    // ft, largest deviation found so far in this node
};

struct Terrain {
  float* heights = nullptr;           // [samples²] ft, row-major, row = z
  float* node_error = nullptr;        // [node_count] ft², read by drawing
  float* node_error_next = nullptr;   // [node_count] ft², under computation
  TextureId* low_detail_textures = nullptr;  // [low_detail_side²]
  uint8_t* shading = nullptr;         // [samples² * 3] RGB at half scale: 128 is 1.0
  uint8_t* shadow = nullptr;          // [samples²] 0 none .. 255 full shadow
  uint8_t* tile_map = nullptr;        // [tile_side²] tile index per tile-map cell
  uint8_t* node_flags = nullptr;      // one bit per LOD node
  uint8_t* low_detail_dirty = nullptr;  // one bit per low-detail texture
  uint8_t* block_dirty = nullptr;     // one bit per 64 x 64-cell ground block
  bool has_decals = false;            // a decals file was read; saving writes it back
  GrowList<Decal> decals;
  GrowList<int> decal_bins[DECAL_BIN_SIDE * DECAL_BIN_SIDE];  // ascending decal indices

  // Renderer state kept with the ground it draws.
  int lod_completed = 0;              // generation last completed; negated while under way
  LodResume lod_resume;
  int camera_cell_x = -1000000, camera_cell_z = -1000000;
  int ground_texture_size = 128;      // pixels
  unsigned framebuffer = 0;

  float extent = 0;         // ft, 2 * tile_side * cell
  float cell = 0;           // ft, sample spacing
  float cell2 = 0;          // ft, one tile-map cell
  float geometry_detail = 0;
  float max_height = 0, min_height = 0;  // ft, widened by edits
  Surface surfaces[TILE_LIMIT] = {};
  int size_exponent = 0;    // M
  int samples = 0;          // P = 2 * 2^M + 1 along a side
  int tile_side = 0;        // O = 2^M tile-map cells along a side
  int node_count = 0;       // LOD quadtree nodes
  int low_detail_side = 0;  // W, low-detail textures along a side
  TextureId tile_textures[TILE_LIMIT] = {};
  uint32_t tile_corner_codes[TILE_LIMIT] = {};
  std::string tile_names[TILE_LIMIT];  // texture file names without directories
  int tile_count = 0;
  int lod_generation = 0;   // raised by height edits that want the LOD errors redone
  bool modified = false;    // set by every height or tile edit
  bool frozen = false;      // height and tile edits do nothing while set
};

// The program's one terrain, owned by track loading.
Terrain& terrain_record();

// ---------------------------------------------------------------- lifetime

// Loads every terrain file of the track directory dir ("@name" or a plain
// path). False after posting why; the record is then freed.
bool terrain_load(Terrain& t, const char* dir);
// Releases everything the record holds and returns it to its initial state.
// Call before another track loads and on load failure.
void terrain_free(Terrain& t);
// Writes the height field, shading, tile map and decals back to dir (the
// track editor). False after posting "Can't open '<file>'".
bool terrain_save(Terrain& t, const char* dir);

// Sizes the record for exponent m and cell (ft) with every array allocated
// and cleared: heights at 0, shading black, one tile. The loader and new
// fields start from here.
void terrain_init_grid(Terrain& t, int m, float cell);

// Opens dir + "/" + name. When required and the file cannot be opened it
// posts "Can't open '<path>'" and returns null.
Stream* open_track_file(const char* dir, const char* name, const char* mode, bool required);

// ---------------------------------------------------------------- file readers

// The "terrain.hf" header and its heights: raw ":" samples, or dir's
// "terrain.png" (dir may be null: then a flat field). Sizes the record.
// digest_out (20 bytes) receives the digest of the 16-bit samples.
bool terrain_hf_parse(Terrain& t, Stream* s, const char* dir, uint8_t digest_out[20]);
// Fills the tiles from a "tileinfo" or a "texturelist" stream.
void tileinfo_parse(Terrain& t, Stream* s);
void texturelist_parse(Terrain& t, Stream* s);
// Reads "decals" records into the decal list and fills the bins.
void decals_parse(Terrain& t, Stream* s);
// One "roost" line's parameters into r (kind becomes 1, or 2 for a splash).
void roost_parameters_parse(RoostType& r, const char* text);

// ---------------------------------------------------------------- queries

// Height (ft) of the ground at x, z (ft); beyond the edges the edge samples continue.
float terrain_height(const Terrain& t, float x, float z);
// Upward normal of the ground triangle under x, z; not normalised: its
// length is cell² times the secant of the slope.
Vec3 terrain_normal(const Terrain& t, float x, float z);

// ---------------------------------------------------------------- edits

// Raises (amount > 0, ft) or lowers the ground around x, z with a smooth
// 4 x 4-sample kernel, keeping the painted colour and darkening dug ground.
// race_tick seeds the colour rounding.
void terrain_bump(Terrain& t, float x, float z, float amount, int race_tick);
// The colour the track's lighting gives sample (c, r), before painting.
void terrain_light_vertex(const Terrain& t, int c, int r, uint8_t out[3]);
// Moves the painted offset (shading minus lit colour) of sample (c, r)
// toward target by factor, rounding by a threshold that varies with c, r
// and race_tick so repeated small tints do not band.
void terrain_tint_vertex(Terrain& t, int c, int r, float factor, const int target[3], int race_tick);
// Shading of columns c0..c1, rows r0..r1 from the lighting alone; marks
// the low-detail textures covering them.
void terrain_relight_region(Terrain& t, int c0, int c1, int r0, int r1);
// Only marks the low-detail textures covering the rectangle.
void terrain_mark_region(Terrain& t, int c0, int c1, int r0, int r1);

// ---------------------------------------------------------------- tiles and decals

// A decal at (x, z) turned by angle, its sine and cosine worked out; no
// texture yet.
Decal decal_make(float x, float z, float angle, float size, float aspect);

// The corner code of tile file name among names[0..count): i << 16 | j << 8
// | corner bits, -256 when the second tile is unknown, -1 when the name
// follows no pattern.
int tile_corner_code(const char* name, const std::string* names, int count);
// Empties the decal bins and enters every decal again.
void decal_bins_rebuild(Terrain& t);
// Enters decal index into every bin its extent overlaps.
void decal_bins_add(Terrain& t, int index);

// Continues the LOD error computation for the current lod_generation within
// budget work units. True when the errors are complete.
bool terrain_lod_errors(Terrain& t, int budget);
