// terrain_hf_fuzz.cpp -- the "terrain.hf" header and raw samples; without a
// directory a header not followed by ":" gives a flat field.
#include <cstddef>
#include <cstdint>

#include "data/data.h"
#include "track/terrain.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  Stream* s = open_memory_stream(data, (int)size);
  Terrain& t = terrain_record();
  uint8_t digest[20];
  if (terrain_hf_parse(t, s, nullptr, digest)) terrain_lod_errors(t, 5000);
  terrain_free(t);
  close_stream(s);
  return 0;
}
