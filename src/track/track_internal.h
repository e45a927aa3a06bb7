// track_internal.h -- helpers the track's own files share: allocation that
// ends the program when memory runs out, and posting messages.
#pragma once

#include <cstddef>
#include <cstdlib>

#include "common/common.h"

// Zeroed storage for n records; running out of memory is fatal.
template <class T>
T* track_calloc(size_t n) {
  void* p = calloc(n ? n : 1, sizeof(T));
  if (!p) fatal_out_of_memory();
  return static_cast<T*>(p);
}

// Logs the formatted text and shows it in the message list (a trailing
// "\n" of the text is not shown).
void track_post(const char* format, ...) __attribute__((format(printf, 1, 2)));

// True when the stream opens (the file exists somewhere the name reaches).
bool track_file_exists(const char* name);

#include <string>

// The names tried for a statue's normal (kind "_norm") or specular
// ("_spec") map, in order; returns how many were written to out.
int statue_map_candidates(const char* texture, const char* model, const char* kind, std::string out[9]);

// Brings every lap-list entry into range for count checkpoints: negative
// entries become 0 and the checkpoint part is limited to count - 1, the
// LAP_ENTRY_UNUSED mark kept.
int lap_entry_normalise(int entry, int count);
struct Stream;
// Reads one line (without its line end) into line; false at the end of input.
bool read_line(Stream* s, std::string& line);

// Wraps an angle (rad) outside -pi..pi into it.
float angle_wrap(float a);
