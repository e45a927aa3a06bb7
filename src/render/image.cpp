// image.cpp -- image readers (PPM/PGM, "Q6"/"Q7", PNG, "ANIM1"), mip chains,
// the PNG writers and texture loading.
#include "render/image.h"

#include "common/common.h"
#include "common/settings.h"
#include "data/data.h"
#include "platform/platform.h"
#include "render/image_internal.h"

#include <png.h>

#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// ---------------------------------------------------------------- helpers

// Logs a line and shows it to the player.
static void post(const char* text) {
  log_printf("%s\n", text);
  add_message(text);
}

static void* alloc_or_die(size_t bytes) {
  void* p = malloc(bytes ? bytes : 1);
  if (!p) fatal_out_of_memory();
  return p;
}

static bool dimensions_ok(int width, int height) {
  // Zero sides are refused too: an empty picture has no level to chain or upload.
  return width > 0 && height > 0 && width <= IMAGE_MAX_SIDE && height <= IMAGE_MAX_SIDE &&
         (int64_t)width * height <= IMAGE_MAX_PIXELS;
}

static bool is_power_of_two(int n) { return n > 0 && (n & (n - 1)) == 0; }

void image_free(Image* image) {
  if (!image) return;
  free(image->pixels);
  delete image;
}

void height_image_free(HeightImage* image) {
  if (!image) return;
  free(image->samples);
  delete image;
}

// An image with room for its mip chain when chained; samples uninitialised.
static Image* image_alloc(int width, int height, int channels, bool mipmapped) {
  Image* image = new (std::nothrow) Image;
  if (!image) fatal_out_of_memory();
  image->width = width;
  image->height = height;
  image->channels = channels;
  image->mipmapped = mipmapped;
  size_t bytes = mipmapped ? (size_t)mip_chain_bytes(width, height, channels)
                           : (size_t)width * height * channels;
  image->pixels = static_cast<uint8_t*>(alloc_or_die(bytes));
  return image;
}

// ---------------------------------------------------------------- mip chains

int mip_chain_bytes(int width, int height, int channels) {
  int64_t total = 0;
  int w = width, h = height;
  for (;;) {
    total += (int64_t)w * h * channels;
    if (w == 1 && h == 1) break;
    w = w > 1 ? w / 2 : 1;
    h = h > 1 ? h / 2 : 1;
  }
  return (int)(total + channels);
}

void mip_level_build(const uint8_t* src, int width, int height, uint8_t* dst, int channels,
                     bool max_alpha) {
  int dw = width > 1 ? width / 2 : 1;
  int dh = height > 1 ? height / 2 : 1;
  int stride = width * channels;
  if (width == 1 || height == 1) {
    // A one-pixel-wide level halves along its long side only: average pairs.
    int step = width == 1 ? stride : channels;
    int count = width == 1 ? dh : dw;
    for (int i = 0; i < count; i++) {
      const uint8_t* a = src + (size_t)(2 * i) * step;
      const uint8_t* b = a + step;
      uint8_t* out = dst + (size_t)i * channels;
      if (channels == 4) {
        int asum = a[3] + b[3];
        out[3] = (uint8_t)(max_alpha ? (a[3] > b[3] ? a[3] : b[3]) : asum >> 1);
        for (int c = 0; c < 3; c++) {
          out[c] = (asum == 0 || asum == 510) ? (uint8_t)((a[c] + b[c]) >> 1)
                                               : (uint8_t)((a[c] * a[3] + b[c] * b[3]) / asum);
        }
      } else {
        for (int c = 0; c < channels; c++) out[c] = (uint8_t)((a[c] + b[c]) >> 1);
      }
    }
    return;
  }
  for (int y = 0; y < dh; y++) {
    for (int x = 0; x < dw; x++) {
      const uint8_t* p00 = src + (size_t)(2 * y) * stride + (size_t)(2 * x) * channels;
      const uint8_t* p01 = p00 + channels;
      const uint8_t* p10 = p00 + stride;
      const uint8_t* p11 = p10 + channels;
      uint8_t* out = dst + ((size_t)y * dw + x) * channels;
      if (channels == 4) {
        int asum = p00[3] + p01[3] + p10[3] + p11[3];
        int amax = p00[3];
        if (p01[3] > amax) amax = p01[3];
        if (p10[3] > amax) amax = p10[3];
        if (p11[3] > amax) amax = p11[3];
        out[3] = (uint8_t)(max_alpha ? amax : asum >> 2);
        for (int c = 0; c < 3; c++) {
          if (asum == 0 || asum == 1020) {
            out[c] = (uint8_t)((p00[c] + p01[c] + p10[c] + p11[c]) >> 2);
          } else {
            // Weighting by alpha keeps transparent texels' colour from bleeding in.
            int sum = p00[c] * p00[3] + p01[c] * p01[3] + p10[c] * p10[3] + p11[c] * p11[3];
            out[c] = (uint8_t)(sum / asum);
          }
        }
      } else {
        for (int c = 0; c < channels; c++) {
          out[c] = (uint8_t)((p00[c] + p01[c] + p10[c] + p11[c]) >> 2);
        }
      }
    }
  }
}

