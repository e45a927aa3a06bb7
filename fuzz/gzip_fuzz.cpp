// gzip_fuzz.cpp -- gzip stream decoding on arbitrary bytes: header checks,
// inflate, and every read operation.
// links: kt_data
#include <cstdint>
#include <cstdio>

#include "data/data_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!f) return 0;
  // The member size bounds the compressed input, as for an archive member.
  Stream* s = open_stream_on_file(f, 0, (int)size, true);
  if (!s) return 0;
  char buffer[3000];
  int total = 0;
  while (total < (1 << 22)) {  // a decompression bomb stops here
    int n = stream_read(s, buffer, (int)sizeof buffer);
    if (n <= 0) break;
    total += n;
    if (stream_getc(s) < 0) break;
    stream_gets(s, buffer, 100);
    int v;
    stream_scanf(s, "%d", &v);
  }
  close_stream(s);
  return 0;
}
