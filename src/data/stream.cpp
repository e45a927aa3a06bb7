// stream.cpp -- the stream every file access goes through: ordinary files,
// archive members and gzip data read on the fly, and atomically replaced
// written files.
#include "data/data.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "data_internal.h"

namespace {

constexpr int INPUT_BUFFER = 16384;
constexpr int OUTPUT_WINDOW = 1024;

// Creates every directory on path (each prefix ending at a "/").
void make_directories(const std::string& path) {
  if (path.size() >= 1024) return;
  for (size_t i = 1; i < path.size(); i++)
    if (path[i] == '/') mkdir(path.substr(0, i).c_str(), 0777);
}

Stream* new_stream() {
  Stream* s = new (std::nothrow) Stream;
  if (!s) fatal_out_of_memory();
  return s;
}

// Starts decompression at the stream's current file position: checks the
// gzip header and sets up a raw inflater on what follows it.
bool start_inflate(Stream* s) {
  s->compressed = true;
  s->in = new (std::nothrow) unsigned char[INPUT_BUFFER];
  s->window = new (std::nothrow) unsigned char[OUTPUT_WINDOW];
  if (!s->in || !s->window) fatal_out_of_memory();
  int want = std::min(INPUT_BUFFER, s->compressed_left);
  int got = (int)fread(s->in, 1, (size_t)want, s->file);
  s->compressed_left -= got;
  const unsigned char* p = s->in;
  const unsigned char* end = s->in + got;
  auto need = [&](int n) { return end - p >= n; };
  if (!need(10) || p[0] != 31 || p[1] != 139 || p[2] != 8 || p[3] >= 32) return false;
  int flags = p[3];
  p += 10;  // magic, method, flags, time, extra flags, system
  if (flags & 4) {
    if (!need(2)) return false;
    int extra = p[0] | p[1] << 8;
    p += 2;
    if (!need(extra)) return false;
    p += extra;
  }
  for (int bit : {8, 16}) {  // file name, then comment: NUL-terminated
    if (!(flags & bit)) continue;
    while (p < end && *p) p++;
    if (p == end) return false;
    p++;
  }
  if (flags & 2) {
    if (!need(2)) return false;
    p += 2;
  }
  s->z = new (std::nothrow) z_stream{};
  if (!s->z) fatal_out_of_memory();
  s->z->next_in = const_cast<unsigned char*>(p);
  s->z->avail_in = (unsigned)(end - p);
  if (inflateInit2(s->z, -15) != Z_OK) {
    delete s->z;
    s->z = nullptr;
    return false;
  }
  return true;
}

// Refills the output window; false when no more bytes will come.
bool refill(Stream* s) {
  if (s->ended || !s->z) return false;
  s->window_pos = s->window_len = 0;
  s->z->next_out = s->window;
  s->z->avail_out = OUTPUT_WINDOW;
  int rc = Z_OK;
  while (rc == Z_OK && s->z->avail_out > 0) {
    if (s->z->avail_in == 0) {
      int want = std::min(INPUT_BUFFER, s->compressed_left);
      int got = want > 0 ? (int)fread(s->in, 1, (size_t)want, s->file) : 0;
      s->compressed_left -= got;
      s->z->next_in = s->in;
      s->z->avail_in = (unsigned)got;
      if (got == 0) {
        s->ended = true;  // the data was cut short
        break;
      }
    }
    rc = inflate(s->z, Z_NO_FLUSH);
  }
  // Z_STREAM_END ends the data; any error ends it early too.
  if (rc != Z_OK) s->ended = true;
  s->window_len = OUTPUT_WINDOW - (int)s->z->avail_out;
  return s->window_len > 0;
}

// The next byte from the data itself (no pushback), or -1.
int raw_getc(Stream* s) {
  if (s->writing) return -1;
  if (s->compressed) {
    if (s->window_pos == s->window_len && !refill(s)) return -1;
    s->position++;
    return s->window[s->window_pos++];
  }
  if (s->position >= s->limit) return -1;
  int c = fgetc(s->file);
  if (c == EOF) return -1;
  s->position++;
  return c;
}

}  // namespace

Stream* open_stream_on_file(FILE* f, int base, int limit, bool compressed) {
  Stream* s = new_stream();
  s->file = f;
  s->base = base;
  s->limit = limit;
  s->compressed_left = compressed ? limit : 0;
  if (compressed) {
    s->limit = INT_MAX;
    if (!start_inflate(s)) {
      close_stream(s);
      return nullptr;
    }
  }
  return s;
}

namespace {

Stream* open_writing(const std::string& target, const char* mode) {
  make_directories(target);
  std::string temp = target + ".tmp-XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) return nullptr;
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  FILE* f = fdopen(fd, "wb");
  if (!f) {
    close(fd);
    unlink(temp.c_str());
    return nullptr;
  }
  Stream* s = new_stream();
  s->file = f;
  s->writing = true;
  s->target = target;
  s->temp = temp;
  s->limit = INT_MAX;
  // Appending keeps what was there: the old bytes are copied in first.
  if (strchr(mode, 'a')) {
    if (FILE* old = fopen(target.c_str(), "rb")) {
      char buffer[8192];
      size_t n;
      while ((n = fread(buffer, 1, sizeof buffer, old)) > 0)
        if (fwrite(buffer, 1, n, f) != n) s->failed = true;
      fclose(old);
    }
  }
  return s;
}

}  // namespace

