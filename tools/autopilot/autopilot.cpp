// autopilot.cpp -- the riding line through the checkpoints, its speed caps,
// and the per-step steering, throttle and brakes that follow it.
#include "autopilot.h"

#include <algorithm>
#include <cmath>

#include "physics/bike_spec.h"
#include "physics/physics.h"
#include "platform/platform.h"
#include "race/race.h"
#include "track/terrain.h"
#include "track/track.h"

namespace {

constexpr float PI_F = 3.14159265f;
constexpr float GRAVITY = 32;  // ft/s^2

float wrap(const AutopilotPath& p, int i) {
  int n = (int)p.samples.size();
  return (float)(((i % n) + n) % n);
}
const PathSample& at(const AutopilotPath& p, int i) { return p.samples[(size_t)wrap(p, i)]; }

// ---------------------------------------------------------------- the line

// Cubic Hermite curve from a to b leaving along ta and arriving along tb,
// the tangents scaled by the chord so a bend is shaped like a circle arc.
Vec3 hermite(Vec3 a, Vec3 ta, Vec3 b, Vec3 tb, float chord, float t) {
  float t2 = t * t, t3 = t2 * t;
  float h00 = 2 * t3 - 3 * t2 + 1, h10 = t3 - 2 * t2 + t, h01 = -2 * t3 + 3 * t2, h11 = t3 - t2;
  return a * h00 + ta * (h10 * chord) + b * h01 + tb * (h11 * chord);
}

// Resamples a closed polyline to an even spacing (ft).
std::vector<Vec3> resample(const std::vector<Vec3>& pts, float spacing) {
  std::vector<Vec3> out;
  if (pts.size() < 2) return out;
  float carry = 0;
  for (size_t i = 0; i < pts.size(); i++) {
    Vec3 a = pts[i], b = pts[(i + 1) % pts.size()];
    float len = vec3_length(b - a);
    float u = carry;
    while (u < len) {
      out.push_back(a + (b - a) * (u / len));
      u += spacing;
    }
    carry = u - len;
  }
  return out;
}

// A landing is good when the bike's speed into the ground there is small:
// the suspension takes a steep landing face, not a flat or an up-slope.
// Flies the chassis as a point from the lip at speed v and the face's angle.
bool lands_well(const AutopilotPath& p, int lip, float v, float face_slope, float limit, float* range) {
  float angle = std::atan(face_slope);
  float vs = v * std::cos(angle), vy = v * std::sin(angle);
  float s = 0, y = at(p, lip).height;
  const float dt = 1.0f / 128;
  for (int step = 0; step < 128 * 3; step++) {
    s += vs * dt;
    y += vy * dt;
    vy -= GRAVITY * dt;
    int k = (int)(s / p.spacing);
    float f = s / p.spacing - (float)k;
    float h0 = at(p, lip + k).height, h1 = at(p, lip + k + 1).height;
    float ground = h0 + (h1 - h0) * f;
    if (y <= ground && step > 2) {
      float slope = (h1 - h0) / p.spacing;
      // Speed along the ground's normal (-slope, 1) / |.|.
      float into = std::fabs(-slope * vs + vy) / std::sqrt(1 + slope * slope);
      *range = s;
      return into <= limit;
    }
  }
  return false;  // still flying after 3 s: far too fast
}

// Lips: the ground rises steeply into the sample and falls away or
// flattens sharply after it, high enough above what follows to fly.
void find_jumps(AutopilotPath* p, const AutopilotTuning& tuning) {
  int n = (int)p->samples.size();
  int span = std::max(2, (int)std::lround(3 / p->spacing));
  // The samples a jump already flies over hold no take-off of their own:
  // the back of the landing is climbed in the air.
  int covered_until = -1;
  for (int i = 0; i < n; i++) {
    if (i <= covered_until) continue;
    float h = at(*p, i).height;
    float before = (h - at(*p, i - span).height) / (span * p->spacing);
    float after = (at(*p, i + span).height - h) / (span * p->spacing);
    if (before < 0.22f || after > before - 0.3f) continue;
    float climb = h - at(*p, i - (int)(12 / p->spacing)).height;
    if (climb < 3.5f) continue;  // bumps lower than this are ridden, not jumped
    // The steepest rise just before the top is the take-off angle.
    PathJump j{i, 0, before};
    // Speeds that land well come in runs: short into a pit or onto a deck,
    // then onto the landing's down-slope, then too far. The fastest run
    // that still lands within reach is the landing meant; aim a little
    // inside its top so arriving slightly slower lands there too.
    float run_low = 0, run_high = 0, run_range = 0;
    float low = 0, range = 0;
    bool in_run = false;
    for (float v = 16; v <= tuning.top_speed + 0.5f; v += 2) {
      bool good = lands_well(*p, i, v, before, tuning.landing_speed, &range) && range < 110;
      if (good && !in_run) low = v;
      if (good) {
        run_low = low;
        run_high = v;
        run_range = range;
      }
      in_run = good;
    }
    if (run_high > 0) j.lip_speed = run_high - 0.25f * (run_high - run_low);
    float good_range = run_range;
    j.range = good_range;
    p->jumps.push_back(j);
    covered_until = i + (int)(std::max(good_range, 10.0f) / p->spacing);
  }
}

// Corner caps, jump caps, then braking room before each, round the lap twice.
void speed_profile(AutopilotPath* p, const AutopilotTuning& tuning) {
  int n = (int)p->samples.size();
  for (PathSample& s : p->samples) {
    float k = std::fabs(s.curvature);
    s.speed_cap = k > 1e-5f ? std::min(tuning.top_speed, std::sqrt(tuning.corner_accel / k)) : tuning.top_speed;
  }
  for (const PathJump& j : p->jumps)
    if (j.lip_speed > 0) {
      // Held over the face too: the climb is ridden at the lip's speed.
      for (int k = 0; k * p->spacing < 8; k++) {
        PathSample& s = p->samples[(size_t)wrap(*p, j.lip - k)];
        s.speed_cap = std::min(s.speed_cap, j.lip_speed);
      }
    }
  // Whoops and rhythm bumps outside the jumps: slower the higher they stand
  // above the ground's run, so the suspension keeps the wheels on them.
  int w = std::max(1, (int)(8 / p->spacing));
  std::vector<float> residual((size_t)n);
  for (int i = 0; i < n; i++) {
    float sum = 0;
    for (int k = -w; k <= w; k++) sum += at(*p, i + k).height;
    residual[(size_t)i] = std::fabs(at(*p, i).height - sum / (float)(2 * w + 1));
  }
  std::vector<bool> jumped((size_t)n, false);
  for (const PathJump& j : p->jumps)
    for (int k = -(int)(40 / p->spacing); k * p->spacing < j.range + 10; k++) jumped[(size_t)wrap(*p, j.lip + k)] = true;
  int reach = (int)(25 / p->spacing);
  for (int i = 0; i < n; i++) {
    if (jumped[(size_t)i]) continue;
    float rough = 0;
    for (int k = -w; k <= reach; k++) rough = std::max(rough, residual[(size_t)wrap(*p, i + k)]);
    if (rough > 0.35f) {
      PathSample& s = p->samples[(size_t)i];
      s.speed_cap = std::min(s.speed_cap, std::max(tuning.bump_speed / rough, 18.0f));
    }
  }
  for (int pass = 0; pass < 2; pass++)
    for (int i = n - 1; i >= 0; i--) {
      float next = at(*p, i + 1).speed_cap;
      float room = std::sqrt(next * next + 2 * tuning.brake_accel * p->spacing);
      PathSample& s = p->samples[(size_t)i];
      s.speed_cap = std::min(s.speed_cap, room);
    }
}

constexpr float BUCKET_SIZE = 32;  // ft

void bucket_samples(AutopilotPath* p) {
  float x0 = INFINITY, x1 = -INFINITY, z0 = INFINITY, z1 = -INFINITY;
  for (const PathSample& s : p->samples) {
    x0 = std::min(x0, s.x), x1 = std::max(x1, s.x);
    z0 = std::min(z0, s.z), z1 = std::max(z1, s.z);
  }
  p->bucket_size = 0;
  if (!(x1 - x0 < 1e6f && z1 - z0 < 1e6f)) return;  // empty, or not finite
  p->bucket_x0 = x0, p->bucket_z0 = z0;
  p->bucket_columns = (int)((x1 - x0) / BUCKET_SIZE) + 1;
  p->bucket_rows = (int)((z1 - z0) / BUCKET_SIZE) + 1;
  auto cell = [&](const PathSample& s) {
    int i = std::min((int)((s.x - x0) / BUCKET_SIZE), p->bucket_columns - 1);
    int j = std::min((int)((s.z - z0) / BUCKET_SIZE), p->bucket_rows - 1);
    return j * p->bucket_columns + i;
  };
  p->bucket_start.assign((size_t)(p->bucket_columns * p->bucket_rows + 1), 0);
  for (const PathSample& s : p->samples) p->bucket_start[(size_t)cell(s) + 1]++;
  for (size_t k = 1; k < p->bucket_start.size(); k++) p->bucket_start[k] += p->bucket_start[k - 1];
  p->bucket_items.assign(p->samples.size(), 0);
  std::vector<int> fill(p->bucket_start.begin(), p->bucket_start.end() - 1);
  for (int i = 0; i < (int)p->samples.size(); i++) p->bucket_items[(size_t)fill[(size_t)cell(p->samples[(size_t)i])]++] = i;
  p->bucket_size = BUCKET_SIZE;
}

// The first of the nearest samples, reading every one.
int nearest_by_scan(const AutopilotPath& path, float x, float z) {
  int best = 0;
  float best_d = 1e30f;
  for (int i = 0; i < (int)path.samples.size(); i++) {
    float dx = path.samples[(size_t)i].x - x, dz = path.samples[(size_t)i].z - z;
    float d = dx * dx + dz * dz;
    if (d < best_d) {
      best_d = d;
      best = i;
    }
  }
  return best;
}

}  // namespace

