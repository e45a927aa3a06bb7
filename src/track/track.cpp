// track.cpp -- loading and unloading a whole track directory in its fixed
// order, the track list's titles and the digest of the track's content.
#include "track/track.h"

#include <cstring>
#include <string>
#include <vector>

#include "common/settings.h"
#include "data/data.h"
#include "physics/shape.h"
#include "platform/platform.h"
#include "render/image.h"
#include "track/track_internal.h"

static Track g_track;

// The track list of start-up: directory names and their titles.
static std::vector<std::string> g_list_directories, g_list_titles;

Track& track_current() { return g_track; }

void track_list_set(const std::string* directories, const std::string* titles, int count) {
  g_list_directories.assign(directories, directories + count);
  g_list_titles.assign(titles, titles + count);
}

static std::string find_title(const std::string& name) {
  for (size_t i = 0; i < g_list_directories.size(); i++)
    if (g_list_directories[i] == name) return g_list_titles[i];
  return name;
}

// Feeds the raw bytes of dir/name to the digest when the file opens.
static void digest_file(DigestState* digest, const std::string& path) {
  Stream* s = open_stream(path.c_str(), "rb");
  if (!s) return;
  uint8_t buffer[4096];
  int n;
  while ((n = stream_read(s, buffer, (int)sizeof buffer)) > 0) digest_update(digest, buffer, (size_t)n);
  close_stream(s);
}

// Empties every object list, freeing the statues' shape copies.
static void objects_clear(Track& t) {
  for (Statue& s : t.statues) free_shape(s.shape);
  t.statues.clear_and_free();
  t.billboards.clear_and_free();
  t.billboard_slots.clear_and_free();
  t.flaggers.clear_and_free();
  for (GrowList<int>& bin : t.statue_bins) bin.clear_and_free();
  t.timing = TrackTiming{};
  t.gate_bar_count = 0;
  t.has_start_flagger = t.has_finish_flagger = false;
  t.start_flagger = StartFlagger{};
  t.finish_flagger = FinishFlagger{};
  t.first_track_billboard = t.first_track_statue = 0;
  t.map_texture = 0;
}

// Reads dir/name with parse when the file opens; absent files are no error.
template <class Parse>
static void read_optional(const std::string& dir, const char* name, Parse parse) {
  Stream* s = open_track_file(dir.c_str(), name, "rb", false);
  if (!s) return;
  parse(s);
  close_stream(s);
}

bool track_load() {
  Track& t = g_track;
  bool verbose = game_settings().debug_level >= 1;
  t.track_title = find_title(t.track_name);
  DigestState digest;
  digest_init(&digest);
  objects_clear(t);
  // The loading screen ("Loading track...") is drawn here once the scene exists.

  std::string dir = "@" + t.track_name;
  for (const char* name : {"terrain.hf", "terrain.png", "texturelist", "tilemap", "tileinfo"})
    digest_file(&digest, dir + "/" + name);
  if (verbose) log_printf("Loading '%s'\n", dir.c_str());
  if (!terrain_load(terrain_record(), dir.c_str())) {
    t.track_name.clear();
    t.track_title.clear();
    return false;
  }

  digest_file(&digest, dir + "/timing_gates");
  read_optional(dir, "timing_gates", timing_gates_parse);
  for (int i = 0; i < PARTICLE_BILLBOARDS; i++) billboard_create(0, 0, 0, 1, 1, nullptr);
  read_optional(dir, "flaggers", flaggers_parse);
  t.first_track_billboard = t.billboards.count;
  t.first_track_statue = t.statues.count;
  read_optional(dir, "billboards", billboards_parse);
  digest_file(&digest, dir + "/statues");
  read_optional(dir, "statues", statues_parse);

  lighting_reset();
  Stream* light = open_track_file(dir.c_str(), "lighting", "rb", false);
  if (light) {
    lighting_parse(light);
    close_stream(light);
    lighting_finish();
  }
  std::string map = dir + "/map.png";
  t.map_texture = texture_load(map.c_str());
  statue_bins_rebuild();
  // With "--editor" the track editor reads its "edinfo" here.

  // Each distinct statue model once, in statue order.
  std::vector<const std::string*> seen;
  for (const Statue& s : t.statues) {
    bool dup = false;
    for (const std::string* name : seen) dup = dup || *name == s.model_name;
    if (dup) continue;
    seen.push_back(&s.model_name);
    digest_file(&digest, s.model_name);
  }
  digest_final(&digest, t.track_digest);
  return true;
}

void track_unload() {
  log_printf("Deallocating track\n");
  objects_clear(g_track);
  track_lighting().flares.clear_and_free();
  terrain_free(terrain_record());
  // No track is loaded now: the next race load of this name loads it again.
  g_track.track_name.clear();
  g_track.track_title.clear();
  log_printf("Finished deallocating track\n");
}
