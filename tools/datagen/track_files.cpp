// track_files.cpp -- a generated track written as the game reads it: the
// terrain through the game's terrain writer, the object files through the
// track editor's writers, and the few files no writer of the game makes.
#include "track_files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "art.h"
#include "assets.h"
#include "track/terrain.h"
#include "track/track.h"

namespace {

// The surface of each base tile: friction points (value at speed, ft/s),
// rolling resistance (two values at a speed) and what it throws.
struct SurfaceSpec {
  const char* name;
  float friction[3][2];  // {value, speed}, 0 speed ends
  float roll[2][3];      // {a, b, speed}
  const char* roost;     // roost parameters, or null for none
};

constexpr SurfaceSpec SURFACES[] = {
    // Grippy loam, a little less at speed.
    {"loam", {{1.10f, 1}, {1.00f, 60}, {0, 0}}, {{5, 15, 1}, {0, 0, 0}},
     "texture=@roost.png count=10 dig=1 slip_threshold=4"},
    // Hardpack: fine slow, slick at speed.
    {"hardpack", {{1.00f, 1}, {0.80f, 50}, {0, 0}}, {{4, 12, 1}, {0, 0, 0}},
     "texture=@roost.png count=5 dig=0.4 slip_threshold=6 r=200 g=190 b=170"},
    {"ruts", {{1.05f, 1}, {0.95f, 60}, {0, 0}}, {{6, 18, 1}, {0, 0, 0}},
     "texture=@roost.png count=12 dig=1.2 slip_threshold=4 r=160 g=140 b=120"},
    // Grass slides and throws little.
    {"grass", {{0.75f, 1}, {0.55f, 40}, {0, 0}}, {{6, 20, 1}, {0, 0, 0}},
     "texture=@roost.png count=2 dig=0.2 slip_threshold=8 r=120 g=180 b=90"},
    {"sand", {{0.90f, 1}, {0.85f, 60}, {0, 0}}, {{15, 40, 1}, {0, 0, 0}},
     "texture=@roost.png count=14 dig=1.5 slip_threshold=3 r=230 g=210 b=160"},
    // Mud and water splash instead of roosting.
    {"mud", {{0.60f, 1}, {0.50f, 40}, {0, 0}}, {{20, 50, 1}, {0, 0, 0}},
     "splash=1 texture=@splash.png count=8 dig=0 slip_threshold=2 size=0.4 grow=3 fade_a=-300"},
};

const SurfaceSpec& surface_of(const std::string& tile) {
  std::string base = tile.substr(0, tile.find('-'));
  for (const SurfaceSpec& s : SURFACES)
    if (base == s.name) return s;
  return SURFACES[0];
}

std::string tileinfo_text(const GeneratedTrack& t) {
  std::string out;
  char line[256];
  for (const std::string& tile : t.tile_names) {
    // A transition tile rides like the tile it starts from.
    const SurfaceSpec& s = surface_of(tile);
    out += "texture @" + tile + ".png\n";
    for (const auto& f : s.friction) {
      if (f[1] == 0) break;
      snprintf(line, sizeof line, "friction %g %g\n", f[0], f[1]);
      out += line;
    }
    for (const auto& r : s.roll) {
      if (r[2] == 0) break;
      snprintf(line, sizeof line, "roll_resist %g %g %g\n", r[0], r[1], r[2]);
      out += line;
    }
    if (s.roost) out += std::string("roost ") + s.roost + "\n";
    out += "addtile\n";
  }
  return out;
}

std::string flaggers_text(const GeneratedTrack& t) {
  std::string out;
  char line[512];
  // The start flagger walks off the straight beside the gate.
  const PlacedObject& first = t.gate_bars.front();
  const PlacedObject& last = t.gate_bars.back();
  float sx = first.x + (first.x - last.x) * 0.08f, sz = first.z + (first.z - last.z) * 0.08f;
  snprintf(line, sizeof line, "[ %.2f 0 %.2f ] [ %.2f 0 %.2f ] 6 0.5 3\n", sx, sz,
           sx + (first.x - last.x) * 0.1f, sz + (first.z - last.z) * 0.1f);
  out += line;
  for (int k = 1; k <= 5; k++) out += "@flagger-start-" + std::to_string(k) + ".png\n";
  // The finish flagger beside the finish line (checkpoint 0).
  const Checkpoint& f = t.checkpoints.front();
  float side = f.radius + 4;
  snprintf(line, sizeof line, "[ %.2f 0 %.2f ] 6 0.5\n", f.x - f.nz * side, f.z + f.nx * side);
  out += line;
  for (int k = 1; k <= 4; k++) out += "@flagger-finish-" + std::to_string(k) + ".png\n";
  // Yellow flaggers beside the jumps, watching the checkpoints around them.
  for (const JumpReport& j : t.jumps) {
    int n = (int)t.course.size();
    const CourseSample& s = t.course[(size_t)(((int)j.s % n + n) % n)];
    float u = s.width / 2 + 14;
    int nearest = 0;
    float best = 1e30f;
    for (int c = 0; c < (int)t.checkpoints.size(); c++) {
      float d = std::hypot(t.checkpoints[(size_t)c].x - s.x, t.checkpoints[(size_t)c].z - s.z);
      if (d < best) best = d, nearest = c;
    }
    int count = (int)t.checkpoints.size();
    snprintf(line, sizeof line, "[ %.2f 0 %.2f ] 6 0.5 %d %d %d %d\n", s.x + s.tz * u, s.z - s.tx * u,
             (nearest + count - 1) % count, nearest, (nearest + 1) % count, (nearest + 2) % count);
    out += line;
    out += "@flagger-yellow-1.png\n@flagger-yellow-2.png\n";
  }
  return out;
}

// The HUD's map: the course in white on clear ground, 256 x 256, x across, z down.
Picture map_picture(const GeneratedTrack& t) {
  const int N = 256;
  Picture p(N, N, 4);
  float scale = N / t.extent;
  for (const CourseSample& s : t.course) {
    picture_fill_circle(p, s.x * scale, s.z * scale, s.width / 2 * scale + 1.8f, {0.1f, 0.1f, 0.1f, 0.8f});
  }
  for (const CourseSample& s : t.course)
    picture_fill_circle(p, s.x * scale, s.z * scale, std::max(1.2f, s.width / 2 * scale), {1, 1, 1, 0.9f});
  return p;
}

}  // namespace

