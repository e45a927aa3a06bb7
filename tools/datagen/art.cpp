// art.cpp -- pictures, noise and the builder's own file writers.
#include "art.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

// ---------------------------------------------------------------- pictures

Colour colour_mix(Colour a, Colour b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

namespace {
uint8_t to_byte(float v) { return (uint8_t)std::clamp((int)std::lround(v * 255.0f), 0, 255); }
}  // namespace

void picture_set(Picture& p, int x, int y, Colour c) {
  if (x < 0 || y < 0 || x >= p.width || y >= p.height) return;
  uint8_t* px = p.at(x, y);
  px[0] = to_byte(c.r);
  px[1] = to_byte(c.g);
  px[2] = to_byte(c.b);
  if (p.channels == 4) px[3] = to_byte(c.a);
}

void picture_blend(Picture& p, int x, int y, Colour c) {
  if (x < 0 || y < 0 || x >= p.width || y >= p.height || c.a <= 0) return;
  uint8_t* px = p.at(x, y);
  float a = std::min(c.a, 1.0f);
  for (int k = 0; k < 3; k++) {
    float v = (&c.r)[k];
    px[k] = to_byte(px[k] / 255.0f * (1 - a) + v * a);
  }
  if (p.channels == 4) px[3] = to_byte(px[3] / 255.0f * (1 - a) + a);
}

void picture_fill_rect(Picture& p, float x0, float y0, float x1, float y1, Colour c) {
  for (int y = std::max(0, (int)std::floor(y0)); y < std::min(p.height, (int)std::ceil(y1)); y++)
    for (int x = std::max(0, (int)std::floor(x0)); x < std::min(p.width, (int)std::ceil(x1)); x++) {
      // Coverage of the pixel square by the rectangle, for soft edges.
      float cx = std::clamp(std::min(x + 1.0f, x1) - std::max((float)x, x0), 0.0f, 1.0f);
      float cy = std::clamp(std::min(y + 1.0f, y1) - std::max((float)y, y0), 0.0f, 1.0f);
      Colour k = c;
      k.a *= cx * cy;
      picture_blend(p, x, y, k);
    }
}

void picture_fill_circle(Picture& p, float cx, float cy, float radius, Colour c) {
  for (int y = std::max(0, (int)(cy - radius - 1)); y < std::min(p.height, (int)(cy + radius + 2)); y++)
    for (int x = std::max(0, (int)(cx - radius - 1)); x < std::min(p.width, (int)(cx + radius + 2)); x++) {
      float d = std::hypot(x + 0.5f - cx, y + 0.5f - cy);
      Colour k = c;
      k.a *= std::clamp(radius - d + 0.5f, 0.0f, 1.0f);
      picture_blend(p, x, y, k);
    }
}

void picture_fill_triangle(Picture& p, float ax, float ay, float bx, float by, float cx, float cy,
                           Colour c) {
  float area = (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
  if (std::fabs(area) < 1e-6f) return;
  float s = area > 0 ? 1.0f : -1.0f;
  int x0 = std::max(0, (int)std::floor(std::min({ax, bx, cx})) - 1);
  int x1 = std::min(p.width - 1, (int)std::ceil(std::max({ax, bx, cx})) + 1);
  int y0 = std::max(0, (int)std::floor(std::min({ay, by, cy})) - 1);
  int y1 = std::min(p.height - 1, (int)std::ceil(std::max({ay, by, cy})) + 1);
  auto edge = [&](float px, float py, float qx, float qy, float x, float y) {
    float len = std::hypot(qx - px, qy - py);
    return s * ((qx - px) * (y - py) - (qy - py) * (x - px)) / len;  // signed distance, inside > 0
  };
  for (int y = y0; y <= y1; y++)
    for (int x = x0; x <= x1; x++) {
      float fx = x + 0.5f, fy = y + 0.5f;
      float d = std::min({edge(ax, ay, bx, by, fx, fy), edge(bx, by, cx, cy, fx, fy),
                          edge(cx, cy, ax, ay, fx, fy)});
      Colour k = c;
      k.a *= std::clamp(d + 0.5f, 0.0f, 1.0f);
      picture_blend(p, x, y, k);
    }
}

// ---------------------------------------------------------------- noise

namespace {

uint32_t mix(uint32_t h) {
  h ^= h >> 16;
  h *= 0x7feb352d;
  h ^= h >> 15;
  h *= 0x846ca68b;
  h ^= h >> 16;
  return h;
}

float lattice(int x, int y, uint32_t seed, int period) {
  if (period > 0) {
    x = ((x % period) + period) % period;
    y = ((y % period) + period) % period;
  }
  return (float)(mix((uint32_t)x * 0x9e3779b1u ^ mix((uint32_t)y + seed * 0x85ebca6bu)) >> 8) /
         16777215.0f;
}

}  // namespace

float hash01(uint32_t a, uint32_t b, uint32_t c) {
  return (float)(mix(a * 0x9e3779b1u ^ mix(b * 0x85ebca6bu ^ mix(c + 0x27d4eb2fu))) >> 8) /
         16777215.0f;
}

float value_noise(float x, float y, uint32_t seed, int period) {
  float fx = std::floor(x), fy = std::floor(y);
  int ix = (int)fx, iy = (int)fy;
  float u = x - fx, v = y - fy;
  u = u * u * (3 - 2 * u);
  v = v * v * (3 - 2 * v);
  float a = lattice(ix, iy, seed, period), b = lattice(ix + 1, iy, seed, period);
  float c = lattice(ix, iy + 1, seed, period), d = lattice(ix + 1, iy + 1, seed, period);
  return a + (b - a) * u + (c - a) * v + (a - b - c + d) * u * v;
}

float fbm(float x, float y, uint32_t seed, int octaves, int period) {
  float sum = 0, weight = 0.5f, total = 0;
  for (int i = 0; i < octaves; i++) {
    sum += weight * value_noise(x, y, seed + (uint32_t)i * 101, period);
    total += weight;
    x *= 2;
    y *= 2;
    if (period) period *= 2;
    weight *= 0.5f;
  }
  return sum / total;
}

// ---------------------------------------------------------------- writers

namespace {

FILE* create(const std::string& path) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  return fopen(path.c_str(), "wb");
}

bool finish(FILE* f) {
  bool ok = !ferror(f);
  return fclose(f) == 0 && ok;
}

}  // namespace

bool write_ppm(const std::string& path, const Picture& p) {
  FILE* f = create(path);
  if (!f) return false;
  fprintf(f, "P6\n%d %d\n255\n", p.width, p.height);
  for (int y = 0; y < p.height; y++)
    for (int x = 0; x < p.width; x++) fwrite(p.at(x, y), 1, 3, f);
  return finish(f);
}

bool write_pgm(const std::string& path, const std::vector<uint8_t>& grey, int width, int height) {
  FILE* f = create(path);
  if (!f) return false;
  fprintf(f, "P5\n%d %d\n255\n", width, height);
  fwrite(grey.data(), 1, grey.size(), f);
  return finish(f);
}

bool write_png(const std::string& path, const Picture& p) {
  FILE* f = create(path);
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, (png_uint_32)p.width, (png_uint_32)p.height, 8,
               p.channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < p.height; y++) png_write_row(png, p.pixels.data() + (size_t)y * p.width * p.channels);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return finish(f);
}