Stream* open_stream(const char* path, const char* mode) {
  bool reading = strchr(mode, 'r') && !strchr(mode, '+');
  if (path[0] == '@') {
    if (reading) {
      ResolvedName r = resolve_name(path + 1, mode);
      if (!r.file) return nullptr;
      return open_stream_on_file(r.file, r.offset, r.size < 0 ? INT_MAX : r.size, r.compressed);
    }
    for (int i = 0; search_path(i); i++) {
      std::string target = std::string(search_path(i)) + (path + 1);
      if (target.size() > 511) target.resize(511);
      if (Stream* s = open_writing(target, mode)) return s;
    }
    return nullptr;
  }
  if (!reading) return open_writing(path, mode);
  struct stat st;
  bool is_dir = stat(path, &st) == 0 && S_ISDIR(st.st_mode);
  if (FILE* f = is_dir ? nullptr : fopen(path, "rb")) return open_stream_on_file(f, 0, INT_MAX, false);
  std::string gz = std::string(path) + ".gz";
  if (gz.size() >= 1024) return nullptr;
  if (FILE* f = fopen(gz.c_str(), "rb")) return open_stream_on_file(f, 0, INT_MAX, true);
  return nullptr;
}

Stream* open_memory_stream(const void* data, int size) {
  if (size < 0) return nullptr;
  // fmemopen refuses a zero-length buffer; an empty stream reads nothing anyway.
  static char empty_byte = 0;
  FILE* f = size > 0 ? fmemopen(const_cast<void*>(data), (size_t)size, "rb")
                     : fmemopen(&empty_byte, 1, "rb");
  if (!f) return nullptr;
  return open_stream_on_file(f, 0, size, false);
}

bool close_stream(Stream* s) {
  if (!s) return false;
  bool ok = true;
  if (s->z) {
    inflateEnd(s->z);
    delete s->z;
  }
  delete[] s->in;
  delete[] s->window;
  if (s->writing) {
    ok = !s->failed && fflush(s->file) == 0 && !ferror(s->file) && fsync(fileno(s->file)) == 0;
    if (fclose(s->file) != 0) ok = false;
    // Only a completely written file replaces the old one.
    if (ok && rename(s->temp.c_str(), s->target.c_str()) != 0) ok = false;
    if (!ok) unlink(s->temp.c_str());
  } else if (s->file) {
    fclose(s->file);
  }
  delete s;
  return ok;
}

// ---------------------------------------------------------------- reading

int stream_getc(Stream* s) {
  if (s->pushback >= 0) {
    int c = s->pushback;
    s->pushback = -1;
    return c;
  }
  return raw_getc(s);
}

int stream_peekc(Stream* s) {
  int c = stream_getc(s);
  s->pushback = c;
  return c;
}

char* stream_gets(Stream* s, char* buffer, int n) {
  if (n <= 0) return nullptr;
  int i = 0;
  while (i < n - 1) {
    int c = stream_getc(s);
    if (c < 0) break;
    buffer[i++] = (char)c;
    if (c == '\n') break;
  }
  buffer[i] = '\0';
  return i > 0 ? buffer : nullptr;
}

int stream_read(Stream* s, void* buffer, int n) {
  unsigned char* out = static_cast<unsigned char*>(buffer);
  int done = 0;
  if (n > 0 && s->pushback >= 0) {
    out[done++] = (unsigned char)s->pushback;
    s->pushback = -1;
  }
  if (s->writing) return done;
  if (s->compressed) {
    while (done < n) {
      if (s->window_pos == s->window_len && !refill(s)) break;
      int take = std::min(n - done, s->window_len - s->window_pos);
      memcpy(out + done, s->window + s->window_pos, (size_t)take);
      s->window_pos += take;
      s->position += take;
      done += take;
    }
    return done;
  }
  int room = std::min(n - done, s->limit - s->position);
  if (room <= 0) return done;
  int got = (int)fread(out + done, 1, (size_t)room, s->file);
  s->position += got;
  return done + got;
}

bool stream_seek(Stream* s, int offset) {
  if (s->compressed || s->writing || offset < 0 || offset >= s->limit) return false;
  if (fseek(s->file, (long)s->base + offset, SEEK_SET) != 0) return false;
  s->pushback = -1;
  s->position = offset;
  return true;
}

// ---------------------------------------------------------------- writing

namespace {
int note(Stream* s, int rc, bool failed) {
  if (failed) s->failed = true;
  return rc;
}
}  // namespace

int stream_putc(Stream* s, int c) {
  if (!s->writing) return EOF;
  int rc = fputc(c, s->file);
  return note(s, rc, rc == EOF);
}

int stream_puts(Stream* s, const char* text) {
  if (!s->writing) return EOF;
  int rc = fputs(text, s->file);
  return note(s, rc, rc == EOF);
}

int stream_write(Stream* s, const void* data, int n) {
  if (!s->writing || n < 0) return 0;
  int rc = (int)fwrite(data, 1, (size_t)n, s->file);
  return note(s, rc, rc != n);
}

int stream_printf(Stream* s, const char* format, ...) {
  if (!s->writing) return -1;
  va_list args;
  va_start(args, format);
  int rc = vfprintf(s->file, format, args);
  va_end(args);
  return note(s, rc, rc < 0);
}

int stream_flush(Stream* s) {
  if (!s->writing) return 0;
  int rc = fflush(s->file);
  return note(s, rc, rc != 0);
}

void stream_mark_failed(Stream* s) { s->failed = true; }
