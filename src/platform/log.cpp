// log.cpp -- the log file, the last error, platform options and aliases.
#include "platform/platform.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// ---------------------------------------------------------------- log

namespace {

struct LogState {
  FILE* file = nullptr;
  bool first_call_done = false;
  std::string error = "Unknown";
};

LogState g_log;

constexpr char LOGFILE_REQUEST[] = "VORN_LOGFILE=";

// The first call decides where the log goes: VORN_LOGFILE wins; a set-up
// request supplies the path otherwise. ">>" appends, ">" (the default) writes.
void open_log(const char* first_message) {
  const char* env = getenv("VORN_LOGFILE");
  bool request = strncmp(first_message, LOGFILE_REQUEST, sizeof LOGFILE_REQUEST - 1) == 0;
  const char* path = env;
  if (!path && request) path = first_message + sizeof LOGFILE_REQUEST - 1;
  std::string shown;
  if (path && *path) {
    const char* mode = "w";
    if (strncmp(path, ">>", 2) == 0) {
      mode = "a";
      path += 2;
    } else if (path[0] == '>') {
      path += 1;
    }
    shown = path;
    g_log.file = fopen(path, mode);
  }
  g_log.first_call_done = true;
  if (g_log.file) {
    log_printf("Logfile \"%s\" opened\n", shown.c_str());
    log_printf("VORN 0.31\n");
  }
}

}  // namespace

void log_format_stamp(uint32_t ms, char* out, int out_size) {
  uint32_t hundredths = ms / 10;
  snprintf(out, (size_t)out_size, "[%u:%02u:%02u.%02u] ", hundredths / 360000,
           hundredths / 6000 % 60, hundredths / 100 % 60, hundredths % 100);
}

int log_printf(const char* format, ...) {
  char message[4096];  // longer lines are cut
  va_list args;
  va_start(args, format);
  vsnprintf(message, sizeof message, format, args);
  va_end(args);
  if (!g_log.first_call_done) {
    open_log(message);
    if (strncmp(message, LOGFILE_REQUEST, sizeof LOGFILE_REQUEST - 1) == 0) return 0;
  }
  if (!g_log.file) return 0;
  char stamp[32];
  log_format_stamp(clock_ms(), stamp, sizeof stamp);
  // One write per line so lines from two threads never interleave.
  char line[sizeof stamp + sizeof message];
  snprintf(line, sizeof line, "%s%s", stamp, message);
  int result = fputs(line, g_log.file);
  fflush(g_log.file);
  return result;
}

void log_error(const char* text) {
  log_printf("Error: %s\n", text);
  g_log.error = text;
}

const char* last_error() { return g_log.error.c_str(); }

void log_reset() {
  if (g_log.file) fclose(g_log.file);
  g_log = LogState{};
}

// ---------------------------------------------------------------- options

namespace {

struct OptionState {
  bool read = false;
  std::string text;
};

OptionState g_options;

// The text right after "[name:", or null when the option is absent.
const char* option_value(const char* name) {
  if (!g_options.read) {
    const char* env = getenv("VORN_OPTIONS");
    g_options.text = env ? env : "";
    g_options.read = true;
  }
  char key[64];
  snprintf(key, sizeof key, "[%.60s:", name);
  size_t at = g_options.text.find(key);
  if (at == std::string::npos) return nullptr;
  return g_options.text.c_str() + at + strlen(key);
}

}  // namespace

int option_flag(const char* name, int default_value) {
  const char* v = option_value(name);
  if (!v) return default_value;
  if (strncmp(v, "yes]", 4) == 0 || strncmp(v, "on]", 3) == 0) return 1;
  if (strncmp(v, "no]", 3) == 0 || strncmp(v, "off]", 4) == 0) return 0;
  log_printf("unrecognized setting for %s\n", name);
  return default_value;
}

int option_int(const char* name, int default_value) {
  const char* v = option_value(name);
  if (!v) return default_value;
  char* end = nullptr;
  long value = strtol(v, &end, 10);
  // strtol also skips leading blanks; the value must start right at the colon.
  if (end == v || *v == ' ' || *v == '\t') {
    log_printf("unrecognized setting for %s\n", name);
    return default_value;
  }
  return (int)value;
}

void options_reset() { g_options = OptionState{}; }

// ---------------------------------------------------------------- aliases

namespace {

struct Alias {
  std::string name, value;
  Alias* next;
};

Alias* g_aliases = nullptr;  // newest first

}  // namespace

bool add_alias(const char* name, const char* value) {
  // Any existing alias wins, even one with the same value: the first
  // definition is the one that counts.
  if (resolve_alias(name) != name) {
    log_printf("Second alias for '%s' ('%s') ignored\n", name, value);
    return false;
  }
  Alias* a = new (std::nothrow) Alias{name, value, g_aliases};
  if (!a) {
    log_printf("Can't alias %s to %s -- out of memory\n", name, value);
    return false;
  }
  g_aliases = a;
  return true;
}

const char* resolve_alias(const char* name) {
  for (Alias* a = g_aliases; a; a = a->next)
    if (a->name == name) return a->value.c_str();
  return name;
}

void aliases_clear() {
  while (g_aliases) {
    Alias* next = g_aliases->next;
    delete g_aliases;
    g_aliases = next;
  }
}
