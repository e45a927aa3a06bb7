// qm_model_fuzz.cpp -- ".qm" models: headers, meshes, weights and tangents.
#include <cstddef>
#include <cstdint>

#include "data/data.h"
#include "render/model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  Stream* s = open_memory_stream(data, (int)size);
  model_free(model_read(s, "fuzz.qm"));
  close_stream(s);
  return 0;
}
