// terrain.cpp -- the terrain record's lifetime, the height and normal
// queries, lighting and tint of samples, bumps, corner codes and decal bins.
#include "track/terrain.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "track/track.h"
#include "track/track_internal.h"

static Terrain g_terrain;

Terrain& terrain_record() { return g_terrain; }

// ---------------------------------------------------------------- lifetime

void terrain_free(Terrain& t) {
  // Ground textures belong to the texture cache or, once it draws, the
  // terrain renderer; only the record's own arrays are released here.
  free(t.heights);
  free(t.node_error);
  free(t.node_error_next);
  free(t.low_detail_textures);
  free(t.shading);
  free(t.shadow);
  free(t.tile_map);
  free(t.node_flags);
  free(t.low_detail_dirty);
  free(t.block_dirty);
  t = Terrain{};
}

void terrain_init_grid(Terrain& t, int m, float cell) {
  terrain_free(t);
  t.size_exponent = m;
  t.tile_side = 1 << m;
  t.samples = 2 * t.tile_side + 1;
  t.cell = cell;
  t.cell2 = 2 * cell;
  t.extent = 2.0f * (float)t.tile_side * cell;
  // 4·O²/3 in integer arithmetic is (4·O² − 1)/3, the nodes of the full quadtree.
  t.node_count = (int)(4LL * t.tile_side * t.tile_side / 3);
  t.low_detail_side = (2 * t.tile_side / 64 + 6) / 7;
  size_t pp = (size_t)t.samples * (size_t)t.samples;
  t.heights = track_calloc<float>(pp);
  t.shading = track_calloc<uint8_t>(pp * 3);
  t.shadow = track_calloc<uint8_t>(pp);
  t.tile_map = track_calloc<uint8_t>((size_t)t.tile_side * t.tile_side);
  t.node_flags = track_calloc<uint8_t>(((size_t)t.node_count + 7) / 8);
  t.node_error = track_calloc<float>((size_t)t.node_count);
  t.node_error_next = track_calloc<float>((size_t)t.node_count);
  int w = std::max(t.low_detail_side, 1);
  t.low_detail_textures = track_calloc<TextureId>((size_t)w * w);
  t.low_detail_dirty = track_calloc<uint8_t>(((size_t)w * w + 7) / 8);
  int blocks = std::max(t.tile_side / 64, 1);
  t.block_dirty = track_calloc<uint8_t>(((size_t)blocks * blocks + 7) / 8);
  t.lod_generation = 1;
}

// ---------------------------------------------------------------- queries

namespace {

// The triangle of the grid under a point: three sample indices and the
// point's weights along the two legs.
struct GroundTriangle {
  int c0, r0;  // base sample
  int c1;      // the other column (with the base row)
  int r2;      // the other row (with the base column)
  float u, v;
  // The same columns and rows before clamping: outside the field the
  // triangle keeps its shape while its heights come from the edge.
  int px0, pz0, px1, pz2;
};

inline int clamp_index(int i, int n) { return i < 0 ? 0 : (i >= n ? n - 1 : i); }

inline GroundTriangle ground_triangle(const Terrain& t, float x, float z) {
  // Far outside the field the edge continues anyway; the bound only keeps
  // the float-to-int conversion defined, and fmax also turns NaN into it.
  constexpr float LIMIT = 1e8f;
  float inv = 1.0f / t.cell;
  float fx = std::fmin(std::fmax(x * inv, -LIMIT), LIMIT);
  float fz = std::fmin(std::fmax(z * inv, -LIMIT), LIMIT);
  // floor by truncation: std::floor is a library call on the baseline
  // instruction set, and these two floors are most of a query's cost.
  int ix = (int)fx, iz = (int)fz;
  ix -= fx < (float)ix;
  iz -= fz < (float)iz;
  float u = fx - (float)ix, v = fz - (float)iz;
  GroundTriangle g;
  // The diagonals alternate like a chessboard; an even cell is mirrored in x.
  if (((ix + iz) & 1) == 0) {
    g.c0 = ix + 1;
    g.c1 = ix;
    u = 1 - u;
  } else {
    g.c0 = ix;
    g.c1 = ix + 1;
  }
  g.r0 = iz;
  g.r2 = iz + 1;
  if (u + v > 1) {
    u = 1 - u;
    v = 1 - v;
    std::swap(g.c0, g.c1);
    std::swap(g.r0, g.r2);
  }
  int n = t.samples;
  g.px0 = g.c0;
  g.px1 = g.c1;
  g.pz0 = g.r0;
  g.pz2 = g.r2;
  g.c0 = clamp_index(g.c0, n);
  g.c1 = clamp_index(g.c1, n);
  g.r0 = clamp_index(g.r0, n);
  g.r2 = clamp_index(g.r2, n);
  g.u = u;
  g.v = v;
  return g;
}

}  // namespace