bool autopilot_path_build(AutopilotPath* path, const AutopilotTuning& tuning) {
  *path = AutopilotPath{};
  const TrackTiming& timing = track_current().timing;
  if (timing.checkpoint_count <= 0 || timing.normal_lap_gates < 2) {
    log_printf("Autopilot: the track has no lap of checkpoints to follow\n");
    return false;
  }
  // The normal lap's checkpoints in order; every later lap rides them.
  std::vector<const Checkpoint*> gates;
  for (int i = 0; i < timing.normal_lap_gates; i++) {
    int e = timing.lap_gate_list[timing.first_lap_gates + i];
    if (e >= LAP_ENTRY_UNUSED) e -= LAP_ENTRY_UNUSED;
    if (e < 0 || e >= timing.checkpoint_count) continue;
    gates.push_back(&timing.checkpoints[e]);
  }
  if (gates.size() < 2) return false;
  std::vector<Vec3> dense;
  for (size_t i = 0; i < gates.size(); i++) {
    const Checkpoint& a = *gates[i];
    const Checkpoint& b = *gates[(i + 1) % gates.size()];
    Vec3 pa{a.x, 0, a.z}, pb{b.x, 0, b.z};
    Vec3 ta = vec3_normalize(Vec3{a.nx, 0, a.nz}), tb = vec3_normalize(Vec3{b.nx, 0, b.nz});
    float chord = vec3_length(pb - pa);
    int pieces = std::max(4, (int)(chord / 0.5f));
    for (int k = 0; k < pieces; k++) dense.push_back(hermite(pa, ta, pb, tb, chord, (float)k / (float)pieces));
  }
  std::vector<Vec3> pts = resample(dense, path->spacing);
  int n = (int)pts.size();
  if (n < 16) return false;
  const Terrain& terrain = terrain_record();
  path->samples.resize((size_t)n);
  for (int i = 0; i < n; i++) {
    PathSample& s = path->samples[(size_t)i];
    Vec3 prev = pts[(size_t)((i - 1 + n) % n)], next = pts[(size_t)((i + 1) % n)];
    Vec3 t = vec3_normalize(next - prev);
    s.x = pts[(size_t)i].x;
    s.z = pts[(size_t)i].z;
    s.tx = t.x;
    s.tz = t.z;
    s.s = (float)i * path->spacing;
    s.height = terrain_height(terrain, s.x, s.z);
  }
  // Curvature over 6 ft either side, so the resampling's kinks do not count.
  int w = std::max(2, (int)std::lround(6 / path->spacing));
  for (int i = 0; i < n; i++) {
    const PathSample& a = at(*path, i - w);
    const PathSample& b = at(*path, i + w);
    // Heading turn from a to b; right turns positive (cross of the y-up
    // frame: a bike facing -z with +x to the right).
    float cross = a.tx * b.tz - a.tz * b.tx;
    float dot = a.tx * b.tx + a.tz * b.tz;
    float turn = std::atan2(cross, dot);
    path->samples[(size_t)i].curvature = turn / (2 * (float)w * path->spacing);
  }
  path->length = (float)n * path->spacing;
  find_jumps(path, tuning);
  speed_profile(path, tuning);
  bucket_samples(path);
  return true;
}


