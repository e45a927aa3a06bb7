// terrain_load.cpp -- reading the terrain files of a track directory, and
// writing them back for the track editor.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/settings.h"
#include "data/data.h"
#include "platform/platform.h"
#include "render/image.h"
#include "track/terrain.h"
#include "track/track_internal.h"

// ---------------------------------------------------------------- helpers

void track_post(const char* format, ...) {
  char text[1100];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  size_t n = strlen(text);
  bool has_newline = n > 0 && text[n - 1] == '\n';
  log_printf(has_newline ? "%s" : "%s\n", text);
  if (has_newline) text[n - 1] = 0;
  add_message(text);
}

bool track_file_exists(const char* name) {
  if (!name || !*name) return false;
  Stream* s = open_stream(name, "rb");
  if (!s) return false;
  close_stream(s);
  return true;
}

static std::string join_path(const char* dir, const char* name) {
  std::string path = dir ? dir : "";
  path += '/';
  path += name;
  return path;
}

Stream* open_track_file(const char* dir, const char* name, const char* mode, bool required) {
  std::string path = join_path(dir, name);
  Stream* s = open_stream(path.c_str(), mode);
  if (!s && required) track_post("Can't open '%.950s'", path.c_str());
  return s;
}

static void digest_hex(const uint8_t digest[20], char out[41]) {
  for (int i = 0; i < 20; i++) snprintf(out + 2 * i, 3, "%02x", digest[i]);
}

// ---------------------------------------------------------------- terrain.hf

bool terrain_hf_parse(Terrain& t, Stream* s, const char* dir, uint8_t digest_out[20]) {
  int m = 0;
  float cell = 0, min_h = 0, max_h = 0;
  bool header = stream_scanf(s, "%d %f %f %f ", &m, &cell, &min_h, &max_h) == 4;
  // Sizes outside this range are either unusable by the ground textures or
  // ask for gigabytes; a cell of zero or a non-finite value breaks every query.
  if (!header || m < TERRAIN_MIN_EXPONENT || m > TERRAIN_MAX_EXPONENT || !(cell > 0) ||
      !std::isfinite(cell) || !std::isfinite(min_h) || !std::isfinite(max_h)) {
    track_post("Bad height field parameters");
    track_post("Error reading heights");
    return false;
  }
  terrain_init_grid(t, m, cell);
  t.min_height = min_h;
  t.max_height = max_h;
  t.geometry_detail = game_settings().ground_detail;
  t.lod_generation = 1;
  t.lod_completed = 0;
  t.lod_resume = LodResume{};
  t.lod_resume.level = m;

  int p = t.samples;
  float scale = (max_h - min_h) / 65535.0f;
  DigestState digest;
  digest_init(&digest);
  uint8_t* row = track_calloc<uint8_t>((size_t)p * 2);
  bool ok = true;
  if (stream_peekc(s) == ':') {
    stream_getc(s);
    for (int r = 0; r < p && ok; r++) {
      if (stream_read(s, row, p * 2) != p * 2) {
        ok = false;
        break;
      }
      digest_update(&digest, row, (size_t)p * 2);
      for (int c = 0; c < p; c++) {
        int q = row[2 * c] | row[2 * c + 1] << 8;
        t.heights[(size_t)r * p + c] = min_h + (float)q * scale;
      }
    }
  } else {
    std::string path = join_path(dir, "terrain.png");
    HeightImage* image = dir ? png_read_height(path.c_str()) : nullptr;
    for (int r = 0; r < p; r++) {
      for (int c = 0; c < p; c++) {
        // A smaller picture repeats its last column and row; none gives a
        // flat field at the minimum.
        int q = image ? image->samples[(size_t)std::min(r, image->height - 1) * image->width +
                                       std::min(c, image->width - 1)]
                      : 0;
        row[2 * c] = (uint8_t)(q & 255);
        row[2 * c + 1] = (uint8_t)(q >> 8);
        t.heights[(size_t)r * p + c] = min_h + (float)q * scale;
      }
      digest_update(&digest, row, (size_t)p * 2);
    }
    height_image_free(image);
  }
  free(row);
  uint8_t result[20];
  digest_final(&digest, result);
  if (digest_out) memcpy(digest_out, result, 20);
  if (!ok) {
    // A field cut short would leave part of the ground at height 0.
    track_post("Error reading heights");
    return false;
  }
  if (game_settings().debug_level >= 2) {
    char hex[41];
    digest_hex(result, hex);
    log_printf("%s\n", hex);
  }
  return true;
}

