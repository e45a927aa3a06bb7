// lighting_fuzz.cpp -- "lighting" keywords, flares and fog.
#include <cstddef>
#include <cstdint>

#include "data/data.h"
#include "track/terrain.h"
#include "track/track.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  Stream* s = open_memory_stream(data, (int)size);
  lighting_reset();
  lighting_parse(s);
  lighting_finish();
  track_lighting().flares.clear_and_free();
  close_stream(s);
  return 0;
}
