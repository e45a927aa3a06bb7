// stream_test.cpp -- byte operations, gzip data, and atomic writing.
#include <sys/wait.h>
#include <unistd.h>

#include "data/data_internal.h"
#include "data_fixture.h"

namespace {

TEST_F(DataTest, PlainPathFallsBackToGzip) {
  std::string text(5000, 'k');
  for (size_t i = 0; i < text.size(); i += 7) text[i] = (char)('a' + i % 26);
  write_bytes(root / "lines.gz", gzip_bytes(text, "lines"));
  EXPECT_EQ(slurp((root / "lines").string()), text);
  write_bytes(root / "lines", "plain wins");
  EXPECT_EQ(slurp((root / "lines").string()), "plain wins");
}

TEST_F(DataTest, GzipHeaderRules) {
  std::string good = gzip_bytes("hello\n");
  struct Case {
    const char* what;
    std::string bytes;
    std::string expect;
  } cases[] = {
      {"plain gzip", good, "hello\n"},
      {"bad magic", "\x1f\x8c" + good.substr(2), "<null>"},
      {"not deflate", good.substr(0, 2) + "\x07" + good.substr(3), "<null>"},
      {"reserved flag bit", good.substr(0, 3) + "\x20" + good.substr(4), "<null>"},
      {"cut inside the header", good.substr(0, 6), "<null>"},
      {"name never ends", good.substr(0, 3) + "\x08" + good.substr(4, 6) + "abc", "<null>"},
      {"deflate data cut short", good.substr(0, good.size() - 12), "<partial>"},
  };
  for (const Case& c : cases) {
    write_bytes(root / "x.gz", c.bytes);
    std::string got = slurp((root / "x").string());
    if (c.expect == "<partial>")
      EXPECT_EQ(std::string("hello\n").rfind(got, 0), 0u) << c.what;  // a prefix, no crash
    else
      EXPECT_EQ(got, c.expect) << c.what;
  }
}

TEST_F(DataTest, ByteOperations) {
  write_bytes(root / "f", "ab\ncdef\nlast");
  Stream* s = open_stream((root / "f").c_str(), "r");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(stream_peekc(s), 'a');
  EXPECT_EQ(stream_getc(s), 'a');
  char line[8];
  EXPECT_STREQ(stream_gets(s, line, sizeof line), "b\n");
  EXPECT_STREQ(stream_gets(s, line, 4), "cde");  // n - 1 bytes
  EXPECT_STREQ(stream_gets(s, line, sizeof line), "f\n");
  EXPECT_STREQ(stream_gets(s, line, sizeof line), "last");
  EXPECT_EQ(stream_gets(s, line, sizeof line), nullptr);
  EXPECT_EQ(stream_getc(s), -1);
  EXPECT_TRUE(stream_seek(s, 1));
  stream_peekc(s);
  char buffer[4];
  EXPECT_EQ(stream_read(s, buffer, 4), 4);  // the pushback, then the file
  EXPECT_EQ(std::string(buffer, 4), "b\ncd");
  close_stream(s);
}

TEST_F(DataTest, WritingCreatesDirectoriesAndReplacesTheTarget) {
  fs::path target = root / "new/deeper/config";
  Stream* s = open_stream(target.c_str(), "w");
  ASSERT_NE(s, nullptr);
  stream_printf(s, "volume=%d\n", 7);
  EXPECT_FALSE(fs::exists(target));  // nothing replaced before the close
  EXPECT_TRUE(close_stream(s));
  EXPECT_EQ(read_bytes(target), "volume=7\n");

  Stream* a = open_stream(target.c_str(), "a");
  stream_puts(a, "more\n");
  EXPECT_TRUE(close_stream(a));
  EXPECT_EQ(read_bytes(target), "volume=7\nmore\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(target.parent_path()), fs::directory_iterator()), 1);
}

TEST_F(DataTest, FailedWriteKeepsTheOldFile) {
  fs::path target = root / "config";
  write_bytes(target, "old settings\n");
  Stream* s = open_stream(target.c_str(), "w");
  stream_puts(s, "half of the new");
  stream_mark_failed(s);  // as a full disk would
  EXPECT_FALSE(close_stream(s));
  EXPECT_EQ(read_bytes(target), "old settings\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 3);  // config, xdg, install
}

TEST_F(DataTest, WriterKilledHalfWayKeepsTheOldFile) {
  fs::path target = root / "standings";
  write_bytes(target, "old standings\n");
  pid_t child = fork();
  if (child == 0) {
    Stream* s = open_stream(target.c_str(), "w");
    for (int i = 0; i < 1000; i++) stream_puts(s, "new line of standings\n");
    stream_flush(s);
    _exit(3);  // dies before closing
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 3);
  EXPECT_EQ(read_bytes(target), "old standings\n");
}

TEST_F(DataTest, MemoryStreamsReadTheirBytes) {
  const char bytes[] = "12 34";
  Stream* s = open_memory_stream(bytes, 5);
  int a = 0, b = 0;
  EXPECT_EQ(stream_scanf(s, "%d %d", &a, &b), 2);
  EXPECT_EQ(a + b, 46);
  EXPECT_EQ(stream_getc(s), -1);
  close_stream(s);
  Stream* empty = open_memory_stream(bytes, 0);
  EXPECT_EQ(stream_getc(empty), -1);
  close_stream(empty);
}

}  // namespace
