// scanf_fuzz.cpp -- stream_scanf over arbitrary input with the formats the
// program's text files are read with; the first byte picks the format.
// links: kt_data
#include <cstdint>
#include <cstring>

#include "data/data.h"

namespace {

void scan_with(Stream* s, int which) {
  int a = 0, b = 0, c = 0, n = 0;
  short h = 0;
  float f[3] = {};
  double d = 0;
  long double ld = 0;
  char text[128], text2[128], chars[8];
  switch (which % 14) {
    case 0: stream_scanf(s, "%d %d %d", &a, &b, &c); break;
    case 1: stream_scanf(s, "%f,%f,%f", &f[0], &f[1], &f[2]); break;
    case 2: stream_scanf(s, "%lf %Lf", &d, &ld); break;
    case 3: stream_scanf(s, " %127[^\n]", text); break;
    case 4: stream_scanf(s, "%127[^=]=%127[^\n]", text, text2); break;
    case 5: stream_scanf(s, "%63s %n%hd", text, &n, &h); break;
    case 6: stream_scanf(s, "%x %o %i", &a, &b, &c); break;
    case 7: stream_scanf(s, "%7c%%", chars); break;
    case 8: stream_scanf(s, " \"%127[^\"]\"", text); break;
    case 9: stream_scanf(s, "%*d %127[]a-z-]", text); break;
    case 10: stream_skip_comments(s); break;
    case 11: stream_read_int(s); break;
    case 12: stream_scanf(s, "#%127[^#]#%f", text, &f[0]); break;
    default: stream_scanf(s, "%3d%2f%5s", &a, &f[0], text); break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  Stream* s = open_memory_stream(data + 1, (int)size - 1);
  if (!s) return 0;
  // Several scans in a row, as a file reader does, until the input is used up.
  for (int i = 0; i < 8 && stream_peekc(s) >= 0; i++) scan_with(s, data[0] + i);
  close_stream(s);
  return 0;
}
