// main.cpp -- kestrail-datagen: builds the default game data. Every track and
// asset family is drawn from its table, written in the game's own formats
// (through the game's own writers where they exist) and packed into .saf
// archives next to the game.
//
// usage: kestrail-datagen --out DIR [--overview DIR]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "art.h"
#include "assets.h"
#include "course.h"
#include "pack.h"
#include "physics/shape.h"
#include "render/model.h"
#include "track_files.h"

namespace fs = std::filesystem;

namespace {

int usage() {
  fprintf(stderr, "usage: kestrail-datagen --out DIR [--overview DIR]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string out, overview;
  for (int i = 1; i < argc; i++) {
    if (strcmp(argv[i], "--out") == 0 && i + 1 < argc) out = argv[++i];
    else if (strcmp(argv[i], "--overview") == 0 && i + 1 < argc) overview = argv[++i];
    else return usage();
  }
  if (out.empty()) return usage();
  auto start = std::chrono::steady_clock::now();

  // Files are written loose into a staging home folder, where the game's own
  // writers put "@" names, then packed.
  fs::path staging = fs::path(out) / ".datagen-staging";
  std::error_code ec;
  fs::remove_all(staging, ec);
  fs::path home = staging / "Kestrail";
  fs::create_directories(home / "empty");
  setenv("XDG_DATA_HOME", staging.c_str(), 1);
  setenv("KT_HOME", (home / "empty").c_str(), 1);  // never read an older build's archives

  std::vector<const TrackDesc*> descs = {&rabbithill_desc(), &arena_desc()};
  std::vector<GeneratedTrack> tracks;
  std::vector<std::string> tile_names;
  for (const TrackDesc* d : descs) {
    tracks.push_back(generate_track(*d));
    for (const std::string& n : tracks.back().tile_names)
      if (std::find(tile_names.begin(), tile_names.end(), n) == tile_names.end()) tile_names.push_back(n);
  }
  if (!write_shared_assets(home.string(), tile_names) || !write_bike_shapes(home.string())) {
    fprintf(stderr, "kestrail-datagen: can't write the shared assets\n");
    return 1;
  }
  for (size_t i = 0; i < descs.size(); i++) {
    if (!write_track_files(*descs[i], tracks[i], home.string())) {
      fprintf(stderr, "kestrail-datagen: can't write track %s\n", descs[i]->dir.c_str());
      return 1;
    }
    if (!overview.empty() && !write_overview(*descs[i], tracks[i], overview)) {
      fprintf(stderr, "kestrail-datagen: can't write the overview of %s\n", descs[i]->dir.c_str());
      return 1;
    }
  }

  // One archive of shared assets, one per track.
  std::vector<std::string> archives;
  bool ok = pack_folder(home.string(), "", fs::path(out) / "kestrail-data.saf", false);
  archives.push_back("kestrail-data.saf");
  for (const TrackDesc* d : descs) {
    ok = ok && pack_folder((home / d->dir).string(), d->dir + "/", fs::path(out) / (d->dir + ".saf"), true);
    archives.push_back(d->dir + ".saf");
  }
  fs::remove_all(staging, ec);
  // The statue writers loaded models and shapes into the game's caches.
  models_clear();
  shapes_clear();
  if (!ok) {
    fprintf(stderr, "kestrail-datagen: can't write the archives in %s\n", out.c_str());
    return 1;
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  for (const std::string& a : archives)
    printf("%s: %ld bytes\n", a.c_str(), (long)fs::file_size(fs::path(out) / a));
  printf("generated in %.1f s\n", seconds);
  return 0;
}
