// track_objects.cpp -- billboards, statues with their orientation, maps and
// collision bins, and the flaggers, with the readers of their files.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/data.h"
#include "physics/shape.h"
#include "render/image.h"
#include "render/model.h"
#include "track/track.h"
#include "track/track_internal.h"

// Ground height where a terrain exists; objects made before one stand at 0.
static float ground_height(float x, float z) {
  const Terrain& t = terrain_record();
  return t.heights ? terrain_height(t, x, z) : 0.0f;
}

// ---------------------------------------------------------------- billboards

static int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int billboard_create(float x, float y_offset, float z, float size, float width_ratio, const char* name) {
  Track& t = track_current();
  Billboard b{};
  b.x = x;
  b.z = z;
  b.size = size;
  b.y_offset = y_offset;
  b.width_ratio = width_ratio;
  b.r = b.g = b.b = b.a = 255;
  const char* texture = name;
  if (name && strlen(name) >= 8 && name[0] == '#' && name[7] == '#') {
    int digits[6];
    bool hex = true;
    for (int i = 0; i < 6; i++) hex = hex && (digits[i] = hex_digit(name[1 + i])) >= 0;
    if (hex) {
      b.r = (uint8_t)(digits[0] << 4 | digits[1]);
      b.g = (uint8_t)(digits[2] << 4 | digits[3]);
      b.b = (uint8_t)(digits[4] << 4 | digits[5]);
      texture = name + 8;
    }
  }
  if (texture && *texture) {
    b.texture = texture_load(texture);
    b.texture_name = texture;
  }
  b.y = ground_height(x, z) + y_offset;
  t.billboard_slots.push(0);
  t.billboard_slots.push(0);
  t.billboards.push(b);
  return t.billboards.count - 1;
}

void billboards_parse(Stream* s) {
  char name[1024];
  float x, y_offset, z, size, width_ratio;
  while (stream_scanf(s, "[ %f %f %f ] %f %f %1023s ", &x, &y_offset, &z, &size, &width_ratio, name) == 6)
    billboard_create(x, y_offset, z, size, width_ratio, name);
}

// ---------------------------------------------------------------- statues

Mat3 statue_orientation(float x, float z, float angle) {
  Mat3 m;
  if (angle >= 3.25f) return m;
  Vec3 a0{std::cos(angle), 0, -std::sin(angle)};
  Vec3 up{0, 1, 0};
  if (!(angle <= -6.2831855f)) {
    float h0 = ground_height(x, z);
    float hx = ground_height(x + 1, z);
    float hz = ground_height(x, z + 1);
    up = vec3_normalize(Vec3{-(hx - h0), 1, -(hz - h0)});
  }
  Vec3 c = vec3_normalize(vec3_cross(a0, up));
  Vec3 a = vec3_cross(up, c);
  const Vec3 columns[3] = {a, up, c};
  for (int k = 0; k < 3; k++) {
    m.m[0][k] = columns[k].x;
    m.m[1][k] = columns[k].y;
    m.m[2][k] = columns[k].z;
  }
  return m;
}

// The names tried for a statue's normal ("_norm") or specular ("_spec")
// map, in order: from the texture name, then from the model name.
int statue_map_candidates(const char* texture, const char* model, const char* kind, std::string out[9]) {
  int n = 0;
  std::string tex = texture ? texture : "";
  static constexpr const char* REPEAT_ENDS[] = {"-repeat.png", "-repeat.ppm", "-repeat.seq"};
  bool repeat = false;
  for (const char* end : REPEAT_ENDS) {
    size_t len = strlen(end);
    repeat = repeat || (tex.size() >= len && tex.compare(tex.size() - len, len, end) == 0);
  }
  if (repeat) {
    std::string stem = tex.substr(0, tex.rfind('-'));
    for (const char* ext : {"-repeat.seq", "-repeat.png", "-repeat.ppm"}) out[n++] = stem + kind + ext;
  } else if (tex.rfind('.') != std::string::npos) {
    std::string stem = tex.substr(0, tex.rfind('.'));
    for (const char* ext : {".seq", ".png", ".ppm"}) out[n++] = stem + kind + ext;
  }
  std::string mod = model ? model : "";
  if (mod.rfind('.') != std::string::npos) {
    std::string stem = mod.substr(0, mod.rfind('.'));
    for (const char* ext : {".seq", ".png", ".ppm"}) out[n++] = stem + kind + ext;
  }
  return n;
}

static TextureId find_statue_map(const char* texture, const char* model, const char* kind) {
  std::string names[9];
  int n = statue_map_candidates(texture, model, kind, names);
  for (int i = 0; i < n; i++)
    if (TextureId id = texture_load(names[i].c_str())) return id;
  return 0;
}

