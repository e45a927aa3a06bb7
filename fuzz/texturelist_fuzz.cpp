// texturelist_fuzz.cpp -- "texturelist" ground tile lines and the corner codes of their names.
#include <cstddef>
#include <cstdint>

#include "data/data.h"
#include "track/terrain.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  Stream* s = open_memory_stream(data, (int)size);
  Terrain& t = terrain_record();
  texturelist_parse(t, s);
  for (int i = 0; i < t.tile_count; i++) tile_corner_code(t.tile_names[i].c_str(), t.tile_names, t.tile_count);
  terrain_free(t);
  close_stream(s);
  return 0;
}
