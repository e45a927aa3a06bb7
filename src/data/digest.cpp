// digest.cpp -- RIPEMD-160 and the check that finds the game data.
#include "data/data.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The identity archive's digest (the first 1048576 bytes of data/zzzz.saf).
constexpr char GAME_DATA_DIGEST[] = "ffd7d3a7872d9848e4782976abb0383e46166c74";

uint32_t rol(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

uint32_t f(int j, uint32_t x, uint32_t y, uint32_t z) {
  switch (j / 16) {
    case 0: return x ^ y ^ z;
    case 1: return (x & y) | (~x & z);
    case 2: return (x | ~y) ^ z;
    case 3: return (x & z) | (y & ~z);
    default: return x ^ (y | ~z);
  }
}

constexpr uint32_t K_LEFT[5] = {0x00000000, 0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC, 0xA953FD4E};
constexpr uint32_t K_RIGHT[5] = {0x50A28BE6, 0x5C4DD124, 0x6D703EF3, 0x7A6D76E9, 0x00000000};

constexpr int R_LEFT[80] = {
    0, 1, 2,  3,  4,  5,  6,  7,  8, 9, 10, 11, 12, 13, 14, 15,
    7, 4, 13, 1,  10, 6,  15, 3,  12, 0, 9,  5,  2,  14, 11, 8,
    3, 10, 14, 4, 9,  15, 8,  1,  2, 7, 0,  6,  13, 11, 5,  12,
    1, 9, 11, 10, 0,  8,  12, 4,  13, 3, 7,  15, 14, 5,  6,  2,
    4, 0, 5,  9,  7,  12, 2,  10, 14, 1, 3,  8,  11, 6,  15, 13};
constexpr int R_RIGHT[80] = {
    5,  14, 7,  0, 9, 2,  11, 4,  13, 6,  15, 8,  1,  10, 3,  12,
    6,  11, 3,  7, 0, 13, 5,  10, 14, 15, 8,  12, 4,  9,  1,  2,
    15, 5,  1,  3, 7, 14, 6,  9,  11, 8,  12, 2,  10, 0,  4,  13,
    8,  6,  4,  1, 3, 11, 15, 0,  5,  12, 2,  13, 9,  7,  10, 14,
    12, 15, 10, 4, 1, 5,  8,  7,  6,  2,  13, 14, 0,  3,  9,  11};
constexpr int S_LEFT[80] = {
    11, 14, 15, 12, 5,  8,  7,  9,  11, 13, 14, 15, 6,  7,  9,  8,
    7,  6,  8,  13, 11, 9,  7,  15, 7,  12, 15, 9,  11, 7,  13, 12,
    11, 13, 6,  7,  14, 9,  13, 15, 14, 8,  13, 6,  5,  12, 7,  5,
    11, 12, 14, 15, 14, 15, 9,  8,  9,  14, 5,  6,  8,  6,  5,  12,
    9,  15, 5,  11, 6,  8,  13, 12, 5,  12, 13, 14, 11, 8,  5,  6};
constexpr int S_RIGHT[80] = {
    8,  9,  9,  11, 13, 15, 15, 5,  7,  7,  8,  11, 14, 14, 12, 6,
    9,  13, 15, 7,  12, 8,  9,  11, 7,  7,  12, 7,  6,  15, 13, 11,
    9,  7,  15, 11, 8,  6,  6,  14, 12, 13, 5,  14, 13, 13, 7,  5,
    15, 5,  8,  11, 14, 14, 6,  14, 6,  9,  12, 9,  12, 5,  15, 8,
    8,  5,  12, 9,  12, 5,  14, 6,  8,  13, 6,  5,  15, 13, 11, 11};

void compress(uint32_t h[5], const uint8_t block[64]) {
  uint32_t x[16];
  for (int i = 0; i < 16; i++)
    x[i] = (uint32_t)block[4 * i] | (uint32_t)block[4 * i + 1] << 8 |
           (uint32_t)block[4 * i + 2] << 16 | (uint32_t)block[4 * i + 3] << 24;
  uint32_t al = h[0], bl = h[1], cl = h[2], dl = h[3], el = h[4];
  uint32_t ar = al, br = bl, cr = cl, dr = dl, er = el;
  for (int j = 0; j < 80; j++) {
    uint32_t t = rol(al + f(j, bl, cl, dl) + x[R_LEFT[j]] + K_LEFT[j / 16], S_LEFT[j]) + el;
    al = el;
    el = dl;
    dl = rol(cl, 10);
    cl = bl;
    bl = t;
    t = rol(ar + f(79 - j, br, cr, dr) + x[R_RIGHT[j]] + K_RIGHT[j / 16], S_RIGHT[j]) + er;
    ar = er;
    er = dr;
    dr = rol(cr, 10);
    cr = br;
    br = t;
  }
  uint32_t t = h[1] + cl + dr;
  h[1] = h[2] + dl + er;
  h[2] = h[3] + el + ar;
  h[3] = h[4] + al + br;
  h[4] = h[0] + bl + cr;
  h[0] = t;
}

}  // namespace