int statue_create(float x, float y_offset, float z, float angle, const char* model_name,
                  const char* texture_name, const char* shape_name) {
  Track& t = track_current();
  Statue s{};
  s.x = x;
  s.z = z;
  s.y_offset = y_offset;
  s.angle = angle;
  s.face_camera_size = angle >= 3.25f ? std::exp2(angle) : 0.0f;
  s.model_name = model_name ? model_name : "";
  s.texture_name = texture_name ? texture_name : "";
  s.texture = texture_load(s.texture_name.c_str());
  // The maps only serve the shader path; without enough texture units for
  // them the scene ignores them.
  s.normal_map = find_statue_map(texture_name, model_name, "_norm");
  s.specular_map = find_statue_map(texture_name, model_name, "_spec");
  s.model = model_name ? model_load(model_name) : nullptr;
  if (shape_name) {
    s.shape_name = shape_name;
    const Shape* shape = load_shape(shape_name);
    if (shape) {
      s.shape = copy_shape(shape);
    } else {
      track_post("Warning: missing shape file %.900s", shape_name);
    }
  }
  s.y = ground_height(x, z) + y_offset;
  s.orientation = statue_orientation(x, z, angle);
  s.tick_stamp = 0;
  t.statues.push(s);
  return t.statues.count - 1;
}

void statue_place(int index) {
  Track& t = track_current();
  if (index < 0 || index >= t.statues.count) return;
  Statue& s = t.statues[index];
  s.y = ground_height(s.x, s.z) + s.y_offset;
  s.orientation = statue_orientation(s.x, s.z, s.angle);
}

void statues_parse(Stream* s) {
  char model[1024], texture[1024], shape[1024];
  float x, y_offset, z, angle;
  while (stream_scanf(s, "[ %f %f %f ] %f %1023s %1023s %1023s ", &x, &y_offset, &z, &angle, model,
                      texture, shape) == 7)
    statue_create(x, y_offset, z, angle, model, texture, strcmp(shape, "null") == 0 ? nullptr : shape);
}

// The bins cover the middle three quarters of the field; objects outside
// it fall into the edge bins.
static int statue_bin(float p, float extent) {
  float f = std::floor(8.0f * (p / extent - 0.125f) * 4.0f / 3.0f);
  if (!(f >= 0)) return 0;  // NaN too
  return f > STATUE_BIN_SIDE - 1 ? STATUE_BIN_SIDE - 1 : (int)f;
}

void statue_bins_rebuild() {
  Track& t = track_current();
  float extent = terrain_record().extent;
  for (GrowList<int>& bin : t.statue_bins) bin.clear();
  for (int i = 0; i < t.statues.count; i++) {
    const Statue& s = t.statues[i];
    if (!s.shape) continue;
    float r = s.shape->bounding_radius;
    int x0 = statue_bin(s.x - r, extent), x1 = statue_bin(s.x + r, extent);
    int z0 = statue_bin(s.z - r, extent), z1 = statue_bin(s.z + r, extent);
    for (int bz = z0; bz <= z1; bz++)
      for (int bx = x0; bx <= x1; bx++) t.statue_bins[bz * STATUE_BIN_SIDE + bx].push(i);
  }
}

// ---------------------------------------------------------------- flaggers

// Reads count texture names; false when one is missing.
static bool read_textures(Stream* s, int count, char names[][1024]) {
  for (int i = 0; i < count; i++)
    if (stream_scanf(s, " %1023s ", names[i]) != 1) return false;
  return true;
}

void flaggers_parse(Stream* s) {
  Track& t = track_current();
  char names[5][1024];
  float fx, fy, fz, tx, ty, tz, size, width_ratio, walk_time;
  if (stream_scanf(s, " [ %f %f %f ] [ %f %f %f ] %f %f %f ", &fx, &fy, &fz, &tx, &ty, &tz, &size,
                   &width_ratio, &walk_time) != 9 ||
      !read_textures(s, 5, names))
    return;
  StartFlagger& start = t.start_flagger;
  start.from = {fx, fy, fz};
  start.to = {tx, ty, tz};
  start.size = size;
  start.width_ratio = width_ratio;
  start.walk_time = walk_time;
  for (int i = 0; i < 5; i++) start.textures[i] = texture_load(names[i]);
  start.billboard = billboard_create(fx, fy, fz, size, width_ratio, names[0]);
  t.has_start_flagger = true;

  float x, y, z;
  if (stream_scanf(s, " [ %f %f %f ] %f %f ", &x, &y, &z, &size, &width_ratio) != 5 ||
      !read_textures(s, 4, names))
    return;
  FinishFlagger& finish = t.finish_flagger;
  for (int i = 0; i < 4; i++) finish.textures[i] = texture_load(names[i]);
  finish.billboard = billboard_create(x, y, z, size, width_ratio, names[0]);
  t.has_finish_flagger = true;

  int gates[4];
  while (stream_scanf(s, " [ %f %f %f ] %f %f %d %d %d %d", &x, &y, &z, &size, &width_ratio, &gates[0],
                      &gates[1], &gates[2], &gates[3]) == 9 &&
         read_textures(s, 2, names)) {
    TrackFlagger f{};
    for (int i = 0; i < 4; i++) f.checkpoints[i] = std::clamp(gates[i], -1, t.timing.checkpoint_count - 1);
    for (int i = 0; i < 2; i++) f.textures[i] = texture_load(names[i]);
    f.billboard = billboard_create(x, y, z, size, width_ratio, names[0]);
    t.flaggers.push(f);
  }
}
