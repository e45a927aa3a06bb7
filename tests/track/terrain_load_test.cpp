// terrain_load_test.cpp -- loading the fixture track's terrain, the height
// sources and their digest, the failures that refuse a field, and saving.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "data/data.h"
#include "render/image.h"
#include "track/terrain.h"
#include "track_test_util.h"

namespace {

constexpr int P = 129;

// The fixture's 16-bit samples.
int fixture_q(int c, int r) { return c * 400 + r * 100; }

struct Loaded {
  std::unique_ptr<Terrain> t = std::make_unique<Terrain>();
  ~Loaded() { terrain_free(*t); }
};

TEST(TerrainLoad, FixtureLoads) {
  ScratchTree tree("fixture_loads");
  Loaded l;
  Terrain& t = *l.t;
  ASSERT_TRUE(terrain_load(t, tree.track_dir().c_str()));
  EXPECT_EQ(t.size_exponent, 6);
  EXPECT_EQ(t.samples, P);
  EXPECT_EQ(t.tile_side, 64);
  EXPECT_FLOAT_EQ(t.extent, 256.0f);
  EXPECT_FLOAT_EQ(t.cell2, 4.0f);
  for (int r : {0, 17, 128})
    for (int c : {0, 50, 128}) EXPECT_NEAR(t.heights[r * P + c], fixture_q(c, r) * 20.0f / 65535.0f, 1e-4f);
  // shadingx2.ppm (here gzip-compressed) is kept as stored; no shadows file.
  EXPECT_EQ(t.shading[0], 128);
  EXPECT_EQ(t.shading[(P * P - 1) * 3 + 2], 100);
  EXPECT_EQ(t.shadow[77], 0);
  EXPECT_EQ(t.lod_completed, 1);
  EXPECT_GT(t.node_error[0], 0.0f);
  EXPECT_EQ(t.block_dirty[0] & 1, 1);

  ASSERT_EQ(t.tile_count, 4);
  // Friction given at speed 10, then 2, is stored by speed; the list ends with speed 0.
  const Surface& grass = t.surfaces[0];
  EXPECT_FLOAT_EQ(grass.friction_speed[0], 2);
  EXPECT_FLOAT_EQ(grass.friction_value[0], 1.2f);
  EXPECT_FLOAT_EQ(grass.friction_speed[1], 10);
  EXPECT_FLOAT_EQ(grass.friction_value[1], 0.8f);
  EXPECT_FLOAT_EQ(grass.friction_speed[2], 0);
  EXPECT_FLOAT_EQ(grass.roll_value[0][0], 4);
  EXPECT_FLOAT_EQ(grass.roll_value[0][1], 12);
  EXPECT_FLOAT_EQ(grass.roll_speed[0], 5);
  for (const RoostType& r : grass.roost) EXPECT_EQ(r.kind, ROOST_NONE);
  const Surface& dirt = t.surfaces[1];
  EXPECT_FLOAT_EQ(dirt.friction_value[0], 1.0f);  // the default point
  EXPECT_FLOAT_EQ(dirt.friction_speed[0], 1.0f);
  EXPECT_EQ(dirt.roost[0].kind, ROOST_DIRT);      // splash=0 leaves a roost
  EXPECT_FLOAT_EQ(dirt.roost[0].count, 20);
  EXPECT_EQ(dirt.roost[0].fade_a, -2);            // -256 per second
  EXPECT_EQ(dirt.roost[0].fade_r, 0);             // 100 per second
  EXPECT_EQ(dirt.roost[0].r, 300 & 255);
  EXPECT_EQ(dirt.roost[1].kind, ROOST_SPLASH);
  EXPECT_EQ(dirt.roost[2].kind, ROOST_NONE);

  EXPECT_EQ(t.tile_corner_codes[0], 0u << 16 | 0u << 8);
  EXPECT_EQ(t.tile_corner_codes[1], 1u << 16 | 1u << 8);
  EXPECT_EQ(t.tile_corner_codes[2], 0u << 16 | 1u << 8 | 6);
  EXPECT_EQ(t.tile_corner_codes[3], 1u << 16 | 1u << 8);

  EXPECT_EQ(t.tile_map[1], 1);
  EXPECT_EQ(t.tile_map[5], 3);  // 200 reads as the last tile
  EXPECT_EQ(t.tile_map[64 * 64 - 1], 3);

  // The decal whose texture file is missing is skipped.
  ASSERT_TRUE(t.has_decals);
  ASSERT_EQ(t.decals.count, 2);
  EXPECT_FLOAT_EQ(t.decals[0].sin_angle, std::sin(0.5f));
  EXPECT_EQ(t.decal_bins[1 * 8 + 1].count, 1);  // (40, 40) in bins of 32 ft
  EXPECT_EQ(t.decal_bins[0 * 8 + 6].count, 1);  // (200, 30)
}

// Writes the fixture's heights as raw ":" samples after the same header.
std::string raw_height_field(const char* header) {
  std::string bytes = header;
  bytes += ':';
  for (int r = 0; r < P; r++)
    for (int c = 0; c < P; c++) {
      int q = fixture_q(c, r);
      bytes += (char)(q & 255);
      bytes += (char)(q >> 8);
    }
  return bytes;
}

bool parse_hf(Terrain& t, const std::string& dir, uint8_t digest[20]) {
  Stream* s = open_track_file(dir.c_str(), "terrain.hf", "rb", true);
  if (!s) return false;
  bool ok = terrain_hf_parse(t, s, dir.c_str(), digest);
  close_stream(s);
  return ok;
}

TEST(TerrainLoad, RawSamplesAndPngGiveTheSameField) {
  ScratchTree png_tree("raw_png_a");
  Loaded from_png, from_raw;
  uint8_t png_digest[20], raw_digest[20];
  ASSERT_TRUE(parse_hf(*from_png.t, png_tree.track_dir(), png_digest));
  ScratchTree raw_tree("raw_png_b");
  raw_tree.write("small/terrain.hf", raw_height_field("6 2.0 0.0 20.0\n"));
  raw_tree.remove("small/terrain.png");
  ASSERT_TRUE(parse_hf(*from_raw.t, raw_tree.track_dir(), raw_digest));
  for (int i = 0; i < P * P; i++) ASSERT_EQ(from_png.t->heights[i], from_raw.t->heights[i]) << i;
  EXPECT_EQ(memcmp(png_digest, raw_digest, 20), 0);
  // It is the digest of the little-endian samples in sample order.
  std::string raw = raw_height_field("");
  DigestState d;
  digest_init(&d);
  digest_update(&d, raw.data() + 1, raw.size() - 1);
  uint8_t expected[20];
  digest_final(&d, expected);
  EXPECT_EQ(memcmp(expected, raw_digest, 20), 0);
}

TEST(TerrainLoad, SmallerPngRepeatsItsLastRowAndColumn) {
  ScratchTree tree("small_png");
  const int w = 100, h = 50;
  std::vector<uint16_t> samples(w * h);
  for (int r = 0; r < h; r++)
    for (int c = 0; c < w; c++) samples[r * w + c] = (uint16_t)(c * 600 + r * 30);
  ASSERT_TRUE(png_write_height((tree.track_dir() + "/terrain.png").c_str(), samples.data(), w, h));
  Loaded l;
  uint8_t digest[20];
  ASSERT_TRUE(parse_hf(*l.t, tree.track_dir(), digest));
  for (int r : {0, 49, 50, 128})
    for (int c : {0, 99, 100, 128}) {
      int q = samples[std::min(r, h - 1) * w + std::min(c, w - 1)];
      EXPECT_NEAR(l.t->heights[r * P + c], q * 20.0f / 65535.0f, 1e-4f) << c << "," << r;
    }
}

TEST(TerrainLoad, MissingPngGivesAFlatFieldAtTheMinimum) {
  ScratchTree tree("missing_png");
  tree.remove("small/terrain.png");
  tree.write("small/terrain.hf", "6 2.0 5.5 20.0\n");
  Loaded l;
  ASSERT_TRUE(terrain_load(*l.t, tree.track_dir().c_str()));
  for (int i = 0; i < P * P; i += 97) ASSERT_FLOAT_EQ(l.t->heights[i], 5.5f);
}

TEST(TerrainLoad, RefusedFields) {
  struct Case {
    const char* what;
    const char* file;  // replaced, or removed when bytes is null
    const char* bytes;
    const char* message;
  } cases[] = {
      {"no height field", "small/terrain.hf", nullptr, "Can't open '"},
      {"short header", "small/terrain.hf", "6 2.0 0.0\n", "Bad height field parameters"},
      {"exponent too large", "small/terrain.hf", "31 2.0 0.0 1.0\n", "Bad height field parameters"},
      {"zero cell", "small/terrain.hf", "6 0 0.0 1.0\n", "Bad height field parameters"},
      {"raw samples cut short", "small/terrain.hf", "6 2.0 0.0 1.0\n:abc", "Error reading heights"},
      {"no shading", "small/shadingx2.ppm.gz", nullptr, "Can't open '"},
      {"broken shading", "small/shadingx2.ppm", "P6\n129 129\n255\nabc", "Error reading shading"},
      {"wrong shading size", "small/shadingx2.ppm", "P6\n2 1\n255\nabcdef", "Bad shading dimensions (2x1)"},
      {"no tiles", "small/tileinfo", nullptr, "texturelist'"},
      {"no tile map", "small/tilemap", nullptr, "tilemap'"},
      {"broken shadows", "small/shadows.pgm", "P5\n129 129\n255\nab", "Error reading shadows"},
  };
  for (const Case& k : cases) {
    ScratchTree tree("refused");
    if (k.bytes)
      tree.write(k.file, k.bytes);
    else
      tree.remove(k.file);
    Loaded l;
    EXPECT_FALSE(terrain_load(*l.t, tree.track_dir().c_str())) << k.what;
    EXPECT_EQ(l.t->heights, nullptr) << k.what;  // freed again
    EXPECT_TRUE(message_posted(k.message)) << k.what << ": " << message_line(0);
  }
  // A shadow picture of the wrong size is refused with a log line only.
  ScratchTree tree("refused_shadow_size");
  tree.write("small/shadows.pgm", "P5\n1 1\n255\nx");
  Loaded l;
  EXPECT_FALSE(terrain_load(*l.t, tree.track_dir().c_str()));
}

TEST(TerrainLoad, ShadingPpmIsHalvedAndShadowsInverted) {
  ScratchTree tree("halved");
  tree.remove("small/shadingx2.ppm.gz");
  std::string ppm = "P6\n129 129\n255\n" + std::string(P * P * 3, (char)201);
  tree.write("small/shading.ppm", ppm);
  std::string pgm = "P5\n129 129\n255\n" + std::string(P * P, (char)55);
  tree.write("small/shadows.pgm", pgm);
  Loaded l;
  ASSERT_TRUE(terrain_load(*l.t, tree.track_dir().c_str()));
  EXPECT_EQ(l.t->shading[5], 100);
  EXPECT_EQ(l.t->shadow[5], 200);
}

TEST(TerrainLoad, TexturelistTiles) {
  ScratchTree tree("texturelist");
  tree.remove("small/tileinfo");
  std::string list = "  0.9 4 11 grass.png\n\nmud.png\r\n";
  for (int i = 0; i < 300; i++) list += "1 2 3 t" + std::to_string(i) + ".png\n";
  tree.write("small/texturelist", list);
  Loaded l;
  ASSERT_TRUE(terrain_load(*l.t, tree.track_dir().c_str()));
  const Terrain& t = *l.t;
  EXPECT_EQ(t.tile_count, 256);  // the 257th and later are ignored
  EXPECT_FLOAT_EQ(t.surfaces[0].friction_value[0], 0.9f);
  EXPECT_FLOAT_EQ(t.surfaces[0].friction_speed[0], 1.0f);
  EXPECT_FLOAT_EQ(t.surfaces[0].friction_speed[1], 0.0f);
  EXPECT_FLOAT_EQ(t.surfaces[0].roll_value[0][1], 11);
  EXPECT_EQ(t.tile_names[0], "grass.png");
  EXPECT_FLOAT_EQ(t.surfaces[1].friction_value[0], 1.0f);  // no numbers: the defaults
  EXPECT_FLOAT_EQ(t.surfaces[1].roll_value[0][0], 5.0f);
  EXPECT_FLOAT_EQ(t.surfaces[1].roll_value[0][1], 15.0f);
  EXPECT_EQ(t.tile_names[1], "mud.png");
  EXPECT_EQ(t.surfaces[1].roost[0].kind, ROOST_DIRT);  // a texturelist tile throws dirt
  EXPECT_EQ(t.surfaces[1].roost[1].kind, ROOST_NONE);
  EXPECT_EQ(t.tile_names[255], "t253.png");
}

TEST(TerrainSave, SaveThenReloadKeepsTheField) {
  ScratchTree tree("save");
  Loaded l;
  Terrain& t = *l.t;
  ASSERT_TRUE(terrain_load(t, tree.track_dir().c_str()));
  terrain_bump(t, 100, 100, 7.0f, 0);
  terrain_bump(t, 30, 200, -3.0f, 0);
  t.tile_map[9] = 2;
  std::string out = tree.data_dir() + "/saved";
  ASSERT_TRUE(terrain_save(t, out.c_str()));
  // The reload needs the files that are never written.
  fs::copy_file(tree.track_dir() + "/tileinfo", out + "/tileinfo");
  Loaded again;
  ASSERT_TRUE(terrain_load(*again.t, out.c_str()));
  float step = (t.max_height - t.min_height) / 65535.0f;
  for (int i = 0; i < P * P; i++) ASSERT_NEAR(again.t->heights[i], t.heights[i], step) << i;
  EXPECT_FLOAT_EQ(again.t->min_height, t.min_height);
  EXPECT_EQ(memcmp(again.t->shading, t.shading, P * P * 3), 0);
  EXPECT_EQ(again.t->tile_map[9], 2);
  ASSERT_EQ(again.t->decals.count, 2);
  EXPECT_FLOAT_EQ(again.t->decals[1].x, 200);
  // shading.ppm holds the colours at full scale.
  Stream* s = open_track_file(out.c_str(), "shading.ppm", "rb", true);
  ASSERT_NE(s, nullptr);
  Image* full = image_read_rgb(s);
  close_stream(s);
  ASSERT_NE(full, nullptr);
  EXPECT_EQ(full->pixels[0], std::min(t.shading[0] * 2, 255));
  image_free(full);
}

TEST(TerrainSave, FlatFieldSavesZeros) {
  ScratchTree tree("save_flat");
  tree.remove("small/terrain.png");
  Loaded l;
  ASSERT_TRUE(terrain_load(*l.t, tree.track_dir().c_str()));
  std::string out = tree.data_dir() + "/flat";
  ASSERT_TRUE(terrain_save(*l.t, out.c_str()));
  HeightImage* image = png_read_height((out + "/terrain.png").c_str());
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->samples[1234], 0);
  height_image_free(image);
}

TEST(TerrainSave, UnwritableDirectoryFails) {
  ScratchTree tree("save_fail");
  Loaded l;
  ASSERT_TRUE(terrain_load(*l.t, tree.track_dir().c_str()));
  // A plain file where the directory should be.
  tree.write("blocked", "x");
  EXPECT_FALSE(terrain_save(*l.t, (tree.data_dir() + "/blocked").c_str()));
  EXPECT_TRUE(message_posted("Can't open 'terrain.hf'"));
}

}  // namespace
