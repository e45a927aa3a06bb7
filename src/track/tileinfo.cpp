// tileinfo.cpp -- the ground tile definitions: "tileinfo" keyword files with
// surface curves and roost parameters, and the older "texturelist".
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/common.h"
#include "data/data.h"
#include "render/image.h"
#include "track/terrain.h"
#include "track/track_internal.h"

namespace {

// A tile being built from tileinfo lines; "addtile" stores it.
struct TileBuild {
  TextureId texture = 0;
  std::string name;
  int friction_count = 0, roll_count = 0, roost_count = 0;
  Surface surface;
};

RoostType default_roost() {
  RoostType r;
  r.texture = texture_load("@roost.png");
  return r;
}

// Points not given hold these values at speed 0 (the end of the list).
void surface_defaults(Surface& s, const RoostType& roost) {
  for (int i = 0; i < SURFACE_POINTS; i++) {
    s.friction_value[i] = 1.0f;
    s.friction_speed[i] = 0;
    s.roll_value[i][0] = 5.0f;
    s.roll_value[i][1] = 15.0f;
    s.roll_speed[i] = 0;
  }
  s.friction_speed[0] = 1.0f;
  s.roll_speed[0] = 1.0f;
  for (RoostType& r : s.roost) r = roost;
}


// The file name without directories and without a leading "@".
std::string remembered_name(const std::string& texture) {
  std::string n = !texture.empty() && texture[0] == '@' ? texture.substr(1) : texture;
  size_t slash = n.rfind('/');
  return slash == std::string::npos ? n : n.substr(slash + 1);
}

// Reads up to count floats from text with the stream reader's number rules.
int scan_floats(const std::string& text, const char* format, float* a, float* b, float* c) {
  Stream* m = open_memory_stream(text.data(), (int)text.size());
  if (!m) return 0;
  int n = c ? stream_scanf(m, format, a, b, c) : stream_scanf(m, format, a, b);
  close_stream(m);
  return n;
}

void store_tile(Terrain& t, TileBuild& b) {
  int index = t.tile_count;
  Surface& s = b.surface;
  // Only the given points are sorted: empty ones (speed 0) must stay at the end.
  int order[SURFACE_POINTS];
  auto sort_points = [&](int count, const float* speed) {
    for (int i = 0; i < SURFACE_POINTS; i++) order[i] = i;
    std::stable_sort(order, order + count, [&](int x, int y) { return speed[x] < speed[y]; });
  };
  Surface sorted = s;
  sort_points(b.friction_count, s.friction_speed);
  for (int i = 0; i < b.friction_count; i++) {
    sorted.friction_value[i] = s.friction_value[order[i]];
    sorted.friction_speed[i] = s.friction_speed[order[i]];
  }
  sort_points(b.roll_count, s.roll_speed);
  for (int i = 0; i < b.roll_count; i++) {
    sorted.roll_value[i][0] = s.roll_value[order[i]][0];
    sorted.roll_value[i][1] = s.roll_value[order[i]][1];
    sorted.roll_speed[i] = s.roll_speed[order[i]];
  }
  t.tile_textures[index] = b.texture;
  t.surfaces[index] = sorted;
  t.tile_names[index] = remembered_name(b.name);
  t.tile_count++;
}

// ---------------------------------------------------------------- roost parameters

enum class RoostField { Texture, Splash, Float, Colour, Fade };

struct RoostParameter {
  const char* prefix;
  RoostField field;
  float RoostType::*number;
  uint8_t RoostType::*colour;
  int8_t RoostType::*fade;
};

constexpr RoostParameter ROOST_PARAMETERS[] = {
    {"texture=", RoostField::Texture, nullptr, nullptr, nullptr},
    {"splash=", RoostField::Splash, nullptr, nullptr, nullptr},
    {"count=", RoostField::Float, &RoostType::count, nullptr, nullptr},
    {"dig=", RoostField::Float, &RoostType::dig, nullptr, nullptr},
    {"slip_threshold=", RoostField::Float, &RoostType::slip_threshold, nullptr, nullptr},
    {"slow_angle=", RoostField::Float, &RoostType::slow_angle, nullptr, nullptr},
    {"fast_angle=", RoostField::Float, &RoostType::fast_angle, nullptr, nullptr},
    {"slow_speed=", RoostField::Float, &RoostType::slow_speed, nullptr, nullptr},
    {"fast_speed=", RoostField::Float, &RoostType::fast_speed, nullptr, nullptr},
    {"size=", RoostField::Float, &RoostType::size, nullptr, nullptr},
    {"grow=", RoostField::Float, &RoostType::grow, nullptr, nullptr},
    {"drag=", RoostField::Float, &RoostType::drag, nullptr, nullptr},
    {"vscale=", RoostField::Float, &RoostType::vscale, nullptr, nullptr},
    {"randomize=", RoostField::Float, &RoostType::randomize, nullptr, nullptr},
    {"r=", RoostField::Colour, nullptr, &RoostType::r, nullptr},
    {"g=", RoostField::Colour, nullptr, &RoostType::g, nullptr},
    {"b=", RoostField::Colour, nullptr, &RoostType::b, nullptr},
    {"a=", RoostField::Colour, nullptr, &RoostType::a, nullptr},
    {"fade_r=", RoostField::Fade, nullptr, nullptr, &RoostType::fade_r},
    {"fade_g=", RoostField::Fade, nullptr, nullptr, &RoostType::fade_g},
    {"fade_b=", RoostField::Fade, nullptr, nullptr, &RoostType::fade_b},
    {"fade_a=", RoostField::Fade, nullptr, nullptr, &RoostType::fade_a},
};

// The low 8 bits of v truncated toward zero, for any v (huge and NaN included).
int low_byte(double v) {
  if (!std::isfinite(v)) return 0;
  return (int)std::fmod(std::trunc(v), 256.0) & 255;
}

void apply_roost_word(RoostType& r, const std::string& word) {
  for (const RoostParameter& p : ROOST_PARAMETERS) {
    size_t n = strlen(p.prefix);
    if (word.compare(0, n, p.prefix) != 0) continue;
    const char* text = word.c_str() + n;
    if (p.field == RoostField::Texture) {
      r.texture = texture_load(text);
      return;
    }
    char* end = nullptr;
    double v = strtod(text, &end);
    bool read = end != text;
    if (!read) v = 0;
    std::string name(p.prefix, n - 1);
    switch (p.field) {
      case RoostField::Splash:
        if (v != 0) r.kind = ROOST_SPLASH;
        return;
      case RoostField::Float:
        r.*p.number = (float)v;
        break;
      case RoostField::Colour:
        r.*p.colour = (uint8_t)low_byte(v);
        break;
      case RoostField::Fade:
        // Given per second, stored per simulation step.
        r.*p.fade = (int8_t)(uint8_t)low_byte(v * SIM_STEP);
        break;
      case RoostField::Texture:
        break;
    }
    if (!read) track_post("tileinfo warning: bad %s\n", name.c_str());
    return;
  }
  track_post("tileinfo warning: unknown roost parameter '%.40s'\n", word.c_str());
}

}  // namespace

