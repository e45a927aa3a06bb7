// assets.cpp -- drawing the shared assets: ground textures that tile, the
// corner-coded transitions between them, the sky box, particles, models with
// their collision shapes, and the billboard pictures.
#include "assets.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "art.h"

namespace {

constexpr float PI = 3.14159265f;
constexpr int TILE = 128;  // pixels a side of a ground texture

}  // namespace

const std::vector<GroundLook>& ground_looks() {
  static const std::vector<GroundLook> looks = {
      //  name        r     g     b    contrast grain streaks seed
      {"loam", 0.45f, 0.32f, 0.21f, 0.22f, 0.12f, 0.0f, 11},
      {"hardpack", 0.58f, 0.50f, 0.39f, 0.12f, 0.08f, 0.0f, 12},
      {"ruts", 0.33f, 0.23f, 0.15f, 0.25f, 0.10f, 0.5f, 13},
      {"grass", 0.29f, 0.47f, 0.19f, 0.25f, 0.22f, 0.0f, 14},
      {"sand", 0.80f, 0.72f, 0.52f, 0.08f, 0.10f, 0.0f, 15},
      {"mud", 0.26f, 0.21f, 0.15f, 0.20f, 0.05f, 0.15f, 16},
  };
  return looks;
}

namespace {

// One texel of a base tile at (x, y); periodic in the tile so it repeats seamlessly.
Colour ground_texel(const GroundLook& g, int x, int y) {
  float coarse = fbm(x / 32.0f, y / 32.0f, g.seed, 3, TILE / 32) - 0.5f;
  float fine = value_noise(x / 2.0f, y / 2.0f, g.seed + 50, TILE / 2) - 0.5f;
  float streak = g.streaks * (value_noise(x / 3.0f, y / 40.0f, g.seed + 90, 0) - 0.5f);
  // Ruts run along z; keep them periodic by folding x onto the tile.
  streak = g.streaks * (std::sin((x + 6 * std::sin(y * 2 * PI / TILE)) * 2 * PI / 16) * 0.5f) +
           streak * 0.5f;
  float v = 1 + g.contrast * 2 * coarse + g.grain * 2 * fine + streak;
  Colour c{g.r * v, g.g * v, g.b * v, 1};
  if (std::string(g.name) == "grass") {
    // Blades: fine bright and dark speckles with a little yellow.
    float blade = value_noise(x * 1.3f, y * 0.7f, g.seed + 7, 0) - 0.5f;
    c.g += 0.12f * blade;
    c.r += 0.05f * (value_noise(x / 8.0f, y / 8.0f, g.seed + 9, TILE / 8) - 0.5f);
  }
  if (std::string(g.name) == "mud") {
    // Wet patches catch the sky.
    float wet = fbm(x / 24.0f, y / 24.0f, g.seed + 3, 2, TILE / 24 ? TILE / 32 : 1);
    if (wet > 0.58f) c = colour_mix(c, {0.42f, 0.42f, 0.44f, 1}, std::min(1.0f, (wet - 0.58f) * 6));
  }
  if (std::string(g.name) == "hardpack" || std::string(g.name) == "loam") {
    // Small stones.
    if (hash01((uint32_t)x, (uint32_t)y, g.seed) > 0.992f) c = colour_mix(c, {0.7f, 0.68f, 0.62f, 1}, 0.6f);
  }
  return c;
}

Picture ground_tile(const GroundLook& g) {
  Picture p(TILE, TILE, 3);
  for (int y = 0; y < TILE; y++)
    for (int x = 0; x < TILE; x++) picture_set(p, x, y, ground_texel(g, x, y));
  return p;
}

const GroundLook* find_look(const std::string& name) {
  for (const GroundLook& g : ground_looks())
    if (name == g.name) return &g;
  return nullptr;
}

// A transition tile "a-b-bits": each corner shows a (bit clear) or b (bit
// set); the boundary wanders with noise that repeats with the tile, so
// neighbouring cells meet without a seam.
Picture transition_tile(const GroundLook& a, const GroundLook& b, const char bits[4]) {
  // Corners: low x low z, high x low z, low x high z, high x high z.
  float c[4];
  for (int k = 0; k < 4; k++) c[k] = bits[k] == '1' ? 1.0f : 0.0f;
  Picture p(TILE, TILE, 3);
  for (int y = 0; y < TILE; y++)
    for (int x = 0; x < TILE; x++) {
      float u = (x + 0.5f) / TILE, v = (y + 0.5f) / TILE;
      float m = c[0] * (1 - u) * (1 - v) + c[1] * u * (1 - v) + c[2] * (1 - u) * v + c[3] * u * v;
      float wobble = fbm(x / 16.0f, y / 16.0f, 77, 3, TILE / 16) - 0.5f;
      // Fade the wobble at the tile's edges where both sides are the same tile.
      float t = std::clamp((m - 0.5f + 0.5f * wobble) * 6 + 0.5f, 0.0f, 1.0f);
      p.at(x, y)[0] = 0;
      Colour ca = ground_texel(a, x, y), cb = ground_texel(b, x, y);
      picture_set(p, x, y, colour_mix(ca, cb, t * t * (3 - 2 * t)));
    }
  return p;
}

// ---------------------------------------------------------------- sky

Colour sky_colour(float dx, float dy, float dz) {
  float len = std::sqrt(dx * dx + dy * dy + dz * dz);
  dx /= len, dy /= len, dz /= len;
  Colour horizon{0.78f, 0.84f, 0.90f, 1}, zenith{0.26f, 0.45f, 0.78f, 1}, ground{0.42f, 0.46f, 0.40f, 1};
  if (dy < 0) return colour_mix(horizon, ground, std::min(1.0f, -dy * 6));
  Colour c = colour_mix(horizon, zenith, std::pow(dy, 0.6f));
  // Clouds on a plane above: denser toward the horizon where the plane recedes.
  float px = dx / (dy + 0.08f), pz = dz / (dy + 0.08f);
  float cloud = fbm(px * 1.2f + 3, pz * 1.2f + 7, 5, 5);
  float cover = std::clamp((cloud - 0.5f) * 3.5f, 0.0f, 1.0f) * std::min(1.0f, dy * 8 + 0.2f);
  Colour white{0.97f, 0.97f, 0.98f, 1};
  float shade = std::clamp((fbm(px * 1.2f + 3.05f, pz * 1.2f + 7.05f, 5, 5) - cloud) * 20 + 0.85f, 0.6f, 1.0f);
  white.r *= shade, white.g *= shade, white.b *= shade;
  // Distant hills along the horizon.
  float bearing = std::atan2(dx, dz);
  float hills = 0.03f + 0.03f * fbm(bearing * 3 + 10, 0.5f, 21, 3);
  if (dy < hills) return colour_mix(c, {0.36f, 0.44f, 0.38f, 1}, std::clamp((hills - dy) * 200, 0.0f, 0.85f));
  return colour_mix(c, white, cover);
}

// A cube face: dir = forward + u right + v up, u and v from -1 to 1.
Picture sky_face(const float fwd[3], const float right[3], const float up[3]) {
  const int N = 256;
  Picture p(N, N, 3);
  for (int y = 0; y < N; y++)
    for (int x = 0; x < N; x++) {
      float u = 2 * (x + 0.5f) / N - 1, v = 1 - 2 * (y + 0.5f) / N;
      float d[3];
      for (int k = 0; k < 3; k++) d[k] = fwd[k] + u * right[k] + v * up[k];
      picture_set(p, x, y, sky_colour(d[0], d[1], d[2]));
    }
  return p;
}

// The environment map: the same sky seen as an angular map.
Picture sky_env() {
  const int N = 256;
  Picture p(N, N, 3);
  for (int y = 0; y < N; y++)
    for (int x = 0; x < N; x++) {
      float u = 2 * (x + 0.5f) / N - 1, v = 2 * (y + 0.5f) / N - 1;
      float r = std::min(1.0f, std::sqrt(u * u + v * v));
      float theta = r * PI;  // angle from straight up
      float phi = std::atan2(v, u);
      picture_set(p, x, y, sky_colour(std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi)));
    }
  return p;
}

