// data_internal.h -- the stream record and the archive header reader,
// shared inside the data layer and with its tests and fuzz targets.
#pragma once

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "common/common.h"
#include "data/data.h"

struct z_stream_s;

struct Stream {
  FILE* file = nullptr;
  int base = 0;            // offset of the data in the container
  int limit = INT_MAX;     // readable bytes: a member's size, else the largest int
  int position = 0;        // bytes delivered so far
  int pushback = -1;       // one look-ahead byte, -1 when empty
  // gzip data
  bool compressed = false;
  z_stream_s* z = nullptr;
  int compressed_left = 0; // compressed bytes not yet read from the file
  bool ended = false;
  unsigned char* in = nullptr;      // 16384-byte input buffer
  unsigned char* window = nullptr;  // 1024-byte output window
  int window_pos = 0, window_len = 0;
  // writing
  bool writing = false;
  bool failed = false;     // a write failed: close keeps the old file
  std::string target, temp;
};

// Makes the stream's close fail and keep the old file, as a failed write
// does; lets tests stand in for a full disk.
void stream_mark_failed(Stream* s);

// Wraps an open file as a reading stream over limit bytes from its current
// position (base is that position), decompressing gzip data when asked.
// Null, with f closed, when compressed data has a bad header.
Stream* open_stream_on_file(FILE* f, int base, int limit, bool compressed);

struct SafMember {
  std::string name;  // runs of "/" collapsed
  int offset;        // in the container
  int size;          // bytes
};

// Reads a .saf header from f, whose position is base bytes into its
// container. False when the header is not well formed.
bool saf_read_header(FILE* f, int base, std::vector<SafMember>* members);
