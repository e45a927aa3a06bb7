// qimage_fuzz.cpp -- the predicted "Q6"/"Q7" forms, read as RGB and as RGBA.
#include <cstddef>
#include <cstdint>

#include "data/data.h"
#include "render/image.h"
#include "render/image_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  Stream* s = open_memory_stream(data, (int)size);
  image_free(image_read_rgb(s));
  close_stream(s);
  // As texture loading reads a "Q7": the word already taken, four channels kept.
  s = open_memory_stream(data, (int)size);
  image_free(predicted_read_body(s, 4, 4));
  close_stream(s);
  return 0;
}
