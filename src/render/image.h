// image.h -- image files in memory: the PPM/PGM, predicted "Q6"/"Q7", PNG
// and "ANIM1" readers, mip chains, the PNG writers and texture loading.
#pragma once

#include <cstdint>

struct Stream;

// ---------------------------------------------------------------- images

// 8-bit samples, channels per pixel, rows top first. When mipmapped the
// block holds the whole chain after level 0: level 1 is max(w/2,1) x
// max(h/2,1), and so on down to 1 x 1, each packed the same way.
struct Image {
  int width = 0, height = 0;  // pixels of level 0
  int channels = 0;           // 1 grey, 3 RGB, 4 RGBA
  bool mipmapped = false;     // pixels continue with the mip chain
  uint8_t* pixels = nullptr;  // owned; freed by image_free
};

// 16-bit grey samples in host order, rows top first (terrain heights).
struct HeightImage {
  int width = 0, height = 0;
  uint16_t* samples = nullptr;  // owned; freed by height_image_free
};

// Readers refuse sides above this and images above IMAGE_MAX_PIXELS, so a
// hostile header cannot ask for gigabytes.
inline constexpr int IMAGE_MAX_SIDE = 16384;
inline constexpr int IMAGE_MAX_PIXELS = 1 << 24;

void image_free(Image* image);
void height_image_free(HeightImage* image);

// Bytes of level 0 and every mip level below it, plus one pixel of slack.
int mip_chain_bytes(int width, int height, int channels);
// Fills the block after level 0 with the 2 x 2 box-filtered chain. With 4
// channels colour is alpha-weighted; max_alpha keeps each block's largest
// alpha instead of the average (the "[mip_max_alpha]" directive).
void mip_chain_build(uint8_t* image, int width, int height, int channels, bool max_alpha);

// An open stream holding PPM ("P6"/"P3") or "Q6"/"Q7" (alpha dropped): RGB
// with a mip chain. Null on a bad header, bad dimensions or short data.
Image* image_read_rgb(Stream* s);
// An open stream holding PGM ("P5"/"P2"): one channel, no chain. Null on failure.
Image* image_read_grey(Stream* s);

// A PNG file by name (through open_stream, so "@" names work): RGB or RGBA
// with a mip chain, honouring "[mip_max_alpha]" and "[mip_custom]". Null
// when it cannot be opened or decoded.
Image* png_read_texture(const char* name);
// The same from an open stream; name is only used in messages.
Image* png_read_texture_stream(Stream* s, const char* name);
// A PNG file as 16-bit grey (8-bit widened x 257, colour turned grey, alpha
// dropped). Null on failure.
HeightImage* png_read_height(const char* name);
HeightImage* png_read_height_stream(Stream* s);

// Writes a 16-bit grey PNG (no interlace) for the terrain. True on success.
bool png_write_height(const char* name, const uint16_t* samples, int width, int height);
// Writes an 8-bit RGB PNG from rows given bottom row first (as GL reads
// back the frame). True on success.
bool png_write_rgb(const char* name, const uint8_t* rows_bottom_up, int width, int height);

// ---------------------------------------------------------------- animations

// An "ANIM1" texture animation file (".seq"): frames of one size and depth
// and the sequence of frame indices to show.
struct ImageSequence {
  int sequence_length = 0;    // entries in sequence
  int frame_count = 0;
  int ticks_per_frame = 0;    // simulation ticks each entry lasts
  bool loop = false;          // otherwise stop at the last entry
  int* sequence = nullptr;    // frame index of each entry (owned)
  Image** frames = nullptr;   // frame_count images, 3 or 4 channels, mipmapped (owned)
};

// An open stream holding an "ANIM1" file, the word included. Posts the
// matching message and returns null on a bad frame or mismatched frames.
ImageSequence* image_sequence_read(Stream* s);
void image_sequence_free(ImageSequence* seq);

// ---------------------------------------------------------------- textures

// What a texture name says besides the file: a leading "!" loads full
// detail; "-hrepeat." repeats along s, "-vrepeat." along t, "-repeat." both.
struct TextureNameOptions {
  const char* file = nullptr;  // the name after a leading "!" (points into it)
  bool full_detail = false;
  bool repeat_s = false, repeat_t = false;
};
TextureNameOptions texture_name_options(const char* name);

// Loads and decodes a texture by name, posting the warnings for a file that
// cannot be opened or is not a power of two. Returns the GL texture id, or
// 0 for none; until a GL context exists every texture is 0.
unsigned int texture_load(const char* name);