bool read_line(Stream* s, std::string& line) {
  line.clear();
  int c = stream_getc(s);
  if (c < 0) return false;
  while (c >= 0 && c != '\n') {
    line += (char)c;
    c = stream_getc(s);
  }
  return true;
}

void roost_parameters_parse(RoostType& r, const char* text) {
  r.kind = ROOST_DIRT;
  std::string word;
  bool in_word = false, quoted = false;
  for (const char* p = text;; p++) {
    char c = *p;
    bool separator = c == 0 || (!quoted && strchr(" \f\n\r\t\b", c) != nullptr);
    if (separator) {
      if (in_word) apply_roost_word(r, word);
      word.clear();
      in_word = false;
      if (c == 0) break;
      continue;
    }
    in_word = true;
    if (c == '"') {
      quoted = !quoted;  // the quotes go, the stretch between them stays in the word
    } else {
      word += c;
    }
  }
}

// ---------------------------------------------------------------- tileinfo

void tileinfo_parse(Terrain& t, Stream* s) {
  RoostType roost = default_roost();
  TileBuild build;
  surface_defaults(build.surface, roost);
  std::string line;
  while (t.tile_count < TILE_LIMIT && read_line(s, line)) {
    size_t start = line.find_first_not_of(" \t\r\n");
    if (start == std::string::npos) continue;
    size_t key_end = line.find_first_of(" \t\r\n", start);
    if (key_end == std::string::npos) key_end = line.size();
    std::string key = line.substr(start, key_end - start);
    size_t arg_start = line.find_first_not_of(" \t", key_end);
    if (arg_start == std::string::npos) arg_start = line.size();
    size_t arg_end = line.find_first_of("\r\n", arg_start);
    if (arg_end == std::string::npos) arg_end = line.size();
    std::string args = line.substr(arg_start, arg_end - arg_start);

    Surface& surface = build.surface;
    if (key == "texture") {
      build.texture = texture_load(args.c_str());
      build.name = args;
    } else if (key == "friction") {
      float value, speed;
      if (scan_floats(args, "%f %f", &value, &speed, nullptr) != 2) {
        track_post("tileinfo warning: bad friction parameters\n");
      } else if (build.friction_count == SURFACE_POINTS) {
        track_post("tileinfo warning: too many friction points\n");
      } else {
        int i = build.friction_count++;
        surface.friction_value[i] = std::fmax(value, 0.0f);
        surface.friction_speed[i] = std::fmax(speed, 9.5367432e-7f);
      }
    } else if (key == "roll_resist") {
      float a, b, speed;
      if (scan_floats(args, "%f %f %f", &a, &b, &speed) != 3) {
        track_post("tileinfo warning: bad roll_resist parameters\n");
      } else if (build.roll_count == SURFACE_POINTS) {
        track_post("tileinfo warning: too many roll_resist points\n");
      } else {
        int i = build.roll_count++;
        surface.roll_value[i][0] = std::fmax(a, 0.0f);
        surface.roll_value[i][1] = std::fmax(b, 0.0f);
        surface.roll_speed[i] = std::fmax(speed, 9.5367432e-7f);
      }
    } else if (key == "roost") {
      if (build.roost_count == ROOST_TYPES) {
        track_post("tileinfo warning: too many roost types\n");
      } else {
        roost_parameters_parse(surface.roost[build.roost_count++], args.c_str());
      }
    } else if (key == "addtile") {
      store_tile(t, build);
      build = TileBuild{};
      surface_defaults(build.surface, roost);
    } else {
      track_post("tileinfo warning: Unknown identifier '%.950s'\n", key.c_str());
    }
  }
}

