// png_image_fuzz.cpp -- PNG reading as a texture (with the text-chunk
// directives and custom mip levels) and as 16-bit heights.
#include <cstddef>
#include <cstdint>

#include "data/data.h"
#include "render/image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  Stream* s = open_memory_stream(data, (int)size);
  image_free(png_read_texture_stream(s, "fuzz.png"));
  close_stream(s);
  s = open_memory_stream(data, (int)size);
  height_image_free(png_read_height_stream(s));
  close_stream(s);
  return 0;
}
