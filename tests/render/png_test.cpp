// png_test.cpp -- PNG texture and height reading, the directives in text
// chunks, custom mip levels and the two writers.
#include "render/image.h"

#include <cstring>
#include <string>
#include <vector>

#include "render_fixture.h"

class Png : public RenderTest {};

namespace {

std::vector<int> level0(const Image* image) {
  return std::vector<int>(image->pixels,
                          image->pixels + image->width * image->height * image->channels);
}

}  // namespace

TEST_F(Png, TexturesNormaliseToRgbOrRgba) {
  struct Case {
    const char* what;
    PngSpec spec;
    std::vector<int> pixels;
  };
  PngSpec palette;
  palette.width = 2;
  palette.colour = PNG_COLOR_TYPE_PALETTE;
  palette.palette = {{10, 20, 30}, {40, 50, 60}};
  palette.samples = {1, 0};
  PngSpec palette_trns = palette;
  palette_trns.trns = {128};  // entry 0 half transparent, entry 1 opaque
  PngSpec grey1;
  grey1.width = 2;
  grey1.colour = PNG_COLOR_TYPE_GRAY;
  grey1.depth = 1;
  grey1.samples = {0x40};  // bits 0, 1
  PngSpec grey_alpha;
  grey_alpha.colour = PNG_COLOR_TYPE_GRAY_ALPHA;
  grey_alpha.samples = {77, 99};
  PngSpec rgb16;
  rgb16.colour = PNG_COLOR_TYPE_RGB;
  rgb16.depth = 16;
  rgb16.samples = {0x12, 0x34, 0xff, 0xff, 0x00, 0x01};
  PngSpec grey_trns;
  grey_trns.width = 2;
  grey_trns.colour = PNG_COLOR_TYPE_GRAY;
  grey_trns.samples = {5, 6};
  grey_trns.trns = {6};
  PngSpec rgba;
  rgba.colour = PNG_COLOR_TYPE_RGBA;
  rgba.samples = {1, 2, 3, 4};
  const Case cases[] = {
      {"palette", palette, {40, 50, 60, 10, 20, 30}},
      {"palette with tRNS", palette_trns, {40, 50, 60, 255, 10, 20, 30, 128}},
      {"1-bit grey", grey1, {0, 0, 0, 255, 255, 255}},
      {"grey and alpha", grey_alpha, {77, 77, 77, 99}},
      {"16-bit RGB", rgb16, {0x12, 0xff, 0x00}},
      {"grey with a tRNS key", grey_trns, {5, 5, 5, 255, 6, 6, 6, 0}},
      {"RGBA", rgba, {1, 2, 3, 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(png_make(path("t.png"), c.spec));
    Image* image = png_read_texture(path("t.png").c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->channels, c.pixels.size() == (size_t)c.spec.width * 4 ? 4 : 3);
    EXPECT_TRUE(image->mipmapped);
    EXPECT_EQ(level0(image), c.pixels);
    image_free(image);
  }
}

TEST_F(Png, MaxAlphaDirectiveInAnyTextChunk) {
  PngSpec spec;
  spec.width = 2;
  spec.height = 2;
  spec.colour = PNG_COLOR_TYPE_RGBA;
  spec.samples = {9, 9, 9, 200, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (int where = 0; where < 3; where++) {
    SCOPED_TRACE(where);
    spec.texts.clear();
    spec.end_texts.clear();
    if (where == 1) spec.texts = {"made with care [mip_max_alpha]"};
    if (where == 2) spec.end_texts = {"[mip_max_alpha]"};
    ASSERT_TRUE(png_make(path("a.png"), spec));
    Image* image = png_read_texture(path("a.png").c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixels[16 + 3], where == 0 ? 50 : 200);
    EXPECT_EQ(image->pixels[16], 9);
    image_free(image);
  }
}

TEST_F(Png, CustomMipLevelsAreCopiedIntoTheChain) {
  // W = 4, H = 6: level 0 is 4 x 4 (rows 0-3), level 1 2 x 2 at (0, 4),
  // level 2 1 x 1 at (2, 4). Each pixel's red is its position code.
  PngSpec spec;
  spec.width = 4;
  spec.height = 6;
  spec.texts = {"[mip_custom]"};
  for (int y = 0; y < 6; y++) {
    for (int x = 0; x < 4; x++) {
      spec.samples.insert(spec.samples.end(), {(uint8_t)(y * 10 + x), 0, 0});
    }
  }
  ASSERT_TRUE(png_make(path("c.png"), spec));
  Image* image = png_read_texture(path("c.png").c_str());
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 4);
  EXPECT_EQ(image->height, 4);
  const uint8_t* level1 = image->pixels + 16 * 3;
  const uint8_t* level2 = level1 + 4 * 3;
  EXPECT_EQ(image->pixels[15 * 3], 33);
  EXPECT_EQ((std::vector<int>{level1[0], level1[3], level1[6], level1[9]}),
            (std::vector<int>{40, 41, 50, 51}));
  EXPECT_EQ(level2[0], 42);
  image_free(image);
}

TEST_F(Png, CustomMipWithBadHeightWarnsAndKeepsThePicture) {
  PngSpec spec;
  spec.width = 2;
  spec.height = 2;  // 2H = 4 is not divisible by 3
  spec.texts = {"[mip_custom]"};
  spec.samples.assign(12, 100);
  ASSERT_TRUE(png_make(path("bad.png"), spec));
  Image* image = png_read_texture("@bad.png");
  ASSERT_NE(image, nullptr);
  EXPECT_STREQ(message_line(0), "Warning: Invalid height for custom MIP map in '@bad.png'");
  EXPECT_EQ(image->height, 2);
  EXPECT_EQ(image->pixels[12], 100);  // an ordinary chain stands in
  image_free(image);
}

TEST_F(Png, FlatCustomPictureNeverReadsOutside) {
  // 8 x 3: the stacked levels would run below the picture; they are
  // filtered from the level above instead.
  PngSpec spec;
  spec.width = 8;
  spec.height = 3;
  spec.texts = {"[mip_custom]"};
  spec.samples.assign(8 * 3 * 3, 60);
  ASSERT_TRUE(png_make(path("flat.png"), spec));
  Image* image = png_read_texture(path("flat.png").c_str());
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->height, 2);
  int total = mip_chain_bytes(8, 2, 3) - 3;
  for (int i = 0; i < total; i++) ASSERT_EQ(image->pixels[i], 60) << i;
  image_free(image);
}

TEST_F(Png, HeightsAreSixteenBitGrey) {
  struct Case {
    const char* what;
    PngSpec spec;
    std::vector<int> heights;
  };
  PngSpec grey16;
  grey16.width = 2;
  grey16.colour = PNG_COLOR_TYPE_GRAY;
  grey16.depth = 16;
  grey16.samples = {0x12, 0x34, 0xfe, 0xdc};
  PngSpec grey8;
  grey8.width = 2;
  grey8.colour = PNG_COLOR_TYPE_GRAY;
  grey8.samples = {0x01, 0xff};
  PngSpec grey_alpha;
  grey_alpha.colour = PNG_COLOR_TYPE_GRAY_ALPHA;
  grey_alpha.samples = {0x80, 0x00};
  PngSpec rgb;
  rgb.width = 2;
  rgb.samples = {255, 255, 255, 0, 0, 0};
  PngSpec grey_trns = grey8;
  grey_trns.trns = {1};
  const Case cases[] = {
      {"16-bit grey", grey16, {0x1234, 0xfedc}},
      {"8-bit grey widened", grey8, {0x0101, 0xffff}},
      {"alpha dropped", grey_alpha, {0x8080}},
      {"colour turned grey", rgb, {0xffff, 0}},
      {"tRNS ignored", grey_trns, {0x0101, 0xffff}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(png_make(path("h.png"), c.spec));
    HeightImage* image = png_read_height(path("h.png").c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, c.spec.width);
    EXPECT_EQ(std::vector<int>(image->samples, image->samples + image->width * image->height),
              c.heights);
    height_image_free(image);
  }
}

TEST_F(Png, WritersRoundTripThroughTheReaders) {
  const uint16_t heights[6] = {0, 1, 0x1234, 0x8000, 0xfffe, 0xffff};
  ASSERT_TRUE(png_write_height("@terrain.png", heights, 3, 2));
  HeightImage* h = png_read_height("@terrain.png");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->width, 3);
  EXPECT_EQ(h->height, 2);
  EXPECT_EQ(std::vector<int>(h->samples, h->samples + 6),
            std::vector<int>(heights, heights + 6));
  height_image_free(h);

  // Rows bottom-up in memory come out top-down in the file.
  const uint8_t rows[2 * 2 * 3] = {1, 2, 3, 4, 5, 6,     // bottom row
                                   7, 8, 9, 10, 11, 12};  // top row
  ASSERT_TRUE(png_write_rgb("@screenshot001.png", rows, 2, 2));
  Image* image = png_read_texture("@screenshot001.png");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(level0(image), (std::vector<int>{7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}));
  image_free(image);
}

TEST_F(Png, WritersRefuseWhatCannotBeWritten) {
  const uint16_t heights[1] = {0};
  const uint8_t rgb[3] = {0, 0, 0};
  EXPECT_FALSE(png_write_height(path("x.png").c_str(), heights, 0, 1));
  EXPECT_FALSE(png_write_rgb(path("x.png").c_str(), rgb, 1, -1));
  EXPECT_FALSE(png_write_rgb(path("x.png").c_str(), nullptr, 1, 1));
  write_file("file", "not a folder");
  EXPECT_FALSE(png_write_rgb(path("file/x.png").c_str(), rgb, 1, 1));
  EXPECT_FALSE(fs::exists(path("x.png")));
}

TEST_F(Png, TruncatedAndGarbageFilesAreRefused) {
  PngSpec spec;
  spec.width = 16;
  spec.height = 16;
  spec.samples.assign(16 * 16 * 3, 42);
  ASSERT_TRUE(png_make(path("good.png"), spec));
  std::string good;
  {
    std::ifstream in(path("good.png"), std::ios::binary);
    good.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const std::string cases[] = {"", "garbage", good.substr(0, 8), good.substr(0, 40),
                               good.substr(0, good.size() / 2), good.substr(0, good.size() - 13)};
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(bytes.size());
    Stream* s = open_memory_stream(bytes.data(), (int)bytes.size());
    EXPECT_EQ(png_read_texture_stream(s, "cut.png"), nullptr);
    close_stream(s);
    s = open_memory_stream(bytes.data(), (int)bytes.size());
    EXPECT_EQ(png_read_height_stream(s), nullptr);
    close_stream(s);
  }
}