void mip_chain_build(uint8_t* image, int width, int height, int channels, bool max_alpha) {
  uint8_t* level = image;
  int w = width, h = height;
  while (w > 1 || h > 1) {
    uint8_t* next = level + (size_t)w * h * channels;
    mip_level_build(level, w, h, next, channels, max_alpha);
    level = next;
    w = w > 1 ? w / 2 : 1;
    h = h > 1 ? h / 2 : 1;
  }
}

// ---------------------------------------------------------------- PPM and PGM

// Comment lines may stand before every header number.
static void skip_header_comments(Stream* s) {
  char hash[2];
  while (stream_scanf(s, " %1[#]%*[^\n]", hash) == 1) {
  }
}

static bool read_header_int(Stream* s, int* value) {
  skip_header_comments(s);
  return stream_scanf(s, "%d", value) == 1;
}

static uint8_t scale_sample(int sample, int maxval) {
  // Out-of-range text samples (an unreadable one counts as -1) are limited
  // to a byte rather than wrapped.
  int v = maxval == 255 ? sample : (int)((int64_t)sample * 255 / maxval);
  return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
}

// Text samples; an unreadable number counts as -1. Once the input is stuck
// on a character no number can start with, every remaining sample is -1.
static void read_text_samples(Stream* s, uint8_t* out, int count, int maxval) {
  bool stuck = false;
  for (int i = 0; i < count; i++) {
    int v = -1;
    if (!stuck) {
      skip_header_comments(s);
      if (stream_scanf(s, "%d", &v) != 1) {
        v = -1;
        int c = stream_peekc(s);
        if (c < 0 || !(c == '-' || c == '+' || (c >= '0' && c <= '9'))) stuck = true;
      }
    }
    out[i] = scale_sample(v, maxval);
  }
}

// The body after the magic word: width, height, maximum, samples.
Image* netpbm_read_body(Stream* s, int channels, bool text) {
  int width, height, maxval;
  if (!read_header_int(s, &width) || !read_header_int(s, &height) ||
      !read_header_int(s, &maxval)) {
    return nullptr;
  }
  // A maximum of 0 would divide by zero when scaling.
  if (!dimensions_ok(width, height) || maxval <= 0 || maxval > 65535) return nullptr;
  bool chained = channels == 3;
  Image* image = image_alloc(width, height, channels, chained);
  int count = width * height * channels;
  if (text) {
    read_text_samples(s, image->pixels, count, maxval);
  } else {
    stream_getc(s);  // the one separator after the maximum
    if (stream_read(s, image->pixels, count) != count) {
      image_free(image);
      return nullptr;
    }
    if (maxval != 255) {
      for (int i = 0; i < count; i++) image->pixels[i] = scale_sample(image->pixels[i], maxval);
    }
  }
  if (chained) mip_chain_build(image->pixels, width, height, channels, false);
  return image;
}

// ---------------------------------------------------------------- Q6 and Q7

