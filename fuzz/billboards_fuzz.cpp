// billboards_fuzz.cpp -- "billboards" records with their colour prefixes.
#include <cstddef>
#include <cstdint>

#include "data/data.h"
#include "physics/shape.h"
#include "track/terrain.h"
#include "track/track.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  Stream* s = open_memory_stream(data, (int)size);
  terrain_init_grid(terrain_record(), 6, 2.0f);  // objects stand on the ground
  billboards_parse(s);
  track_unload();
  close_stream(s);
  return 0;
}
