// paths.cpp -- the search paths, the catalogue of loose files and .saf
// archive members, name resolution, and the home folder.
#include "data/data.h"

#include "data_internal.h"

#include <dirent.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace {

struct Entry {
  std::string container;
  std::string name;
  int offset;
  int size;
  int source;
};

struct Paths {
  bool paths_built = false;
  std::vector<std::string> paths;
  bool catalogue_built = false;
  std::vector<Entry> entries;
  std::vector<CatalogueEntry> views;  // entries as plain records
  std::vector<const char*> names;     // file list, null-terminated
};

Paths g_paths;

// "\" becomes "/" and runs of "/" collapse to one.
std::string normalise(std::string p) {
  std::string out;
  for (char c : p) {
    if (c == '\\') c = '/';
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out += c;
  }
  return out;
}

std::string home_folder() {
  const char* xdg = getenv("XDG_DATA_HOME");
  // An empty or relative XDG_DATA_HOME is to be ignored.
  if (xdg && xdg[0] == '/') return std::string(xdg) + "/Kestrail/";
  const char* home = getenv("HOME");
  if (!home || !*home) {
    const passwd* pw = getpwuid(getuid());
    home = pw ? pw->pw_dir : nullptr;
  }
  if (!home || !*home) return "";
  return std::string(home) + "/.local/share/Kestrail/";
}

std::string program_folder() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "";
  buffer[n] = '\0';
  char* slash = strrchr(buffer, '/');
  if (!slash) return "";
  slash[1] = '\0';
  return buffer;
}

void build_paths() {
  if (g_paths.paths_built) return;
  g_paths.paths_built = true;
  std::string home = home_folder();
  if (!home.empty()) g_paths.paths.push_back(normalise(home));
  const char* kt_home = getenv("KT_HOME");
  std::string install = kt_home ? std::string(kt_home) + "/" : program_folder();
  if (!install.empty()) g_paths.paths.push_back(normalise(install));
}

// ---------------------------------------------------------------- catalogue

void walk(const std::string& root, const std::string& relative, int source,
          std::set<std::pair<dev_t, ino_t>>& visited) {
  std::string dir = root + relative;
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
    std::string rel = relative.empty() ? e->d_name : relative + "/" + e->d_name;
    std::string full = root + rel;
    struct stat st;
    if (stat(full.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      // A directory reached twice (a link back up the tree) is walked once.
      if (visited.insert({st.st_dev, st.st_ino}).second) walk(root, rel, source, visited);
    } else {
      int size = st.st_size > INT_MAX ? INT_MAX : (int)st.st_size;
      g_paths.entries.push_back({full, rel, 0, size, source});
    }
  }
  closedir(d);
}

bool by_name_then_source(const Entry& a, const Entry& b) {
  int c = strcmp(a.name.c_str(), b.name.c_str());
  return c != 0 ? c < 0 : a.source < b.source;
}

// Reads one archive's header from its container; appends its members, or
// nothing when the header is not well formed.
void read_archive(const Entry& archive, int source) {
  FILE* f = fopen(archive.container.c_str(), "rb");
  if (!f) return;
  std::vector<SafMember> members;
  bool ok = fseek(f, archive.offset, SEEK_SET) == 0 && saf_read_header(f, archive.offset, &members);
  fclose(f);
  if (!ok) return;
  for (SafMember& m : members)
    g_paths.entries.push_back({archive.container, std::move(m.name), m.offset, m.size, source});
}

void build_catalogue() {
  if (g_paths.catalogue_built) return;
  g_paths.catalogue_built = true;
  build_paths();
  for (size_t i = 0; i < g_paths.paths.size(); i++) {
    std::set<std::pair<dev_t, ino_t>> visited;
    struct stat st;
    if (stat(g_paths.paths[i].c_str(), &st) == 0) visited.insert({st.st_dev, st.st_ino});
    walk(g_paths.paths[i], "", (int)i, visited);
  }
  std::stable_sort(g_paths.entries.begin(), g_paths.entries.end(), by_name_then_source);
  // Visit the entries as they stand now; members appended meanwhile are not archives to open.
  size_t loose = g_paths.entries.size();
  int archives = 0;
  for (size_t i = 0; i < loose; i++) {
    const std::string& n = g_paths.entries[i].name;
    if (n.size() > 4 && n.compare(n.size() - 4, 4, ".saf") == 0) {
      Entry archive = g_paths.entries[i];
      read_archive(archive, (int)g_paths.paths.size() + archives);
      archives++;
    }
  }
  std::stable_sort(g_paths.entries.begin(), g_paths.entries.end(), by_name_then_source);
  for (const Entry& e : g_paths.entries) {
    g_paths.views.push_back({e.container.c_str(), e.name.c_str(), e.offset, e.size, e.source});
    if (g_paths.names.empty() || strcmp(g_paths.names.back(), e.name.c_str()) != 0)
      g_paths.names.push_back(e.name.c_str());
  }
  g_paths.names.push_back(nullptr);
}