bool write_track_files(const TrackDesc& d, const GeneratedTrack& g, const std::string& home) {
  std::string dir = home + "/" + d.dir;
  int p = g.samples;

  // The ground, through the game's own terrain writer.
  Terrain& t = terrain_record();
  terrain_free(t);
  terrain_init_grid(t, g.m, g.cell);
  std::copy(g.heights.begin(), g.heights.end(), t.heights);
  std::copy(g.shading.begin(), g.shading.end(), t.shading);
  std::copy(g.tile_kind.begin(), g.tile_kind.end(), t.tile_map);
  if (!terrain_save(t, dir.c_str())) return false;
  std::error_code ec;
  std::filesystem::remove(dir + "/shading.ppm", ec);  // shadingx2.ppm carries the same light
  bool ok = write_pgm(dir + "/shadows.pgm", g.light, p, p);
  ok &= write_text(dir + "/tileinfo", tileinfo_text(g));
  ok &= write_text(dir + "/desc", d.title + "\n");
  ok &= write_text(dir + "/lighting", d.lighting);
  ok &= write_text(dir + "/flaggers", flaggers_text(g));
  ok &= write_png(dir + "/map.png", map_picture(g));

  // Checkpoints, gate bars, statues and billboards through the editor's writers.
  Track& tr = track_current();
  track_unload();
  tr.track_name = d.dir;
  terrain_init_grid(t, g.m, g.cell);
  std::copy(g.heights.begin(), g.heights.end(), t.heights);
  TrackTiming& timing = tr.timing;
  timing.checkpoint_count = (int)g.checkpoints.size();
  for (size_t i = 0; i < g.checkpoints.size(); i++) {
    const Checkpoint& c = g.checkpoints[i];
    timing.checkpoints[i] = {c.x, c.y, c.z, c.nx, c.ny, c.nz, c.radius};
  }
  timing.first_lap_gates = (int)g.first_lap.size();
  timing.normal_lap_gates = (int)g.normal_lap.size();
  std::copy(g.first_lap.begin(), g.first_lap.end(), timing.lap_gate_list);
  std::copy(g.normal_lap.begin(), g.normal_lap.end(), timing.lap_gate_list + g.first_lap.size());
  tr.gate_bar_count = (int)g.gate_bars.size();
  for (size_t i = 0; i < g.gate_bars.size(); i++) {
    const PlacedObject& b = g.gate_bars[i];
    tr.gate_bars[i] = {b.x, generated_height(g, b.x, b.z), b.z, b.angle, -1};
  }
  tr.first_track_statue = tr.statues.count;
  for (const PlacedObject& s : g.statues)
    statue_create(s.x, s.y_offset, s.z, s.angle, s.model.c_str(), s.texture.c_str(),
                  s.shape.empty() ? nullptr : s.shape.c_str());
  tr.first_track_billboard = tr.billboards.count;
  for (const PlacedBillboard& b : g.billboards)
    billboard_create(b.x, b.y_offset, b.z, b.size, b.width_ratio, b.texture.c_str());
  ok = ok && timing_gates_save() && statues_save() && billboards_save();
  track_unload();
  return ok;
}