float terrain_height(const Terrain& t, float x, float z) {
  GroundTriangle g = ground_triangle(t, x, z);
  int n = t.samples;
  float h0 = t.heights[g.r0 * n + g.c0];
  float h1 = t.heights[g.r0 * n + g.c1];
  float h2 = t.heights[g.r2 * n + g.c0];
  return h0 + (h1 - h0) * g.u + (h2 - h0) * g.v;
}

Vec3 terrain_normal(const Terrain& t, float x, float z) {
  GroundTriangle g = ground_triangle(t, x, z);
  int n = t.samples;
  float cell = t.cell;
  Vec3 p0{g.px0 * cell, t.heights[g.r0 * n + g.c0], g.pz0 * cell};
  Vec3 p1{g.px1 * cell, t.heights[g.r0 * n + g.c1], g.pz0 * cell};
  Vec3 p2{g.px0 * cell, t.heights[g.r2 * n + g.c0], g.pz2 * cell};
  Vec3 normal = vec3_cross(p1 - p0, p2 - p0);
  return normal.y < 0 ? -normal : normal;
}

// ---------------------------------------------------------------- lighting and tint

void terrain_light_vertex(const Terrain& t, int c, int r, uint8_t out[3]) {
  // The ring of neighbours, walked so that each (sample, i, i + 1) triangle
  // has the same winding.
  static constexpr int RING[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {1, 0},
                                     {1, 1},   {0, 1},  {-1, 1}, {-1, 0}};
  int n = t.samples;
  c = clamp_index(c, n);
  r = clamp_index(r, n);
  Vec3 p{c * t.cell, t.heights[r * n + c], r * t.cell};
  Vec3 ring[8];
  for (int i = 0; i < 8; i++) {
    int nc = clamp_index(c + RING[i][0], n), nr = clamp_index(r + RING[i][1], n);
    ring[i] = Vec3{nc * t.cell, t.heights[nr * n + nc], nr * t.cell} - p;
  }
  Vec3 sum;
  for (int i = 0; i < 8; i++) {
    // This ring runs clockwise seen from above, so b × a points up.
    sum += vec3_normalize(vec3_cross(ring[(i + 1) & 7], ring[i]));
  }
  Vec3 normal = vec3_normalize(sum);
  const Lighting& light = track_lighting();
  float d = std::clamp(vec3_dot(normal, light.sun_vector), 0.0f, 1.0f);
  d *= 1.0f - t.shadow[r * n + c] / 255.0f;
  const float sun[3] = {light.sun_color.x, light.sun_color.y, light.sun_color.z};
  const float amb[3] = {light.ambient.x, light.ambient.y, light.ambient.z};
  for (int k = 0; k < 3; k++) {
    float value = (sun[k] * d + amb[k]) * 0.5f * 255.0f;
    // Clamp before converting so a bright sun cannot overflow the int.
    value = std::clamp(value, 0.0f, 255.0f);
    out[k] = (uint8_t)(int)value;
  }
}

