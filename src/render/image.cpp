// image.cpp -- image readers, mip chains, PNG writers and texture loading.
#include "render/image.h"

#include <cstdlib>

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
int mip_chain_bytes(int, int, int) { return 0; }
void mip_chain_build(uint8_t*, int, int, int, bool) {}
Image* image_read_rgb(Stream*) { return nullptr; }
Image* image_read_grey(Stream*) { return nullptr; }
Image* png_read_texture(const char*) { return nullptr; }
Image* png_read_texture_stream(Stream*, const char*) { return nullptr; }
HeightImage* png_read_height(const char*) { return nullptr; }
HeightImage* png_read_height_stream(Stream*) { return nullptr; }
bool png_write_height(const char*, const uint16_t*, int, int) { return false; }
bool png_write_rgb(const char*, const uint8_t*, int, int) { return false; }
ImageSequence* image_sequence_read(Stream*) { return nullptr; }
void image_sequence_free(ImageSequence*) {}
TextureNameOptions texture_name_options(const char* name) { return {name}; }
unsigned int texture_load(const char*) { return 0; }