bool write_overview(const TrackDesc& d, const GeneratedTrack& g, const std::string& dir) {
  const int N = 1024;
  Picture pic(N, N, 3);
  float per_pixel = g.extent / N;
  for (int y = 0; y < N; y++)
    for (int x = 0; x < N; x++) {
      float wx = (x + 0.5f) * per_pixel, wz = (y + 0.5f) * per_pixel;
      int c = std::clamp((int)(wx / g.cell), 0, g.samples - 1), r = std::clamp((int)(wz / g.cell), 0, g.samples - 1);
      int tc = std::clamp((int)(wx / (2 * g.cell)), 0, g.tiles - 1), tz = std::clamp((int)(wz / (2 * g.cell)), 0, g.tiles - 1);
      const std::string& tile = g.tile_names[g.tile_kind[(size_t)tz * g.tiles + tc]];
      // The tile's own colours, blended across a transition by its corner bits.
      std::string a = tile.substr(0, tile.find('-'));
      const GroundLook* look = &ground_looks()[0];
      for (const GroundLook& l : ground_looks())
        if (a == l.name) look = &l;
      const uint8_t* sh = &g.shading[((size_t)r * g.samples + c) * 3];
      Colour col{look->r * sh[0] / 128.0f, look->g * sh[1] / 128.0f, look->b * sh[2] / 128.0f, 1};
      picture_set(pic, x, y, col);
    }
  float scale = 1 / per_pixel;
  for (const PlacedObject& s : g.statues) picture_fill_circle(pic, s.x * scale, s.z * scale, 1.5f, {0.95f, 0.85f, 0.3f, 1});
  for (const PlacedObject& s : g.gate_bars) picture_fill_circle(pic, s.x * scale, s.z * scale, 1.2f, {0.9f, 0.9f, 0.9f, 1});
  for (const PlacedBillboard& b : g.billboards)
    if (b.texture.find("tree") != std::string::npos)
      picture_fill_circle(pic, b.x * scale, b.z * scale, b.size * 0.3f * scale, {0.08f, 0.25f, 0.08f, 0.85f});
    else
      picture_fill_circle(pic, b.x * scale, b.z * scale, 1.5f, {0.2f, 0.3f, 0.9f, 1});
  for (const Checkpoint& c : g.checkpoints) {
    for (float u = -c.radius; u <= c.radius; u += per_pixel / 2)
      picture_set(pic, (int)((c.x - c.nz * u) * scale), (int)((c.z + c.nx * u) * scale), {0.9f, 0.1f, 0.1f, 1});
  }
  return write_png(dir + "/" + d.dir + "-overview.png", pic);
}
