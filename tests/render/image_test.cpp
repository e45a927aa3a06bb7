// image_test.cpp -- PPM/PGM and "Q6"/"Q7" decoding, mip chains, "ANIM1"
// sequences and texture loading without GL.
#include "render/image.h"
#include "render/image_internal.h"

#include <cstring>
#include <string>
#include <vector>

#include "render_fixture.h"

namespace {

Image* read_rgb(const std::string& bytes) {
  Stream* s = open_memory_stream(bytes.data(), (int)bytes.size());
  Image* image = image_read_rgb(s);
  close_stream(s);
  return image;
}

Image* read_grey(const std::string& bytes) {
  Stream* s = open_memory_stream(bytes.data(), (int)bytes.size());
  Image* image = image_read_grey(s);
  close_stream(s);
  return image;
}

std::vector<int> level0(const Image* image) {
  return std::vector<int>(image->pixels,
                          image->pixels + image->width * image->height * image->channels);
}

}  // namespace

// ---------------------------------------------------------------- PPM and PGM

TEST(Netpbm, DecodesEachFormToItsSamples) {
  struct Case {
    const char* what;
    std::string bytes;
    bool grey;
    int width, height;
    std::vector<int> samples;
  };
  const Case cases[] = {
      {"raw P6", std::string("P6\n2 1\n255\n") + std::string("\x01\x02\x03\xfd\xfe\xff", 6),
       false, 2, 1, {1, 2, 3, 253, 254, 255}},
      {"raw P6, maxval 15 scaled to 255", std::string("P6 1 1 15\n") + std::string("\x0f\x05\x00", 3),
       false, 1, 1, {255, 85, 0}},
      {"comments before every number", "P6\n# made by hand\n1 # width done\n1\n#\n255\nabc",
       false, 1, 1, {'a', 'b', 'c'}},
      {"text P3 with comments and maxval 100", "P3 2 1 100\n100 50 0 # first\n# line\n 1 2 3\n",
       false, 2, 1, {255, 127, 0, 2, 5, 7}},
      {"text P3, unreadable samples are the lowest value", "P3 1 1 255\n7 x 9", false, 1, 1,
       {7, 0, 0}},
      {"text P3, samples above maxval are limited", "P3 1 1 10\n20 10 5", false, 1, 1,
       {255, 255, 127}},
      {"raw P5", std::string("P5 3 1 255\n") + "\x10\x20\x30", true, 3, 1, {16, 32, 48}},
      {"text P2 with comments", "P2\n# grey\n2 2\n# max\n4\n0 1\n# between\n2 4\n", true, 2, 2,
       {0, 63, 127, 255}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Image* image = c.grey ? read_grey(c.bytes) : read_rgb(c.bytes);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, c.width);
    EXPECT_EQ(image->height, c.height);
    EXPECT_EQ(image->channels, c.grey ? 1 : 3);
    EXPECT_EQ(image->mipmapped, !c.grey);  // PPM is chained, PGM never
    EXPECT_EQ(level0(image), c.samples);
    image_free(image);
  }
}