bool equal_ignoring_case(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; i++)
    if (tolower((unsigned char)a[i]) != tolower((unsigned char)b[i])) return false;
  return true;
}

// "@x" is x in the home folder; anything else stays as it is. Cut to 511.
std::string home_name(const char* name) {
  std::string out = name;
  if (name[0] == '@') out = std::string(search_path(0) ? search_path(0) : "") + (name + 1);
  if (out.size() > 511) out.resize(511);
  return out;
}

}  // namespace

bool saf_read_header(FILE* f, int base, std::vector<SafMember>* members) {
  long long header_bytes = 0;
  char line[1024];  // a header line is at most 1023 bytes with its "\n"
  while (fgets(line, sizeof line, f)) {
    size_t len = strlen(line);
    if (len == 0 || line[len - 1] != '\n') return false;  // too long, or no "\n"
    header_bytes += (long long)len;
    if (!isdigit((unsigned char)line[0])) {
      if (strcmp(line, "-\n") != 0) return false;
      long long offset = base + header_bytes;
      for (SafMember& m : *members) {
        if (offset > INT_MAX) return false;  // beyond what a stream can address
        m.offset = (int)offset;
        offset += m.size;
      }
      return true;
    }
    long long size = 0;
    size_t i = 0;
    while (isdigit((unsigned char)line[i]) && size <= INT_MAX) size = size * 10 + (line[i++] - '0');
    if (size > INT_MAX) return false;  // no member can be that large
    std::string name = line[i] == '\n' ? "" : std::string(line + i + 1, line + len - 1);
    members->push_back({normalise(name), 0, (int)size});
  }
  return false;
}

const char* search_path(int index) {
  build_paths();
  if (index < 0 || index >= (int)g_paths.paths.size()) return nullptr;
  return g_paths.paths[(size_t)index].c_str();
}

const char* const* list_files() {
  build_catalogue();
  return g_paths.names.data();
}

const CatalogueEntry* catalogue_entries(int* count) {
  build_catalogue();
  *count = (int)g_paths.views.size();
  return g_paths.views.data();
}

ResolvedName resolve_name(const char* name, const char* mode) {
  ResolvedName r{nullptr, 0, -1, false};
  bool reading = strchr(mode, 'r') && !strchr(mode, '+');
  if (!reading) return r;
  for (int i = 0; search_path(i); i++) {
    std::string path = std::string(search_path(i)) + name;
    if (path.size() > 511) path.resize(511);
    struct stat st;
    // A directory opens with fopen on Linux but reads nothing; it is not a file.
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
    if (FILE* f = fopen(path.c_str(), mode)) {
      r.file = f;
      return r;
    }
  }
  build_catalogue();
  size_t n = strlen(name);
  for (const Entry& e : g_paths.entries) {
    bool plain = e.name.size() == n && equal_ignoring_case(e.name.c_str(), name, n);
    bool gz = e.name.size() == n + 3 && equal_ignoring_case(e.name.c_str(), name, n) &&
              equal_ignoring_case(e.name.c_str() + n, ".gz", 3);
    if (!plain && !gz) continue;
    FILE* f = fopen(e.container.c_str(), "rb");
    if (!f) return r;
    if (fseek(f, e.offset, SEEK_SET) != 0) {
      fclose(f);
      return r;
    }
    r.file = f;
    r.offset = e.offset;
    r.size = e.size;
    r.compressed = gz;
    return r;
  }
  return r;
}

bool rename_file(const char* old_name, const char* new_name) {
  return rename(home_name(old_name).c_str(), home_name(new_name).c_str()) == 0;
}

void make_home_folder() {
  const char* home = search_path(0);
  if (!home || strlen(home) >= 1024) return;
  std::string p = home;
  for (size_t i = 1; i < p.size(); i++)
    if (p[i] == '/') mkdir(p.substr(0, i).c_str(), 0777);
}

void open_home_folder() {
  make_home_folder();
  const char* home = search_path(0);
  if (!home) return;
  std::string p = home;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  char* argv[] = {const_cast<char*>("xdg-open"), p.data(), nullptr};
  pid_t pid;
  // Without xdg-open the spawn fails and nothing happens.
  posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ);
}

void data_paths_reset() { g_paths = Paths{}; }