// ---------------------------------------------------------------- decals

Decal decal_make(float x, float z, float angle, float size, float aspect) {
  Decal d{};
  d.x = x;
  d.z = z;
  d.angle = angle;
  d.size = size;
  d.aspect = aspect;
  d.sin_angle = std::sin(angle);
  d.cos_angle = std::cos(angle);
  return d;
}

void decals_parse(Terrain& t, Stream* s) {
  t.has_decals = true;
  for (GrowList<int>& bin : t.decal_bins) bin.clear();
  char name[1024];
  for (;;) {
    float x, z, angle, size, aspect;
    if (stream_scanf(s, "[ %f %f ] %f %f %f %1023s ", &x, &z, &angle, &size, &aspect, name) != 6) break;
    TextureNameOptions options = texture_name_options(name);
    TextureId texture = texture_load(name);
    // Without a GL context every texture is 0; only a missing file skips the decal.
    if (texture == 0 && !track_file_exists(options.file)) continue;
    Decal d = decal_make(x, z, angle, size, aspect);
    d.texture = texture;
    d.texture_name = name;
    t.decals.push(d);
  }
  decal_bins_rebuild(t);
}

// ---------------------------------------------------------------- loading

static bool load_shading(Terrain& t, const char* dir) {
  bool halve = false;
  Stream* s = open_track_file(dir, "shadingx2.ppm", "rb", false);
  if (!s) {
    s = open_track_file(dir, "shading.ppm", "rb", true);
    if (!s) return false;
    halve = true;
  }
  Image* image = image_read_rgb(s);
  close_stream(s);
  if (!image) {
    track_post("Error reading shading");
    return false;
  }
  bool ok = image->width == t.samples && image->height == t.samples;
  if (!ok) {
    track_post("Bad shading dimensions (%dx%d)", image->width, image->height);
  } else {
    size_t n = (size_t)t.samples * t.samples * 3;
    for (size_t i = 0; i < n; i++) t.shading[i] = halve ? image->pixels[i] >> 1 : image->pixels[i];
  }
  image_free(image);
  return ok;
}

static bool load_shadows(Terrain& t, const char* dir) {
  Stream* s = open_track_file(dir, "shadows.pgm", "rb", false);
  size_t n = (size_t)t.samples * t.samples;
  if (!s) {
    memset(t.shadow, 0, n);
    return true;
  }
  Image* image = image_read_grey(s);
  close_stream(s);
  if (!image) {
    track_post("Error reading shadows");
    return false;
  }
  bool ok = image->width == t.samples && image->height == t.samples;
  if (!ok) {
    log_printf("Bad shadow dimensions (%dx%d)\n", image->width, image->height);
  } else {
    // The file stores light; the record stores shadow.
    for (size_t i = 0; i < n; i++) t.shadow[i] = (uint8_t)(255 - image->pixels[i]);
  }
  image_free(image);
  return ok;
}

static void compute_corner_codes(Terrain& t) {
  for (int i = 0; i < t.tile_count; i++) {
    int code = t.tile_names[i].empty()
                   ? -1
                   : tile_corner_code(t.tile_names[i].c_str(), t.tile_names, t.tile_count);
    t.tile_corner_codes[i] = code == -1 ? (uint32_t)(i << 16 | i << 8) : (uint32_t)code;
  }
}

static bool load_tiles(Terrain& t, const char* dir) {
  Stream* s = open_track_file(dir, "tileinfo", "rb", false);
  if (s) {
    tileinfo_parse(t, s);
  } else {
    s = open_track_file(dir, "texturelist", "rb", true);
    if (!s) return false;
    texturelist_parse(t, s);
  }
  close_stream(s);
  compute_corner_codes(t);
  return true;
}

static bool load_tile_map(Terrain& t, const char* dir) {
  Stream* s = open_track_file(dir, "tilemap", "rb", true);
  if (!s) return false;
  int n = t.tile_side * t.tile_side;
  // A short map leaves the rest of the cells at tile 0.
  stream_read(s, t.tile_map, n);
  close_stream(s);
  uint8_t last = (uint8_t)(t.tile_count - 1);  // 255 on a track without tiles
  for (int i = 0; i < n; i++) t.tile_map[i] = std::min(t.tile_map[i], last);
  return true;
}