// ---------------------------------------------------------------- texturelist

void texturelist_parse(Terrain& t, Stream* s) {
  RoostType roost = default_roost();
  std::string line;
  while (t.tile_count < TILE_LIMIT && read_line(s, line)) {
    size_t start = line.find_first_not_of(" \t\r\n\f\v");
    if (start == std::string::npos) continue;
    std::string text = line.substr(start);
    // A line ending "\r\n" would otherwise keep the "\r" in the file name.
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
    float friction = 1.0f, roll_a = 5.0f, roll_b = 15.0f;
    int consumed = 0;
    std::string name = text;
    Stream* m = open_memory_stream(text.data(), (int)text.size());
    if (m) {
      float f, a, b;
      if (stream_scanf(m, "%f %f %f %n", &f, &a, &b, &consumed) == 3) {
        friction = f;
        roll_a = a;
        roll_b = b;
        // No count stored means the numbers ran to the end of the line.
        name = consumed > 0 ? text.substr(std::min((size_t)consumed, text.size())) : std::string();
      }
      close_stream(m);
    }
    TileBuild build;
    surface_defaults(build.surface, roost);
    build.surface.friction_value[0] = friction;
    build.surface.roll_value[0][0] = roll_a;
    build.surface.roll_value[0][1] = roll_b;
    build.surface.roost[0].kind = ROOST_DIRT;
    std::string texture = "@" + name;
    build.texture = texture_load(texture.c_str());
    build.name = texture;
    store_tile(t, build);
  }
}
