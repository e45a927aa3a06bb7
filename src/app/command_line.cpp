// command_line.cpp -- the option table and the command-line parser.
#include "app/app.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/settings.h"

bool match_option(ArgCursor& cursor, const char* name, const char** value) {
  if (cursor.end_of_options || cursor.remaining <= 0) return false;
  const char* arg = cursor.next[0];
  if (!value) {
    if (strcmp(arg, name) != 0) return false;
    cursor.remaining--;
    cursor.next++;
    return true;
  }
  if (strcmp(arg, "--") == 0) {
    cursor.end_of_options = 1;
    cursor.remaining--;
    cursor.next++;
    return false;
  }
  if (strcmp(arg, name) == 0) {
    cursor.remaining--;
    cursor.next++;
    *value = nullptr;
    if (cursor.remaining > 0) {
      *value = cursor.next[0];
      cursor.remaining--;
      cursor.next++;
    }
    return true;
  }
  size_t n = strlen(name);
  if (strncmp(arg, name, n) == 0 && arg[n] == '=') {
    *value = arg + n + 1;
    cursor.remaining--;
    cursor.next++;
    return true;
  }
  return false;
}

// ---------------------------------------------------------------- option table

namespace {

GameSettings& gs() { return game_settings(); }
StartupSettings& ss() { return startup_settings(); }

bool read_int(const char* v, int* out) { return v && sscanf(v, "%d", out) == 1; }
bool read_float(const char* v, float* out) { return v && sscanf(v, "%f", out) == 1; }

template <class T>
T clamp(T v, T lo, T hi) {
  return std::min(std::max(v, lo), hi);
}

constexpr CommandOption OPTIONS[] = {
    {"--fugly", OptionArg::None, "flat shading",
     [](const char*) { return gs().flat_shading = true; }},
    {"--nosound", OptionArg::None, "no audio output",
     [](const char*) { return ss().nosound = true; }},
    {"--novertexarrays", OptionArg::None, "draw without vertex arrays",
     [](const char*) { return gs().no_vertex_arrays = true; }},
    {"--nolearn", OptionArg::None, "robots do not save the lines they learn",
     [](const char*) { gs().learn_lines = false; return true; }},
    {"--debug", OptionArg::None, "extra log lines (debug level 1)",
     [](const char*) { gs().debug_level = 1; return true; }},
    {"--super-debug", OptionArg::None, "even more log lines (debug level 2)",
     [](const char*) { gs().debug_level = 2; return true; }},
    {"--practice", OptionArg::None, "every robot rides as a tester",
     [](const char*) { return gs().practice = true; }},
    {"--warp", OptionArg::None, "100 steps a frame; finished races restart by themselves",
     [](const char*) { return ss().warp = true; }},
    {"--texture-detail", OptionArg::Int, "texture detail for models and ground, 0..4",
     [](const char* v) {
       int n;
       if (!read_int(v, &n)) return false;
       gs().texture_detail = gs().ground_texture_detail = clamp(n, 0, 4);
       return true;
     }},
    {"--ground-texture-detail", OptionArg::Int, "ground texture detail, 0..4",
     [](const char* v) {
       int n;
       if (!read_int(v, &n)) return false;
       gs().ground_texture_detail = clamp(n, 0, 4);
       return true;
     }},
    {"--roostfrequency", OptionArg::Int, "roost particles, 0..1000",
     [](const char* v) {
       int n;
       if (!read_int(v, &n)) return false;
       gs().roost_frequency = clamp(n, 0, 1000);
       return true;
     }},
    {"--erode", OptionArg::Float, "how much roost digs the ground, 0..1",
     [](const char* v) {
       float f;
       if (!read_float(v, &f)) return false;
       gs().erode = clamp(f, 0.0f, 1.0f);
       return true;
     }},
    {"--detail", OptionArg::Float, "ground geometric detail",
     [](const char* v) { return read_float(v, &gs().ground_detail); }},
    {"--max-detail-distance", OptionArg::Float, "distance (ft) of full ground detail",
     [](const char* v) {
       float f;
       if (!read_float(v, &f)) return false;
       gs().max_detail_distance = f;
       gs().max_detail_outer = f + 5;
       return true;
     }},
    {"--lod-scale", OptionArg::Float, "model level-of-detail scale, 0.000001..1000000",
     [](const char* v) {
       float f;
       if (!read_float(v, &f)) return false;
       gs().lod_scale = clamp(f, 0.000001f, 1000000.0f);
       return true;
     }},
    {"--lod-bias", OptionArg::Float, "model level-of-detail bias",
     [](const char* v) { return read_float(v, &gs().lod_bias); }},
    {"--lock-fps", OptionArg::Float, "draw at a fixed frame rate, advancing 1/rate a frame",
     [](const char* v) { return read_float(v, &ss().lock_fps); }},
    {"--fake-lag", OptionArg::Float, "simulated network lag in ms, up to 1000",
     [](const char* v) {
       float f;
       if (!read_float(v, &f)) return false;
       gs().fake_lag = clamp(f * 0.001, 0.0, 1.0);
       return true;
     }},
    {"--fake-loss", OptionArg::Int, "simulated packet loss in percent, 0..100",
     [](const char* v) {
       int n;
       if (!read_int(v, &n)) return false;
       gs().fake_loss = clamp(n, 0, 100);
       return true;
     }},
    {"--record-audio", OptionArg::File, "record the sound output into a file",
     [](const char* v) {
       if (v) ss().record_audio_file = v;
       return true;
     }},
    {"--record-video", OptionArg::None, "write every frame to standard output as PPM",
     [](const char*) { return ss().record_video = true; }},
    {"--rotate-lineup", OptionArg::Int, "rotate the start lineup this many places",
     [](const char* v) {
       if (v) sscanf(v, "%d", &gs().rotate_lineup);
       return true;
     }},
    {"--editor", OptionArg::None, "the Tab key reaches the track editor",
     [](const char*) { return gs().editor_enabled = true; }},
    {"--hidden-pause", OptionArg::None, "no \"Paused\" text",
     [](const char*) {
       ss().show_pause_text = false;
       return true;
     }},
    {"--hidden-hud", OptionArg::None, "no HUD",
     [](const char*) {
       ss().draw_hud = false;
       return true;
     }},
    {"--bikes", OptionArg::Text, "no longer does anything",
     [](const char*) { return true; }},
    {"--width", OptionArg::Int, "window width",
     [](const char* v) {
       if (v) sscanf(v, "%d", &gs().window_width);
       return true;
     }},
    {"--height", OptionArg::Int, "window height",
     [](const char* v) {
       if (v) sscanf(v, "%d", &gs().window_height);
       return true;
     }},
    {"--depth", OptionArg::Int, "window colour depth",
     [](const char* v) {
       if (v) sscanf(v, "%d", &ss().depth);
       return true;
     }},
    {"--draw-fps", OptionArg::Int, "frame-rate display level",
     [](const char* v) {
       if (v) sscanf(v, "%d", &gs().draw_fps);
       return true;
     }},
    {"--draw-time", OptionArg::Int, "time display level",
     [](const char* v) {
       if (v) sscanf(v, "%d", &gs().draw_time);
       return true;
     }},
    {"--draw-ping", OptionArg::Int, "ping display level",
     [](const char* v) {
       if (v) sscanf(v, "%d", &gs().draw_ping);
       return true;
     }},
    {"--draw-render-stats", OptionArg::Int, "render statistics display level",
     [](const char* v) {
       if (v) sscanf(v, "%d", &gs().draw_render_stats);
       return true;
     }},
    {"--accurate-skip", OptionArg::None, "skipping in a demo simulates instead of jumping",
     [](const char*) { return gs().accurate_skip = true; }},
    {"--track", OptionArg::Name, "the track directory to load at start",
     [](const char* v) {
       if (v) gs().track = v;
       return true;
     }},
    {"--connect", OptionArg::Name, "race server address (a leading \"kestrail:\" is dropped)",
     [](const char* v) {
       if (!v) return true;
       if (strncmp(v, "kestrail:", 9) == 0) v += 9;
       gs().server_address = v;
       return true;
     }},
    {"--password", OptionArg::Text, "race server password",
     [](const char* v) {
       if (v) gs().server_password = v;
       return true;
     }},
    {"--chase-center", OptionArg::Triple, "chase camera centre x,y,z in the bike's frame (ft)",
     [](const char* v) {
       Vec3 c;
       if (!v || sscanf(v, "%f,%f,%f", &c.x, &c.y, &c.z) != 3) return false;
       ss().chase_center = c;
       return true;
     }},
    {"--open-home", OptionArg::None, "open the home folder in the file browser and exit",
     nullptr},
    {"--glfinish", OptionArg::None, "call glFinish after every frame",
     [](const char*) { return ss().glfinish = true; }},
};

constexpr int OPTION_COUNT = (int)(sizeof OPTIONS / sizeof OPTIONS[0]);

const char* arg_placeholder(OptionArg arg) {
  switch (arg) {
    case OptionArg::None: return "";
    case OptionArg::Int: return " N";
    case OptionArg::Float: return " X";
    case OptionArg::File: return " FILE";
    case OptionArg::Name: return " NAME";
    case OptionArg::Text: return " TEXT";
    case OptionArg::Triple: return " X,Y,Z";
  }
  return "";
}

// Options of our own that Linux users expect; they are not settings.
constexpr const char* HELP_OPTION = "--help";
constexpr const char* VERSION_OPTION = "--version";

}  // namespace

