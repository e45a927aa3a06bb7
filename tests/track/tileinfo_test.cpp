// tileinfo_test.cpp -- the tileinfo keywords, their warnings and limits, and
// the roost parameter words.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "data/data.h"
#include "track/terrain.h"
#include "track_test_util.h"

namespace {

std::unique_ptr<Terrain> parse_tileinfo(const std::string& text) {
  auto t = std::make_unique<Terrain>();
  Stream* s = open_memory_stream(text.data(), (int)text.size());
  tileinfo_parse(*t, s);
  close_stream(s);
  return t;
}

TEST(Tileinfo, Warnings) {
  std::string nine;
  for (int i = 1; i <= 9; i++) nine += "friction 1 " + std::to_string(i) + "\n";
  std::string nine_roll;
  for (int i = 1; i <= 9; i++) nine_roll += "roll_resist 1 2 " + std::to_string(i) + "\n";
  struct Case {
    std::string text;
    const char* warning;
  } cases[] = {
      {nine, "tileinfo warning: too many friction points"},
      {"friction 0.5\n", "tileinfo warning: bad friction parameters"},
      {nine_roll, "tileinfo warning: too many roll_resist points"},
      {"roll_resist 1 x 3\n", "tileinfo warning: bad roll_resist parameters"},
      {"roost\nroost\nroost\nroost\nroost\n", "tileinfo warning: too many roost types"},
      {"frictio 1 2\n", "tileinfo warning: Unknown identifier 'frictio'"},
      {"roost count=\n", "tileinfo warning: bad count"},
      {"roost fade_b=x\n", "tileinfo warning: bad fade_b"},
      {"roost speed=3\n", "tileinfo warning: unknown roost parameter 'speed=3'"},
  };
  for (const Case& k : cases) {
    messages_clear();
    parse_tileinfo(k.text + "addtile\n");
    EXPECT_TRUE(message_posted(k.warning)) << k.warning << " / " << message_line(0);
  }
}

TEST(Tileinfo, PointsAndLimits) {
  auto t = parse_tileinfo(
      "  friction -1 0\n"        // value and speed limited
      "\troll_resist 3 -4 20\r\n"
      "roll_resist 1 1 10\n"
      "addtile\n"
      "\n"
      "addtile\n"
      "friction 9 9\n");         // after the last addtile: discarded
  ASSERT_EQ(t->tile_count, 2);
  const Surface& s = t->surfaces[0];
  EXPECT_FLOAT_EQ(s.friction_value[0], 0);
  EXPECT_FLOAT_EQ(s.friction_speed[0], 9.5367432e-7f);
  EXPECT_FLOAT_EQ(s.roll_speed[0], 10);
  EXPECT_FLOAT_EQ(s.roll_value[1][0], 3);
  EXPECT_FLOAT_EQ(s.roll_value[1][1], 0);
  EXPECT_FLOAT_EQ(s.roll_speed[2], 0);
  // The second tile has the defaults.
  EXPECT_FLOAT_EQ(t->surfaces[1].friction_value[0], 1);
  EXPECT_FLOAT_EQ(t->surfaces[1].roll_value[0][1], 15);
  EXPECT_FLOAT_EQ(t->surfaces[2].friction_value[0], 0);  // never stored

  std::string many;
  for (int i = 0; i < 300; i++) many += "texture @t" + std::to_string(i) + ".png\naddtile\n";
  auto full = parse_tileinfo(many);
  EXPECT_EQ(full->tile_count, 256);
  EXPECT_EQ(full->tile_names[255], "t255.png");
}

TEST(Tileinfo, TextureNamesAreRememberedWithoutDirectories) {
  auto t = parse_tileinfo("texture @ground/grass cut.png\naddtile\ntexture dirt.png\naddtile\n");
  EXPECT_EQ(t->tile_names[0], "grass cut.png");
  EXPECT_EQ(t->tile_names[1], "dirt.png");
}

TEST(RoostParameters, Words) {
  RoostType r;
  roost_parameters_parse(r, "count=3.5 dig=2 slip_threshold=7 slow_angle=1 fast_angle=0.5 slow_speed=4 "
                            "fast_speed=80 size=0.5 grow=2 drag=0.25 vscale=3 randomize=9 "
                            "g=-1 b=256.9 a=12 fade_g=384 fade_b=-100");
  EXPECT_EQ(r.kind, ROOST_DIRT);
  EXPECT_FLOAT_EQ(r.count, 3.5f);
  EXPECT_FLOAT_EQ(r.dig, 2);
  EXPECT_FLOAT_EQ(r.slip_threshold, 7);
  EXPECT_FLOAT_EQ(r.slow_angle, 1);
  EXPECT_FLOAT_EQ(r.fast_angle, 0.5f);
  EXPECT_FLOAT_EQ(r.slow_speed, 4);
  EXPECT_FLOAT_EQ(r.fast_speed, 80);
  EXPECT_FLOAT_EQ(r.size, 0.5f);
  EXPECT_FLOAT_EQ(r.grow, 2);
  EXPECT_FLOAT_EQ(r.drag, 0.25f);
  EXPECT_FLOAT_EQ(r.vscale, 3);
  EXPECT_FLOAT_EQ(r.randomize, 9);
  EXPECT_EQ(r.r, 255);  // untouched
  EXPECT_EQ(r.g, 255);  // -1: low 8 bits
  EXPECT_EQ(r.b, 0);    // 256.9 truncates to 256
  EXPECT_EQ(r.a, 12);
  EXPECT_EQ(r.fade_g, 3);
  EXPECT_EQ(r.fade_b, 0);  // -0.78 truncates toward zero
  EXPECT_EQ(r.fade_a, -2);

  RoostType q;
  messages_clear();
  roost_parameters_parse(q, "splash=2 size=abc \"r=1\"0 count=1e999");
  EXPECT_EQ(q.kind, ROOST_SPLASH);
  EXPECT_FLOAT_EQ(q.size, 0);  // no number: set to 0, with the warning
  EXPECT_TRUE(message_posted("tileinfo warning: bad size"));
  EXPECT_EQ(q.r, 10);          // the quotes go, the word stays whole
}

}  // namespace