void digest_init(DigestState* state) {
  state->h[0] = 0x67452301;
  state->h[1] = 0xEFCDAB89;
  state->h[2] = 0x98BADCFE;
  state->h[3] = 0x10325476;
  state->h[4] = 0xC3D2E1F0;
  state->count_low = state->count_high = 0;
}

void digest_update(DigestState* state, const void* data, size_t length) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  while (length > 0) {
    uint32_t used = state->count_low % 64;
    size_t take = std::min<size_t>(64 - used, length);
    memcpy(state->block + used, p, take);
    uint32_t before = state->count_low;
    state->count_low += (uint32_t)take;
    if (state->count_low < before) state->count_high++;
    p += take;
    length -= take;
    if (used + take == 64) compress(state->h, state->block);
  }
}

void digest_final(DigestState* state, uint8_t out[20]) {
  uint32_t low = state->count_low, high = state->count_high;
  uint8_t length[8];
  uint32_t bits_low = low << 3, bits_high = high << 3 | low >> 29;
  for (int i = 0; i < 4; i++) {
    length[i] = (uint8_t)(bits_low >> (8 * i));
    length[4 + i] = (uint8_t)(bits_high >> (8 * i));
  }
  static const uint8_t padding[64] = {0x80};
  uint32_t used = low % 64;
  digest_update(state, padding, used < 56 ? 56 - used : 120 - used);
  digest_update(state, length, 8);
  for (int i = 0; i < 5; i++)
    for (int b = 0; b < 4; b++) out[4 * i + b] = (uint8_t)(state->h[i] >> (8 * b));
}

bool digest_matches_hex(const char* hex, const uint8_t digest[20]) {
  for (int i = 0; i < 20; i++) {
    unsigned value;
    char pair[3] = {hex[2 * i], hex[2 * i] ? hex[2 * i + 1] : '\0', '\0'};
    if (!pair[0] || sscanf(pair, "%2x", &value) != 1 || value != digest[i]) return false;
  }
  return true;
}

const char* game_data_digest_text() { return GAME_DATA_DIGEST; }

bool find_game_data() {
  for (int i = 0; search_path(i); i++) {
    char path[1024];
    snprintf(path, sizeof path, "%szzzz.saf", search_path(i));
    FILE* f = fopen(path, "rb");
    if (!f) continue;
    DigestState state;
    digest_init(&state);
    uint8_t piece[256];
    size_t total = 0, n;
    while (total < 1048576 &&
           (n = fread(piece, 1, std::min<size_t>(sizeof piece, 1048576 - total), f)) > 0) {
      digest_update(&state, piece, n);
      total += n;
    }
    fclose(f);
    uint8_t digest[20];
    digest_final(&state, digest);
    if (digest_matches_hex(GAME_DATA_DIGEST, digest)) return true;
  }
  return false;
}