TEST(Netpbm, RefusesBadHeadersAndShortData) {
  struct Case {
    const char* what;
    std::string bytes;
    bool grey;
  };
  const Case cases[] = {
      {"empty", "", false},
      {"magic only", "P6", false},
      {"negative width", "P6 -1 1 255\nabc", false},
      {"missing height", "P6 1 # nothing else", false},
      {"zero width", "P6 0 1 255\n", false},
      {"zero maximum", "P6 1 1 0\nabc", false},
      {"negative maximum", "P3 1 1 -5 1 2 3", false},
      {"huge dimensions", "P6 100000 100000 255\n", false},
      {"raw data cut short", "P6 2 2 255\nabcdef", false},
      {"unknown magic", "P4 1 1\n\x01", false},
      {"PPM read as grey", "P6 1 1 255\nabc", true},
      {"PGM read as colour", "P5 1 1 255\na", false},
      {"raw PGM cut short", "P5 4 4 255\nab", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Image* image = c.grey ? read_grey(c.bytes) : read_rgb(c.bytes);
    EXPECT_EQ(image, nullptr);
    image_free(image);
  }
}

TEST(Netpbm, TextImageCutShortFillsWithLowestValue) {
  Image* image = read_rgb("P3 2 1 255\n10 20");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(level0(image), (std::vector<int>{10, 20, 0, 0, 0, 0}));
  image_free(image);
}

// ---------------------------------------------------------------- Q6 and Q7

TEST(Predicted, ZeroDifferencesAreBlack) {
  std::string bytes = "Q6 3 2\n" + std::string(3 * 2 * 3, '\0');
  Image* image = read_rgb(bytes);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(level0(image), std::vector<int>(18, 0));
  image_free(image);
}

TEST(Predicted, FirstByteCarriesRightAndDown) {
  std::string data(3 * 3 * 3, '\0');
  data[0] = 10;
  Image* image = read_rgb("Q6\n# comment\n3 3\n" + data);
  ASSERT_NE(image, nullptr);
  for (int i = 0; i < 9; i++) {
    EXPECT_EQ(image->pixels[3 * i], 10) << "pixel " << i;
    EXPECT_EQ(image->pixels[3 * i + 1], 0);
  }
  image_free(image);
}

TEST(Predicted, GradientPredictionIsLimitedAndWraps) {
  // 2 x 2 grey-ish values in the red channel: first pixel 200, right 250,
  // below 250: the corner predicts 200+250+... limited to 255, and a
  // difference of 0xff (-1 modulo 256) gives 254.
  std::string data(12, '\0');
  data[0] = (char)200;   // (0,0) = 200
  data[3] = (char)50;    // (1,0) = 200 + 50 = 250
  data[6] = (char)50;    // (0,1) = 200 + 50 = 250
  data[9] = (char)0xff;  // (1,1) = min(250 + 250 - 200, 255) - 1 = 254
  Image* image = read_rgb("Q6 2 2 " + data);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->pixels[0], 200);
  EXPECT_EQ(image->pixels[3], 250);
  EXPECT_EQ(image->pixels[6], 250);
  EXPECT_EQ(image->pixels[9], 254);
  // Wrapping past 255: 250 + 10 = 260 -> 4.
  std::string wrap(6, '\0');
  wrap[0] = (char)250;
  wrap[3] = 10;
  Image* wrapped = read_rgb("Q6 2 1\n" + wrap);
  ASSERT_NE(wrapped, nullptr);
  EXPECT_EQ(wrapped->pixels[3], 4);
  image_free(image);
  image_free(wrapped);
}

TEST(Predicted, Q7KeepsAlphaForTexturesAndDropsItForRgb) {
  // One row of two pixels, RGBA differences.
  std::string data = std::string("\x01\x02\x03\x80\x01\x01\x01\x10", 8);
  std::string bytes = "Q7 2 1\n" + data;
  Image* rgb = read_rgb(bytes);
  ASSERT_NE(rgb, nullptr);
  EXPECT_EQ(rgb->channels, 3);
  EXPECT_EQ(level0(rgb), (std::vector<int>{1, 2, 3, 2, 3, 4}));
  image_free(rgb);

  Stream* s = open_memory_stream(bytes.data() + 2, (int)bytes.size() - 2);  // after "Q7"
  Image* rgba = predicted_read_body(s, 4, 4);
  close_stream(s);
  ASSERT_NE(rgba, nullptr);
  EXPECT_EQ(level0(rgba), (std::vector<int>{1, 2, 3, 128, 2, 3, 4, 144}));
  image_free(rgba);
}

TEST(Predicted, RefusesShortOrBadInput) {
  const char* cases[] = {"Q6", "Q6 2", "Q6 2 2", "Q6 -2 2 ", "Q6 2 2 abc", "Q7 1 1 abc",
                         "Q6 0 5 "};
  for (const char* c : cases) {
    SCOPED_TRACE(c);
    EXPECT_EQ(read_rgb(c), nullptr);
  }
}