bool write_text(const std::string& path, const std::string& text) {
  FILE* f = create(path);
  if (!f) return false;
  fwrite(text.data(), 1, text.size(), f);
  return finish(f);
}

void mesh_add_box(QmMesh& m, const float lo[3], const float hi[3], float u0, float v0, float u1, float v1) {
  // Each face: normal axis, and the two axes spanning it (right-handed, outward).
  struct Face {
    int axis;
    float sign;
  } faces[] = {{0, 1}, {0, -1}, {1, 1}, {1, -1}, {2, 1}, {2, -1}};
  for (const Face& f : faces) {
    int a = (f.axis + 1) % 3, b = (f.axis + 2) % 3;
    if (f.sign < 0) std::swap(a, b);
    int base = (int)m.vertices.size();
    for (int k = 0; k < 4; k++) {
      float sa = (k == 1 || k == 2) ? 1.0f : 0.0f, sb = (k >= 2) ? 1.0f : 0.0f;
      QmMesh::Vertex v{};
      v.p[f.axis] = f.sign > 0 ? hi[f.axis] : lo[f.axis];
      v.p[a] = lo[a] + (hi[a] - lo[a]) * sa;
      v.p[b] = lo[b] + (hi[b] - lo[b]) * sb;
      v.n[f.axis] = f.sign;
      v.uv[0] = u0 + (u1 - u0) * sa;
      v.uv[1] = v0 + (v1 - v0) * sb;
      m.vertices.push_back(v);
    }
    m.triangles.insert(m.triangles.end(), {base, base + 1, base + 2, base, base + 2, base + 3});
  }
}

