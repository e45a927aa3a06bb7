// image_internal.h -- the image readers' pieces that texture loading, the
// texture cache and the tests share inside the renderer.
#pragma once

#include "render/image.h"

// The readers after their magic word has been read. file_channels is what
// each pixel stores (3 "Q6", 4 "Q7"); channels what the caller wants.
Image* netpbm_read_body(Stream* s, int channels, bool text);
Image* predicted_read_body(Stream* s, int file_channels, int channels);
ImageSequence* image_sequence_read_body(Stream* s);

// One level of the chain: src (width x height) filtered into dst.
void mip_level_build(const uint8_t* src, int width, int height, uint8_t* dst, int channels,
                     bool max_alpha);

// A texture file decoded as texture_load reads it: image is the picture to
// create (for an animation, the frame of its first sequence entry, owned by
// sequence).
struct DecodedTexture {
  Image* image = nullptr;
  ImageSequence* sequence = nullptr;
};
// Reads the file by its first word, falling back to PNG. False when nothing
// could be decoded (posting "Can't open texture" at debug level 1 or more).
bool texture_decode(const char* file, DecodedTexture* out);
void decoded_texture_free(DecodedTexture* texture);
