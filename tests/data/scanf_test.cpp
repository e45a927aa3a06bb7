// scanf_test.cpp -- the formatted reader against the C library where the two
// agree, and on its own rules where they differ.
#include <array>
#include <climits>
#include <cstdio>
#include <tuple>

#include "data_fixture.h"

namespace {

using Text = std::array<char, 64>;

template <class T>
T* ptr(T& v) {
  return &v;
}
char* ptr(Text& v) { return v.data(); }

// Runs the format over the input with both readers into fresh outputs of
// the given types and compares the return values and everything stored.
template <class... Args>
void like_sscanf(const char* format, const std::string& input) {
  std::tuple<Args...> theirs{}, ours{};
  int rc_c = std::apply([&](auto&... v) { return sscanf(input.c_str(), format, ptr(v)...); }, theirs);
  Stream* s = open_memory_stream(input.data(), (int)input.size());
  int rc_ours = std::apply([&](auto&... v) { return stream_scanf(s, format, ptr(v)...); }, ours);
  close_stream(s);
  EXPECT_EQ(rc_ours, rc_c) << "\"" << format << "\" on \"" << input << "\"";
  EXPECT_TRUE(ours == theirs) << "\"" << format << "\" on \"" << input << "\"";
}

TEST(StreamScanf, AgreesWithTheCLibrary) {
  // Integers: signs, widths, bases, sizes.
  like_sscanf<int>("%d", "  -12x");
  like_sscanf<int, int>("%d%d", "1 2");
  like_sscanf<int, int>("%d,%d", "1;2");
  like_sscanf<int>("%5d", "1234567");
  like_sscanf<int>("%2d", "-5");
  like_sscanf<short>("%hd", "70000");
  like_sscanf<int>("%i", "0x1A");
  like_sscanf<int>("%i", "017");
  like_sscanf<int>("%i", "-0x10");
  like_sscanf<int>("%i", "0");
  like_sscanf<int>("%o", "777");
  like_sscanf<int>("%x", "ff");
  like_sscanf<int>("%X", "-1f");
  like_sscanf<int>("%d", "abc");
  like_sscanf<int>("%d", "");
  like_sscanf<int>("%d", "   ");
  like_sscanf<int>("%d", "+");
  like_sscanf<int>("%d", "2147483647");
  // Numbers with fractions and exponents.
  like_sscanf<float>("%f", "1.5e3");
  like_sscanf<float>("%f", ".5");
  like_sscanf<float>("%f", "-2.25");
  like_sscanf<float>("%f", "-");
  like_sscanf<float>("%f", "1e-3");
  like_sscanf<float>("%3f", "1.2345");
  like_sscanf<float>("%f", "12.");
  like_sscanf<double>("%lf", "3.125");
  like_sscanf<double>("%lf", "0.1");
  like_sscanf<double>("%lf", "123456789012345678");
  like_sscanf<double>("%lf", "1e400");
  like_sscanf<double>("%lf", "-2.5E-2x");
  like_sscanf<long double>("%Lf", "2.75");
  // Strings, characters and sets.
  like_sscanf<Text>("%s", "  hello world");
  like_sscanf<Text>("%5s", "abcdefgh");
  like_sscanf<Text, Text>("%s%s", "a b");
  like_sscanf<Text>("%c", " x");
  like_sscanf<Text>("%3c", "abcdef");
  like_sscanf<Text>("%[abc]", "abcabd");
  like_sscanf<Text>("%[^\n]", "line one\nline two");
  like_sscanf<Text>("%[]a]", "]a]b");
  like_sscanf<Text>("%[^]a]", "xy]a");
  like_sscanf<Text>("%[a-c]", "abcd");
  like_sscanf<Text>("%[a-]", "a-b");
  like_sscanf<Text>("%3[a-z]", "abcdef");
  like_sscanf<Text>("%[0-9]", "abc");
  // Counting, suppression and literals.
  like_sscanf<int, int>("%d%n", "42 rest");
  like_sscanf<int, int>("%d %n", "42 rest");
  like_sscanf<int>("%*d %d", "1 2");
  like_sscanf<int>("x=%d", "x=5");
  like_sscanf<int>("%%%d", "%5");
  like_sscanf<int, Text>("%d %s", "7");
  like_sscanf<Text, int>("%[a-z]:%d", "speed:12");
}

std::string rest_of(Stream* s) {
  std::string out;
  for (int c; (c = stream_getc(s)) >= 0;) out += (char)c;
  return out;
}

TEST(StreamScanf, OwnRules) {
  struct Case {
    const char* what;
    const char* format;
    std::string input;
    int result;
    std::string stored, rest;
  } cases[] = {
      {"no 0x prefix for %x", "%x", "0x1f", 1, "0", "x1f"},
      {"unmatched quote", " \"%1023[^\"]\"", "  word", -1, "", "word"},
      {"literal mismatch before any value", "x=%d", "y=5", -1, "", "y=5"},
      {"literal mismatch after a value", "%d,%d", "4;5", 1, "4", ";5"},
      {"letter left after a number", "%d", "  -12x", 1, "-12", "x"},
      {"unknown conversion stops", "%d %y", "3 4", 1, "3", "4"},
      {"sign alone consumed", "%d", "-x", 0, "", "x"},
  };
  for (const Case& c : cases) {
    Stream* s = open_memory_stream(c.input.data(), (int)c.input.size());
    int value = INT_MIN;
    Text text{};
    int rc = std::string(c.format).find('[') != std::string::npos
                 ? stream_scanf(s, c.format, text.data())
                 : stream_scanf(s, c.format, &value, &value);
    EXPECT_EQ(rc, c.result) << c.what;
    if (!c.stored.empty()) {
      EXPECT_EQ(std::to_string(value), c.stored) << c.what;
    }
    EXPECT_EQ(rest_of(s), c.rest) << c.what;
    close_stream(s);
  }
}

TEST(StreamScanf, FloatReaderIsExactForRepresentableValues) {
  struct Case {
    const char* input;
    double value;
  } cases[] = {{"1.5e3", 1500}, {".5", 0.5}, {"-0.0625", -0.0625}, {"2E+2", 200},
               {"65535", 65535}, {"1e-320", 1e-320}, {"7e22", 7e22}};
  for (const Case& c : cases) {
    Stream* s = open_memory_stream(c.input, (int)strlen(c.input));
    double v = 0;
    EXPECT_EQ(stream_scanf(s, "%lf", &v), 1) << c.input;
    EXPECT_EQ(v, c.value) << c.input;
    close_stream(s);
  }
}

TEST(StreamScanf, ReadIntAndComments) {
  const char text[] = "abc";
  Stream* s = open_memory_stream(text, 3);
  EXPECT_EQ(stream_read_int(s), INT_MIN);
  EXPECT_EQ(stream_getc(s), 'a');
  close_stream(s);

  const std::string lines = "  # first comment\n\n   #\n# another\n  12 # trailing\n";
  Stream* c = open_memory_stream(lines.data(), (int)lines.size());
  stream_skip_comments(c);
  EXPECT_EQ(stream_read_int(c), 12);
  stream_skip_comments(c);
  EXPECT_EQ(stream_getc(c), -1);
  close_stream(c);
}

}  // namespace