// ---------------------------------------------------------------- particles and billboards

Picture particle(Colour c, uint32_t seed, bool drops) {
  const int N = 32;
  Picture p(N, N, 4);
  for (int y = 0; y < N; y++)
    for (int x = 0; x < N; x++) {
      float dx = (x + 0.5f) / N - 0.5f, dy = (y + 0.5f) / N - 0.5f;
      float d = std::sqrt(dx * dx + dy * dy) * 2;
      float n = fbm(x / 6.0f, y / 6.0f, seed, 3);
      float a = std::clamp((1 - d) * 2.2f - (drops ? 0.6f : 0.3f) + (n - 0.5f) * 1.6f, 0.0f, 1.0f);
      Colour k = c;
      float lit = 0.8f + 0.4f * (0.5f - dy) + (n - 0.5f) * 0.3f;
      k.r *= lit, k.g *= lit, k.b *= lit;
      k.a = a;
      picture_set(p, x, y, k);
    }
  return p;
}

Picture pine_tree(uint32_t seed) {
  Picture p(64, 128, 4);
  picture_fill_rect(p, 29, 96, 35, 128, {0.30f, 0.20f, 0.12f, 1});
  for (int layer = 0; layer < 5; layer++) {
    float top = 4 + layer * 19.0f, half = 10 + layer * 5.0f;
    float shade = 0.85f + 0.15f * hash01(seed, (uint32_t)layer);
    picture_fill_triangle(p, 32, top, 32 - half, top + 34, 32 + half, top + 34,
                          {0.10f * shade, 0.30f * shade, 0.13f * shade, 1});
  }
  return p;
}

