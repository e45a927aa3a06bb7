// shape_test.cpp -- reading collision shapes, the cache, copies and placing.
#include "physics/shape.h"

#include <cmath>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "data/data.h"

namespace {

bool parse_text(const char* text, Shape* out) {
  Stream* s = open_memory_stream(text, (int)strlen(text));
  bool ok = shape_parse(s, "test", out);
  close_stream(s);
  return ok;
}

TEST(ShapeParse, ReadsSpheresAndBoundingRadius) {
  Shape shape;
  ASSERT_TRUE(parse_text("2\n1 2 2 0.5 0.7 2500 250\n  -0.25 0 0 1.5 1 25000 2500\n", &shape));
  ASSERT_EQ(shape.spheres.size(), 2u);
  const Sphere& a = shape.spheres[0];
  EXPECT_FLOAT_EQ(a.centre.x, 1);
  EXPECT_FLOAT_EQ(a.centre.z, 2);
  EXPECT_FLOAT_EQ(a.radius, 0.5f);
  EXPECT_FLOAT_EQ(a.friction, 0.7f);
  EXPECT_FLOAT_EQ(a.stiffness, 2500);
  EXPECT_FLOAT_EQ(a.damping, 250);
  // |(1, 2, 2)| + 0.5 beats 0.25 + 1.5.
  EXPECT_FLOAT_EQ(shape.bounding_radius, 3.5f);
  EXPECT_EQ(shape.name, "test");
}

TEST(ShapeParse, RejectsIncompleteOrUnusableFiles) {
  const char* bad[] = {
      "",                                        // no count
      "x",                                       // not a number
      "-1\n",                                    // negative count
      "2\n0 0 0 0.5 1 2500 250\n",               // one sphere short
      "1\n0 0 0 0.5 1 2500\n",                   // a record short
      "1\n0 0 0 -0.5 1 2500 250\n",              // negative radius
      "1\n0 0 1e999 0.5 1 2500 250\n",           // overflows to infinity
      "1\n0 0 0 0.5 -1 2500 250\n",              // negative friction
      "2000000000\n0 0 0 0.5 1 2500 250\n",      // a count the file cannot back
  };
  for (const char* text : bad) {
    Shape shape;
    EXPECT_FALSE(parse_text(text, &shape)) << text;
    EXPECT_TRUE(shape.spheres.empty()) << text;
  }
  // No spheres at all is a valid, empty shape.
  Shape empty;
  EXPECT_TRUE(parse_text("0\n", &empty));
  EXPECT_EQ(empty.bounding_radius, 0);
}

const std::string FIXTURES = std::string(KT_TEST_DIR) + "/fixtures/";

class ShapeCacheTest : public ::testing::Test {
 protected:
  void SetUp() override { shapes_clear(); }
  void TearDown() override { shapes_clear(); }
};

TEST_F(ShapeCacheTest, LoadsOnceAndKeepsFailures) {
  const Shape* a = load_shape((FIXTURES + "three_spheres.shp").c_str());
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->spheres.size(), 3u);
  EXPECT_FLOAT_EQ(a->bounding_radius, 3.25f);  // |(1, 2, -2)| + 0.25
  EXPECT_EQ(load_shape((FIXTURES + "three_spheres.shp").c_str()), a);
  EXPECT_EQ(load_shape((FIXTURES + "truncated.shp").c_str()), nullptr);
  EXPECT_EQ(load_shape((FIXTURES + "missing.shp").c_str()), nullptr);
  EXPECT_EQ(load_shape((FIXTURES + "missing.shp").c_str()), nullptr);
  EXPECT_EQ(load_shape(nullptr), nullptr);
  EXPECT_EQ(load_shape(""), nullptr);
  // Earlier pointers survive later loads.
  EXPECT_EQ(a->spheres.size(), 3u);
}

TEST_F(ShapeCacheTest, CopiesArePlacedWithoutTouchingTheCache) {
  const Shape* cached = load_shape((FIXTURES + "three_spheres.shp").c_str());
  ASSERT_NE(cached, nullptr);
  Shape* copy = copy_shape(cached);
  ASSERT_NE(copy, nullptr);
  // A quarter turn about y: body x goes to world -z.
  Mat3 turn = mat3_axis_angle({0, 1, 0}, (float)M_PI / 2);
  shape_place(copy, *cached, {10, 0, 5}, turn);
  EXPECT_NEAR(copy->spheres[1].centre.x, 10 - 2.0f, 1e-5);
  EXPECT_NEAR(copy->spheres[1].centre.y, 2.0f, 1e-5);
  EXPECT_NEAR(copy->spheres[1].centre.z, 5 - 1.0f, 1e-5);
  EXPECT_NEAR(copy->spheres[0].centre.x, 10, 1e-5);
  EXPECT_FLOAT_EQ(cached->spheres[1].centre.x, 1.0f);
  EXPECT_FLOAT_EQ(copy->spheres[2].stiffness, 25000);
  EXPECT_FLOAT_EQ(copy->bounding_radius, cached->bounding_radius);
  free_shape(copy);
  EXPECT_EQ(copy_shape(nullptr), nullptr);
}

}  // namespace
