// art.h -- what the data builder draws with: pictures, deterministic noise,
// and the writers for the picture and model formats it produces.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// An 8-bit picture, rows top first, 3 (RGB) or 4 (RGBA) channels.
struct Picture {
  int width = 0, height = 0, channels = 3;
  std::vector<uint8_t> pixels;

  Picture() = default;
  Picture(int w, int h, int ch) : width(w), height(h), channels(ch), pixels((size_t)w * h * ch, 0) {}
  uint8_t* at(int x, int y) { return &pixels[((size_t)y * width + x) * channels]; }
  const uint8_t* at(int x, int y) const { return &pixels[((size_t)y * width + x) * channels]; }
};

struct Colour {
  float r, g, b, a = 1;
};

Colour colour_mix(Colour a, Colour b, float t);
void picture_set(Picture& p, int x, int y, Colour c);
// Blends c over the pixel with c.a as coverage.
void picture_blend(Picture& p, int x, int y, Colour c);
void picture_fill_rect(Picture& p, float x0, float y0, float x1, float y1, Colour c);
void picture_fill_circle(Picture& p, float cx, float cy, float radius, Colour c);
// A filled triangle with antialiased edges.
void picture_fill_triangle(Picture& p, float ax, float ay, float bx, float by, float cx, float cy, Colour c);

// ---------------------------------------------------------------- noise

// Smooth value noise in 0..1 from an integer lattice hashed with seed;
// period (lattice cells, 0 = none) makes it tile.
float value_noise(float x, float y, uint32_t seed, int period = 0);
// Sum of octaves, each twice the frequency and half the weight; 0..1.
float fbm(float x, float y, uint32_t seed, int octaves, int period = 0);
// A hash of the integers into 0..1, for scattering things.
float hash01(uint32_t a, uint32_t b = 0, uint32_t c = 0);

// ---------------------------------------------------------------- writers

// Every writer returns false when the file cannot be written.
bool write_ppm(const std::string& path, const Picture& p);  // RGB "P6"
bool write_pgm(const std::string& path, const std::vector<uint8_t>& grey, int width, int height);
bool write_png(const std::string& path, const Picture& p);  // RGB or RGBA, 8-bit
bool write_text(const std::string& path, const std::string& text);

// A triangle mesh in the ".qm" layout: positions, normals, uvs, triangles.
struct QmMesh {
  struct Vertex {
    float p[3], n[3], uv[2];
  };
  std::vector<Vertex> vertices;
  std::vector<int> triangles;  // three indices each
  float shininess = 16;
  float specular[3] = {0.2f, 0.2f, 0.2f};
};

// A box from (x0, y0, z0) to (x1, y1, z1) with each face mapped onto the
// texture rectangle (u0, v0)-(u1, v1).
void mesh_add_box(QmMesh& m, const float lo[3], const float hi[3], float u0, float v0, float u1, float v1);
// An upright cylinder of the given radius from y0 to y1, around (x, z).
void mesh_add_cylinder(QmMesh& m, float x, float z, float radius, float y0, float y1, int sides,
                       float u0, float v0, float u1, float v1);
bool write_qm(const std::string& path, const std::vector<QmMesh>& meshes);

// A collision shape: spheres in the model's frame.
struct ShapeSphere {
  float x, y, z, radius, friction, stiffness, damping;  // ft, -, lbf/ft, lbf*s/ft
};
bool write_shp(const std::string& path, const std::vector<ShapeSphere>& spheres);
