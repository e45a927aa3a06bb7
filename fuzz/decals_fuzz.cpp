// decals_fuzz.cpp -- "decals" records and their bins, on a small field.
#include <cstddef>
#include <cstdint>

#include "data/data.h"
#include "track/terrain.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  Stream* s = open_memory_stream(data, (int)size);
  Terrain& t = terrain_record();
  terrain_init_grid(t, 6, 2.0f);
  decals_parse(t, s);
  terrain_free(t);
  close_stream(s);
  return 0;
}
