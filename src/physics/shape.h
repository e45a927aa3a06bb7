// shape.h -- collision shapes: unions of spheres read from ".shp" files,
// cached by name for the run, copied per rider and placed in the world.
#pragma once

#include <string>
#include <vector>

#include "common/common.h"

struct Stream;

// One sphere of a shape.
struct Sphere {
  Vec3 centre;           // ft; body frame in a cached shape, world in a placed copy
  float radius = 0;      // ft
  float friction = 0;    // coefficient, the contact's mu
  float stiffness = 0;   // lbf/ft
  float damping = 0;     // lbf*s/ft
};

struct Shape {
  std::string name;             // the file name it was loaded under
  std::vector<Sphere> spheres;  // the file's N records, in file order
  float bounding_radius = 0;    // ft: largest |centre| + radius, about the body origin
};

// Reads a shape from a stream: an integer N, then N records of seven numbers
// (centre x y z, radius, friction, stiffness, damping). False, with a log
// line naming `name`, when the numbers do not read completely or are not
// usable (negative count or radius, non-finite values); *out is then empty.
bool shape_parse(Stream* s, const char* name, Shape* out);

// The shape of a file, loaded on first request and kept for the run. Null
// when the file cannot be opened or read; the part then never collides.
// The failure is remembered too, so a missing file is reported once.
const Shape* load_shape(const char* name);

// A rider's own copy, whose centres shape_place may overwrite. Null for a
// null shape. Release with free_shape.
Shape* copy_shape(const Shape* shape);
void free_shape(Shape* shape);

// Largest |centre| + radius over the spheres (0 for none).
float shape_bounding_radius(const Shape& shape);

// Writes into `placed` (a copy of `source`, same sphere count) the world
// centres of source's spheres for a body at `position` turned by `rotation`.
// Call before testing a copy against the ground or another shape.
void shape_place(Shape* placed, const Shape& source, Vec3 position, const Mat3& rotation);

// Forgets every cached shape (tests; the cache otherwise lives for the run).
// Pointers from load_shape become invalid.
void shapes_clear();
