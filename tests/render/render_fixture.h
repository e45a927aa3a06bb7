// render_fixture.h -- a scratch data folder for image and model tests, and
// a libpng helper that writes the PNG variants the readers must accept.
#pragma once

#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/common.h"
#include "common/settings.h"
#include "data/data.h"

namespace fs = std::filesystem;

// Every test gets empty folders: the home folder and the KT_HOME install
// folder, so "@" names resolve to files the test wrote.
class RenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() /
           ("kt_render_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root);
    install = root / "install";
    fs::create_directories(root / "xdg" / "Kestrail");
    fs::create_directories(install);
    setenv("XDG_DATA_HOME", (root / "xdg").c_str(), 1);
    setenv("KT_HOME", install.c_str(), 1);
    data_paths_reset();
    settings_reset();
    messages_clear();
  }
  void TearDown() override {
    unsetenv("KT_HOME");
    unsetenv("XDG_DATA_HOME");
    data_paths_reset();
    settings_reset();
    fs::remove_all(root);
  }
  // Writes bytes to install/name and returns the plain path.
  std::string write_file(const std::string& name, const std::string& bytes) {
    fs::path p = install / name;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
    return p.string();
  }
  std::string path(const std::string& name) const { return (install / name).string(); }

  fs::path root, install;
};

// A PNG written with libpng directly, so fixtures need no committed binaries.
struct PngSpec {
  int width = 1, height = 1;
  int colour = PNG_COLOR_TYPE_RGB;
  int depth = 8;
  std::vector<uint8_t> samples;     // packed rows as PNG stores them (big-endian 16-bit)
  std::vector<png_color> palette;
  std::vector<uint8_t> trns;        // palette alphas, or one grey/RGB key (16-bit values)
  std::vector<std::string> texts;   // tEXt chunks before the image data
  std::vector<std::string> end_texts;  // tEXt chunks after it
};

inline bool png_make(const std::string& file, const PngSpec& spec) {
  FILE* f = fopen(file.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, spec.width, spec.height, spec.depth, spec.colour, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!spec.palette.empty()) {
    png_set_PLTE(png, info, spec.palette.data(), (int)spec.palette.size());
  }
  if (!spec.trns.empty()) {
    if (spec.colour == PNG_COLOR_TYPE_PALETTE) {
      png_set_tRNS(png, info, spec.trns.data(), (int)spec.trns.size(), nullptr);
    } else {
      png_color_16 key{};
      key.gray = spec.trns[0];
      key.red = spec.trns[0];
      key.green = spec.trns.size() > 1 ? spec.trns[1] : 0;
      key.blue = spec.trns.size() > 2 ? spec.trns[2] : 0;
      png_set_tRNS(png, info, nullptr, 0, &key);
    }
  }
  std::vector<png_text> texts;
  for (const std::string& t : spec.texts) {
    png_text text{};
    text.compression = PNG_TEXT_COMPRESSION_NONE;
    text.key = (png_charp) "Comment";
    text.text = (png_charp)t.c_str();
    texts.push_back(text);
  }
  if (!texts.empty()) png_set_text(png, info, texts.data(), (int)texts.size());
  png_write_info(png, info);
  int bits_per_pixel = spec.depth * png_get_channels(png, info);
  size_t stride = ((size_t)spec.width * bits_per_pixel + 7) / 8;
  for (int r = 0; r < spec.height; r++) {
    png_write_row(png, (png_const_bytep)spec.samples.data() + r * stride);
  }
  std::vector<png_text> end_texts;
  for (const std::string& t : spec.end_texts) {
    png_text text{};
    text.compression = PNG_TEXT_COMPRESSION_NONE;
    text.key = (png_charp) "Comment";
    text.text = (png_charp)t.c_str();
    end_texts.push_back(text);
  }
  png_infop end = png_create_info_struct(png);
  if (!end_texts.empty()) png_set_text(png, end, end_texts.data(), (int)end_texts.size());
  png_write_end(png, end);
  png_destroy_info_struct(png, &end);
  png_destroy_write_struct(&png, &info);
  return fclose(f) == 0;
}
