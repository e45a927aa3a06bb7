// course.cpp -- turns a track table into ground: the centre line, the
// obstacles along it, berms and cambers, the height field, tiles, baked
// light and the objects beside the course.
#include "course.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "art.h"

namespace {

constexpr float PI = 3.14159265f;
constexpr float GRAVITY = 32;   // ft/s^2

float smoothstep01(float t) {
  t = std::clamp(t, 0.0f, 1.0f);
  return t * t * (3 - 2 * t);
}

float deg(float d) { return d * PI / 180; }

// The ground away from the course: broad rolling hills and a smaller ripple.
float hill_height(const TrackDesc& d, float x, float z) {
  if (d.hill_height <= 0) return d.base_height;
  float broad = fbm(x / 520, z / 520, d.seed, 3) - 0.5f;
  float ripple = fbm(x / 130, z / 130, d.seed + 7, 2) - 0.5f;
  return d.base_height + d.hill_height * (2 * broad) + d.hill_height * 0.25f * ripple;
}

// ---------------------------------------------------------------- centre line

struct Polyline {
  std::vector<float> x, z, s;  // dense points and their arc length
  std::vector<float> point_s;  // arc length at each control point
};

// Centripetal Catmull-Rom through the closed list of points: smooth, and
// never looping past a control point.
Polyline centre_line(const std::vector<CoursePoint>& pts) {
  Polyline line;
  int n = (int)pts.size();
  const int STEPS = 200;
  float s = 0;
  for (int k = 0; k < n; k++) {
    const CoursePoint& p0 = pts[(k + n - 1) % n];
    const CoursePoint& p1 = pts[k];
    const CoursePoint& p2 = pts[(k + 1) % n];
    const CoursePoint& p3 = pts[(k + 2) % n];
    auto knot = [](const CoursePoint& a, const CoursePoint& b) {
      return std::sqrt(std::hypot(b.x - a.x, b.z - a.z));
    };
    float t0 = 0, t1 = t0 + knot(p0, p1), t2 = t1 + knot(p1, p2), t3 = t2 + knot(p2, p3);
    line.point_s.push_back(s);
    for (int i = 0; i < STEPS; i++) {
      float t = t1 + (t2 - t1) * (float)i / STEPS;
      auto lerp = [](float a, float b, float ta, float tb, float tt) {
        return (tb - tt) / (tb - ta) * a + (tt - ta) / (tb - ta) * b;
      };
      float a1x = lerp(p0.x, p1.x, t0, t1, t), a1z = lerp(p0.z, p1.z, t0, t1, t);
      float a2x = lerp(p1.x, p2.x, t1, t2, t), a2z = lerp(p1.z, p2.z, t1, t2, t);
      float a3x = lerp(p2.x, p3.x, t2, t3, t), a3z = lerp(p2.z, p3.z, t2, t3, t);
      float b1x = lerp(a1x, a2x, t0, t2, t), b1z = lerp(a1z, a2z, t0, t2, t);
      float b2x = lerp(a2x, a3x, t1, t3, t), b2z = lerp(a2z, a3z, t1, t3, t);
      float x = lerp(b1x, b2x, t1, t2, t), z = lerp(b1z, b2z, t1, t2, t);
      if (!line.x.empty()) s += std::hypot(x - line.x.back(), z - line.z.back());
      line.x.push_back(x);
      line.z.push_back(z);
      line.s.push_back(s);
    }
  }
  s += std::hypot(line.x.front() - line.x.back(), line.z.front() - line.z.back());
  line.s.push_back(s);  // closing length
  line.x.push_back(line.x.front());
  line.z.push_back(line.z.front());
  return line;
}

// Index of the control point whose arc position is nearest s (around the loop).
int nearest_point(const Polyline& line, float s, float length) {
  int best = 0;
  float best_d = 1e30f;
  for (int k = 0; k < (int)line.point_s.size(); k++) {
    float d = std::fabs(line.point_s[(size_t)k] - s);
    d = std::min(d, length - d);
    if (d < best_d) {
      best_d = d;
      best = k;
    }
  }
  return best;
}

// Circular moving average over +-half samples, applied twice (a tent).
void smooth_loop(std::vector<float>& v, int half) {
  int n = (int)v.size();
  for (int pass = 0; pass < 2; pass++) {
    std::vector<double> prefix((size_t)n * 3 + 1, 0);
    for (int i = 0; i < n * 3; i++) prefix[(size_t)i + 1] = prefix[(size_t)i] + v[(size_t)(i % n)];
    std::vector<float> out((size_t)n);
    for (int i = 0; i < n; i++) {
      int a = i + n - half, b = i + n + half + 1;
      out[(size_t)i] = (float)((prefix[(size_t)b] - prefix[(size_t)a]) / (b - a));
    }
    v = out;
  }
}

// ---------------------------------------------------------------- obstacles

// Adds the obstacle's height profile to the course samples from s0 on.
void add_obstacle(std::vector<CourseSample>& c, float s0, const Obstacle& o, JumpReport* report) {
  int n = (int)c.size();
  auto add = [&](float s, float h, bool face) {
    int i = ((int)std::lround(s) % n + n) % n;
    c[(size_t)i].obstacle += h;
    c[(size_t)i].jump_face = c[(size_t)i].jump_face || face;
  };
  float H = o.height;
  float face_len = H / std::tan(deg(o.face_deg));
  float land_len = H / std::tan(deg(o.land_deg));
  const float BACK = 40;  // degrees of the steep backs of mounds over a gap
  float back_len = H / std::tan(deg(BACK));
  report->height = H;
  report->climb = H;
  report->drop = 0;
  report->face_deg = o.face_deg;
  report->land_deg = o.land_deg;
  report->gap = o.gap;
  switch (o.kind) {
    case ObstacleKind::Tabletop: {
      float total = face_len + o.top + land_len;
      for (float s = 0; s <= total; s += 1) {
        float h = s < face_len ? H * s / face_len : s < face_len + o.top ? H : H * (total - s) / land_len;
        add(s0 + s, h, s < face_len || s > face_len + o.top);
      }
      report->gap = o.top;
      break;
    }
    case ObstacleKind::Double:
    case ObstacleKind::Triple: {
      // Take-off mound, (for a triple) a middle mound, then the landing mound;
      // gap runs from the take-off lip to the landing crest.
      float lip = face_len;
      float crest = lip + o.gap;
      float total = crest + land_len;
      float middle = (lip + crest) / 2;
      for (float s = 0; s <= total; s += 1) {
        float h = 0;
        if (s <= lip) h = H * s / face_len;
        else h = std::max(0.0f, H - (s - lip) / back_len * H);
        h = std::max(h, std::max(0.0f, H - (crest - s) / back_len * H) * (s <= crest ? 1.0f : 0.0f));
        if (s > crest) h = H * (total - s) / land_len;
        if (o.kind == ObstacleKind::Triple) {
          float m = std::max(0.0f, H - std::fabs(s - middle) / back_len * H);
          h = std::max(h, m);
        }
        add(s0 + s, h, true);
      }
      break;
    }
    case ObstacleKind::StepUp: {
      // A face up to a lip at 0.6 H, a gap, then a wall up to a plateau at H
      // that the rider lands on, and a gentle ramp back down.
      float lip_h = 0.6f * H;
      float lip = lip_h / std::tan(deg(o.face_deg));
      float crest = lip + o.gap;
      float ramp = H / std::tan(deg(10));
      float total = crest + o.top + ramp;
      for (float s = 0; s <= total; s += 1) {
        float h;
        if (s <= lip) h = lip_h * s / lip;
        else if (s < crest) h = std::max({0.0f, lip_h - (s - lip) / back_len * lip_h, H - (crest - s) / back_len * H});
        else if (s < crest + o.top) h = H;
        else h = H * (total - s) / ramp;
        add(s0 + s, h, s < crest + 2);
      }
      report->climb = lip_h;
      report->drop = lip_h - H;  // the landing stands above the lip
      break;
    }
    case ObstacleKind::StepDown: {
      // A gentle ramp up to a plateau H, a short kicker at its edge, then a
      // long landing down to the ground.
      float ramp = H / std::tan(deg(8));
      float kick = 1.0f;
      float kick_len = kick / std::tan(deg(o.face_deg));
      float lip = ramp + o.top + kick_len;
      float total = lip + o.gap + (H + kick) / std::tan(deg(o.land_deg));
      for (float s = 0; s <= total; s += 1) {
        float h;
        if (s < ramp) h = H * s / ramp;
        else if (s < ramp + o.top) h = H;
        else if (s <= lip) h = H + kick * (s - ramp - o.top) / kick_len;
        else h = std::max(0.0f, std::min(H + kick - (s - lip) / back_len * (H + kick),
                                         (H + kick) * (total - s) / (total - lip - o.gap)));
        add(s0 + s, h, s > ramp + o.top - 1);
      }
      report->climb = H + kick;
      report->drop = (H + kick) * 0.5f;  // landing half way down its face
      break;
    }
    case ObstacleKind::Whoops:
    case ObstacleKind::Rhythm:
    case ObstacleKind::Roller: {
      float total = o.gap * (float)o.count;
      for (float s = 0; s <= total; s += 1) {
        float h = H * 0.5f * (1 - std::cos(2 * PI * s / o.gap));
        add(s0 + s, h, o.kind != ObstacleKind::Roller);
      }
      break;
    }
    case ObstacleKind::Splash: {
      for (float s = 0; s <= o.gap; s += 1) {
        float t = s / o.gap;
        add(s0 + s, -H * std::sin(PI * t) * std::min(1.0f, 3 * std::sin(PI * t)), false);
        int i = ((int)std::lround(s0 + s) % (int)c.size() + (int)c.size()) % (int)c.size();
        c[(size_t)i].surface = 4;
      }
      break;
    }
  }
}

const char* obstacle_name(ObstacleKind k) {
  switch (k) {
    case ObstacleKind::Tabletop: return "tabletop";
    case ObstacleKind::Double: return "double";
    case ObstacleKind::Triple: return "triple";
    case ObstacleKind::StepUp: return "step-up";
    case ObstacleKind::StepDown: return "step-down";
    case ObstacleKind::Whoops: return "whoops";
    case ObstacleKind::Rhythm: return "rhythm";
    case ObstacleKind::Splash: return "splash";
    case ObstacleKind::Roller: return "roller";
  }
  return "?";
}

bool is_jump(ObstacleKind k) {
  return k == ObstacleKind::Tabletop || k == ObstacleKind::Double || k == ObstacleKind::Triple ||
         k == ObstacleKind::StepUp || k == ObstacleKind::StepDown;
}

// Speed at the lip from the run-up since the last tight corner: the corner's
// exit speed, then full-throttle acceleration of a 250 (about 11 ft/s^2)
// capped near its top speed in the gears a track allows, less the climb.
float takeoff_speed(const std::vector<CourseSample>& c, float s_start, float height) {
  int n = (int)c.size();
  float run = 0, corner_radius = 200;
  for (int back = 1; back < n; back++) {
    const CourseSample& p = c[(size_t)(((int)s_start - back) % n + n) % n];
    if (std::fabs(p.curvature) > 1.0f / 100) {
      corner_radius = 1 / std::fabs(p.curvature);
      break;
    }
    run += 1;
  }
  float v_exit = std::min(std::sqrt(0.8f * GRAVITY * corner_radius), 40.0f);
  float v2 = std::min(v_exit * v_exit + 2 * 11 * run, 80.0f * 80.0f);
  return std::sqrt(std::max(0.0f, v2 - 2 * GRAVITY * height));
}

// Horizontal distance at which a rider leaving at v, angle a, comes down to
// drop feet below the lip (negative drop: a landing higher than the lip).
float flight_range(float v, float angle, float drop) {
  float vx = v * std::cos(angle), vy = v * std::sin(angle);
  float disc = vy * vy + 2 * GRAVITY * drop;
  if (disc < 0) return 0;
  float t = (vy + std::sqrt(disc)) / GRAVITY;
  return vx * t;
}

// ---------------------------------------------------------------- height field

struct Nearest {
  std::vector<float> d2;  // squared distance to the nearest course sample
  std::vector<int> index;
};

Nearest nearest_course(const GeneratedTrack& t, const std::vector<CourseSample>& c, float shoulder) {
  int p = t.samples;
  Nearest near;
  float max_reach = 0;
  for (const CourseSample& s : c) max_reach = std::max(max_reach, s.width / 2 + shoulder + 8);
  near.d2.assign((size_t)p * p, max_reach * max_reach);
  near.index.assign((size_t)p * p, -1);
  for (int i = 0; i < (int)c.size(); i++) {
    const CourseSample& s = c[(size_t)i];
    float reach = s.width / 2 + shoulder + 8;
    int c0 = std::max(0, (int)std::floor((s.x - reach) / t.cell));
    int c1 = std::min(p - 1, (int)std::ceil((s.x + reach) / t.cell));
    int r0 = std::max(0, (int)std::floor((s.z - reach) / t.cell));
    int r1 = std::min(p - 1, (int)std::ceil((s.z + reach) / t.cell));
    for (int r = r0; r <= r1; r++)
      for (int col = c0; col <= c1; col++) {
        float dx = col * t.cell - s.x, dz = r * t.cell - s.z;
        float d2 = dx * dx + dz * dz;
        size_t k = (size_t)r * p + col;
        if (d2 < near.d2[k] && d2 <= reach * reach) {
          near.d2[k] = d2;
          near.index[k] = i;
        }
      }
  }
  return near;
}

// Height of the course surface at lateral offset u (ft, positive to the
// right of the direction of travel; right of (tx, tz) is (-tz, tx)).
float course_surface(const CourseSample& s, float u) {
  float h = s.centre_height + s.obstacle;
  // Curvature is positive turning right, whose outside is to the left.
  float out = s.curvature >= 0 ? -u : u;
  if (s.bank > 0) {
    // A berm: the outer half rises from the centre line, so the line itself
    // keeps its grade however the corner tightens, and a lip stands beyond
    // the edge.
    float edge = s.width / 2;
    float rise = std::max(0.0f, std::min(out, edge + 4));
    h += s.bank * rise;
  } else if (s.bank < 0) {
    h += s.bank * std::clamp(out, -s.width / 2 - 4, s.width / 2 + 4);
  }
  return h;
}

void build_heights(GeneratedTrack& t, const TrackDesc& d, const Nearest& near) {
  int p = t.samples;
  float shoulder = d.shoulder;
  t.heights.resize((size_t)p * p);
  for (int r = 0; r < p; r++)
    for (int col = 0; col < p; col++) {
      size_t k = (size_t)r * p + col;
      float x = col * t.cell, z = r * t.cell;
      float ground = hill_height(d, x, z);
      int i = near.index[k];
      if (i < 0) {
        t.heights[k] = ground;
        continue;
      }
      const CourseSample& s = t.course[(size_t)i];
      float dx = x - s.x, dz = z - s.z;
      float u = -dx * s.tz + dz * s.tx;  // positive to the right of travel
      float dist = std::fabs(u);
      float half = s.width / 2;
      if (dist <= half) {
        t.heights[k] = course_surface(s, u);
      } else {
        float edge = course_surface(s, u > 0 ? half : -half);
        if (s.bank > 0) edge = std::max(edge, course_surface(s, u > 0 ? std::min(u, half + 4) : std::max(u, -half - 4)));
        float blend = smoothstep01((dist - half) / shoulder);
        t.heights[k] = edge + (ground - edge) * blend;
      }
    }
}

// ---------------------------------------------------------------- tiles

// Kinds in Surfaces order; tile names come from the track's surfaces.
enum Kind { K_TRACK, K_CORNER, K_START, K_OFF, K_SPLASH, KIND_COUNT };

const char* kind_name(const Surfaces& s, int k) {
  switch (k) {
    case K_TRACK: return s.track;
    case K_CORNER: return s.corner;
    case K_START: return s.start;
    case K_OFF: return s.off_track;
    default: return s.splash;
  }
}

void build_tiles(GeneratedTrack& t, const TrackDesc& d, const Nearest& near) {
  int o = t.tiles, p = t.samples;
  // Kind at each tile corner (every second sample).
  std::vector<int> corner((size_t)(o + 1) * (o + 1), K_OFF);
  for (int j = 0; j <= o; j++)
    for (int i = 0; i <= o; i++) {
      size_t k = (size_t)(2 * j) * p + 2 * i;
      int ci = near.index[k];
      if (ci < 0) continue;
      const CourseSample& s = t.course[(size_t)ci];
      float dx = 2 * i * t.cell - s.x, dz = 2 * j * t.cell - s.z;
      float u = dx * -s.tz + dz * s.tx;
      if (std::fabs(u) <= s.width / 2 + 1) corner[(size_t)j * (o + 1) + i] = s.surface;
    }
  // Base tiles first, in kind order, then transitions as they are needed.
  std::vector<std::string> names;
  std::vector<int> base_of_kind(KIND_COUNT);
  for (int k = 0; k < KIND_COUNT; k++) {
    std::string n = kind_name(d.surfaces, k);
    auto it = std::find(names.begin(), names.end(), n);
    base_of_kind[(size_t)k] = (int)(it - names.begin());
    if (it == names.end()) names.push_back(n);
  }
  t.tile_kind.resize((size_t)o * o);
  for (int j = 0; j < o; j++)
    for (int i = 0; i < o; i++) {
      // Corners in bit order: low x low z (8), high x low z (4), low x high z (2), high x high z (1).
      int c[4] = {corner[(size_t)j * (o + 1) + i], corner[(size_t)j * (o + 1) + i + 1],
                  corner[(size_t)(j + 1) * (o + 1) + i], corner[(size_t)(j + 1) * (o + 1) + i + 1]};
      std::string tile[4];
      for (int q = 0; q < 4; q++) tile[q] = names[(size_t)base_of_kind[(size_t)c[q]]];
      std::string a = tile[0], b;
      for (int q = 1; q < 4; q++)
        if (tile[q] != a) b = tile[q];
      std::string chosen = a;
      if (!b.empty()) {
        // Two tiles meet here; a third kind, if any, shows as the first.
        std::string lo = std::min(a, b), hi = std::max(a, b);
        char bits[5] = "0000";
        for (int q = 0; q < 4; q++) bits[q] = tile[q] == hi ? '1' : '0';
        chosen = lo + "-" + hi + "-" + bits;
      }
      auto it = std::find(names.begin(), names.end(), chosen);
      if (it == names.end()) {
        names.push_back(chosen);
        it = names.end() - 1;
      }
      t.tile_kind[(size_t)j * o + i] = (uint8_t)(it - names.begin());
    }
  // Every corner pattern of each pair of tiles that meet, so the editor can
  // paint any boundary between them.
  std::vector<std::string> pairs;
  for (const std::string& name : names) {
    size_t dash = name.rfind('-');
    if (name.find('-') != dash && dash != std::string::npos) {
      std::string pair = name.substr(0, dash);
      if (std::find(pairs.begin(), pairs.end(), pair) == pairs.end()) pairs.push_back(pair);
    }
  }
  for (const std::string& pair : pairs)
    for (int bits = 1; bits < 15; bits++) {
      char code[5];
      for (int q = 0; q < 4; q++) code[q] = (bits >> (3 - q) & 1) ? '1' : '0';
      code[4] = '\0';
      std::string name = pair + "-" + code;
      if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
  t.tile_names = names;
}

// ---------------------------------------------------------------- light

void bake_light(GeneratedTrack& t, const TrackDesc& d) {
  int p = t.samples;
  // The same sun the lighting file names.
  float sun[3] = {0.55f, 0.75f, 0.37f};
  float sun_colour[3] = {0.78f, 0.74f, 0.66f};
  float ambient[3] = {0.42f, 0.45f, 0.52f};
  if (d.stadium) {
    sun[0] = 0.2f, sun[1] = 0.95f, sun[2] = 0.24f;
    sun_colour[0] = 0.7f, sun_colour[1] = 0.7f, sun_colour[2] = 0.72f;
    ambient[0] = 0.5f, ambient[1] = 0.5f, ambient[2] = 0.55f;
  }
  float len = std::sqrt(sun[0] * sun[0] + sun[1] * sun[1] + sun[2] * sun[2]);
  for (float& v : sun) v /= len;
  auto h = [&](int c, int r) {
    c = std::clamp(c, 0, p - 1);
    r = std::clamp(r, 0, p - 1);
    return t.heights[(size_t)r * p + c];
  };
  t.shading.resize((size_t)p * p * 3);
  t.light.resize((size_t)p * p);
  float horizontal = std::sqrt(sun[0] * sun[0] + sun[2] * sun[2]);
  float rise = sun[1] / horizontal;  // ft up per ft toward the sun
  float top = *std::max_element(t.heights.begin(), t.heights.end());
  for (int r = 0; r < p; r++)
    for (int c = 0; c < p; c++) {
      float nx = -(h(c + 1, r) - h(c - 1, r)) / (2 * t.cell);
      float nz = -(h(c, r + 1) - h(c, r - 1)) / (2 * t.cell);
      float nl = std::sqrt(nx * nx + 1 + nz * nz);
      float diffuse = std::max(0.0f, (nx * sun[0] + sun[1] + nz * sun[2]) / nl);
      // Shadow: march toward the sun until the ray clears everything.
      float h0 = h(c, r) + 0.3f;
      bool shadowed = false;
      float step = t.cell;
      for (float dist = step; dist < 600 && !shadowed; dist += step) {
        float x = c * t.cell + sun[0] / horizontal * dist, z = r * t.cell + sun[2] / horizontal * dist;
        if (x < 0 || z < 0 || x > t.extent || z > t.extent) break;
        float ground = generated_height(t, x, z);
        if (ground > h0 + rise * dist) shadowed = true;
        if (h0 + rise * dist > top) break;  // above everything
        if (dist > 40) step = 2 * t.cell;
      }
      // Ambient occlusion: how much of the sky the hollows and berms hide.
      float occlusion = 0;
      for (int a = 0; a < 8; a++) {
        float ax = std::cos(a * PI / 4), az = std::sin(a * PI / 4);
        float steepest = 0;
        for (float dist = 2 * t.cell; dist <= 48; dist *= 1.6f) {
          float dh = generated_height(t, c * t.cell + ax * dist, r * t.cell + az * dist) - h(c, r);
          steepest = std::max(steepest, dh / dist);
        }
        occlusion += steepest / std::sqrt(1 + steepest * steepest);  // sine of the horizon
      }
      float sky = 1 - 0.7f * occlusion / 8;
      uint8_t lit = shadowed ? 70 : 255;
      t.light[(size_t)r * p + c] = lit;
      float direct = diffuse * (lit / 255.0f);
      for (int k = 0; k < 3; k++) {
        float v = (sun_colour[k] * direct + ambient[k] * sky) * 0.5f * 255;
        t.shading[((size_t)r * p + c) * 3 + k] = (uint8_t)std::clamp((int)v, 0, 255);
      }
    }
}

}  // namespace

// ---------------------------------------------------------------- queries

float generated_height(const GeneratedTrack& t, float x, float z) {
  // The same split of each cell into two triangles as the game's ground.
  float fx = x / t.cell, fz = z / t.cell;
  int ix = (int)std::floor(fx), iz = (int)std::floor(fz);
  float u = fx - ix, v = fz - iz;
  int bc = ix, oc = ix + 1, br = iz, orow = iz + 1;
  if (((ix + iz) & 1) == 0) {
    bc = ix + 1;
    oc = ix;
    u = 1 - u;
  }
  if (u + v > 1) {
    u = 1 - u;
    v = 1 - v;
    std::swap(bc, oc);
    std::swap(br, orow);
  }
  auto at = [&](int c, int r) {
    c = std::clamp(c, 0, t.samples - 1);
    r = std::clamp(r, 0, t.samples - 1);
    return t.heights[(size_t)r * t.samples + c];
  };
  float h0 = at(bc, br), h1 = at(oc, br), h2 = at(bc, orow);
  return h0 + (h1 - h0) * u + (h2 - h0) * v;
}

// ---------------------------------------------------------------- objects

namespace {

// A statue's angle so that its model x axis runs along (dx, dz).
float angle_along(float dx, float dz) { return std::atan2(-dz, dx); }

void line_the_course(GeneratedTrack& t, const TrackDesc& d) {
  const char* model = "@haybale";
  float spacing = 5.5f, inset = 3;
  if (d.lining == Lining::TuffBlocks) {
    model = "@tuffblock";
    spacing = 10.5f;
    inset = 1.5f;
  }
  std::string m = std::string(model) + ".qm", tex = std::string(model) + ".ppm",
              shp = std::string(model) + ".shp";
  int n = (int)t.course.size();
  for (int i = 0; i < n; i += 1) {
    const CourseSample& s = t.course[(size_t)i];
    bool corner = std::fabs(s.curvature) > 1.0f / 110;
    bool along = d.lining == Lining::TuffBlocks || corner;
    if (!along || s.jump_face || s.obstacle > 0.5f) continue;
    if (i % (int)spacing != 0) continue;
    // Bales on the outside of corners; tuff blocks on both sides everywhere.
    for (int side = -1; side <= 1; side += 2) {
      bool outside = (s.curvature >= 0 ? -1 : 1) == side;
      if (d.lining != Lining::TuffBlocks && !outside) continue;
      float u = side * (s.width / 2 + inset);
      float x = s.x - s.tz * u, z = s.z + s.tx * u;
      if (x < 4 || z < 4 || x > t.extent - 4 || z > t.extent - 4) continue;
      // Keep off other parts of the course where two run close together.
      bool clear = true;
      for (int j = 0; j < n && clear; j += 4) {
        int gap = std::abs(j - i);
        if (std::min(gap, n - gap) < 60) continue;
        const CourseSample& o = t.course[(size_t)j];
        if (std::hypot(o.x - x, o.z - z) < o.width / 2 + 3) clear = false;
      }
      if (clear) t.statues.push_back({x, 0, z, angle_along(s.tx, s.tz), m, tex, shp});
    }
  }
}

// Trees, spectators and flags on open ground; stands and towers in a stadium.
void dress_the_ground(GeneratedTrack& t, const TrackDesc& d, const Nearest& near) {
  int p = t.samples;
  float shoulder = d.shoulder;
  auto distance_to_course = [&](float x, float z) {
    int c = std::clamp((int)std::lround(x / t.cell), 0, p - 1), r = std::clamp((int)std::lround(z / t.cell), 0, p - 1);
    size_t k = (size_t)r * p + c;
    if (near.index[k] < 0) return 1e9f;
    const CourseSample& s = t.course[(size_t)near.index[k]];
    return std::sqrt(near.d2[k]) - s.width / 2;
  };
  if (d.stadium) {
    // Stands along the four walls, and light towers at the corners.
    float margin = 24, e = t.extent;
    for (float a = margin; a < e - margin; a += 24) {
      // Each stand's rows rise along its model z axis, away from the floor.
      float sides[4][3] = {{a, margin / 2, PI}, {a, e - margin / 2, 0}, {margin / 2, a, -PI / 2},
                           {e - margin / 2, a, PI / 2}};
      for (auto& sd : sides)
        t.statues.push_back({sd[0], 0, sd[1], sd[2], "@stand.qm", "@stand.ppm", "@stand.shp"});
    }
    float towers[4][2] = {{margin, margin}, {e - margin, margin}, {margin, e - margin}, {e - margin, e - margin}};
    for (auto& tw : towers) t.statues.push_back({tw[0], 0, tw[1], 0, "@tower.qm", "@tower.ppm", "@tower.shp"});
    return;
  }
  // Trees where the ground is open, thinned by noise so they stand in groves.
  for (float z = 20; z < t.extent - 20; z += 26)
    for (float x = 20; x < t.extent - 20; x += 26) {
      float jx = x + (hash01((uint32_t)x, (uint32_t)z, d.seed) - 0.5f) * 22;
      float jz = z + (hash01((uint32_t)z, (uint32_t)x, d.seed + 1) - 0.5f) * 22;
      if (fbm(jx / 300, jz / 300, d.seed + 3, 2) < 0.56f) continue;
      if (distance_to_course(jx, jz) < 45) continue;
      float size = 22 + 16 * hash01((uint32_t)jx, (uint32_t)jz, 9);
      const char* kind = hash01((uint32_t)jz, 3, (uint32_t)jx) < 0.6f ? "@tree-pine.png" : "@tree-oak.png";
      t.billboards.push_back({jx, -0.5f, jz, size, 0.6f, kind});
    }
  // Spectators in groups beside jumps and the start.
  for (int i = 0; i < (int)t.course.size(); i += 9) {
    const CourseSample& s = t.course[(size_t)i];
    if (!s.jump_face) continue;
    for (int side = -1; side <= 1; side += 2) {
      float u = side * (s.width / 2 + shoulder + 6 + 6 * hash01((uint32_t)i, (uint32_t)side + 5));
      float x = s.x - s.tz * u, z = s.z + s.tx * u;
      if (distance_to_course(x, z) < shoulder) continue;
      std::string tex = "@spectators-" + std::to_string(1 + (i / 9 + side + 2) % 3) + ".png";
      t.billboards.push_back({x, 0, z, 6, 1.6f, tex});
    }
  }
  // Flags and signs along the start straight.
  for (int i = 0; i < (int)t.course.size(); i += 40) {
    const CourseSample& s = t.course[(size_t)i];
    if (s.surface != K_START) continue;
    for (int side = -1; side <= 1; side += 2) {
      float u = side * (s.width / 2 + 10);
      t.billboards.push_back({s.x - s.tz * u, 0, s.z + s.tx * u, 9, 0.5f,
                              (i / 40) % 2 ? "#ff8000#@flag.png" : "@flag.png"});
    }
  }
}

}  // namespace

// ---------------------------------------------------------------- the generator

GeneratedTrack generate_track(const TrackDesc& d) {
  GeneratedTrack t;
  t.m = d.size_exponent;
  t.tiles = 1 << t.m;
  t.samples = 2 * t.tiles + 1;
  t.cell = d.cell;
  t.extent = 2.0f * (float)t.tiles * d.cell;

  // The centre line, resampled every foot.
  Polyline line = centre_line(d.points);
  t.length = line.s.back();
  int n = (int)std::floor(t.length);
  t.course.resize((size_t)n);
  size_t seg = 0;
  for (int i = 0; i < n; i++) {
    float s = (float)i;
    while (seg + 2 < line.s.size() && line.s[seg + 1] < s) seg++;
    float span = line.s[seg + 1] - line.s[seg];
    float f = span > 0 ? (s - line.s[seg]) / span : 0;
    CourseSample& c = t.course[(size_t)i];
    c = CourseSample{};
    c.x = line.x[seg] + (line.x[seg + 1] - line.x[seg]) * f;
    c.z = line.z[seg] + (line.z[seg + 1] - line.z[seg]) * f;
    // Width eases between control points.
    int k = (int)(seg / 200), k2 = (k + 1) % (int)d.points.size();
    float local = (float)(seg % 200) / 200 + f / 200;
    float e = smoothstep01(local);
    c.width = d.points[(size_t)k].width + (d.points[(size_t)k2].width - d.points[(size_t)k].width) * e;
  }
  for (int i = 0; i < n; i++) {
    const CourseSample& a = t.course[(size_t)((i + n - 1) % n)];
    const CourseSample& b = t.course[(size_t)((i + 1) % n)];
    float tx = b.x - a.x, tz = b.z - a.z, len = std::hypot(tx, tz);
    t.course[(size_t)i].tx = tx / len;
    t.course[(size_t)i].tz = tz / len;
  }
  std::vector<float> curvature((size_t)n);
  for (int i = 0; i < n; i++) {
    const CourseSample& a = t.course[(size_t)((i + n - 4) % n)];
    const CourseSample& b = t.course[(size_t)((i + 4) % n)];
    float turn = std::atan2(a.tx * b.tz - a.tz * b.tx, a.tx * b.tx + a.tz * b.tz);
    curvature[(size_t)i] = turn / 8;
  }
  smooth_loop(curvature, 6);
  std::vector<float> ground((size_t)n);
  for (int i = 0; i < n; i++) ground[(size_t)i] = hill_height(d, t.course[(size_t)i].x, t.course[(size_t)i].z);
  smooth_loop(ground, 90);
  for (int i = 0; i < n; i++) {
    CourseSample& c = t.course[(size_t)i];
    c.curvature = curvature[(size_t)i];
    c.centre_height = ground[(size_t)i];
    float tight = std::clamp((std::fabs(c.curvature) - 1.0f / 160) * 60, 0.0f, 1.0f);
    switch (d.points[(size_t)nearest_point(line, (float)i, t.length)].style) {
      case CornerStyle::Berm: c.bank = std::tan(deg(26)) * tight; break;
      case CornerStyle::OffCamber: c.bank = -std::tan(deg(7)) * std::min(1.0f, tight * 3); break;
      case CornerStyle::Flat: c.bank = 0; break;
    }
    c.surface = std::fabs(c.curvature) > 1.0f / 55 ? K_CORNER : K_TRACK;
  }
  // Berms build up and die away over a few yards, not in a step.
  std::vector<float> bank((size_t)n);
  for (int i = 0; i < n; i++) bank[(size_t)i] = t.course[(size_t)i].bank;
  smooth_loop(bank, 12);
  for (int i = 0; i < n; i++) t.course[(size_t)i].bank = bank[(size_t)i];
  // The start straight: from just before the gate to the first corner.
  for (int i = 0; i < n; i++) {
    int s = (((int)d.gate_offset - 40 + i) % n + n) % n;
    if (i > 80 && std::fabs(t.course[(size_t)s].curvature) > 1.0f / 200) break;
    t.course[(size_t)s].surface = K_START;
  }
  // Obstacles, and what each jump asks of a rider.
  for (const Obstacle& o : d.obstacles) {
    float s0 = std::fmod(line.point_s[(size_t)o.segment] + o.offset, t.length);
    JumpReport r{};
    r.name = obstacle_name(o.kind);
    r.s = s0;
    add_obstacle(t.course, s0, o, &r);
    if (is_jump(o.kind)) {
      r.takeoff_speed = takeoff_speed(t.course, s0, r.climb);
      r.range = flight_range(r.takeoff_speed, deg(o.face_deg), r.drop);
      // The slowest take-off that still reaches the landing.
      float lo = 0, hi = 150;
      for (int k = 0; k < 40; k++) {
        float mid = (lo + hi) / 2;
        (flight_range(mid, deg(o.face_deg), r.drop) >= r.gap ? hi : lo) = mid;
      }
      r.needed_speed = hi;
      t.jumps.push_back(r);
    }
  }

  // Separation between parts of the course more than 200 ft apart along it.
  t.min_separation = 1e9f;
  for (int i = 0; i < n; i += 4)
    for (int j = i + 200; j < n; j += 4) {
      if (n - (j - i) < 200) continue;
      t.min_separation = std::min(
          t.min_separation, std::hypot(t.course[(size_t)i].x - t.course[(size_t)j].x,
                                       t.course[(size_t)i].z - t.course[(size_t)j].z));
    }

  Nearest near = nearest_course(t, t.course, d.shoulder);
  build_heights(t, d, near);
  build_tiles(t, d, near);
  bake_light(t, d);

  // Checkpoints from the finish line round the lap: closer in corners.
  float s = d.finish_offset;
  float travelled = 0;
  while (travelled < t.length - 50) {
    const CourseSample& c = t.course[(size_t)((int)s % n)];
    Checkpoint cp{c.x, 0, c.z, c.tx, 0, c.tz, c.width / 2 + 8};
    cp.y = generated_height(t, c.x, c.z);
    t.checkpoints.push_back(cp);
    float tightest = 0;
    for (int k = 0; k < 120; k++) tightest = std::max(tightest, std::fabs(t.course[(size_t)(((int)s + k) % n)].curvature));
    float step = tightest > 1.0f / 80 ? 78 : tightest > 1.0f / 200 ? 100 : 130;
    s = std::fmod(s + step, t.length);
    travelled += step;
  }
  // Checkpoint 0 is the finish line. The gate stands just past it, so the
  // first lap runs the same gates as every later one.
  int count = (int)t.checkpoints.size();
  for (int i = 1; i < count; i++) t.normal_lap.push_back(i);
  t.normal_lap.push_back(0);
  t.first_lap = t.normal_lap;

  // The gate bars side by side across the start straight.
  const CourseSample& g = t.course[(size_t)((int)d.gate_offset % n)];
  float angle = std::atan2(-g.tx, -g.tz);  // a bike facing along the straight
  for (int b = 0; b < d.gate_bars; b++) {
    float u = ((float)b - (d.gate_bars - 1) / 2.0f) * 3.2f;
    float x = g.x - g.tz * u, z = g.z + g.tx * u;
    t.gate_bars.push_back({x, 0, z, angle, "@startgate.qm", "@startgate.ppm", "@startgate.shp"});
  }
  line_the_course(t, d);
  dress_the_ground(t, d, near);
  return t;
}