void terrain_tint_vertex(Terrain& t, int c, int r, float factor, const int target[3], int race_tick) {
  int n = t.samples;
  if (c < 0 || r < 0 || c >= n || r >= n) return;
  uint8_t lit[3];
  terrain_light_vertex(t, c, r, lit);
  uint32_t s = (uint32_t)c + (uint32_t)r + (uint32_t)race_tick;
  float threshold = (float)(((s * 1103515245u + 12345u) >> 16) & 4095u) / 4095.0f;
  uint8_t* shade = &t.shading[(r * n + c) * 3];
  for (int k = 0; k < 3; k++) {
    int offset = shade[k] - lit[k];
    float change = std::clamp((float)(target[k] - offset) * factor, -1024.0f, 1024.0f);
    float whole = std::floor(change);
    int step = (int)whole + (change - whole > threshold ? 1 : 0);
    shade[k] = (uint8_t)std::clamp(shade[k] + step, 0, 255);
  }
}

void terrain_bump(Terrain& t, float x, float z, float amount, int race_tick) {
  if (amount == 0 || !std::isfinite(amount) || !t.heights) return;
  int n = t.samples;
  constexpr float LIMIT = 1e8f;
  float fx = std::fmin(std::fmax(x / t.cell, -LIMIT), LIMIT);
  float fz = std::fmin(std::fmax(z / t.cell, -LIMIT), LIMIT);
  int bx = (int)std::floor(fx) - 1, bz = (int)std::floor(fz) - 1;
  float weight[4][4];
  float sum = 0;
  for (int j = 0; j < 4; j++)
    for (int i = 0; i < 4; i++) {
      float dx = (float)(bx + i) - fx, dz = (float)(bz + j) - fz;
      float d = std::sqrt(dx * dx + dz * dz) * 0.5f;
      float w = d <= 1 ? 1 - 3 * d * d + 2 * d * d * d : 0;
      weight[j][i] = w;
      sum += w;
    }
  if (!(sum > 0)) return;
  static constexpr int DUG[3] = {-32, -64, -64};
  for (int j = 0; j < 4; j++)
    for (int i = 0; i < 4; i++) {
      int c = bx + i, r = bz + j;
      float w = weight[j][i] / sum;
      // The painted offsets are taken before the height changes so that the
      // paint survives the new lighting.
      int old_offset[3][3][3];
      for (int b = -1; b <= 1; b++)
        for (int a = -1; a <= 1; a++) {
          int nc = clamp_index(c + a, n), nr = clamp_index(r + b, n);
          uint8_t lit[3];
          terrain_light_vertex(t, nc, nr, lit);
          const uint8_t* shade = &t.shading[(nr * n + nc) * 3];
          for (int k = 0; k < 3; k++) old_offset[b + 1][a + 1][k] = shade[k] - lit[k];
        }
      bool inside = c >= 0 && r >= 0 && c < n && r < n;
      if (inside && !t.frozen) {
        float& h = t.heights[r * n + c];
        h += amount * w;
        t.modified = true;
        t.max_height = std::max(t.max_height, h);
        t.min_height = std::min(t.min_height, h);
      }
      for (int b = -1; b <= 1; b++)
        for (int a = -1; a <= 1; a++)
          terrain_tint_vertex(t, c + a, r + b, 1.0f, old_offset[b + 1][a + 1], race_tick);
      if (inside) terrain_tint_vertex(t, c, r, w / 16.0f, DUG, race_tick);
    }
}

void terrain_mark_region(Terrain& t, int c0, int c1, int r0, int r1) {
  int w = t.low_detail_side;
  if (!t.low_detail_dirty || w <= 0) return;
  // Each low-detail texture shows 448 samples plus a 32-sample border, and
  // the border shows changes too.
  for (int tr = 0; tr < w; tr++) {
    int lo_r = 448 * tr - 32, hi_r = 448 * tr + 447 + 32;
    if (hi_r < r0 || lo_r > r1) continue;
    for (int tc = 0; tc < w; tc++) {
      int lo_c = 448 * tc - 32, hi_c = 448 * tc + 447 + 32;
      if (hi_c < c0 || lo_c > c1) continue;
      int bit = tr * w + tc;
      t.low_detail_dirty[bit >> 3] |= (uint8_t)(1 << (bit & 7));
    }
  }
}

