// startup.cpp -- the program's entry: start-up in its fixed order, the main
// loop, and shut-down in the reverse order.
#include "app/app.h"

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>
#include <string>

#include "common/settings.h"
#include "data/data.h"
#include "track/track.h"
#include "platform/platform.h"

namespace {

// The one fatal path: close the audio output and the window (once they
// exist), show the box, exit.
[[noreturn]] void fatal(const char* title, const char* text) {
  message_box(title, "%s", text);
  std::_Exit(1);
}

void fatal_handler(const char* title, const char* text) { fatal(title, text); }

void out_of_memory() { fatal("Error", "Out of virtual memory"); }

// True when "--help" or "--version" stands among the options; they are
// answered before anything else so they work on a machine without game data.
bool answer_help_or_version(int argc, char** argv, int* exit_code) {
  for (int i = 1; i < argc; i++) {
    if (strcmp(argv[i], "--") == 0) break;
    if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "--version") == 0) {
      char* args[] = {argv[0], argv[i]};
      std::string errors;
      CommandLine cl = parse_command_line(2, args, &errors);
      fputs(cl.output.c_str(), stdout);
      *exit_code = cl.exit_code;
      return true;
    }
  }
  return false;
}

// The first line of a track's "desc" file, or empty.
std::string read_title(const std::string& dir) {
  std::string title;
  Stream* s = open_stream(("@" + dir + "/desc").c_str(), "rb");
  if (!s) return title;
  for (int c; (c = stream_getc(s)) > 0 && c != '\r' && c != '\n' && title.size() < 1000;) title += (char)c;
  close_stream(s);
  return title;
}

std::string lower(const std::string& s) {
  std::string out = s;
  for (char& c : out) c = (char)tolower((unsigned char)c);
  return out;
}

}  // namespace

std::vector<TrackListEntry> build_track_list() {
  std::vector<TrackListEntry> list;
  for (const char* const* name = list_files(); name && *name; name++) {
    std::string n = *name;
    std::string dir;
    for (const char* suffix : {"/terrain.hf", "/terrain.hf.gz"})
      if (n.size() > strlen(suffix) && n.ends_with(suffix)) dir = n.substr(0, n.size() - strlen(suffix));
    if (dir.empty()) {
      if (n == "terrain.hf" || n == "terrain.hf.gz") return {};  // a field outside any directory
      continue;
    }
    // A directory holding both forms is one track.
    bool seen = false;
    for (const TrackListEntry& e : list) seen = seen || e.directory == dir;
    if (seen) continue;
    std::string title = read_title(dir);
    list.push_back({dir, title.empty() ? dir : title});
  }
  std::stable_sort(list.begin(), list.end(), [](const TrackListEntry& a, const TrackListEntry& b) {
    return lower(a.title) < lower(b.title);
  });
  return list;
}

std::vector<TrackListEntry> install_track_list() {
  std::vector<TrackListEntry> tracks = build_track_list();
  std::vector<std::string> directories, titles;
  for (const TrackListEntry& e : tracks) {
    directories.push_back(e.directory);
    titles.push_back(e.title);
  }
  track_list_set(directories.data(), titles.data(), (int)tracks.size());
  return tracks;
}

int kestrail_main(int argc, char** argv) {
  std::set_new_handler(out_of_memory);
  set_fatal_handler(fatal_handler);
  int exit_code = 0;
  if (answer_help_or_version(argc, argv, &exit_code)) return exit_code;

  // 1. Working copy of the bindings, start-up defaults. Standard output is
  //    already untranslated bytes on this platform.
  control_bindings_reset();
  settings_reset();

  // 2. Home folder, log and the game data.
  make_home_folder();
  if (const char* home = search_path(0)) log_printf("VORN_LOGFILE=%slastlog.txt", home);
  if (!find_game_data()) {
    message_box("Problem starting Kestrail", "Can't find game data\n");
    return 0;
  }

  // 3. Status strings and the message list.
  messages_clear();
  // 4. Video modes: window subsystem.
  // 5. Stability assists from the "Stability" setting: physics.
  // 6. Skin lists: data file list and menus.
  // 7. Configuration file: data layer.
  // 8. Graphics settings derived from the configuration's sliders.
  DerivedGraphics g = derive_graphics(GraphicsSliders{});
  GameSettings& gs = game_settings();
  gs.ground_detail = g.ground_detail;
  gs.ground_texture_detail = g.ground_texture_detail;
  gs.lod_scale = g.lod_scale;
  gs.lod_bias = g.lod_bias;
  gs.texture_detail = g.texture_detail;
  gs.roost_frequency = g.roost_frequency;

  // 9. The command line.
  std::string errors;
  CommandLine cl = parse_command_line(argc, argv, &errors);
  fputs(errors.c_str(), stderr);
  if (cl.open_home) {
    open_home_folder();
    return 0;
  }
  if (cl.exit_code >= 0) return cl.exit_code;

  // 10. A server address makes "--track" meaningless.
  if (!gs.server_address.empty()) gs.track.clear();
  // 11. The track list; the demo and series lists arrive with demos and series.
  std::vector<TrackListEntry> tracks = install_track_list();
  if (tracks.empty()) {
    fputs("No tracks found\n", stderr);
    return 1;
  }
  if (gs.debug_level >= 1)
    for (const TrackListEntry& e : tracks) log_printf("%s -> %s\n", e.directory.c_str(), e.title.c_str());
  // 12. The track to start with: "--track" when it names one, else "rabbithill".
  std::string wanted = gs.track.empty() ? "rabbithill" : gs.track;
  bool found = false;
  for (const TrackListEntry& e : tracks) found = found || e.directory == wanted;
  gs.track = found ? wanted : "";
  log_printf("Tracks: %d, starting track '%s'\n", (int)tracks.size(), gs.track.c_str());

  // 13. The window. Its SDL2 back end is not built yet, so the program stops
  //     here as it does when a window cannot be opened.
  log_printf("Can't open window: the window back end is not built yet\n");
  fputs("Kestrail can't open its window yet: the window back end is not built.\n", stderr);
  return 1;

  // Steps 14-23 (audio, GL, fonts, bindings, physics world, first race, the
  // main loop) and shut-down follow as their subsystems arrive.
}
