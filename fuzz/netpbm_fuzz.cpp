// netpbm_fuzz.cpp -- PPM ("P6"/"P3") and PGM ("P5"/"P2") reading from bytes.
#include <cstddef>
#include <cstdint>

#include "data/data.h"
#include "render/image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  Stream* s = open_memory_stream(data, (int)size);
  image_free(image_read_rgb(s));
  close_stream(s);
  s = open_memory_stream(data, (int)size);
  image_free(image_read_grey(s));
  close_stream(s);
  return 0;
}
