// log_test.cpp -- the log stamp and file rules, options and aliases.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

int count_lines_containing(const std::string& text, const std::string& needle) {
  int n = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) n++;
  return n;
}

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("kt_log_test_" + std::to_string(getpid()));
    fs::create_directories(dir);
    log_reset();
    options_reset();
    aliases_clear();
    unsetenv("VORN_LOGFILE");
    unsetenv("VORN_OPTIONS");
    headless_start(1000);
  }
  void TearDown() override {
    log_reset();
    options_reset();
    aliases_clear();
    headless_stop();
    unsetenv("VORN_LOGFILE");
    unsetenv("VORN_OPTIONS");
    fs::remove_all(dir);
  }
  // Opens the log at dir/name through the set-up request, as start-up does.
  void open_log(const std::string& name) {
    log_printf("VORN_LOGFILE=%s", (dir / name).c_str());
  }
  std::string log_text(const std::string& name) {
    log_reset();
    return read_file(dir / name);
  }
  fs::path dir;
};

TEST(LogStamp, HoursMinutesSecondsHundredths) {
  struct Case {
    uint32_t ms;
    const char* stamp;
  } cases[] = {
      {(2 * 3600 + 3 * 60 + 4) * 1000 + 500, "[2:03:04.50] "},
      {0, "[0:00:00.00] "},
      {59999, "[0:00:59.99] "},
      {100u * 3600 * 1000, "[100:00:00.00] "},
  };
  for (const Case& c : cases) {
    char out[32];
    log_format_stamp(c.ms, out, sizeof out);
    EXPECT_STREQ(out, c.stamp) << c.ms;
  }
}

TEST_F(LogTest, SetUpRequestOpensTheFileAndStampsEveryLine) {
  open_log("lastlog.txt");
  headless_set_ms((2 * 3600 + 3 * 60 + 4) * 1000 + 500);
  log_printf("hello %d\n", 7);
  std::string text = log_text("lastlog.txt");
  EXPECT_NE(text.find("[0:00:01.00] Logfile \"" + (dir / "lastlog.txt").string() + "\" opened\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("[0:00:01.00] VORN 0.31\n"), std::string::npos);
  EXPECT_NE(text.find("[2:03:04.50] hello 7\n"), std::string::npos);
  EXPECT_EQ(text.find("VORN_LOGFILE="), std::string::npos);  // the request itself is not logged
}

TEST_F(LogTest, EnvironmentPathWinsAndChevronsChooseTheMode) {
  std::ofstream(dir / "env.txt") << "old line\n";
  struct Case {
    std::string env;
    bool keeps_old;
  } cases[] = {{">>" + (dir / "env.txt").string(), true},
               {">" + (dir / "env.txt").string(), false},
               {(dir / "env.txt").string(), false}};
  for (const Case& c : cases) {
    std::ofstream(dir / "env.txt") << "old line\n";
    setenv("VORN_LOGFILE", c.env.c_str(), 1);
    open_log("ignored.txt");
    log_printf("new line\n");
    std::string text = log_text("env.txt");
    EXPECT_EQ(text.find("old line") != std::string::npos, c.keeps_old) << c.env;
    EXPECT_NE(text.find("new line"), std::string::npos) << c.env;
    EXPECT_FALSE(fs::exists(dir / "ignored.txt")) << c.env;
  }
}

TEST_F(LogTest, NoPathMeansNoLog) {
  EXPECT_EQ(log_printf("first message without a request\n"), 0);
  log_error("went wrong");
  EXPECT_STREQ(last_error(), "went wrong");
}

TEST_F(LogTest, LogErrorPrefixesAndRemembers) {
  EXPECT_STREQ(last_error(), "Unknown");
  open_log("e.txt");
  log_error("disk on fire");
  EXPECT_STREQ(last_error(), "disk on fire");
  EXPECT_NE(log_text("e.txt").find("] Error: disk on fire\n"), std::string::npos);
}

TEST_F(LogTest, OptionsParseFlagsAndIntegers) {
  setenv("VORN_OPTIONS", "[threaded:on][fullscreen:true][sound-rate:44100][dsnd:no]"
                         "[sound-channels:lots][waveout:off][sound-mixahead:-40]", 1);
  open_log("o.txt");
  struct FlagCase {
    const char* name;
    int def, expect;
  } flags[] = {{"threaded", 0, 1}, {"fullscreen", 0, 0}, {"dsnd", 1, 0},
               {"waveout", 1, 0},  {"absent", 1, 1}};
  for (const FlagCase& c : flags) EXPECT_EQ(option_flag(c.name, c.def), c.expect) << c.name;
  struct IntCase {
    const char* name;
    int def, expect;
  } ints[] = {{"sound-rate", 22050, 44100}, {"sound-channels", 16, 16},
              {"sound-mixahead", 125, -40}, {"missing", 3, 3}};
  for (const IntCase& c : ints) EXPECT_EQ(option_int(c.name, c.def), c.expect) << c.name;
  std::string text = log_text("o.txt");
  EXPECT_EQ(count_lines_containing(text, "unrecognized setting for fullscreen\n"), 1);
  EXPECT_EQ(count_lines_containing(text, "unrecognized setting for sound-channels\n"), 1);
  EXPECT_EQ(count_lines_containing(text, "unrecognized setting"), 2);
}

TEST_F(LogTest, IntegerWithoutClosingBracketAndLettersForARate) {
  setenv("VORN_OPTIONS", "[sound-rate:44100", 1);
  EXPECT_EQ(option_int("sound-rate", 22050), 44100);
  options_reset();
  setenv("VORN_OPTIONS", "[sound-rate:fast]", 1);
  open_log("r.txt");
  EXPECT_EQ(option_int("sound-rate", 22050), 22050);
  EXPECT_EQ(count_lines_containing(log_text("r.txt"), "unrecognized setting for sound-rate\n"), 1);
}

TEST_F(LogTest, OptionsTextIsReadOnce) {
  setenv("VORN_OPTIONS", "[threaded:yes]", 1);
  EXPECT_EQ(option_flag("threaded", 0), 1);
  setenv("VORN_OPTIONS", "[threaded:no]", 1);
  EXPECT_EQ(option_flag("threaded", 0), 1);
}

TEST_F(LogTest, SecondAliasIsIgnoredWithOneLine) {
  open_log("a.txt");
  EXPECT_TRUE(add_alias("mouse-x", "Mouse.axis[0]"));
  EXPECT_FALSE(add_alias("mouse-x", "Mouse.axis[0]"));
  EXPECT_FALSE(add_alias("mouse-x", "Joystick1.axis[0]"));
  EXPECT_STREQ(resolve_alias("mouse-x"), "Mouse.axis[0]");
  EXPECT_STREQ(resolve_alias("Mouse-X"), "Mouse-X");  // exact, case-sensitive
  std::string text = log_text("a.txt");
  EXPECT_EQ(count_lines_containing(text, "Second alias for 'mouse-x' ('Mouse.axis[0]') ignored\n"), 1);
  EXPECT_EQ(count_lines_containing(text, "Second alias"), 2);
}

}  // namespace