// The same sample as nearest_by_scan (the lowest index of the nearest),
// reading the buckets in square rings about the one under (x, z) until
// every bucket not yet read lies certainly farther than the best found.
int autopilot_path_nearest(const AutopilotPath& path, float x, float z) {
  const float size = path.bucket_size;
  if (!(size > 0) || !std::isfinite(x) || !std::isfinite(z) || std::fabs(x) > 1e6f || std::fabs(z) > 1e6f)
    return nearest_by_scan(path, x, z);
  const int columns = path.bucket_columns, rows = path.bucket_rows;
  int ci = std::clamp((int)std::floor((x - path.bucket_x0) / size), 0, columns - 1);
  int cj = std::clamp((int)std::floor((z - path.bucket_z0) / size), 0, rows - 1);
  int best = -1;
  float best_d = 0;
  auto read = [&](int i, int j) {
    int k = j * columns + i;
    for (int b = path.bucket_start[(size_t)k]; b < path.bucket_start[(size_t)k + 1]; b++) {
      int index = path.bucket_items[(size_t)b];
      float dx = path.samples[(size_t)index].x - x, dz = path.samples[(size_t)index].z - z;
      float d = dx * dx + dz * dz;
      if (best < 0 || d < best_d || (d == best_d && index < best)) {
        best_d = d;
        best = index;
      }
    }
  };
  int last_ring = std::max(std::max(ci, columns - 1 - ci), std::max(cj, rows - 1 - cj));
  for (int ring = 0; ring <= last_ring; ring++) {
    for (int j = cj - ring; j <= cj + ring; j++) {
      if (j < 0 || j >= rows) continue;
      bool edge_row = j == cj - ring || j == cj + ring;
      for (int i = ci - ring; i <= ci + ring; i += edge_row ? 1 : 2 * ring) {
        if (i >= 0 && i < columns) read(i, j);
        if (ring == 0) break;
      }
    }
    // Every bucket beyond this ring is at least ring bucket sizes away from
    // (x, z) across x or z, wherever in (or off) its bucket it stands.
    float clear = (float)ring * size;
    if (best >= 0 && best_d < clear * clear * 0.999f) break;
  }
  return best < 0 ? nearest_by_scan(path, x, z) : best;
}