void mesh_add_cylinder(QmMesh& m, float x, float z, float radius, float y0, float y1, int sides,
                       float u0, float v0, float u1, float v1) {
  int base = (int)m.vertices.size();
  for (int i = 0; i <= sides; i++) {
    float a = 6.2831853f * (float)i / (float)sides;
    float nx = std::cos(a), nz = -std::sin(a);
    float u = u0 + (u1 - u0) * (float)i / (float)sides;
    m.vertices.push_back({{x + radius * nx, y0, z + radius * nz}, {nx, 0, nz}, {u, v0}});
    m.vertices.push_back({{x + radius * nx, y1, z + radius * nz}, {nx, 0, nz}, {u, v1}});
  }
  for (int i = 0; i < sides; i++) {
    int k = base + 2 * i;
    m.triangles.insert(m.triangles.end(), {k, k + 2, k + 3, k, k + 3, k + 1});
  }
  // The top cap, so a post seen from above is closed.
  int centre = (int)m.vertices.size();
  m.vertices.push_back({{x, y1, z}, {0, 1, 0}, {(u0 + u1) / 2, v1}});
  for (int i = 0; i <= sides; i++) {
    float a = 6.2831853f * (float)i / (float)sides;
    m.vertices.push_back({{x + radius * std::cos(a), y1, z - radius * std::sin(a)}, {0, 1, 0},
                          {(u0 + u1) / 2, v1}});
  }
  for (int i = 0; i < sides; i++)
    m.triangles.insert(m.triangles.end(), {centre, centre + 1 + i, centre + 2 + i});
}

bool write_qm(const std::string& path, const std::vector<QmMesh>& meshes) {
  FILE* f = create(path);
  if (!f) return false;
  fprintf(f, "QM1\n");
  for (const QmMesh& m : meshes) {
    fprintf(f, "%g 1 %g %g %g %d %d\n", m.shininess, m.specular[0], m.specular[1], m.specular[2],
            (int)m.vertices.size(), (int)m.triangles.size() / 3);
    for (const QmMesh::Vertex& v : m.vertices)
      fprintf(f, "%.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f\n", v.p[0], v.p[1], v.p[2], v.n[0], v.n[1],
              v.n[2], v.uv[0], v.uv[1]);
    for (size_t t = 0; t < m.triangles.size(); t += 3)
      fprintf(f, "%d %d %d\n", m.triangles[t], m.triangles[t + 1], m.triangles[t + 2]);
  }
  return finish(f);
}

bool write_shp(const std::string& path, const std::vector<ShapeSphere>& spheres) {
  FILE* f = create(path);
  if (!f) return false;
  fprintf(f, "%d\n", (int)spheres.size());
  for (const ShapeSphere& s : spheres)
    fprintf(f, "%.4f %.4f %.4f %.4f %.4f %.1f %.1f\n", s.x, s.y, s.z, s.radius, s.friction,
            s.stiffness, s.damping);
  return finish(f);
}