Picture oak_tree(uint32_t seed) {
  Picture p(128, 128, 4);
  picture_fill_rect(p, 58, 70, 70, 128, {0.32f, 0.22f, 0.13f, 1});
  for (int k = 0; k < 14; k++) {
    float a = hash01(seed, (uint32_t)k) * 2 * PI, r = 30 * hash01(seed, (uint32_t)k, 3);
    float shade = 0.8f + 0.3f * hash01(seed, (uint32_t)k, 5);
    picture_fill_circle(p, 64 + r * std::cos(a), 50 + 0.7f * r * std::sin(a), 22,
                        {0.20f * shade, 0.40f * shade, 0.14f * shade, 1});
  }
  return p;
}

// A row of people: heads, shirts of many colours, some arms raised.
Picture spectators(uint32_t seed) {
  Picture p(128, 64, 4);
  for (int i = 0; i < 9; i++) {
    float x = 8 + i * 14 + 4 * (hash01(seed, (uint32_t)i) - 0.5f);
    float h = 50 + 10 * hash01(seed, (uint32_t)i, 1);
    Colour shirt{hash01(seed, (uint32_t)i, 2), hash01(seed, (uint32_t)i, 3), hash01(seed, (uint32_t)i, 4), 1};
    Colour skin{0.85f, 0.66f, 0.50f, 1};
    float top = 64 - h;
    picture_fill_rect(p, x - 3, top + 30, x + 3, 64, {0.20f, 0.22f, 0.30f, 1});  // legs
    picture_fill_rect(p, x - 5, top + 10, x + 5, top + 32, shirt);
    picture_fill_circle(p, x, top + 5, 5, skin);
    if (hash01(seed, (uint32_t)i, 6) > 0.6f) picture_fill_rect(p, x + 4, top - 4, x + 6, top + 14, skin);
  }
  return p;
}