// ---------------------------------------------------------------- mip chains

TEST(MipChain, SizesAddEveryLevelAndOnePixel) {
  EXPECT_EQ(mip_chain_bytes(1, 1, 3), 3 + 3);
  EXPECT_EQ(mip_chain_bytes(4, 4, 4), (16 + 4 + 1) * 4 + 4);
  EXPECT_EQ(mip_chain_bytes(4, 1, 3), (4 + 2 + 1) * 3 + 3);
  EXPECT_EQ(mip_chain_bytes(8, 2, 1), 16 + 4 + 2 + 1 + 1);  // 8x2, 4x1, 2x1, 1x1
}

TEST(MipChain, RgbAveragesBlocksThenPairs) {
  // 4 x 2: the second level is 2 x 1, then pairs make 1 x 1.
  std::vector<uint8_t> image(mip_chain_bytes(4, 2, 3));
  const uint8_t red[8] = {0, 4, 8, 12, 1, 5, 9, 13};
  for (int i = 0; i < 8; i++) image[3 * i] = red[i];
  mip_chain_build(image.data(), 4, 2, 3, false);
  EXPECT_EQ(image[24], (0 + 4 + 1 + 5) >> 2);
  EXPECT_EQ(image[27], (8 + 12 + 9 + 13) >> 2);
  EXPECT_EQ(image[30], (image[24] + image[27]) >> 1);
}

