// shape.cpp -- reading ".shp" collision shapes, the run-long cache by file
// name, per-rider copies and placing a copy in the world.
#include "physics/shape.h"

#include <cmath>
#include <memory>
#include <new>

#include "data/data.h"
#include "platform/platform.h"

namespace {

struct CachedShape {
  std::string name;
  std::unique_ptr<Shape> shape;  // null: the file could not be read
};

// Program-wide: shapes are kept for the whole run. Entries are never moved
// out of their boxes, so pointers handed out stay valid.
struct ShapeCache {
  std::vector<CachedShape> entries;
};
ShapeCache CACHE;

bool finite_sphere(const Sphere& s) {
  return std::isfinite(s.centre.x) && std::isfinite(s.centre.y) && std::isfinite(s.centre.z) &&
         std::isfinite(s.radius) && std::isfinite(s.friction) && std::isfinite(s.stiffness) &&
         std::isfinite(s.damping);
}

}  // namespace

float shape_bounding_radius(const Shape& shape) {
  float r = 0;
  for (const Sphere& s : shape.spheres) r = std::fmax(r, vec3_length(s.centre) + s.radius);
  return r;
}

bool shape_parse(Stream* s, const char* name, Shape* out) {
  out->name = name ? name : "";
  out->spheres.clear();
  out->bounding_radius = 0;
  int count = stream_read_int(s);
  if (count == INT32_MIN || count < 0) {
    log_printf("Shape %.200s: no sphere count\n", out->name.c_str());
    return false;
  }
  // Grow with what is actually read, so a huge count in a short file costs nothing.
  for (int i = 0; i < count; i++) {
    Sphere sp;
    int got = stream_scanf(s, "%f %f %f %f %f %f %f", &sp.centre.x, &sp.centre.y, &sp.centre.z, &sp.radius,
                           &sp.friction, &sp.stiffness, &sp.damping);
    if (got != 7) {
      log_printf("Shape %.200s: sphere %d of %d does not read\n", out->name.c_str(), i + 1, count);
      out->spheres.clear();
      return false;
    }
    // Non-finite or negative values would poison every contact they touch.
    if (!finite_sphere(sp) || sp.radius < 0 || sp.stiffness < 0 || sp.damping < 0 || sp.friction < 0) {
      log_printf("Shape %.200s: sphere %d has an unusable value\n", out->name.c_str(), i + 1);
      out->spheres.clear();
      return false;
    }
    out->spheres.push_back(sp);
  }
  out->bounding_radius = shape_bounding_radius(*out);
  return true;
}

const Shape* load_shape(const char* name) {
  if (!name || !*name) return nullptr;
  for (const CachedShape& e : CACHE.entries)
    if (e.name == name) return e.shape.get();

  std::unique_ptr<Shape> shape;
  Stream* s = open_stream(name, "r");
  if (!s) {
    log_printf("Can't open shape %.200s\n", name);
  } else {
    shape.reset(new (std::nothrow) Shape);
    if (!shape) fatal_out_of_memory();
    if (!shape_parse(s, name, shape.get())) shape.reset();
    close_stream(s);
  }
  CACHE.entries.push_back({name, std::move(shape)});
  return CACHE.entries.back().shape.get();
}

Shape* copy_shape(const Shape* shape) {
  if (!shape) return nullptr;
  Shape* copy = new (std::nothrow) Shape(*shape);
  if (!copy) fatal_out_of_memory();
  return copy;
}

void free_shape(Shape* shape) { delete shape; }

void shape_place(Shape* placed, const Shape& source, Vec3 position, const Mat3& rotation) {
  if (placed->spheres.size() != source.spheres.size()) placed->spheres = source.spheres;
  for (size_t i = 0; i < source.spheres.size(); i++)
    placed->spheres[i].centre = position + mat3_mul(rotation, source.spheres[i].centre);
}

void shapes_clear() { CACHE.entries.clear(); }