Picture flag_picture() {
  Picture p(32, 64, 4);
  picture_fill_rect(p, 2, 0, 4, 64, {0.7f, 0.7f, 0.7f, 1});
  picture_fill_triangle(p, 4, 2, 30, 10, 4, 20, {1, 1, 1, 1});  // white so a tint colours it
  return p;
}

Picture sign_picture() {
  Picture p(64, 64, 4);
  picture_fill_rect(p, 8, 30, 12, 64, {0.4f, 0.3f, 0.2f, 1});
  picture_fill_rect(p, 52, 30, 56, 64, {0.4f, 0.3f, 0.2f, 1});
  picture_fill_rect(p, 2, 6, 62, 34, {0.95f, 0.95f, 0.92f, 1});
  for (int k = 0; k < 3; k++) picture_fill_rect(p, 8, 11 + k * 7, 56 - k * 8, 15 + k * 7, {0.8f, 0.1f, 0.1f, 1});
  return p;
}

// A flagger: a marshal holding a flag, in the pose of frame k.
Picture flagger(Colour flag, int frame, bool chequered) {
  Picture p(64, 128, 4);
  float sway = std::sin(frame * PI / 2) * 10;
  picture_fill_rect(p, 26, 80, 31, 128, {0.15f, 0.15f, 0.2f, 1});
  picture_fill_rect(p, 33, 80, 38, 128, {0.15f, 0.15f, 0.2f, 1});
  picture_fill_rect(p, 24, 44, 40, 82, {0.9f, 0.5f, 0.1f, 1});  // vest
  picture_fill_circle(p, 32, 36, 8, {0.85f, 0.66f, 0.50f, 1});
  picture_fill_rect(p, 38 + sway * 0.3f, 10, 40 + sway * 0.3f, 50, {0.6f, 0.6f, 0.6f, 1});  // stick
  for (int y = 0; y < 20; y++)
    for (int x = 0; x < 22; x++) {
      Colour c = flag;
      if (chequered) c = ((x / 5 + y / 5) % 2) ? Colour{0, 0, 0, 1} : Colour{1, 1, 1, 1};
      picture_set(p, (int)(40 + sway * 0.3f) + x, 10 + y + (int)(std::sin((x + frame * 3) * 0.5f) * 2), c);
    }
  return p;
}

// ---------------------------------------------------------------- models

// A texture of a few horizontal bands with noise, for boxes and posts.
Picture material(Colour a, Colour b, int bands, uint32_t seed) {
  Picture p(64, 64, 3);
  for (int y = 0; y < 64; y++)
    for (int x = 0; x < 64; x++) {
      Colour c = ((y * bands / 64) % 2) ? b : a;
      float n = 0.9f + 0.2f * fbm(x / 8.0f, y / 8.0f, seed, 3);
      c.r *= n, c.g *= n, c.b *= n;
      picture_set(p, x, y, c);
    }
  return p;
}

// Spheres along a box's long (x) axis, covering it; friction and a stiffness
// that stops a bike without bouncing it back.
std::vector<ShapeSphere> box_spheres(float length, float height, float depth) {
  std::vector<ShapeSphere> out;
  float r = std::min(height, depth) / 2;
  int count = std::max(1, (int)std::ceil(length / r)) ;
  for (int i = 0; i < count; i++) {
    float x = -length / 2 + r + (length - 2 * r) * (count == 1 ? 0.5f : (float)i / (float)(count - 1));
    out.push_back({x, height / 2, 0, r, 0.6f, 20000, 400});
    if (height > 2 * depth) out.push_back({x, height - r, 0, r, 0.6f, 20000, 400});
  }
  return out;
}

struct Model {
  const char* name;  // file stem
  std::vector<QmMesh> meshes;
  Picture texture;
  std::vector<ShapeSphere> shape;
};

