// anim_seq_fuzz.cpp -- "ANIM1" texture animations (".seq"). PNG frame
// names point at files that do not exist, so only the Q7 frames decode.
#include <cstddef>
#include <cstdint>

#include "data/data.h"
#include "render/image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  Stream* s = open_memory_stream(data, (int)size);
  image_sequence_free(image_sequence_read(s));
  close_stream(s);
  return 0;
}
