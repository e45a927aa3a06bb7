// data.h -- where data files are found (search paths, the home folder, .saf
// archives), the stream every file access goes through, the program's own
// formatted reader, and the digest with the data identity check.
#pragma once

#include <cstdint>
#include <cstdio>

// ---------------------------------------------------------------- search paths and archives

// Search path i ("/"-terminated): 0 the home folder, 1 KT_HOME or the
// program's directory. Null when i is outside the list.
const char* search_path(int index);
inline constexpr int MAX_SEARCH_PATHS = 2;

// One file the catalogue knows: a loose file, or a member of a .saf archive.
struct CatalogueEntry {
  const char* container;  // the loose file itself, or the archive holding the member
  const char* name;       // relative, "/"-separated
  int offset;             // bytes from the start of the container
  int size;               // bytes
  int source;             // search path index; archives count on from the number of paths
};

// Every known relative file name, sorted, each once, ending with a null
// entry. Built on first use and never rebuilt during a run.
const char* const* list_files();
// The sorted catalogue (name, then source), for tests and tools.
const CatalogueEntry* catalogue_entries(int* count);

// Where a "@" name (given without its "@") is read from. Reading only:
// open_stream chooses where a written "@" name goes.
struct ResolvedName {
  FILE* file;        // positioned at the data; null when nothing was found
  int offset;        // of the data in the file
  int size;          // bytes of data; -1 for a loose file (to its end)
  bool compressed;   // gzip data, found under name + ".gz" in an archive
};
ResolvedName resolve_name(const char* name, const char* mode);

// Renames; a leading "@" on either name means the home folder. True on success.
bool rename_file(const char* old_name, const char* new_name);
// Creates every directory of the home folder.
void make_home_folder();
// Opens the home folder in the desktop's file browser; nothing happens
// when the desktop has no way to (no xdg-open).
void open_home_folder();
// Forgets the search paths and the catalogue so they are built again, for
// tests that change KT_HOME or the files under a search path.
void data_paths_reset();

// ---------------------------------------------------------------- streams

struct Stream;

// Opens path for reading (a mode with "r" and no "+") or writing. "@name"
// is looked up on the search paths and in the archives. Reading a missing
// plain path tries path + ".gz" as compressed data. Writing creates the
// missing directories and replaces the target atomically: the data goes to
// a temporary file beside it that close_stream renames over the target.
// Null on failure; the caller reports it.
Stream* open_stream(const char* path, const char* mode);
// Closes and frees. For a written stream: false when any write failed,
// and then the old file is left as it was.
bool close_stream(Stream* s);

int stream_getc(Stream* s);    // 0..255, or -1 at the end
int stream_peekc(Stream* s);   // the same, leaving the byte to be read again
// Up to and including "\n", or n - 1 bytes; NUL-terminated. Null when the
// end came before any byte.
char* stream_gets(Stream* s, char* buffer, int n);
int stream_read(Stream* s, void* buffer, int n);  // bytes read
// Uncompressed streams only, offsets below the limit; true on success.
bool stream_seek(Stream* s, int offset);

int stream_putc(Stream* s, int c);
int stream_puts(Stream* s, const char* text);
int stream_write(Stream* s, const void* data, int n);
int stream_printf(Stream* s, const char* format, ...) __attribute__((format(printf, 2, 3)));
int stream_flush(Stream* s);

// scanf-like reading straight from the stream with one character of
// look-ahead. Returns the number of values stored, or -1 when the input
// ended (or a literal did not match) before the first one. Differs from the
// C library on purpose: "%x" takes no "0x" prefix.
int stream_scanf(Stream* s, const char* format, ...);
// The next "%d", or INT32_MIN when none could be read.
int stream_read_int(Stream* s);
// Skips blank space and lines whose first non-blank character is "#".
void stream_skip_comments(Stream* s);

// A read-only stream over bytes in memory (not copied; they must outlive
// the stream), for parsers fed from a buffer: fuzz targets and tests.
Stream* open_memory_stream(const void* data, int size);

// ---------------------------------------------------------------- digest

// RIPEMD-160.
struct DigestState {
  uint32_t h[5];
  uint32_t count_low, count_high;  // bytes processed
  uint8_t block[64];
};

void digest_init(DigestState* state);
void digest_update(DigestState* state, const void* data, size_t length);
// The 20-byte digest into out.
void digest_final(DigestState* state, uint8_t out[20]);
// True when the 40 hex digits (either case) spell the digest.
bool digest_matches_hex(const char* hex, const uint8_t digest[20]);
// True when some search path holds the game data (its "zzzz.saf").
bool find_game_data();
// The built-in reference: 40 hex digits of the identity archive's digest.
const char* game_data_digest_text();
