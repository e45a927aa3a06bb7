// terrain_math_test.cpp -- height and normal queries, bumps, lighting and
// tint of samples, corner codes, decal bins and the LOD errors, on small
// in-memory fields.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>
#include <string>

#include "track/terrain.h"
#include "track/track.h"

namespace {

// A field of exponent m whose heights come from f(c, r).
template <class F>
std::unique_ptr<Terrain> make_field(int m, float cell, F f) {
  auto t = std::make_unique<Terrain>();
  terrain_init_grid(*t, m, cell);
  for (int r = 0; r < t->samples; r++)
    for (int c = 0; c < t->samples; c++) t->heights[r * t->samples + c] = f(c, r);
  return t;
}

std::unique_ptr<Terrain> bumpy_field(int m = 2, float cell = 2.0f) {
  return make_field(m, cell, [](int c, int r) { return (float)((c * 7 + r * 13) % 11) - 3.0f; });
}

TEST(TerrainHeight, SamplePositionsReturnTheStoredSample) {
  for (float cell : {2.0f, 2.5f, 0.75f}) {
    auto t = bumpy_field(2, cell);
    for (int r = 0; r < t->samples; r++)
      for (int c = 0; c < t->samples; c++)
        EXPECT_NEAR(terrain_height(*t, c * cell, r * cell), t->heights[r * t->samples + c], 1e-4f)
            << "cell " << cell << " at " << c << "," << r;
    terrain_free(*t);
  }
}

TEST(TerrainHeight, DiagonalFollowsTheChessboard) {
  // A saddle: the corners on one diagonal are high, the other two low. The
  // centre lies on the split, so it takes the height of the split's ends.
  struct Case {
    int ix, iz;
    float centre;
  } cases[] = {{0, 0, 4}, {1, 0, 0}, {0, 1, 0}, {1, 1, 4}, {2, 3, 0}};
  for (const Case& k : cases) {
    auto t = make_field(2, 1.0f, [&](int c, int r) {
      bool a = c == k.ix && r == k.iz, b = c == k.ix + 1 && r == k.iz + 1;
      return a || b ? 4.0f : 0.0f;
    });
    EXPECT_FLOAT_EQ(terrain_height(*t, k.ix + 0.5f, k.iz + 0.5f), k.centre) << k.ix << "," << k.iz;
    terrain_free(*t);
  }
}

TEST(TerrainHeight, BothTrianglesAgreeOnTheDiagonal) {
  auto t = bumpy_field();
  for (int iz = 0; iz < 4; iz++)
    for (int ix = 0; ix < 4; ix++) {
      bool even = ((ix + iz) & 1) == 0;
      for (float s : {0.2f, 0.5f, 0.7f}) {
        // Points on the split: (s, s) in even cells, (1 - s, s) in odd ones.
        float x = ix + (even ? s : 1 - s), z = iz + s;
        float on = terrain_height(*t, x * 2, z * 2);
        float left = terrain_height(*t, x * 2 - 1e-3f, z * 2);
        float right = terrain_height(*t, x * 2 + 1e-3f, z * 2);
        EXPECT_NEAR(left, on, 0.02f);
        EXPECT_NEAR(right, on, 0.02f);
      }
    }
  terrain_free(*t);
}

TEST(TerrainHeight, ContinuesPastTheEdges) {
  auto t = bumpy_field();
  int n = t->samples;
  float e = t->extent;
  struct Case {
    float x, z;
    int c, r;
  } cases[] = {{-5, -5, 0, 0},    {-100, 4, 0, 2},     {e + 3, 0, n - 1, 0},
               {2, e + 50, 1, n - 1}, {e + 1e9f, -1e9f, n - 1, 0}};
  for (const Case& k : cases)
    EXPECT_FLOAT_EQ(terrain_height(*t, k.x, k.z), t->heights[k.r * n + k.c]) << k.x << "," << k.z;
  // Not a number still reads inside the array.
  EXPECT_TRUE(std::isfinite(terrain_height(*t, NAN, NAN)));
  terrain_free(*t);
}

TEST(TerrainNormal, FlatAndSloped) {
  auto flat = make_field(2, 3.0f, [](int, int) { return 7.0f; });
  for (float x : {0.1f, 4.4f, 11.9f, -3.0f})
    for (float z : {0.3f, 5.5f, 12.2f}) {
      Vec3 n = terrain_normal(*flat, x, z);
      EXPECT_FLOAT_EQ(n.x, 0);
      EXPECT_FLOAT_EQ(n.y, 9.0f);
      EXPECT_FLOAT_EQ(n.z, 0);
    }
  terrain_free(*flat);
  // y = 0.5 x: every triangle's normal is cell² (-0.5, 1, 0).
  auto slope = make_field(2, 2.0f, [](int c, int) { return 0.5f * 2.0f * c; });
  for (float x : {0.5f, 3.3f, 6.1f})
    for (float z : {0.7f, 2.2f, 5.9f}) {
      Vec3 n = terrain_normal(*slope, x, z);
      EXPECT_NEAR(n.x, -2.0f, 1e-5f);
      EXPECT_NEAR(n.y, 4.0f, 1e-5f);
      EXPECT_NEAR(n.z, 0.0f, 1e-5f);
    }
  terrain_free(*slope);
  // Past the edge the field continues flat across it and keeps its slope along it.
  auto ramp = make_field(2, 2.0f, [](int, int r) { return 0.5f * 2.0f * r; });
  for (float x : {-5.0f, 40.0f}) {
    Vec3 n = terrain_normal(*ramp, x, 3.3f);
    EXPECT_NEAR(n.x, 0.0f, 1e-5f) << x;
    EXPECT_NEAR(n.y, 4.0f, 1e-5f) << x;
    EXPECT_NEAR(n.z, -2.0f, 1e-5f) << x;
  }
  terrain_free(*ramp);
}

// ---------------------------------------------------------------- edits

class TerrainEdit : public ::testing::Test {
 protected:
  void SetUp() override {
    Lighting& l = track_lighting();
    l.sun_vector = {0, 1, 0};
    l.sun_color = {1, 1, 1};
    l.ambient = {0, 0, 0};
    t = make_field(3, 2.0f, [](int, int) { return 1.0f; });
    t->min_height = t->max_height = 1.0f;
    for (int i = 0; i < t->samples * t->samples * 3; i++) t->shading[i] = 127;
  }
  void TearDown() override {
    terrain_free(*t);
    track_lighting() = Lighting{};
  }
  float total_height() const {
    double sum = 0;
    for (int i = 0; i < t->samples * t->samples; i++) sum += t->heights[i];
    return (float)sum;
  }
  std::unique_ptr<Terrain> t;
};

TEST_F(TerrainEdit, BumpMovesTheGroundByTheAmount) {
  float before = total_height();
  terrain_bump(*t, 10.3f, 12.6f, 0.8f, 5);
  EXPECT_NEAR(total_height() - before, 0.8f, 1e-4f);
  EXPECT_TRUE(t->modified);
  EXPECT_GT(terrain_height(*t, 10.3f, 12.6f), 1.0f);
  EXPECT_GT(t->max_height, 1.0f);
  EXPECT_FLOAT_EQ(terrain_height(*t, 0, 0), 1.0f);  // far away: untouched
  terrain_bump(*t, 20.0f, 20.0f, -0.5f, 5);
  EXPECT_LT(t->min_height, 1.0f);
}

TEST_F(TerrainEdit, BumpDarkensDugGroundEvenWhenFrozen) {
  t->frozen = true;
  float before = total_height();
  terrain_bump(*t, 16.0f, 16.0f, 2.0f, 0);
  EXPECT_FLOAT_EQ(total_height(), before);
  EXPECT_FALSE(t->modified);
  // The sample under the point took the largest share of the darkening.
  const uint8_t* centre = &t->shading[(8 * t->samples + 8) * 3];
  EXPECT_LT(centre[1], 127);
}

TEST_F(TerrainEdit, BumpAtTheEdgeOnlyChangesSamplesInside) {
  terrain_bump(*t, 0.0f, 0.0f, 1.0f, 0);
  // Only the inside share of the kernel lands; nothing is written out of bounds.
  float gained = total_height() - t->samples * t->samples * 1.0f;
  EXPECT_GT(gained, 0.0f);
  EXPECT_LT(gained, 1.0f);
}

TEST_F(TerrainEdit, LightVertex) {
  uint8_t out[3];
  terrain_light_vertex(*t, 3, 3, out);
  EXPECT_EQ(out[0], 127);  // (1 · 1 + 0) · 0.5 · 255 truncated
  t->shadow[3 * t->samples + 3] = 255;
  track_lighting().ambient = {0.2f, 0.4f, 0.6f};
  terrain_light_vertex(*t, 3, 3, out);
  EXPECT_EQ(out[0], 25);
  EXPECT_EQ(out[1], 51);
  EXPECT_EQ(out[2], 76);
  track_lighting().sun_color = {5, 5, 5};
  terrain_light_vertex(*t, 4, 4, out);
  EXPECT_EQ(out[0], 255);
  // A sun below the horizon lights nothing.
  track_lighting().sun_vector = {0, -1, 0};
  track_lighting().ambient = {};
  terrain_light_vertex(*t, -10, 100, out);
  EXPECT_EQ(out[0], 0);
}

TEST_F(TerrainEdit, LightVertexFollowsTheSlope) {
  // Ground rising along +x faces -x: a sun from -x lights it more.
  for (int r = 0; r < t->samples; r++)
    for (int c = 0; c < t->samples; c++) t->heights[r * t->samples + c] = 2.0f * c;
  track_lighting().sun_vector = vec3_normalize({-1, 1, 0});
  uint8_t toward[3], away[3];
  terrain_light_vertex(*t, 4, 4, toward);
  track_lighting().sun_vector = vec3_normalize({1, 1, 0});
  terrain_light_vertex(*t, 4, 4, away);
  EXPECT_GT(toward[0], away[0]);
}

TEST_F(TerrainEdit, TintMovesThePaintedOffset) {
  // Lit colour is 127, shading 127: the offset is 0.
  const int target[3] = {40, -20, 500};
  terrain_tint_vertex(*t, 2, 2, 1.0f, target, 0);
  const uint8_t* s = &t->shading[(2 * t->samples + 2) * 3];
  EXPECT_EQ(s[0], 167);
  EXPECT_EQ(s[1], 107);
  EXPECT_EQ(s[2], 255);  // limited
  // Half way, the fraction rounds by the pseudo-random threshold.
  const int half[3] = {1, 1, 1};
  terrain_tint_vertex(*t, 5, 5, 0.5f, half, 0);
  const uint8_t* h = &t->shading[(5 * t->samples + 5) * 3];
  EXPECT_TRUE(h[0] == 127 || h[0] == 128);
  // Outside the field nothing happens.
  terrain_tint_vertex(*t, -1, 2, 1.0f, target, 0);
}

TEST_F(TerrainEdit, RelightRegionSetsShadingAndMarksTextures) {
  for (int i = 0; i < t->samples * t->samples * 3; i++) t->shading[i] = 0;
  terrain_relight_region(*t, -5, 2, 1, 1);
  for (int c = 0; c <= 2; c++) EXPECT_EQ(t->shading[(1 * t->samples + c) * 3], 127) << c;
  EXPECT_EQ(t->shading[(1 * t->samples + 3) * 3], 0);
  EXPECT_EQ(t->shading[(2 * t->samples + 0) * 3], 0);
  // 1025 samples a side: three low-detail textures of 448 samples plus a
  // 32-sample border; columns 470..475 lie in the first two.
  auto big = make_field(9, 1.0f, [](int, int) { return 0.0f; });
  ASSERT_EQ(big->low_detail_side, 3);
  terrain_mark_region(*big, 470, 475, 0, 0);
  EXPECT_EQ(big->low_detail_dirty[0] & 0x3f, 0x03);
  terrain_mark_region(*big, 900, 2000, 900, 900);
  EXPECT_EQ(big->low_detail_dirty[1] & 1, 1);  // texture (2, 2) is bit 8
  terrain_free(*big);
}

// ---------------------------------------------------------------- corner codes

TEST(TileCornerCode, Patterns) {
  const std::string names[] = {"grass.png", "dirt.png", "grass-dirt-0110.png", "dirt-alt2.png",
                               "grass-dirt-0011.png", "grass-mud-1111.png", "grass-dirt-01x1.png",
                               "mud-grass-1000.png"};
  struct Case {
    const char* name;
    int code;
  } cases[] = {
      {"grass.png", -1},                            // no pattern
      {"grass-dirt-0110.png", 0 << 16 | 1 << 8 | 6},
      {"grass-dirt-0011.png", 0 << 16 | 1 << 8 | 3},
      {"dirt-alt2.png", 1 << 16 | 1 << 8},         // another look of dirt
      {"grass-mud-1111.png", -256},                 // no tile named mud
      {"mud-grass-1000.png", -1},                   // first part names no tile
      {"grass-dirt-01x1.png", 0 << 16 | 1 << 8},   // bits unreadable: 0
      {"grass-dirt-01", 0 << 16 | 1 << 8},          // too short for four bits
  };
  for (const Case& k : cases) EXPECT_EQ(tile_corner_code(k.name, names, 8), k.code) << k.name;
}

// ---------------------------------------------------------------- decal bins

TEST(DecalBins, ExtentAndOrder) {
  auto t = make_field(3, 4.0f, [](int, int) { return 0.0f; });  // extent 64 ft, bins of 8 ft
  auto add = [&](float x, float z, float angle, float size, float aspect) {
    t->decals.push(decal_make(x, z, angle, size, aspect));
  };
  add(12, 12, 0, 2, 1);           // inside bin (1, 1)
  add(15, 12, 0, 4, 1);           // x 13..17: bins 1 and 2
  add(12, 12, 0, 2, 6);           // unturned, the long side runs along x: 6..18
  add(-40, 1000, 0, 1, 1);        // far outside: clamped to the edge bins
  add(NAN, 4, 0, 1, 1);
  add(36, 36, 1.5707964f, 2, 6);  // turned a quarter: along z, 30..42
  decal_bins_rebuild(*t);
  auto bin = [&](int bx, int bz) -> const GrowList<int>& { return t->decal_bins[bz * 8 + bx]; };
  ASSERT_EQ(bin(1, 1).count, 3);
  EXPECT_EQ(bin(1, 1)[0], 0);
  EXPECT_EQ(bin(1, 1)[1], 1);
  EXPECT_EQ(bin(1, 1)[2], 2);
  ASSERT_EQ(bin(2, 1).count, 2);
  EXPECT_EQ(bin(2, 1)[0], 1);
  EXPECT_EQ(bin(2, 1)[1], 2);
  ASSERT_EQ(bin(0, 1).count, 1);
  EXPECT_EQ(bin(0, 1)[0], 2);
  ASSERT_EQ(bin(0, 7).count, 1);
  EXPECT_EQ(bin(0, 7)[0], 3);
  ASSERT_EQ(bin(0, 0).count, 1);
  EXPECT_EQ(bin(0, 0)[0], 4);
  for (int bz : {3, 4, 5}) {
    ASSERT_EQ(bin(4, bz).count, 1) << bz;
    EXPECT_EQ(bin(4, bz)[0], 5);
  }
  EXPECT_EQ(bin(3, 4).count, 0);
  EXPECT_EQ(bin(5, 4).count, 0);
  // Adding an index already below others keeps each bin ascending.
  decal_bins_add(*t, 0);
  ASSERT_EQ(bin(1, 1).count, 4);
  EXPECT_EQ(bin(1, 1)[1], 0);
  EXPECT_EQ(bin(1, 1)[2], 1);
  terrain_free(*t);
}

// ---------------------------------------------------------------- LOD errors

TEST(TerrainLod, FlatFieldHasTheDistanceTermsOnly) {
  auto t = make_field(2, 2.0f, [](int, int) { return 3.0f; });
  t->geometry_detail = 50;
  ASSERT_TRUE(terrain_lod_errors(*t, INT_MAX));
  // A leaf (level 2): half the diagonal of its 4 ft square.
  float leaf = t->extent * 0.25f * 0.70710678f;
  EXPECT_NEAR(t->node_error[5], leaf * leaf, 1e-3f);
  // Every parent is at least as large as its children.
  for (int i = 0; i < 5; i++) EXPECT_GE(t->node_error[0], t->node_error[i]);
  EXPECT_TRUE(terrain_lod_errors(*t, 0));  // nothing left to do for this generation
  terrain_free(*t);
}

TEST(TerrainLod, InterruptedComputationMatchesTheFullOne) {
  auto full = bumpy_field(3);
  auto pieces = bumpy_field(3);
  full->geometry_detail = pieces->geometry_detail = 10;
  ASSERT_TRUE(terrain_lod_errors(*full, INT_MAX));
  int calls = 0;
  for (int budget : {1, 7, 30}) {
    pieces->lod_generation++;
    calls = 0;
    while (!terrain_lod_errors(*pieces, budget)) ASSERT_LT(++calls, 100000);
    EXPECT_GT(calls, 1) << budget;
    for (int i = 0; i < full->node_count; i++) ASSERT_FLOAT_EQ(pieces->node_error[i], full->node_error[i]) << i;
  }
  terrain_free(*full);
  terrain_free(*pieces);
}

}  // namespace