Image* predicted_read_body(Stream* s, int file_channels, int channels) {
  int width, height;
  if (!read_header_int(s, &width) || !read_header_int(s, &height)) return nullptr;
  if (!dimensions_ok(width, height)) return nullptr;
  if (stream_getc(s) < 0) return nullptr;  // the one separator
  Image* image = image_alloc(width, height, channels, true);
  int row_bytes = width * file_channels;
  uint8_t* row = static_cast<uint8_t*>(alloc_or_die((size_t)row_bytes));
  uint8_t* px = image->pixels;
  int stride = width * channels;
  bool ok = true;
  for (int y = 0; y < height && ok; y++) {
    if (stream_read(s, row, row_bytes) != row_bytes) {
      ok = false;
      break;
    }
    uint8_t* out = px + (size_t)y * stride;
    for (int x = 0; x < width; x++) {
      // A "Q7" read as RGB keeps only the colour bytes; each channel predicts on its own.
      for (int c = 0; c < channels; c++) {
        int prediction;
        if (x == 0 && y == 0) {
          prediction = 0;
        } else if (y == 0) {
          prediction = out[(x - 1) * channels + c];
        } else if (x == 0) {
          prediction = out[c - stride];
        } else {
          int left = out[(x - 1) * channels + c];
          int above = out[x * channels + c - stride];
          int above_left = out[(x - 1) * channels + c - stride];
          prediction = left + above - above_left;
          prediction = prediction < 0 ? 0 : prediction > 255 ? 255 : prediction;
        }
        out[x * channels + c] = (uint8_t)(prediction + row[x * file_channels + c]);
      }
    }
  }
  free(row);
  if (!ok) {
    image_free(image);
    return nullptr;
  }
  mip_chain_build(image->pixels, width, height, channels, false);
  return image;
}

// ---------------------------------------------------------------- stream readers

Image* image_read_rgb(Stream* s) {
  if (!s) return nullptr;
  char magic[16];
  if (stream_scanf(s, "%15s", magic) != 1) return nullptr;
  if (strcmp(magic, "P6") == 0) return netpbm_read_body(s, 3, false);
  if (strcmp(magic, "P3") == 0) return netpbm_read_body(s, 3, true);
  if (strcmp(magic, "Q6") == 0) return predicted_read_body(s, 3, 3);
  if (strcmp(magic, "Q7") == 0) return predicted_read_body(s, 4, 3);
  return nullptr;
}

Image* image_read_grey(Stream* s) {
  if (!s) return nullptr;
  char magic[16];
  if (stream_scanf(s, "%15s", magic) != 1) return nullptr;
  if (strcmp(magic, "P5") == 0) return netpbm_read_body(s, 1, false);
  if (strcmp(magic, "P2") == 0) return netpbm_read_body(s, 1, true);
  return nullptr;
}

// ---------------------------------------------------------------- PNG reading

struct PngIo {
  Stream* stream;
  jmp_buf jump;
  bool write_failed;
};

static void png_error_handler(png_structp png, png_const_charp message) {
  if (game_settings().debug_level >= 1) log_printf("PNG: %s\n", message);
  PngIo* io = static_cast<PngIo*>(png_get_error_ptr(png));
  longjmp(io->jump, 1);
}

static void png_warning_handler(png_structp, png_const_charp) {}

static void png_read_from_stream(png_structp png, png_bytep data, size_t length) {
  PngIo* io = static_cast<PngIo*>(png_get_io_ptr(png));
  if (stream_read(io->stream, data, (int)length) != (int)length) png_error(png, "short read");
}

// libpng allocates a chunk's claimed length before reading it, so a
// hostile file could ask for gigabytes; nothing it legitimately needs (row
// buffers, text, inflate state) comes near this. A refused allocation makes
// libpng skip the chunk or fail the read.
static constexpr size_t PNG_ALLOCATION_MAX_BYTES = 8 << 20;

static png_voidp png_malloc_limited(png_structp, png_alloc_size_t size) {
  return size <= PNG_ALLOCATION_MAX_BYTES ? malloc(size) : nullptr;
}