Model box_model(const char* name, float length, float height, float depth, Picture texture) {
  Model m{name, {}, std::move(texture), box_spheres(length, height, depth)};
  QmMesh mesh;
  float lo[3] = {-length / 2, 0, -depth / 2}, hi[3] = {length / 2, height, depth / 2};
  mesh_add_box(mesh, lo, hi, 0, 0, 1, 1);
  m.meshes.push_back(mesh);
  return m;
}

std::vector<Model> models() {
  std::vector<Model> out;
  out.push_back(box_model("haybale", 3.5f, 1.5f, 1.6f,
                          material({0.86f, 0.74f, 0.40f, 1}, {0.78f, 0.66f, 0.34f, 1}, 8, 3)));
  out.push_back(box_model("tuffblock", 10, 1.6f, 1.6f,
                          material({0.95f, 0.80f, 0.10f, 1}, {0.90f, 0.75f, 0.08f, 1}, 2, 4)));
  // The starting gate bar: a panel that pivots forward at its foot.
  {
    Model gate = box_model("startgate", 3.0f, 1.7f, 0.2f,
                           material({0.75f, 0.75f, 0.78f, 1}, {0.9f, 0.2f, 0.15f, 1}, 6, 5));
    gate.shape.clear();
    for (int i = 0; i < 4; i++) gate.shape.push_back({-1.125f + 0.75f * i, 0.85f, 0, 0.38f, 0.5f, 30000, 600});
    out.push_back(std::move(gate));
  }
  // A banner on two posts.
  {
    Model banner{"banner", {}, material({0.1f, 0.3f, 0.8f, 1}, {0.95f, 0.95f, 0.95f, 1}, 3, 6), {}};
    QmMesh m;
    mesh_add_cylinder(m, -4, 0, 0.15f, 0, 6, 8, 0, 0, 0.1f, 0.1f);
    mesh_add_cylinder(m, 4, 0, 0.15f, 0, 6, 8, 0, 0, 0.1f, 0.1f);
    float lo[3] = {-4, 3, -0.05f}, hi[3] = {4, 6, 0.05f};
    mesh_add_box(m, lo, hi, 0, 0, 1, 1);
    banner.meshes.push_back(m);
    for (float y : {0.5f, 1.5f, 2.5f}) {
      banner.shape.push_back({-4, y, 0, 0.5f, 0.6f, 20000, 400});
      banner.shape.push_back({4, y, 0, 0.5f, 0.6f, 20000, 400});
    }
    out.push_back(std::move(banner));
  }
  // A timing tower: four legs, a cabin and a roof.
  {
    Model tower{"tower", {}, material({0.55f, 0.55f, 0.58f, 1}, {0.85f, 0.85f, 0.80f, 1}, 4, 7), {}};
    QmMesh m;
    for (float x : {-3.5f, 3.5f})
      for (float z : {-3.5f, 3.5f}) mesh_add_cylinder(m, x, z, 0.25f, 0, 12, 8, 0, 0, 0.1f, 0.1f);
    float lo[3] = {-4, 12, -4}, hi[3] = {4, 19, 4};
    mesh_add_box(m, lo, hi, 0, 0, 1, 1);
    float rlo[3] = {-4.6f, 19, -4.6f}, rhi[3] = {4.6f, 19.6f, 4.6f};
    mesh_add_box(m, rlo, rhi, 0, 0, 1, 0.2f);
    tower.meshes.push_back(m);
    for (float x : {-3.5f, 3.5f})
      for (float z : {-3.5f, 3.5f})
        for (float y : {0.6f, 1.8f, 3.0f}) tower.shape.push_back({x, y, z, 0.6f, 0.6f, 30000, 600});
    out.push_back(std::move(tower));
  }
  // A grandstand section: stepped rows rising away from the track (+z).
  {
    Model stand{"stand", {}, material({0.5f, 0.5f, 0.55f, 1}, {0.7f, 0.2f, 0.2f, 1}, 8, 8), {}};
    QmMesh m;
    for (int row = 0; row < 5; row++) {
      float lo[3] = {-12, 0, -6 + row * 2.4f}, hi[3] = {12, 3.0f + row * 2.2f, -3.6f + row * 2.4f};
      mesh_add_box(m, lo, hi, 0, row / 5.0f, 1, (row + 1) / 5.0f);
    }
    stand.meshes.push_back(m);
    // The front wall is what a rider can reach.
    for (float x = -11; x <= 11; x += 2) stand.shape.push_back({x, 1.2f, -4.8f, 1.2f, 0.5f, 40000, 800});
    out.push_back(std::move(stand));
  }
  return out;
}

}  // namespace

