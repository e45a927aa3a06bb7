// command_line_test.cpp -- option matching, every option's value forms,
// clamps and messages, the file-name rules, and the README's option list.
#include "app/app.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "common/settings.h"

namespace {

struct Parsed {
  CommandLine cl;
  std::string errors;
};

Parsed parse(std::vector<std::string> args) {
  settings_reset();
  args.insert(args.begin(), "kestrail");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  Parsed p;
  p.cl = parse_command_line((int)argv.size(), argv.data(), &p.errors);
  return p;
}

TEST(MatchOption, ValueForms) {
  std::vector<std::string> storage = {"--track", "arena", "--track=mud", "--track", "--", "-x"};
  std::vector<char*> argv;
  for (auto& s : storage) argv.push_back(s.data());
  ArgCursor c{(int)argv.size(), argv.data(), 0};
  const char* v = nullptr;
  ASSERT_TRUE(match_option(c, "--track", &v));
  EXPECT_STREQ(v, "arena");
  ASSERT_TRUE(match_option(c, "--track", &v));
  EXPECT_STREQ(v, "mud");
  EXPECT_FALSE(match_option(c, "--tr", nullptr));  // without a value place: exact names only
  ASSERT_TRUE(match_option(c, "--track", &v));
  EXPECT_STREQ(v, "--");  // "name value" takes whatever follows
  EXPECT_FALSE(match_option(c, "--track", &v));
  EXPECT_EQ(c.remaining, 1);
}

TEST(MatchOption, DoubleDashEndsOptionsAndLastNameHasNoValue) {
  std::vector<std::string> storage = {"--", "--track"};
  std::vector<char*> argv;
  for (auto& s : storage) argv.push_back(s.data());
  ArgCursor c{2, argv.data(), 0};
  const char* v = "unset";
  EXPECT_FALSE(match_option(c, "--track", &v));
  EXPECT_EQ(c.end_of_options, 1);
  EXPECT_EQ(c.remaining, 1);
  EXPECT_FALSE(match_option(c, "--track", &v));  // nothing matches after "--"

  std::vector<std::string> last = {"--track"};
  char* one[] = {last[0].data()};
  ArgCursor d{1, one, 0};
  ASSERT_TRUE(match_option(d, "--track", &v));
  EXPECT_EQ(v, nullptr);
}

// Every option with the effect of one good value, both value forms.
TEST(CommandLine, EveryOptionTakesEffect) {
  using Check = std::function<bool()>;
  GameSettings& g = game_settings();
  StartupSettings& s = startup_settings();
  struct Case {
    std::vector<std::string> args;
    Check check;
  } cases[] = {
      {{"--fugly"}, [&] { return g.flat_shading; }},
      {{"--nosound"}, [&] { return s.nosound; }},
      {{"--novertexarrays"}, [&] { return g.no_vertex_arrays; }},
      {{"--nolearn"}, [&] { return !g.learn_lines; }},
      {{"--debug"}, [&] { return g.debug_level == 1; }},
      {{"--super-debug"}, [&] { return g.debug_level == 2; }},
      {{"--practice"}, [&] { return g.practice; }},
      {{"--warp"}, [&] { return s.warp; }},
      {{"--texture-detail", "9"}, [&] { return g.texture_detail == 4 && g.ground_texture_detail == 4; }},
      {{"--texture-detail=2"}, [&] { return g.texture_detail == 2 && g.ground_texture_detail == 2; }},
      {{"--ground-texture-detail", "-3"}, [&] { return g.ground_texture_detail == 0 && g.texture_detail == 0; }},
      {{"--roostfrequency", "-5"}, [&] { return g.roost_frequency == 0; }},
      {{"--roostfrequency=5000"}, [&] { return g.roost_frequency == 1000; }},
      {{"--erode", "1.5"}, [&] { return g.erode == 1.0f; }},
      {{"--erode=0.25"}, [&] { return g.erode == 0.25f; }},
      {{"--detail", "0.5"}, [&] { return g.ground_detail == 0.5f; }},
      {{"--max-detail-distance", "40"}, [&] { return g.max_detail_distance == 40 && g.max_detail_outer == 45; }},
      {{"--lod-scale", "0"}, [&] { return g.lod_scale == 0.000001f; }},
      {{"--lod-scale=1e9"}, [&] { return g.lod_scale == 1000000.0f; }},
      {{"--lod-bias", "-2.5"}, [&] { return g.lod_bias == -2.5f; }},
      {{"--lock-fps", "50"}, [&] { return s.lock_fps == 50; }},
      {{"--fake-lag", "2500"}, [&] { return g.fake_lag == 1.0; }},
      {{"--fake-lag=250"}, [&] { return std::abs(g.fake_lag - 0.25) < 1e-9; }},
      {{"--fake-loss", "150"}, [&] { return g.fake_loss == 100; }},
      {{"--record-audio", "out.raw"}, [&] { return s.record_audio_file == "out.raw"; }},
      {{"--record-video"}, [&] { return s.record_video; }},
      {{"--rotate-lineup", "3"}, [&] { return g.rotate_lineup == 3; }},
      {{"--editor"}, [&] { return g.editor_enabled; }},
      {{"--hidden-pause"}, [&] { return !s.show_pause_text; }},
      {{"--hidden-hud"}, [&] { return !s.draw_hud; }},
      {{"--width", "1024", "--height=768"}, [&] { return g.window_width == 1024 && g.window_height == 768; }},
      {{"--depth", "32"}, [&] { return s.depth == 32; }},
      {{"--draw-fps", "1", "--draw-time", "2", "--draw-ping", "3", "--draw-render-stats", "4"},
       [&] { return g.draw_fps == 1 && g.draw_time == 2 && g.draw_ping == 3 && g.draw_render_stats == 4; }},
      {{"--accurate-skip"}, [&] { return g.accurate_skip; }},
      {{"--track", "arena"}, [&] { return g.track == "arena"; }},
      {{"--connect", "kestrail:race.example:19800"}, [&] { return g.server_address == "race.example:19800"; }},
      {{"--connect=race.example:19800"}, [&] { return g.server_address == "race.example:19800"; }},
      {{"--password", "sekrit"}, [&] { return g.server_password == "sekrit"; }},
      {{"--chase-center", "1,2.5,-3"},
       [&] { return s.chase_center.x == 1 && s.chase_center.y == 2.5f && s.chase_center.z == -3; }},
      {{"--glfinish"}, [&] { return s.glfinish; }},
  };
  for (const Case& c : cases) {
    Parsed p = parse(c.args);
    EXPECT_EQ(p.cl.exit_code, -1) << c.args[0] << ": " << p.errors;
    EXPECT_TRUE(c.check()) << c.args[0];
  }
}

TEST(CommandLine, NumericOptionsRejectBadOrMissingValues) {
  const char* numeric[] = {"--texture-detail", "--ground-texture-detail", "--roostfrequency",
                           "--erode", "--detail", "--max-detail-distance", "--lod-scale",
                           "--lod-bias", "--lock-fps", "--fake-lag", "--fake-loss"};
  for (const char* name : numeric) {
    for (std::vector<std::string> args :
         {std::vector<std::string>{name, "lots"}, std::vector<std::string>{name}}) {
      Parsed p = parse(args);
      EXPECT_EQ(p.cl.exit_code, 1) << name;
      EXPECT_EQ(p.errors, std::string("Bad arg for ") + name + "\n");
    }
  }
  Parsed p = parse({"--chase-center", "1,2"});
  EXPECT_EQ(p.cl.exit_code, 1);
  EXPECT_EQ(p.errors, "Bad arg for --chase-center\n");
}

TEST(CommandLine, UncheckedOptionsIgnoreAMissingValue) {
  for (const char* name : {"--track", "--width", "--rotate-lineup", "--connect", "--record-audio"}) {
    Parsed p = parse({name});
    EXPECT_EQ(p.cl.exit_code, -1) << name;
    EXPECT_EQ(p.errors, "") << name;
  }
  EXPECT_EQ(game_settings().window_width, 640);
}

TEST(CommandLine, FileNamesAndEndOfOptions) {
  struct Case {
    std::vector<std::string> args;
    int exit_code;
    std::string file, errors;
  } cases[] = {
      {{"race.ktdemo"}, -1, "race.ktdemo", ""},
      {{"a.ktdemo", "b.ktdemo"}, 1, "a.ktdemo", "Too many files!\n"},
      {{"-x"}, 1, "", "bad option '-x'\n"},
      {{"--no-such-thing"}, 1, "", "bad option '--no-such-thing'\n"},
      {{"--", "-x"}, -1, "-x", ""},
      {{"--fugly", "--", "--fugly"}, -1, "--fugly", ""},
      {{"--", "-a", "-b"}, 1, "-a", "Too many files!\n"},
      {{"--bikes", "4"}, -1, "", "--bikes doesn't do anything anymore\n"},
  };
  for (const Case& c : cases) {
    Parsed p = parse(c.args);
    EXPECT_EQ(p.cl.exit_code, c.exit_code) << c.args[0];
    EXPECT_EQ(p.cl.file, c.file) << c.args[0];
    EXPECT_EQ(p.errors, c.errors) << c.args[0];
  }
}

TEST(CommandLine, OpenHomeStopsParsing) {
  Parsed p = parse({"--fugly", "--open-home", "--nosound", "-bad"});
  EXPECT_TRUE(p.cl.open_home);
  EXPECT_EQ(p.cl.exit_code, 0);
  EXPECT_TRUE(game_settings().flat_shading);
  EXPECT_FALSE(startup_settings().nosound);
}

TEST(CommandLine, HelpAndVersionPrintAndExitZero) {
  Parsed help = parse({"--help"});
  EXPECT_EQ(help.cl.exit_code, 0);
  EXPECT_EQ(help.cl.output, command_line_help());
  int count;
  const CommandOption* options = command_options(&count);
  for (int i = 0; i < count; i++)
    EXPECT_NE(help.cl.output.find(options[i].name), std::string::npos) << options[i].name;
  Parsed version = parse({"--version"});
  EXPECT_EQ(version.cl.exit_code, 0);
  EXPECT_EQ(version.cl.output.rfind("Kestrail ", 0), 0u);
}

// The README lists the options between two markers; the list must be the
// program's own "--help" text, so the two cannot drift apart.
TEST(CommandLine, ReadmeListsTheOptionTable) {
  std::ifstream in(KT_SOURCE_DIR "/README.md");
  ASSERT_TRUE(in) << "README.md not found";
  std::stringstream s;
  s << in.rdbuf();
  std::string readme = s.str();
  const std::string begin = "<!-- options:begin -->\n```\n", end = "```\n<!-- options:end -->";
  size_t a = readme.find(begin), b = readme.find(end);
  ASSERT_NE(a, std::string::npos);
  ASSERT_NE(b, std::string::npos);
  EXPECT_EQ(readme.substr(a + begin.size(), b - a - begin.size()), command_line_help())
      << "regenerate the list with: build/release/kestrail --help";
}

TEST(DerivedGraphics, DefaultsAndTheCubeAboveOne) {
  DerivedGraphics d = derive_graphics(GraphicsSliders{});
  EXPECT_FLOAT_EQ(d.ground_detail, 0.125f / 50);
  EXPECT_EQ(d.ground_texture_detail, 1);
  EXPECT_EQ(d.ground_texture_size, 128);
  EXPECT_FLOAT_EQ(d.lod_scale, 1.0f);
  EXPECT_FLOAT_EQ(d.lod_bias, 50 - 50 * 1.0f);
  EXPECT_EQ(d.texture_detail, 1);
  EXPECT_EQ(d.roost_frequency, 250);
  GraphicsSliders low;
  low.model_geometric_detail = 0;
  low.ground_texture_levels = 12;
  d = derive_graphics(low);
  EXPECT_FLOAT_EQ(d.lod_scale, 8.0f);  // s = 2, cubed
  EXPECT_FLOAT_EQ(d.lod_bias, 50.0f);
  EXPECT_EQ(d.ground_texture_detail, 0);
}

}  // namespace