void autopilot_start(Autopilot* a, const AutopilotPath* path, const AutopilotTuning& tuning) {
  *a = Autopilot{};
  a->path = path;
  a->tuning = tuning;
}

ControlChannels autopilot_channels(Autopilot* a, const Rider* r) {
  ControlChannels ch;
  if (!a->path || a->path->samples.empty() || !r) return ch;
  const AutopilotPath& p = *a->path;
  int n = (int)p.samples.size();
  dBodyID body = rider_chassis(r);
  const dReal* pos = dBodyGetPosition(body);
  const dReal* vel = dBodyGetLinearVel(body);
  const dReal* rot = dBodyGetRotation(body);
  float x = (float)pos[0], z = (float)pos[2];
  // Forward is the chassis's -z axis.
  Vec3 fwd = vec3_normalize(Vec3{-(float)rot[2], 0, -(float)rot[10]});
  float speed = std::sqrt((float)(vel[0] * vel[0] + vel[2] * vel[2]));  // ft/s over the ground

  // Where on the line: near the last place, or anywhere after a fresh start.
  if (a->index < 0) {
    a->index = autopilot_path_nearest(p, x, z);
  } else {
    int best = a->index;
    float best_d = 1e30f;
    int back = (int)(10 / p.spacing), ahead = (int)(60 / p.spacing);
    for (int k = -back; k <= ahead; k++) {
      const PathSample& s = at(p, a->index + k);
      float d = (s.x - x) * (s.x - x) + (s.z - z) * (s.z - z);
      if (d < best_d) {
        best_d = d;
        best = (int)wrap(p, a->index + k);
      }
    }
    // Far off the line (a crash, a long slide): look everywhere again.
    if (best_d > 40 * 40) best = autopilot_path_nearest(p, x, z);
    a->index = best;
  }
  const RaceState& rs = race_state();
  bool before_drop = rs.race_tick <= rs.start_tick && !rs.time_trial;
  bool on_ground = r->wheels[WHEEL_FRONT].depth > 0 || r->wheels[WHEEL_REAR].depth > 0;
  a->air_ticks = on_ground ? 0 : a->air_ticks + 1;

  // Speed wanted: the cap a little ahead, so braking starts in time.
  int ahead = (int)std::lround(std::max(2.0f, speed * 0.15f) / p.spacing);
  float want = std::min(at(p, a->index).speed_cap, at(p, a->index + ahead).speed_cap);
  a->target_speed = want;

  // Pure pursuit: aim at a point a speed-dependent distance along the line.
  float look = std::clamp(a->tuning.look_base + speed * a->tuning.look_time, 10.0f, 70.0f);
  const PathSample& t = at(p, a->index + (int)std::lround(look / p.spacing));
  float ox = -t.tz * a->steer_offset, oz = t.tx * a->steer_offset;  // the line's right side
  Vec3 to{t.x + ox - x, 0, t.z + oz - z};
  float dist = std::max(vec3_length(to), 1.0f);
  to = to * (1 / dist);
  // Angle from forward to the aim point, right positive.
  float alpha = std::atan2(fwd.x * to.z - fwd.z * to.x, vec3_dot(fwd, to));
  float curvature = 2 * std::sin(alpha) / dist;  // 1/ft, right positive
  // The lean a steady turn at this speed needs; arcade steering leans to
  // steer x pi/4, right positive for a positive steer.
  float v = std::max(speed, 8.0f);
  float lean = std::atan(v * v * curvature / GRAVITY);
  float steer = std::clamp(lean / (PI_F / 4) * 1.15f, -1.0f, 1.0f);
  // Slowly, far from the line the bike simply points at the aim point.
  if (speed < 10) steer = std::clamp(alpha * 1.5f, -1.0f, 1.0f);
  if (a->air_ticks > 2) steer *= 0.25f;  // no leaning into the air
  // The bars move at most 8 units a second: no twitch from one step's noise.
  float max_change = 8 * (float)SIM_STEP;
  steer = std::clamp(steer, a->steer_memory - max_change, a->steer_memory + max_change);
  a->steer_memory = steer;

  float throttle = 0, front = 0, rear = 0;
  float error = want - speed;
  if (before_drop) {
    front = rear = 1;
    steer = 0;
    a->steer_memory = 0;
  } else if (error > 0) {
    throttle = std::clamp(0.35f + error * 0.2f, 0.0f, 1.0f);
  } else if (error > -2) {
    throttle = std::clamp(0.35f + error * 0.15f, 0.0f, 1.0f);
  } else {
    front = std::clamp((-error - 2) * 0.15f, 0.0f, 1.0f);
    rear = front * 0.6f;
  }
  if (a->air_ticks > 2) front = rear = 0;  // a locked wheel on landing throws the rider

  bool reverse = bike_setting(SETTING_REVERSE_STEERING) >= 0.5;
  ch.value[CH_STEER] = reverse ? -steer : steer;
  ch.value[CH_THROTTLE] = throttle;
  ch.value[CH_FRONT_BRAKE] = front;
  ch.value[CH_REAR_BRAKE] = rear;
  (void)n;
  return ch;
}

void autopilot_drive(Autopilot* a, Rider* r) {
  if (!r) return;
  ControlChannels ch = autopilot_channels(a, r);
  bool reverse = bike_setting(SETTING_REVERSE_STEERING) >= 0.5;
  bool sticky = bike_setting(SETTING_STICKY_DAB) >= 0.5;
  AppliedControls applied = controls_from_channels(ch, reverse, sticky, rider_clutch(r), a->memory);
  apply_controls(r, applied);
}