bool write_shared_assets(const std::string& dir, const std::vector<std::string>& tile_names) {
  bool ok = true;
  // Ground tiles, base and transitions.
  for (const GroundLook& g : ground_looks()) ok &= write_png(dir + "/" + g.name + ".png", ground_tile(g));
  std::vector<std::string> done;
  for (const std::string& name : tile_names) {
    size_t a = name.find('-');
    if (a == std::string::npos || std::find(done.begin(), done.end(), name) != done.end()) continue;
    size_t b = name.find('-', a + 1);
    const GroundLook* la = find_look(name.substr(0, a));
    const GroundLook* lb = find_look(name.substr(a + 1, b - a - 1));
    if (!la || !lb || b == std::string::npos || name.size() < b + 5) continue;
    ok &= write_png(dir + "/" + name + ".png", transition_tile(*la, *lb, name.c_str() + b + 1));
    done.push_back(name);
  }
  // The sky box: north is -z, east +x; each face seen from inside.
  const float N[3] = {0, 0, -1}, E[3] = {1, 0, 0}, S[3] = {0, 0, 1}, W[3] = {-1, 0, 0}, U[3] = {0, 1, 0};
  ok &= write_ppm(dir + "/sky-n.ppm", sky_face(N, E, U));
  ok &= write_ppm(dir + "/sky-e.ppm", sky_face(E, S, U));
  ok &= write_ppm(dir + "/sky-s.ppm", sky_face(S, W, U));
  ok &= write_ppm(dir + "/sky-w.ppm", sky_face(W, N, U));
  ok &= write_ppm(dir + "/sky-u.ppm", sky_face(U, E, S));
  ok &= write_ppm(dir + "/sky-env.ppm", sky_env());
  // Particles.
  ok &= write_png(dir + "/roost.png", particle({0.42f, 0.30f, 0.20f, 1}, 41, false));
  ok &= write_png(dir + "/splash.png", particle({0.75f, 0.80f, 0.85f, 1}, 42, true));
  // Billboards.
  ok &= write_png(dir + "/tree-pine.png", pine_tree(1));
  ok &= write_png(dir + "/tree-oak.png", oak_tree(2));
  for (int k = 1; k <= 3; k++) ok &= write_png(dir + "/spectators-" + std::to_string(k) + ".png", spectators((uint32_t)k));
  ok &= write_png(dir + "/flag.png", flag_picture());
  ok &= write_png(dir + "/sign.png", sign_picture());
  for (int k = 1; k <= 5; k++)
    ok &= write_png(dir + "/flagger-start-" + std::to_string(k) + ".png", flagger({0.1f, 0.5f, 0.1f, 1}, k, false));
  for (int k = 1; k <= 4; k++)
    ok &= write_png(dir + "/flagger-finish-" + std::to_string(k) + ".png", flagger({1, 1, 1, 1}, k, true));
  for (int k = 1; k <= 2; k++)
    ok &= write_png(dir + "/flagger-yellow-" + std::to_string(k) + ".png", flagger({0.95f, 0.85f, 0.1f, 1}, k, false));
  // Statue models with their textures and collision shapes.
  for (const Model& m : models()) {
    std::string stem = dir + "/" + m.name;
    ok &= write_qm(stem + ".qm", m.meshes);
    ok &= write_ppm(stem + ".ppm", m.texture);
    ok &= write_shp(stem + ".shp", m.shape);
  }
  return ok;
}
