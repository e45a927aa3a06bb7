// startup.cpp -- the program's entry: start-up in its fixed order, the main
// loop, and shut-down in the reverse order.
#include "app/app.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "common/settings.h"
#include "data/data.h"
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

}  // namespace

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
  // 11. Track, demo and series lists: data layer, demos, series.
  // 12. The "Track" menu item: menus.

  // 13. The window. Its SDL2 back end is not built yet, so the program stops
  //     here as it does when a window cannot be opened.
  log_printf("Can't open window: the window back end is not built yet\n");
  fputs("Kestrail can't open its window yet: the window back end is not built.\n", stderr);
  return 1;

  // Steps 14-23 (audio, GL, fonts, bindings, physics world, first race, the
  // main loop) and shut-down follow as their subsystems arrive.
}