TEST(MipChain, RgbaWeightsColourByAlpha) {
  struct Case {
    const char* what;
    uint8_t px[4][4];
    bool max_alpha;
    uint8_t expect[4];
  };
  const Case cases[] = {
      {"transparent texels do not bleed colour",
       {{200, 0, 0, 255}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}, false, {200, 0, 0, 63}},
      {"all opaque: plain average",
       {{100, 0, 0, 255}, {0, 0, 0, 255}, {0, 0, 0, 255}, {0, 0, 0, 255}}, false, {25, 0, 0, 255}},
      {"all transparent: plain average",
       {{100, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}, false, {25, 0, 0, 0}},
      {"max alpha keeps the largest",
       {{90, 0, 0, 10}, {0, 0, 0, 0}, {30, 0, 0, 20}, {0, 0, 0, 0}}, true, {50, 0, 0, 20}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> image(mip_chain_bytes(2, 2, 4));
    memcpy(&image[0], c.px[0], 8);
    memcpy(&image[8], c.px[2], 8);
    mip_chain_build(image.data(), 2, 2, 4, c.max_alpha);
    EXPECT_EQ(std::vector<int>(image.begin() + 16, image.begin() + 20),
              std::vector<int>(c.expect, c.expect + 4));
  }
}

TEST(MipChain, OnePixelWideRgbaPairsByAlpha) {
  // 1 x 2 column: alpha sum 255 (not 0 or 510) weights the colour.
  std::vector<uint8_t> image(mip_chain_bytes(1, 2, 4));
  const uint8_t px[8] = {80, 0, 0, 255, 0, 200, 0, 0};
  memcpy(image.data(), px, 8);
  mip_chain_build(image.data(), 1, 2, 4, false);
  EXPECT_EQ(std::vector<int>(image.begin() + 8, image.begin() + 12),
            (std::vector<int>{80, 0, 0, 127}));
}

// ---------------------------------------------------------------- ANIM1 sequences

namespace {

// A Q7 frame of w x h pixels whose first pixel is (v, v, v, 255) and the
// rest repeat it (zero differences).
std::string q7_frame(int w, int h, int v) {
  std::string data(w * h * 4, '\0');
  data[0] = (char)v;
  data[1] = (char)v;
  data[2] = (char)v;
  data[3] = (char)255;
  return "Q7 " + std::to_string(w) + " " + std::to_string(h) + "\n" + data;
}

ImageSequence* read_sequence(const std::string& bytes) {
  Stream* s = open_memory_stream(bytes.data(), (int)bytes.size());
  ImageSequence* seq = image_sequence_read(s);
  close_stream(s);
  return seq;
}

}  // namespace

class Sequence : public RenderTest {};

TEST_F(Sequence, ReadsQ7AndPngFrames) {
  PngSpec png;
  png.width = 2;
  png.height = 2;
  png.colour = PNG_COLOR_TYPE_RGBA;
  png.samples.assign(16, 7);
  ASSERT_TRUE(png_make(path("frame.png"), png));
  std::string bytes = "ANIM1\n3 2 4 0\n1 0 1\n" + q7_frame(2, 2, 50) + "PNG  " +
                      path("frame.png") + "  \n";
  ImageSequence* seq = read_sequence(bytes);
  ASSERT_NE(seq, nullptr);
  EXPECT_EQ(seq->sequence_length, 3);
  EXPECT_EQ(seq->frame_count, 2);
  EXPECT_EQ(seq->ticks_per_frame, 4);
  EXPECT_FALSE(seq->loop);
  EXPECT_EQ(std::vector<int>(seq->sequence, seq->sequence + 3), (std::vector<int>{1, 0, 1}));
  EXPECT_EQ(seq->frames[0]->pixels[0], 50);
  EXPECT_EQ(seq->frames[0]->pixels[15], 255);
  EXPECT_EQ(seq->frames[1]->pixels[0], 7);
  EXPECT_EQ(seq->frames[1]->channels, 4);
  image_sequence_free(seq);
}

TEST_F(Sequence, BrokenFramesPostTheirMessage) {
  PngSpec rgb;
  rgb.width = 2;
  rgb.height = 2;
  rgb.samples.assign(12, 1);
  ASSERT_TRUE(png_make(path("rgb.png"), rgb));
  struct Case {
    const char* what;
    std::string bytes;
    const char* message;
  };
  const Case cases[] = {
      {"size mismatch", "ANIM1 2 2 1 1 0 1\n" + q7_frame(2, 2, 1) + q7_frame(4, 2, 1),
       "Width/height mismatch reading .seq"},
      {"depth mismatch", "ANIM1 2 2 1 1 0 1\n" + q7_frame(2, 2, 1) + "PNG " + path("rgb.png") +
       "\n", "Depth mismatch reading .seq"},
      {"unknown frame word", "ANIM1 1 1 1 1 0\nJPG x\n", "Error reading .seq frame 0"},
      {"truncated Q7 frame", "ANIM1 1 1 1 1 0\nQ7 2 2\nab", "Error reading .seq frame 0"},
      {"missing PNG", "ANIM1 1 1 1 1 0\nPNG " + path("nowhere.png") + "\n",
       nullptr},
      {"no name line", "ANIM1 1 1 1 1 0\nPNG", "EOF while reading .seq"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    messages_clear();
    EXPECT_EQ(read_sequence(c.bytes), nullptr);
    std::string expected =
        c.message ? c.message : "Can't read " + path("nowhere.png");
    EXPECT_EQ(std::string(message_line(0)), expected);
  }
}

TEST_F(Sequence, RefusesBadHeaders) {
  const char* cases[] = {"", "ANIM", "ANIM1", "ANIM1 1 1 1", "ANIM1 0 1 1 1",
                         "ANIM1 1 0 1 1 0", "ANIM1 2 1 1 1 0", "ANIM1 1 1 1 1 1",
                         "ANIM1 1 1 1 1 -1", "ANIM1 99999999 1 1 1 0"};
  for (const char* c : cases) {
    SCOPED_TRACE(c);
    EXPECT_EQ(read_sequence(c), nullptr);
  }
}

// ---------------------------------------------------------------- texture loading

TEST(TextureName, OptionsFromTheName) {
  struct Case {
    const char* name;
    const char* file;
    bool full, s, t;
  };
  const Case cases[] = {
      {"@dirt.png", "@dirt.png", false, false, false},
      {"!@tach.png", "@tach.png", true, false, false},
      {"@fence-hrepeat.png", "@fence-hrepeat.png", false, true, false},
      {"@pole-vrepeat.ppm", "@pole-vrepeat.ppm", false, false, true},
      {"!@grass-repeat.seq", "@grass-repeat.seq", true, true, true},
      {"@repeat.png", "@repeat.png", false, false, false},
      {"@x-repeat", "@x-repeat", false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TextureNameOptions o = texture_name_options(c.name);
    EXPECT_STREQ(o.file, c.file);
    EXPECT_EQ(o.full_detail, c.full);
    EXPECT_EQ(o.repeat_s, c.s);
    EXPECT_EQ(o.repeat_t, c.t);
  }
}

class TextureLoad : public RenderTest {};

TEST_F(TextureLoad, DecodesEveryFormByItsFirstWord) {
  write_file("a.ppm", std::string("P6 2 2 255\n") + std::string(12, 'x'));
  write_file("b.ppm", "P3 1 1 255 1 2 3");
  write_file("c.q6", "Q6 1 1\nabc");
  write_file("d.q7", "Q7 1 1\nabcd");
  write_file("e.seq", "ANIM1 2 2 1 1 1 0\n" + q7_frame(2, 2, 9) + q7_frame(2, 2, 90));
  PngSpec png;
  png.samples.assign(3, 5);
  png_make(path("f.png"), png);
  struct Case {
    const char* name;
    int channels, first;
  };
  const Case cases[] = {{"@a.ppm", 3, 'x'}, {"@b.ppm", 3, 1}, {"@c.q6", 3, 'a'},
                        {"@d.q7", 4, 'a'}, {"@e.seq", 4, 90}, {"@f.png", 3, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DecodedTexture t;
    ASSERT_TRUE(texture_decode(c.name, &t));
    EXPECT_EQ(t.image->channels, c.channels);
    EXPECT_EQ(t.image->pixels[0], c.first);  // for the animation: the first entry's frame
    EXPECT_TRUE(t.image->mipmapped);
    decoded_texture_free(&t);
  }
}

TEST_F(TextureLoad, MismatchedAnimationFallsBackToPngAndFails) {
  write_file("bad.seq", "ANIM1 2 2 1 1 0 1\n" + q7_frame(2, 2, 1) + q7_frame(2, 4, 1));
  DecodedTexture t;
  EXPECT_FALSE(texture_decode("@bad.seq", &t));
  EXPECT_STREQ(message_line(0), "Width/height mismatch reading .seq");
  EXPECT_EQ(texture_load("@bad.seq"), 0u);
}

TEST_F(TextureLoad, BrokenHeaderFallsBackToPng) {
  // Says "P6" but holds a PNG after it: the PPM reader gives up, the PNG
  // reader then fails on the magic too, and nothing is made.
  write_file("broken.ppm", "P6 -1 -1 255\n");
  DecodedTexture t;
  EXPECT_FALSE(texture_decode("@broken.ppm", &t));
  EXPECT_EQ(t.image, nullptr);
}

TEST_F(TextureLoad, WarnsAboutMissingFilesOnlyWhenDebugging) {
  EXPECT_EQ(texture_load("@missing.png"), 0u);
  EXPECT_STREQ(message_line(0), "");
  game_settings().debug_level = 1;
  EXPECT_EQ(texture_load("!@missing.png"), 0u);
  EXPECT_STREQ(message_line(0), "Can't open texture \"@missing.png\"");
}

TEST_F(TextureLoad, WarnsAboutNonPowerOfTwoSizes) {
  write_file("odd.ppm", std::string("P6 3 2 255\n") + std::string(18, 'x'));
  write_file("even.ppm", std::string("P6 4 2 255\n") + std::string(24, 'x'));
  EXPECT_EQ(texture_load("@even.ppm"), 0u);
  EXPECT_STREQ(message_line(0), "");
  EXPECT_EQ(texture_load("@odd.ppm"), 0u);  // no GL context: decoded, not created
  EXPECT_STREQ(message_line(0), "Warning: Non power of 2 texture '@odd.ppm'");
}
