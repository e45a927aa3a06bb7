// saf_fuzz.cpp -- the .saf archive header reader on arbitrary bytes.
// links: kt_data
#include <cstdint>
#include <cstdio>
#include <vector>

#include "data/data_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!f) return 0;
  std::vector<SafMember> members;
  if (saf_read_header(f, 0, &members)) {
    for (const SafMember& m : members)
      if (m.offset < 0 || m.size < 0) __builtin_trap();  // offsets must stay addressable
  }
  fclose(f);
  return 0;
}
