// shape_fuzz.cpp -- ".shp" collision shapes read from bytes, then copied and
// placed as a rider's copy would be.
#include <cstddef>
#include <cstdint>

#include "data/data.h"
#include "physics/shape.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  Stream* s = open_memory_stream(data, (int)size);
  Shape shape;
  if (shape_parse(s, "fuzz", &shape)) {
    Shape* copy = copy_shape(&shape);
    shape_place(copy, shape, {1, 2, 3}, mat3_axis_angle({0, 1, 0}, 0.5f));
    free_shape(copy);
  }
  close_stream(s);
  return 0;
}