const CommandOption* command_options(int* count) {
  *count = OPTION_COUNT;
  return OPTIONS;
}

std::string command_line_help() {
  std::string out = "usage: kestrail [options] [demo file]\n";
  char line[256];
  for (const CommandOption& o : OPTIONS) {
    std::string left = std::string(o.name) + arg_placeholder(o.arg);
    snprintf(line, sizeof line, "  %-28s %s\n", left.c_str(), o.help);
    out += line;
  }
  snprintf(line, sizeof line, "  %-28s %s\n", HELP_OPTION, "show this list and exit");
  out += line;
  snprintf(line, sizeof line, "  %-28s %s\n", VERSION_OPTION, "show the version and exit");
  out += line;
  return out;
}

CommandLine parse_command_line(int argc, char** argv, std::string* errors) {
  CommandLine result;
  ArgCursor cursor{argc, argv, 0};
  if (cursor.remaining >= 1) {  // the program name
    cursor.remaining--;
    cursor.next++;
  }
  char message[512];
  while (cursor.remaining > 0) {
    bool matched = false;
    if (!cursor.end_of_options) {
      for (const CommandOption& o : OPTIONS) {
        const char* value = nullptr;
        bool hit = o.arg == OptionArg::None ? match_option(cursor, o.name, nullptr)
                                            : match_option(cursor, o.name, &value);
        if (!hit) {
          if (cursor.end_of_options) break;  // "--" was consumed
          continue;
        }
        matched = true;
        if (!o.apply) {  // "--open-home" ends the parse at once
          result.open_home = true;
          result.exit_code = 0;
          return result;
        }
        if (strcmp(o.name, "--bikes") == 0) *errors += "--bikes doesn't do anything anymore\n";
        if (!o.apply(value)) {
          snprintf(message, sizeof message, "Bad arg for %s\n", o.name);
          *errors += message;
          result.exit_code = 1;
          return result;
        }
        break;
      }
      if (matched) continue;
      if (cursor.remaining <= 0) break;  // "--" was the last argument
      if (!cursor.end_of_options) {
        const char* arg = cursor.next[0];
        if (strcmp(arg, HELP_OPTION) == 0) {
          result.output = command_line_help();
          result.exit_code = 0;
          return result;
        }
        if (strcmp(arg, VERSION_OPTION) == 0) {
          result.output = "Kestrail " KT_VERSION "\n";
          result.exit_code = 0;
          return result;
        }
      }
    }
    // Not an option: a file name.
    const char* arg = cursor.next[0];
    cursor.remaining--;
    cursor.next++;
    if (arg[0] == '-' && !cursor.end_of_options) {
      snprintf(message, sizeof message, "bad option '%.400s'\n", arg);
      *errors += message;
      result.exit_code = 1;
      return result;
    }
    if (!result.file.empty()) {
      *errors += "Too many files!\n";
      result.exit_code = 1;
      return result;
    }
    result.file = arg;
  }
  return result;
}

// ---------------------------------------------------------------- derived graphics settings

DerivedGraphics derive_graphics(const GraphicsSliders& v) {
  DerivedGraphics d;
  d.ground_detail = 0.125f / v.ground_geometric_detail;
  d.ground_texture_detail = (int)clamp(10 - v.ground_texture_levels, 0.0f, 10.0f);
  d.ground_texture_size = 32 << v.ground_texture_resolution;
  float s = clamp(100 - v.model_geometric_detail, 0.0f, 100.0f) * 0.02f;
  d.lod_scale = s > 1 ? s * s * s : s;
  d.lod_bias = 50 - 50 * clamp((v.model_geometric_detail - 10) * 0.05f, 0.0f, 1.0f);
  d.texture_detail = (int)clamp(10 - v.model_texture_detail, 0.0f, 10.0f);
  d.roost_frequency = (int)v.roost_density;
  return d;
}