static void png_free_limited(png_structp, png_voidp p) { free(p); }

static png_structp png_reader_create(PngIo* io) {
  png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, io, png_error_handler,
                                             png_warning_handler, nullptr, png_malloc_limited,
                                             png_free_limited);
  if (png) {
    png_set_user_limits(png, IMAGE_MAX_SIDE, IMAGE_MAX_SIDE);
    png_set_chunk_malloc_max(png, PNG_ALLOCATION_MAX_BYTES);
  }
  return png;
}

static bool text_has_directive(png_structp png, png_infop info, const char* directive) {
  png_textp texts = nullptr;
  int count = png_get_text(png, info, &texts, nullptr);
  for (int i = 0; i < count; i++) {
    if (texts[i].key && strstr(texts[i].key, directive)) return true;
    if (texts[i].text && strstr(texts[i].text, directive)) return true;
  }
  return false;
}

// Copies the levels a "[mip_custom]" picture holds into an ordinary chain.
// A level that would lie outside the picture (very flat pictures) keeps the
// one filtered from the level above it instead of being read out of bounds.
static Image* custom_mip_chain(const uint8_t* picture, int width, int height, int channels,
                               bool max_alpha) {
  int h0 = height * 2 / 3;
  Image* image = image_alloc(width, h0, channels, true);
  size_t stride = (size_t)width * channels;
  uint8_t* level = image->pixels;
  int w = width, h = h0;
  int x = 0, y = 0;      // where this level lies in the picture
  int stack_y = h0;      // top of the next level in the stack right of level 1
  for (int index = 0;; index++) {
    if (index == 1) {
      x = 0;
      y = h0;
    } else if (index >= 2) {
      x = width / 2;
      y = stack_y;
      stack_y += h;
    }
    if (x + w <= width && y + h <= height) {
      for (int r = 0; r < h; r++) {
        memcpy(level + (size_t)r * w * channels, picture + (size_t)(y + r) * stride +
               (size_t)x * channels, (size_t)w * channels);
      }
    }
    if (w == 1 && h == 1) break;
    uint8_t* next = level + (size_t)w * h * channels;
    mip_level_build(level, w, h, next, channels, max_alpha);
    level = next;
    w = w > 1 ? w / 2 : 1;
    h = h > 1 ? h / 2 : 1;
  }
  return image;
}

Image* png_read_texture_stream(Stream* s, const char* name) {
  if (!s) return nullptr;
  PngIo io{s, {}, false};
  png_structp png = png_reader_create(&io);
  if (!png) return nullptr;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return nullptr;
  }
  // Everything libpng may jump over lives in these, freed after the jump.
  uint8_t* volatile picture = nullptr;
  png_bytep* volatile rows = nullptr;
  Image* volatile result = nullptr;
  if (setjmp(io.jump)) {
    free(picture);
    free(rows);
    png_destroy_read_struct(&png, &info, nullptr);
    return nullptr;
  }
  png_set_read_fn(png, &io, png_read_from_stream);
  png_read_info(png, info);
  png_uint_32 width = png_get_image_width(png, info);
  png_uint_32 height = png_get_image_height(png, info);
  if (!dimensions_ok((int)width, (int)height)) png_error(png, "image too large");
  int colour = png_get_color_type(png, info);
  int depth = png_get_bit_depth(png, info);
  if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  if (depth == 16) png_set_strip_16(png);
  if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA) {
    png_set_gray_to_rgb(png);
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  int channels = png_get_channels(png, info);
  if (channels != 3 && channels != 4) png_error(png, "unexpected channel count");
  size_t stride = (size_t)width * channels;
  picture = static_cast<uint8_t*>(alloc_or_die(stride * height));
  rows = static_cast<png_bytep*>(alloc_or_die(sizeof(png_bytep) * height));
  for (png_uint_32 r = 0; r < height; r++) rows[r] = picture + r * stride;
  png_read_image(png, rows);
  png_read_end(png, info);  // text chunks after the image data count too
  bool max_alpha = text_has_directive(png, info, "[mip_max_alpha]");
  bool custom = text_has_directive(png, info, "[mip_custom]");
  int w = (int)width, h = (int)height;
  if (custom && (2 * h) % 3 != 0) {
    char text[1100];
    snprintf(text, sizeof text, "Warning: Invalid height for custom MIP map in '%.950s'", name);
    post(text);
    custom = false;  // read as an ordinary picture, with a chain built for it
  }
  if (custom && h * 2 / 3 > 0) {
    result = custom_mip_chain(picture, w, h, channels, max_alpha);
  } else {
    Image* image = image_alloc(w, h, channels, true);
    memcpy(image->pixels, picture, stride * height);
    mip_chain_build(image->pixels, w, h, channels, max_alpha);
    result = image;
  }
  free(picture);
  free(rows);
  png_destroy_read_struct(&png, &info, nullptr);
  return result;
}