void terrain_relight_region(Terrain& t, int c0, int c1, int r0, int r1) {
  if (!t.shading) return;
  int n = t.samples;
  c0 = std::max(c0, 0);
  r0 = std::max(r0, 0);
  c1 = std::min(c1, n - 1);
  r1 = std::min(r1, n - 1);
  if (c0 > c1 || r0 > r1) return;
  for (int r = r0; r <= r1; r++)
    for (int c = c0; c <= c1; c++) terrain_light_vertex(t, c, r, &t.shading[(r * n + c) * 3]);
  terrain_mark_region(t, c0, c1, r0, r1);
}

// ---------------------------------------------------------------- corner codes

namespace {

// The length of a remembered name up to its first ".".
size_t stem_length(const std::string& s) {
  size_t dot = s.find('.');
  return dot == std::string::npos ? s.size() : dot;
}

int find_tile_by_stem(const char* text, size_t length, const std::string* names, int count) {
  for (int i = 0; i < count; i++) {
    size_t stem = stem_length(names[i]);
    if (stem == length && names[i].compare(0, stem, text, length) == 0) return i;
  }
  return -1;
}

}  // namespace

int tile_corner_code(const char* name, const std::string* names, int count) {
  if (!name) return -1;
  const char* dash = strchr(name, '-');
  if (!dash) return -1;
  int i = find_tile_by_stem(name, (size_t)(dash - name), names, count);
  if (i < 0) return -1;
  const char* rest = dash + 1;
  if (strncmp(rest, "alt", 3) == 0 && rest[3] >= '0' && rest[3] <= '9') return i << 16 | i << 8;
  const char* dash2 = strchr(rest, '-');
  size_t length = dash2 ? (size_t)(dash2 - rest) : strlen(rest);
  int j = find_tile_by_stem(rest, length, names, count);
  if (j < 0) return -256;
  int bits = 0;
  if (dash2) {
    const char* b = dash2 + 1;
    bool ok = true;
    for (int k = 0; k < 4 && ok; k++) ok = b[k] == '0' || b[k] == '1';  // a NUL ends it too
    if (ok) bits = (b[0] - '0') << 3 | (b[1] - '0') << 2 | (b[2] - '0') << 1 | (b[3] - '0');
  }
  return i << 16 | j << 8 | bits;
}

// ---------------------------------------------------------------- decal bins

void decal_bins_add(Terrain& t, int index) {
  if (index < 0 || index >= t.decals.count || !(t.extent > 0)) return;
  const Decal& d = t.decals[index];
  float half_x = std::fabs(d.sin_angle * d.size * 0.5f) + std::fabs(d.cos_angle * d.size * d.aspect * 0.5f);
  float half_z = std::fabs(d.cos_angle * d.size * 0.5f) + std::fabs(d.sin_angle * d.size * d.aspect * 0.5f);
  auto bin_of = [&](float p) {
    float f = std::floor(p * DECAL_BIN_SIDE / t.extent);
    // NaN fails both tests and lands in bin 0.
    if (!(f >= 0)) return 0;
    if (f > DECAL_BIN_SIDE - 1) return DECAL_BIN_SIDE - 1;
    return (int)f;
  };
  int x0 = bin_of(d.x - half_x), x1 = bin_of(d.x + half_x);
  int z0 = bin_of(d.z - half_z), z1 = bin_of(d.z + half_z);
  for (int bz = z0; bz <= z1; bz++)
    for (int bx = x0; bx <= x1; bx++) {
      GrowList<int>& bin = t.decal_bins[bz * DECAL_BIN_SIDE + bx];
      // Insert after every smaller or equal index so each bin stays ascending.
      int at = bin.count;
      while (at > 0 && bin[at - 1] > index) at--;
      bin.push(index);
      for (int k = bin.count - 1; k > at; k--) bin[k] = bin[k - 1];
      bin[at] = index;
    }
}

void decal_bins_rebuild(Terrain& t) {
  for (GrowList<int>& bin : t.decal_bins) bin.clear();
  for (int i = 0; i < t.decals.count; i++) decal_bins_add(t, i);
}