bool terrain_load(Terrain& t, const char* dir) {
  terrain_free(t);
  Stream* hf = open_track_file(dir, "terrain.hf", "rb", true);
  if (!hf) return false;
  bool ok = terrain_hf_parse(t, hf, dir, nullptr);
  if (ok) terrain_lod_errors(t, INT_MAX);
  close_stream(hf);
  ok = ok && load_shading(t, dir) && load_tiles(t, dir) && load_tile_map(t, dir);
  // The low-detail ground textures are built here by the terrain renderer.
  ok = ok && load_shadows(t, dir);
  if (ok) {
    // Frame buffer, level and block textures are the terrain renderer's;
    // every block starts out to be painted.
    int blocks = std::max(t.tile_side / 64, 1);
    for (int i = 0; i < blocks * blocks; i++) t.block_dirty[i >> 3] |= (uint8_t)(1 << (i & 7));
    Stream* decals = open_track_file(dir, "decals", "rb", false);
    if (decals) {
      decals_parse(t, decals);
      close_stream(decals);
    }
  }
  if (!ok) terrain_free(t);
  return ok;
}

// ---------------------------------------------------------------- saving

namespace {

// Opens dir/name for writing, posting "Can't open '<name>'" on failure.
Stream* open_for_save(const char* dir, const char* name) {
  Stream* s = open_track_file(dir, name, "wb", false);
  if (!s) track_post("Can't open '%s'", name);
  return s;
}

// Closes a written file; a failed write is reported rather than passed off as saved.
bool close_saved(Stream* s, const char* name) {
  if (close_stream(s)) return true;
  track_post("Error writing '%s'", name);
  return false;
}

bool save_shading(const Terrain& t, const char* dir, const char* name, bool doubled) {
  Stream* s = open_for_save(dir, name);
  if (!s) return false;
  stream_printf(s, "P6\n%d %d\n255\n", t.samples, t.samples);
  size_t n = (size_t)t.samples * t.samples * 3;
  if (doubled) {
    uint8_t* bytes = track_calloc<uint8_t>(n);
    for (size_t i = 0; i < n; i++) bytes[i] = (uint8_t)std::min(t.shading[i] * 2, 255);
    stream_write(s, bytes, (int)n);
    free(bytes);
  } else {
    stream_write(s, t.shading, (int)n);
  }
  return close_saved(s, name);
}

}  // namespace

bool terrain_save(Terrain& t, const char* dir) {
  if (!t.heights) return false;
  int p = t.samples;
  size_t pp = (size_t)p * p;
  float lo = t.heights[0], hi = t.heights[0];
  for (size_t i = 1; i < pp; i++) {
    lo = std::min(lo, t.heights[i]);
    hi = std::max(hi, t.heights[i]);
  }
  t.min_height = lo;
  t.max_height = hi;

  Stream* s = open_for_save(dir, "terrain.hf");
  if (!s) return false;
  stream_printf(s, "%d %f %f %f\n", t.size_exponent, t.cell, lo, hi);
  if (!close_saved(s, "terrain.hf")) return false;

  uint16_t* q = track_calloc<uint16_t>(pp);
  if (hi > lo) {
    float inv = 1.0f / (hi - lo);
    for (size_t i = 0; i < pp; i++) {
      float v = (t.heights[i] - lo) * inv * 65535.0f + 0.5f;
      q[i] = (uint16_t)std::fmin(std::fmax(v, 0.0f), 65535.0f);
    }
  }
  std::string png_path = join_path(dir, "terrain.png");
  bool png_ok = png_write_height(png_path.c_str(), q, p, p);
  free(q);
  if (!png_ok) {
    track_post("Can't open '%s'", "terrain.png");
    return false;
  }

  if (!save_shading(t, dir, "shading.ppm", true)) return false;
  if (!save_shading(t, dir, "shadingx2.ppm", false)) return false;

  s = open_for_save(dir, "tilemap");
  if (!s) return false;
  stream_write(s, t.tile_map, t.tile_side * t.tile_side);
  if (!close_saved(s, "tilemap")) return false;

  if (t.has_decals) {
    s = open_for_save(dir, "decals");
    if (!s) return false;
    for (const Decal& d : t.decals)
      stream_printf(s, "[%f %f] %f %f %f %s\n", d.x, d.z, d.angle, d.size, d.aspect,
                    d.texture_name.c_str());
    if (!close_saved(s, "decals")) return false;
  }
  return true;
}