Image* png_read_texture(const char* name) {
  Stream* s = open_stream(name, "rb");
  if (!s) return nullptr;
  Image* image = png_read_texture_stream(s, name);
  close_stream(s);
  return image;
}

HeightImage* png_read_height_stream(Stream* s) {
  if (!s) return nullptr;
  PngIo io{s, {}, false};
  png_structp png = png_reader_create(&io);
  if (!png) return nullptr;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return nullptr;
  }
  HeightImage* volatile result = nullptr;
  png_bytep* volatile rows = nullptr;
  if (setjmp(io.jump)) {
    height_image_free(result);
    free(rows);
    png_destroy_read_struct(&png, &info, nullptr);
    return nullptr;
  }
  png_set_read_fn(png, &io, png_read_from_stream);
  png_read_info(png, info);
  png_uint_32 width = png_get_image_width(png, info);
  png_uint_32 height = png_get_image_height(png, info);
  if (!dimensions_ok((int)width, (int)height)) png_error(png, "image too large");
  int colour = png_get_color_type(png, info);
  if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colour & PNG_COLOR_MASK_COLOR || colour == PNG_COLOR_TYPE_PALETTE) {
    png_set_rgb_to_gray_fixed(png, 1, -1, -1);  // the library's default weights
  }
  if (colour & PNG_COLOR_MASK_ALPHA) png_set_strip_alpha(png);
  png_set_expand_gray_1_2_4_to_8(png);
  png_set_expand_16(png);  // 8-bit samples repeat their byte: v * 257
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_strip_alpha(png);
  if constexpr (std::endian::native == std::endian::little) png_set_swap(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_channels(png, info) != 1 || png_get_bit_depth(png, info) != 16) {
    png_error(png, "height image did not become 16-bit grey");
  }
  HeightImage* image = new (std::nothrow) HeightImage;
  if (!image) fatal_out_of_memory();
  image->width = (int)width;
  image->height = (int)height;
  image->samples = static_cast<uint16_t*>(alloc_or_die(sizeof(uint16_t) * width * height));
  result = image;
  rows = static_cast<png_bytep*>(alloc_or_die(sizeof(png_bytep) * height));
  for (png_uint_32 r = 0; r < height; r++) {
    rows[r] = reinterpret_cast<png_bytep>(image->samples + (size_t)r * width);
  }
  png_read_image(png, rows);
  png_read_end(png, nullptr);
  free(rows);
  png_destroy_read_struct(&png, &info, nullptr);
  return image;
}

HeightImage* png_read_height(const char* name) {
  Stream* s = open_stream(name, "rb");
  if (!s) return nullptr;
  HeightImage* image = png_read_height_stream(s);
  close_stream(s);
  return image;
}

// ---------------------------------------------------------------- PNG writing

static void png_write_to_stream(png_structp png, png_bytep data, size_t length) {
  PngIo* io = static_cast<PngIo*>(png_get_io_ptr(png));
  if (stream_write(io->stream, data, (int)length) != (int)length) io->write_failed = true;
}

static void png_flush_stream(png_structp png) {
  PngIo* io = static_cast<PngIo*>(png_get_io_ptr(png));
  stream_flush(io->stream);
}

