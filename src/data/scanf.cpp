// scanf.cpp -- the program's own formatted reader, working straight on a
// stream with one character of look-ahead.
#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstring>

#include "data/data.h"
#include "data_internal.h"

namespace {

enum class Size { Int, Short, Long, LongDouble };

// Characters this call has taken from the stream (for "%n").
struct Scan {
  Stream* s;
  int consumed = 0;
  int get() {
    int c = stream_getc(s);
    if (c >= 0) consumed++;
    return c;
  }
  int peek() { return stream_peekc(s); }
  void skip_space() {
    while (true) {
      int c = peek();
      if (c < 0 || !isspace(c)) return;
      get();
    }
  }
};

enum class Result { Ok, Ended, NoMatch };

int digit_value(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

// An optional sign, counted against the width; true for "-".
bool read_sign(Scan& in, int* left) {
  int c = in.peek();
  if ((c != '-' && c != '+') || *left <= 0) return false;
  in.get();
  (*left)--;
  return c == '-';
}

// base 0 is "%i": the prefix decides.
Result read_integer(Scan& in, int base, int width, long long* out) {
  if (in.peek() < 0) return Result::Ended;
  int left = width > 0 ? width : INT_MAX;
  bool negative = read_sign(in, &left);
  int c;
  int digits = 0;
  unsigned long long value = 0;
  if (base == 0) {
    base = 10;
    if (left > 0 && in.peek() == '0') {
      in.get();
      left--;
      digits = 1;  // a lone "0" is a number
      base = 8;
      c = in.peek();
      if (left > 0 && (c == 'x' || c == 'X')) {
        in.get();
        left--;
        base = 16;
      }
    }
  }
  while (left > 0) {
    c = in.peek();
    if (c < 0 || digit_value(c) >= base) break;
    value = value * (unsigned)base + (unsigned)digit_value(c);  // wraps, as unsigned does
    in.get();
    left--;
    digits++;
  }
  if (digits == 0) return Result::NoMatch;
  *out = (long long)(negative ? 0 - value : value);
  return Result::Ok;
}

// Decimal powers by repeated squaring of 10^(2^k), as exact as long double allows.
long double power_of_ten(long e) {
  static const long double POWERS[] = {1e1L, 1e2L, 1e4L, 1e8L, 1e16L, 1e32L, 1e64L,
                                       1e128L, 1e256L, 1e512L, 1e1024L, 1e2048L, 1e4096L};
  long double p = 1;
  while (e >= 8192) {  // beyond the table: multiples of 10^4096
    p *= POWERS[12];
    e -= 4096;
  }
  for (int bit = 0; bit < 13; bit++)
    if (e & (1L << bit)) p *= POWERS[bit];
  return p;
}

Result read_float(Scan& in, int width, long double* out) {
  if (in.peek() < 0) return Result::Ended;
  int left = width > 0 ? width : INT_MAX;
  bool negative = read_sign(in, &left);
  int c;
  long double mantissa = 0;
  long exponent = 0;
  int digits = 0;
  bool point = false;
  while (left > 0) {
    c = in.peek();
    if (c >= '0' && c <= '9') {
      mantissa = mantissa * 10 + (c - '0');
      if (point) exponent--;
      digits++;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
    in.get();
    left--;
  }
  if (digits == 0) return Result::NoMatch;
  c = in.peek();
  if (left > 0 && (c == 'e' || c == 'E')) {
    in.get();
    left--;
    bool exp_negative = false;
    c = in.peek();
    if (left > 0 && (c == '-' || c == '+')) {
      exp_negative = c == '-';
      in.get();
      left--;
    }
    long e = 0;
    while (left > 0 && (c = in.peek()) >= '0' && c <= '9') {
      if (e < 100000) e = e * 10 + (c - '0');  // far past any long double
      in.get();
      left--;
    }
    exponent += exp_negative ? -e : e;
  }
  long double value = mantissa;
  if (value != 0) {
    if (exponent > 0) value *= power_of_ten(exponent);
    if (exponent < 0) value /= power_of_ten(-exponent);
  }
  *out = negative ? -value : value;
  return Result::Ok;
}

void store_integer(va_list* args, Size size, long long v) {
  switch (size) {
    case Size::Short: *va_arg(*args, short*) = (short)v; break;
    case Size::Long: *va_arg(*args, long*) = (long)v; break;
    case Size::LongDouble: *va_arg(*args, long long*) = v; break;  // "%lld"
    default: *va_arg(*args, int*) = (int)v; break;
  }
}

// Parses "[...]" starting after "[" into a 256-entry table; returns the
// format position after the closing "]" (or the end of the format).
const char* parse_set(const char* f, bool in_set[256]) {
  bool invert = false;
  if (*f == '^') {
    invert = true;
    f++;
  }
  bool table[256] = {};
  bool first = true;
  while (*f && (first || *f != ']')) {
    unsigned char lo = (unsigned char)*f;
    if (f[1] == '-' && f[2] && f[2] != ']') {
      unsigned char hi = (unsigned char)f[2];
      for (int c = lo; c <= hi; c++) table[c] = true;
      f += 3;
    } else {
      table[lo] = true;
      f++;
    }
    first = false;
  }
  if (*f == ']') f++;
  for (int c = 0; c < 256; c++) in_set[c] = table[c] != invert;
  return f;
}

int scan(Stream* s, const char* f, va_list* args) {
  Scan in{s};
  int count = 0;
  auto stop = [&](bool ended) { return ended && count == 0 ? -1 : count; };
  while (*f) {
    if (isspace((unsigned char)*f)) {
      in.skip_space();
      f++;
      continue;
    }
    if (*f != '%') {
      int c = in.peek();
      if (c != (unsigned char)*f) return count ? count : -1;
      in.get();
      f++;
      continue;
    }
    f++;
    int width = 0;
    while (*f >= '0' && *f <= '9') {
      if (width < 100000000) width = width * 10 + (*f - '0');
      f++;
    }
    bool suppress = false;
    Size size = Size::Int;
    int longs = 0;
    for (;; f++) {
      if (*f == '*') suppress = true;
      else if (*f == 'h') size = Size::Short;
      else if (*f == 'l') longs++;
      else if (*f == 'L' || *f == 'q') longs = 2;
      else break;
    }
    if (longs == 1) size = Size::Long;
    if (longs >= 2) size = Size::LongDouble;
    char conversion = *f;
    if (!conversion) return count;
    f++;
    Result r = Result::Ok;
    switch (conversion) {
      case '%': {
        int c = in.peek();
        if (c != '%') return count ? count : -1;
        in.get();
        continue;
      }
      case 'd': case 'i': case 'o': case 'x': case 'X': {
        in.skip_space();
        int base = conversion == 'd' ? 10 : conversion == 'i' ? 0 : conversion == 'o' ? 8 : 16;
        long long v = 0;
        r = read_integer(in, base, width, &v);
        if (r == Result::Ok && !suppress) store_integer(args, size, v);
        break;
      }
      case 'f': {
        in.skip_space();
        long double v = 0;
        r = read_float(in, width, &v);
        if (r == Result::Ok && !suppress) {
          if (size == Size::LongDouble) *va_arg(*args, long double*) = v;
          else if (size == Size::Long) *va_arg(*args, double*) = (double)v;
          else *va_arg(*args, float*) = (float)v;
        }
        break;
      }
      case 's': {
        in.skip_space();
        if (in.peek() < 0) {
          r = Result::Ended;
          break;
        }
        int left = width > 0 ? width : 1000000;
        char* out = suppress ? nullptr : va_arg(*args, char*);
        int n = 0;
        for (int c; n < left && (c = in.peek()) >= 0 && !isspace(c); n++) {
          in.get();
          if (out) out[n] = (char)c;
        }
        if (out) out[n] = '\0';
        break;
      }
      case 'c': {
        int want = width > 0 ? width : 1;
        char* out = suppress ? nullptr : va_arg(*args, char*);
        int n = 0;
        for (int c; n < want && (c = in.peek()) >= 0; n++) {
          in.get();
          if (out) out[n] = (char)c;
        }
        if (n < want) r = Result::Ended;
        break;
      }
      case '[': {
        bool in_set[256];
        f = parse_set(f, in_set);
        int left = width > 0 ? width : 1000000;
        if (in.peek() < 0) {
          r = Result::Ended;
          break;
        }
        char* out = suppress ? nullptr : va_arg(*args, char*);
        int n = 0;
        for (int c; n < left && (c = in.peek()) >= 0 && in_set[c]; n++) {
          in.get();
          if (out) out[n] = (char)c;
        }
        if (out) out[n] = '\0';
        if (n == 0) r = Result::NoMatch;
        break;
      }
      case 'n':
        if (!suppress) store_integer(args, size, in.consumed);
        continue;
      default:
        return count;
    }
    if (r == Result::Ended) return stop(true);
    if (r == Result::NoMatch) return count;
    if (!suppress) count++;
  }
  return count;
}

}  // namespace

int stream_scanf(Stream* s, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = scan(s, format, &args);
  va_end(args);
  return n;
}

int stream_read_int(Stream* s) {
  int v;
  return stream_scanf(s, "%d", &v) == 1 ? v : INT_MIN;
}

void stream_skip_comments(Stream* s) {
  // Repeat until a pass consumes nothing: blank space, then one "#" line.
  for (;;) {
    int before = s->position - (s->pushback >= 0 ? 1 : 0);
    stream_scanf(s, " #%*[^\n]");
    int after = s->position - (s->pushback >= 0 ? 1 : 0);
    if (after == before) return;
  }
}
