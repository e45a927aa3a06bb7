// lighting.cpp -- the "lighting" file: sun, ambient, sky box, lens flares
// and fog.
#include <cstring>
#include <string>

#include "data/data.h"
#include "render/image.h"
#include "track/track.h"
#include "track/track_internal.h"

namespace {

constexpr const char* SKY_KEYS[SKY_FACES] = {"sky_n", "sky_e", "sky_s", "sky_w", "sky_u"};
constexpr const char* SKY_DEFAULTS[SKY_FACES] = {"@sky-n.ppm", "@sky-e.ppm", "@sky-s.ppm", "@sky-w.ppm",
                                                 "@sky-u.ppm"};

// The flare whose elements are being collected; flare_point or
// flare_vector finishes it.
Flare g_flare;


// Runs stream_scanf over text; the result is the number of values stored.
template <class... Args>
int scan_text(const std::string& text, const char* format, Args... args) {
  Stream* m = open_memory_stream(text.data(), (int)text.size());
  if (!m) return 0;
  int n = stream_scanf(m, format, args...);
  close_stream(m);
  return n;
}

bool scan_vector(const std::string& args, Vec3& out) {
  Vec3 v;
  if (scan_text(args, " [ %f %f %f ] ", &v.x, &v.y, &v.z) != 3) return false;
  out = v;
  return true;
}

std::string trimmed(const std::string& s) {
  size_t end = s.find_last_not_of(" \t\r\n");
  return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

}  // namespace

static Lighting g_lighting;

Lighting& track_lighting() { return g_lighting; }

void lighting_reset() {
  Lighting& l = track_lighting();
  l.sun_vector = vec3_normalize(Vec3{1, 1, 1});
  l.sun_color = {1, 1, 1};
  l.ambient = {0.5f, 0.5f, 0.5f};
  l.global_ambient = {0.2f, 0.2f, 0.2f};
  for (TextureId& id : l.sky) id = 0;
  l.sky_env = 0;
  l.fog_density = 0;
  l.fog_configured = false;
  l.flares.clear();
  g_flare = Flare{};
}

bool lighting_parse(Stream* s) {
  Lighting& l = track_lighting();
  std::string line;
  while (read_line(s, line)) {
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.find_first_not_of(" \t\r", start) == std::string::npos) continue;
    size_t key_end = line.find_first_of(" \t\r", start);
    if (key_end == std::string::npos) key_end = line.size();
    std::string key = line.substr(start, key_end - start);
    std::string args = line.substr(key_end);
    int sky = -1;
    for (int i = 0; i < SKY_FACES; i++)
      if (key == SKY_KEYS[i]) sky = i;
    if (key == "sun_vector") {
      scan_vector(args, l.sun_vector);
    } else if (key == "sun_color") {
      scan_vector(args, l.sun_color);
    } else if (key == "ambient") {
      scan_vector(args, l.ambient);
    } else if (key == "global_ambient") {
      scan_vector(args, l.global_ambient);
    } else if (sky >= 0 || key == "sky_env") {
      std::string name = trimmed(args);
      size_t first = name.find_first_not_of(" \t");
      name = first == std::string::npos ? std::string() : name.substr(first);
      (sky >= 0 ? l.sky[sky] : l.sky_env) = texture_load(name.c_str());
    } else if (key == "flare_element") {
      FlareElement e;
      char texture[1024];
      if (scan_text(args, " [ %f %f ] [ %f %f %f ] %f %1023s", &e.a, &e.b, &e.color.x, &e.color.y, &e.color.z,
                    &e.size, texture) == 7 &&
          g_flare.element_count < FLARE_ELEMENTS) {
        e.texture = texture_load(texture);
        g_flare.elements[g_flare.element_count++] = e;
      }
    } else if (key == "flare_point" || key == "flare_vector") {
      if (scan_vector(args, g_flare.position)) {
        g_flare.kind = key == "flare_point" ? 0 : 1;
        l.flares.push(g_flare);
        g_flare = Flare{};
      }
    } else if (key == "fog") {
      float r, g, b, density;
      if (scan_text(args, " [ %f %f %f ] %f ", &r, &g, &b, &density) == 4) {
        l.fog_color[0] = r;
        l.fog_color[1] = g;
        l.fog_color[2] = b;
        l.fog_density = density;
      }
    } else {
      std::string rest = trimmed(line.substr(start));
      track_post("Error reading lighting: Unknown identifier '%.950s'\n", rest.c_str());
      return false;
    }
  }
  return true;
}

void lighting_finish() {
  Lighting& l = track_lighting();
  l.sun_vector = vec3_normalize(l.sun_vector);
  for (int i = 0; i < SKY_FACES; i++)
    if (!l.sky[i]) l.sky[i] = texture_load(SKY_DEFAULTS[i]);
  if (!l.sky_env) l.sky_env = texture_load("@sky-env.ppm");
  // The scene turns these into exponential GL fog.
  l.fog_configured = true;
}