// Writes rows (row_of(r) gives row r, top first) as one PNG.
template <class RowOf>
static bool png_write(const char* name, int width, int height, int depth, int colour,
                      RowOf row_of) {
  if (width <= 0 || height <= 0 || width > 0x7fffffff / 8) return false;
  PngIo io{nullptr, {}, false};
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &io, png_error_handler,
                                            png_warning_handler);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  Stream* s = open_stream(name, "wb");
  if (!s) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  io.stream = s;
  if (setjmp(io.jump)) {
    png_destroy_write_struct(&png, &info);
    close_stream(s);
    return false;
  }
  png_set_write_fn(png, &io, png_write_to_stream, png_flush_stream);
  png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, depth, colour,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  if (depth == 16 && std::endian::native == std::endian::little) png_set_swap(png);
  for (int r = 0; r < height; r++) png_write_row(png, row_of(r));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  bool closed = close_stream(s);
  return closed && !io.write_failed;
}

bool png_write_height(const char* name, const uint16_t* samples, int width, int height) {
  if (!samples) return false;
  return png_write(name, width, height, 16, PNG_COLOR_TYPE_GRAY, [&](int r) {
    return (png_bytep)(samples + (size_t)r * width);
  });
}

bool png_write_rgb(const char* name, const uint8_t* rows_bottom_up, int width, int height) {
  if (!rows_bottom_up) return false;
  return png_write(name, width, height, 8, PNG_COLOR_TYPE_RGB, [&](int r) {
    return (png_bytep)(rows_bottom_up + (size_t)(height - 1 - r) * width * 3);
  });
}

// ---------------------------------------------------------------- ANIM1 sequences

// Bounds that keep a hostile header from asking for absurd allocations.
static constexpr int SEQUENCE_MAX_LENGTH = 1 << 16;
static constexpr int SEQUENCE_MAX_FRAMES = 1024;

void image_sequence_free(ImageSequence* seq) {
  if (!seq) return;
  for (int i = 0; i < seq->frame_count; i++) image_free(seq->frames[i]);
  free(seq->frames);
  free(seq->sequence);
  delete seq;
}

ImageSequence* image_sequence_read_body(Stream* s) {
  int n, m, ticks, loop;
  if (stream_scanf(s, "%d %d %d %d", &n, &m, &ticks, &loop) != 4) return nullptr;
  if (n < 1 || m < 1 || n > SEQUENCE_MAX_LENGTH || m > SEQUENCE_MAX_FRAMES) return nullptr;
  ImageSequence* seq = new (std::nothrow) ImageSequence;
  if (!seq) fatal_out_of_memory();
  seq->sequence_length = n;
  seq->ticks_per_frame = ticks < 1 ? 1 : ticks;  // at least one tick: animating divides by it
  seq->loop = loop != 0;
  seq->sequence = static_cast<int*>(alloc_or_die(sizeof(int) * n));
  seq->frames = static_cast<Image**>(alloc_or_die(sizeof(Image*) * m));
  for (int i = 0; i < n; i++) {
    if (stream_scanf(s, "%d", &seq->sequence[i]) != 1) {
      image_sequence_free(seq);
      return nullptr;
    }
    if (seq->sequence[i] < 0 || seq->sequence[i] >= m) {
      log_printf("Bad frame index %d reading .seq\n", seq->sequence[i]);
      image_sequence_free(seq);
      return nullptr;
    }
  }
  char text[1100];
  for (int i = 0; i < m; i++) {
    char word[16] = "";
    Image* frame = nullptr;
    if (stream_scanf(s, "%15s", word) == 1 && strcmp(word, "Q7") == 0) {
      frame = predicted_read_body(s, 4, 4);
      if (!frame) {
        snprintf(text, sizeof text, "Error reading .seq frame %d", i);
        post(text);
      }
    } else if (strcmp(word, "PNG") == 0) {
      char line[1024];
      if (!stream_gets(s, line, sizeof line)) {
        post("EOF while reading .seq");
      } else {
        char* start = line;
        while (*start == ' ' || *start == '\t' || *start == '\r' || *start == '\n') start++;
        char* end = start + strlen(start);
        while (end > start && (end[-1] == ' ' || end[-1] == '\t' || end[-1] == '\r' ||
                               end[-1] == '\n')) {
          *--end = 0;
        }
        frame = png_read_texture(start);
        if (!frame) {
          snprintf(text, sizeof text, "Can't read %.900s", start);
          post(text);
        }
      }
    } else {
      snprintf(text, sizeof text, "Error reading .seq frame %d", i);
      post(text);
    }
    if (frame && i > 0 &&
        (frame->width != seq->frames[0]->width || frame->height != seq->frames[0]->height)) {
      post("Width/height mismatch reading .seq");
      image_free(frame);
      frame = nullptr;
    } else if (frame && i > 0 && frame->channels != seq->frames[0]->channels) {
      post("Depth mismatch reading .seq");
      image_free(frame);
      frame = nullptr;
    }
    if (!frame) {
      image_sequence_free(seq);
      return nullptr;
    }
    seq->frames[i] = frame;
    seq->frame_count = i + 1;
  }
  return seq;
}

ImageSequence* image_sequence_read(Stream* s) {
  if (!s) return nullptr;
  char magic[16];
  if (stream_scanf(s, "%15s", magic) != 1 || strcmp(magic, "ANIM1") != 0) return nullptr;
  return image_sequence_read_body(s);
}

// ---------------------------------------------------------------- textures

TextureNameOptions texture_name_options(const char* name) {
  TextureNameOptions options;
  if (!name) return options;
  options.full_detail = name[0] == '!';
  options.file = options.full_detail ? name + 1 : name;
  bool both = strstr(options.file, "-repeat.") != nullptr;
  options.repeat_s = both || strstr(options.file, "-hrepeat.") != nullptr;
  options.repeat_t = both || strstr(options.file, "-vrepeat.") != nullptr;
  return options;
}

bool texture_decode(const char* file, DecodedTexture* out) {
  *out = DecodedTexture{};
  Stream* s = open_stream(file, "rb");
  if (!s) {
    if (game_settings().debug_level >= 1) {
      char text[1000];
      snprintf(text, sizeof text, "Can't open texture \"%.900s\"", file);
      post(text);
    }
    return false;
  }
  char word[16] = "";
  if (stream_scanf(s, "%15s", word) == 1) {
    if (strcmp(word, "Q7") == 0) {
      out->image = predicted_read_body(s, 4, 4);
    } else if (strcmp(word, "Q6") == 0) {
      out->image = predicted_read_body(s, 3, 3);
    } else if (strcmp(word, "P6") == 0) {
      out->image = netpbm_read_body(s, 3, false);
    } else if (strcmp(word, "P3") == 0) {
      out->image = netpbm_read_body(s, 3, true);
    } else if (strcmp(word, "ANIM1") == 0) {
      out->sequence = image_sequence_read_body(s);
      if (out->sequence) out->image = out->sequence->frames[out->sequence->sequence[0]];
    }
  }
  close_stream(s);
  // Anything else, or a reader that gave up, may still be a PNG.
  if (!out->image) out->image = png_read_texture(file);
  return out->image != nullptr;
}

void decoded_texture_free(DecodedTexture* texture) {
  if (texture->sequence) {
    image_sequence_free(texture->sequence);  // owns the shown frame too
  } else {
    image_free(texture->image);
  }
  *texture = DecodedTexture{};
}

unsigned int texture_load(const char* name) {
  TextureNameOptions options = texture_name_options(name);
  if (!options.file) return 0;
  DecodedTexture decoded;
  if (!texture_decode(options.file, &decoded)) return 0;
  if (!is_power_of_two(decoded.image->width) || !is_power_of_two(decoded.image->height)) {
    char text[1100];
    snprintf(text, sizeof text, "Warning: Non power of 2 texture '%.950s'", name);
    post(text);
  }
  // No GL context exists yet to upload into: the texture is decoded and
  // checked, and draws untextured.
  decoded_texture_free(&decoded);
  return 0;
}
