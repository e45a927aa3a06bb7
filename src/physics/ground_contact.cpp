// ground_contact.cpp -- contacts of a rider with the terrain, the statues
// and other riders: probes over the height field's triangles, tyre joints
// with the surface table, shape spheres, and the bump-timer rules.
#include "physics/physics_internal.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "physics/shape.h"
#include "track/track.h"

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr float SHAPE_GROUND_STIFFNESS = 2500;  // lbf/ft
constexpr float SHAPE_GROUND_DAMPING = 250;     // lbf*s/ft
// The tyre as a sphere chain when it meets another rider's spheres.
constexpr float TYRE_FRICTION = 1;
constexpr float TYRE_STIFFNESS = 25000;  // lbf/ft
constexpr float TYRE_DAMPING = 2500;     // lbf*s/ft
constexpr float PENALTY_LIMIT = 1000;    // lbf
// More cells than this under one collider means a position gone wild;
// probing it would only cost time.
constexpr int PROBE_CELL_LIMIT = 256;

bool finite_vec(Vec3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// True when every point of ground no higher than hi is so far below
// centre.y - reach that a sphere of that radius about centre cannot touch
// it. lo is the lowest of that ground, and |lo| and |hi| (or anything
// larger) size the slack, which dwarfs the triangle tests' float rounding
// on ground no steeper than 10:1.
bool heights_clear_below(Vec3 centre, float reach, float lo, float hi, float abs_lo, float abs_hi, float cell) {
  float drop = centre.y - hi;
  float size = (centre.y - lo) + 4 * (reach + cell);
  float scale = std::fabs(centre.x) + std::fabs(centre.y) + std::fabs(centre.z) + abs_lo + abs_hi;
  return drop > reach + 1.0f / 64 + 1e-3f * size + 1e-5f * scale;
}

// The lowest and highest samples at the corners of the cells i0..i1,
// j0..j1 (clamped to the field, as the probes read them). False when the
// ground there is not finite or steeper than 10:1: only elsewhere may a
// window be passed over by its heights.
bool window_heights(const Terrain& t, int i0, int i1, int j0, int j1, float* lo_out, float* hi_out) {
  if (!(t.cell >= 1.0f / 1024 && t.cell <= 1e6f)) return false;
  int n = t.samples;
  auto clamp_index = [n](int i) { return i < 0 ? 0 : (i >= n ? n - 1 : i); };
  float lo = INFINITY, hi = -INFINITY;
  for (int j = j0; j <= j1 + 1; j++) {
    const float* row = t.heights + clamp_index(j) * n;
    for (int i = i0; i <= i1 + 1; i++) {
      float h = row[clamp_index(i)];
      if (!std::isfinite(h)) return false;
      if (h < lo) lo = h;
      if (h > hi) hi = h;
    }
  }
  if (!(hi - lo <= 10 * t.cell)) return false;
  *lo_out = lo;
  *hi_out = hi;
  return true;
}

// True when every triangle of the cells i0..i1, j0..j1 lies so far below
// centre.y - reach that a sphere of that radius about centre cannot touch
// any: each point of such a triangle is more than reach away.
bool terrain_window_below(const Terrain& t, int i0, int i1, int j0, int j1, Vec3 centre, float reach) {
  float lo, hi;
  return window_heights(t, i0, i1, j0, j1, &lo, &hi) &&
         heights_clear_below(centre, reach, lo, hi, std::fabs(lo), std::fabs(hi), t.cell);
}

// The cells under centre +- reach, and how to read their corners.
struct ProbeWindow {
  const Terrain* t;
  int i0, i1, j0, j1;

  // Outside the field the triangles keep their places, with the edge heights.
  Vec3 vertex(int c, int r) const {
    int n = t->samples;
    auto clamp_index = [n](int i) { return i < 0 ? 0 : (i >= n ? n - 1 : i); };
    return Vec3{(float)c * t->cell, t->heights[clamp_index(r) * n + clamp_index(c)], (float)r * t->cell};
  }
  // The two triangles of cell (i, j), first (k = 0) and second.
  void triangle(int i, int j, int k, Vec3* v0, Vec3* v1, Vec3* v2) const {
    int flip = (i & 1) ^ (j & 1) ^ 1;
    if (k == 0) {
      *v0 = vertex(i, j), *v1 = vertex(i, j + 1), *v2 = vertex(i + 1, j + flip);
    } else {
      *v0 = vertex(i + 1, j + 1), *v1 = vertex(i + 1, j), *v2 = vertex(i, j + 1 - flip);
    }
  }
};

// False when there is nothing to probe: no field, a position gone wild, or
// more cells than any collider covers.
bool probe_window(Vec3 centre, float reach, ProbeWindow* w) {
  const Terrain& t = terrain_record();
  if (!t.heights || !(t.cell > 0) || !finite_vec(centre) || !(reach >= 0)) return false;
  float inv = 1.0f / t.cell;
  float i0f = std::floor((centre.x - reach) * inv), i1f = std::floor((centre.x + reach) * inv);
  float j0f = std::floor((centre.z - reach) * inv), j1f = std::floor((centre.z + reach) * inv);
  if (!(std::fabs(i0f) < 1e8f && std::fabs(i1f) < 1e8f && std::fabs(j0f) < 1e8f && std::fabs(j1f) < 1e8f))
    return false;
  *w = ProbeWindow{&t, (int)i0f, (int)i1f, (int)j0f, (int)j1f};
  return w->i1 - w->i0 <= PROBE_CELL_LIMIT && w->j1 - w->j0 <= PROBE_CELL_LIMIT;
}

bool probe_result(ContactGeometry best, ContactGeometry* out) {
  if (!(best.depth > 0)) return false;
  best.normal = contact_normal_correct(best.normal);
  *out = best;
  return true;
}

// The deepest positive result of test over both triangles of every cell
// under centre +- reach, rows from the lowest, columns from the lowest; of
// equal depths the first. With below_skips, a window wholly below the reach
// is passed over.
template <class Test>
bool terrain_probe(Vec3 centre, float reach, Test test, ContactGeometry* out, bool below_skips = false) {
  ProbeWindow w;
  if (!probe_window(centre, reach, &w)) return false;
  if (below_skips && terrain_window_below(*w.t, w.i0, w.i1, w.j0, w.j1, centre, reach)) return false;
  ContactGeometry best;
  best.depth = 0;
  for (int j = w.j0; j <= w.j1; j++) {
    for (int i = w.i0; i <= w.i1; i++) {
      for (int k = 0; k < 2; k++) {
        Vec3 v0, v1, v2;
        w.triangle(i, j, k, &v0, &v1, &v2);
        ContactGeometry g = test(v0, v1, v2);
        if (g.depth > best.depth) best = g;
      }
    }
  }
  return probe_result(best, out);
}

const Surface& surface_at(const Terrain& t, float x, float z) {
  auto index = [](float p, float size, int n) {
    float f = std::floor(p / size);
    if (!(f >= 0)) return 0;
    return f > (float)(n - 1) ? n - 1 : (int)f;
  };
  if (!t.tile_map || t.tile_side <= 0 || !(t.cell2 > 0)) return t.surfaces[0];
  int c = index(x, t.cell2, t.tile_side), r = index(z, t.cell2, t.tile_side);
  return t.surfaces[t.tile_map[r * t.tile_side + c]];
}

// Index of the first point whose speed exceeds s or that is empty.
int surface_point(const float* speeds, float s) {
  int i = 0;
  while (i < SURFACE_POINTS && speeds[i] != 0 && speeds[i] <= s) i++;
  return i;
}

float torso_speed(const Rider* r) { return vec3_length(body_velocity(r->bodies[BODY_TORSO])); }
float chassis_speed(const Rider* r) { return vec3_length(body_velocity(r->bodies[BODY_CHASSIS])); }

// ---------------------------------------------------------------- shape against rider

// One side of a shape test: world-placed spheres, the body they move with
// (null for a static object) and where that body is.
struct Collider {
  const Shape* placed;
  Vec3 position;
  float bounding_radius;
  dBodyID body;
};

// True when d is certainly longer than reach: a squared test a little
// wider than the length's own, so that the square root is only taken near
// the limit. (|d|^2 > 1.001 reach^2 gives |d| > reach after every rounding;
// a NaN goes on to the full test.)
inline bool certainly_longer(Vec3 d, float reach) { return vec3_dot(d, d) > reach * reach * 1.001f; }

// !(|d| < reach), the root taken only near the limit.
inline bool not_within(Vec3 d, float reach) { return certainly_longer(d, reach) || !(vec3_length(d) < reach); }

// True when the spheres certainly miss, before sphere_pair's own test.
inline bool spheres_apart(const Sphere& a, const Sphere& b) {
  return certainly_longer(b.centre - a.centre, a.radius + b.radius);
}


// True when sphere a certainly misses every sphere of a part placed at
// position whose spheres all lie within part_reach of it, by a margin
// above the rounding of placing them at track coordinates.
inline bool sphere_clear_of_part(const Sphere& a, Vec3 position, float part_reach, float margin) {
  return certainly_longer(a.centre - position, a.radius + part_reach + margin);
}

// The margin sphere_clear_of_part needs about a part at position.
float part_margin(Vec3 position) {
  float big = std::fmax(std::fabs(position.x), std::fmax(std::fabs(position.y), std::fabs(position.z)));
  return 1.0f / 64 + 1e-5f * big;
}

// Sphere a (of the collider) against sphere b (of rider part body_b).
// The joint pushes body_b along the normal, from a toward b.
bool sphere_pair(const Sphere& a, dBodyID body_a, const Sphere& b, dBodyID body_b, bool penalty) {
  Vec3 d = b.centre - a.centre;
  float dist = vec3_length(d);
  float reach = a.radius + b.radius;
  if (!(dist < reach)) return false;
  Vec3 n = dist > 0 ? d * (1.0f / dist) : Vec3{0, 1, 0};
  float depth = reach - dist;
  Vec3 point = a.centre + n * (a.radius - 0.5f * depth);
  float mu = std::min(a.friction, b.friction);
  float k = std::min(a.stiffness, b.stiffness);
  float c = std::min(a.damping, b.damping);
  if (!penalty) {
    contact_joint(contact_record(point, n, depth, mu, k, c), body_b, body_a, nullptr);
    return true;
  }
  // A second collision in the same step: forces instead of joints, so that
  // a pile of riders does not become one stiff matrix.
  Vec3 va = body_a ? body_point_velocity(body_a, point) : Vec3{};
  Vec3 vb = body_point_velocity(body_b, point);
  float force = std::clamp(depth * k + vec3_dot(va - vb, n) * c, -PENALTY_LIMIT, PENALTY_LIMIT);
  if (dBodyIsEnabled(body_b)) dBodyAddForceAtPos(body_b, n.x * force, n.y * force, n.z * force, point.x, point.y, point.z);
  if (body_a && dBodyIsEnabled(body_a))
    dBodyAddForceAtPos(body_a, -n.x * force, -n.y * force, -n.z * force, point.x, point.y, point.z);
  return true;
}

// A sphere about the chassis that holds every part's test reach: the
// shape's bounding radius, and for a wheel the tyre's too. Parts of two
// riders are only tested when their centres are nearer than the sum of
// their reaches, so two such spheres apart mean no part pair is tested.
struct RiderBound {
  Vec3 centre;   // ft, world
  float radius;  // ft
};

RiderBound rider_bound(const Rider* r) {
  RiderBound out{body_position(r->bodies[BODY_CHASSIS]), 0};
  for (int part = 0; part < BODY_COUNT; part++) {
    float reach = r->shape_source[part] ? r->shape_source[part]->bounding_radius : 0;
    if (part == BODY_FRONT_WHEEL || part == BODY_REAR_WHEEL) {
      const WheelState& w = r->wheels[part == BODY_FRONT_WHEEL ? WHEEL_FRONT : WHEEL_REAR];
      reach = std::fmax(reach, w.ring_radius + w.tube_radius);
    }
    float d = vec3_length(body_position(r->bodies[part]) - out.centre) + reach;
    // A NaN part fails its own distance test, so it cannot widen the reach.
    if (d > out.radius) out.radius = d;
  }
  return out;
}

// True only when a thing of reach `reach` at p is certainly farther from
// every part of the rider than the per-part tests allow. The slack dwarfs
// the float rounding of those tests, so a pair they could pass is never
// dropped; a NaN anywhere keeps the pair.
bool rider_bound_clear(const RiderBound& b, Vec3 p, float reach) {
  Vec3 v = p - b.centre;
  float limit = b.radius + reach;
  // Most pairs are far apart: squared, with room to spare for the slack
  // below, so that no root is taken for them.
  float far = 1.01f * limit + 0.05f;
  if (vec3_dot(v, v) > far * far) return true;
  float d = vec3_length(v);
  return d > limit + 1.0f / 64 + 1e-4f * (d + limit);
}

// The collider against every part of rider R; R's part bits hit.
int collider_against_rider(const Collider& s, Rider* R, bool penalty, bool online) {
  int hit = 0;
  static constexpr int ORDER[7] = {BODY_FRONT_WHEEL, BODY_REAR_WHEEL, BODY_CHASSIS, BODY_FORK_UPPER,
                                   BODY_FORK_LOWER, BODY_SWING_ARM, BODY_TORSO};
  for (int part : ORDER) {
    if (online && (part == BODY_FRONT_WHEEL || part == BODY_FORK_UPPER || part == BODY_FORK_LOWER)) continue;
    dBodyID body = R->bodies[part];
    Vec3 position = body_position(body);
    bool touched = false;
    if (part == BODY_FRONT_WHEEL || part == BODY_REAR_WHEEL) {
      const WheelState& w = R->wheels[part == BODY_FRONT_WHEEL ? WHEEL_FRONT : WHEEL_REAR];
      float tyre_reach = w.ring_radius + w.tube_radius;
      if (not_within(s.position - position, s.bounding_radius + tyre_reach)) continue;
      Vec3 axle = mat3_mul(body_rotation(body), w.axle);
      for (const Sphere& sp : s.placed->spheres) {
        if (certainly_longer(sp.centre - position, tyre_reach + sp.radius) ||
            vec3_length(sp.centre - position) > tyre_reach + sp.radius)
          continue;
        Sphere tyre;
        tyre.centre = ring_point_nearest(position, axle, w.ring_radius, sp.centre);
        tyre.radius = w.tube_radius;
        tyre.friction = TYRE_FRICTION;
        tyre.stiffness = TYRE_STIFFNESS;
        tyre.damping = TYRE_DAMPING;
        touched |= sphere_pair(sp, s.body, tyre, body, penalty);
      }
    } else {
      Shape* placed = R->shapes[part];
      const Shape* source = R->shape_source[part];
      if (!placed || !source) continue;
      if (not_within(s.position - position, s.bounding_radius + source->bounding_radius)) continue;
      shape_place(placed, *source, position, body_rotation(body));
      // A collider sphere clear of the whole part meets none of its spheres.
      float margin = part_margin(position);
      for (const Sphere& a : s.placed->spheres) {
        if (sphere_clear_of_part(a, position, source->bounding_radius, margin)) continue;
        for (const Sphere& b : placed->spheres)
          if (!spheres_apart(a, b)) touched |= sphere_pair(a, s.body, b, body, penalty);
      }
    }
    if (touched) hit |= part_bit(part);
  }
  return hit;
}

}  // namespace

// ---------------------------------------------------------------- probes and surfaces

// The same deepest-first result as terrain_probe, found with less search:
// the cell under the hub, where the deepest contact nearly always lies, is
// tested first, and every other triangle is then asked only for contacts
// deeper than the deepest found so far. A triangle passed over that way is
// shallower than a contact already in hand, so it could not have been the
// first deepest.
bool tyre_ground_probe(const WheelState& wheel, ContactGeometry* out) {
  if (!wheel.body) return false;
  Vec3 c = body_position(wheel.body);
  Vec3 axle = mat3_mul(body_rotation(wheel.body), wheel.axle);
  float R = wheel.ring_radius, r = wheel.tube_radius;
  ProbeWindow w;
  if (!probe_window(c, R + r, &w)) return false;
  float inv = 1.0f / w.t->cell;
  // A cell wholly beside the tyre's own box, along x or z, holds no point
  // within the tube radius of the ring, so nothing it holds can touch: the
  // window shrinks to that box (an upright wheel is only the tube wide
  // across its axle). The margin dwarfs the float rounding of the tests.
  float a2 = vec3_dot(axle, axle);
  if (a2 > 0.25f && a2 < 4.0f && R >= 0 && r >= 0) {
    float margin = 1.0f / 64 + 1e-5f * (std::fabs(c.x) + std::fabs(c.z));
    float across_x = 1 - axle.x * axle.x / a2, across_z = 1 - axle.z * axle.z / a2;
    float ext_x = R * std::sqrt(across_x > 0 ? across_x : 0) + r + margin;
    float ext_z = R * std::sqrt(across_z > 0 ? across_z : 0) + r + margin;
    w.i0 = std::max(w.i0, (int)std::floor((c.x - ext_x) * inv));
    w.i1 = std::min(w.i1, (int)std::floor((c.x + ext_x) * inv));
    w.j0 = std::max(w.j0, (int)std::floor((c.z - ext_z) * inv));
    w.j1 = std::min(w.j1, (int)std::floor((c.z + ext_z) * inv));
  }
  int hub_i = std::clamp((int)std::floor(c.x * inv), w.i0, w.i1);
  int hub_j = std::clamp((int)std::floor(c.z * inv), w.j0, w.j1);
  ContactGeometry under_hub[2];
  float deepest = 0;
  for (int k = 0; k < 2; k++) {
    Vec3 v0, v1, v2;
    w.triangle(hub_i, hub_j, k, &v0, &v1, &v2);
    under_hub[k] = torus_triangle_touching(c, axle, R, r, v0, v1, v2);
    if (under_hub[k].depth > deepest) deepest = under_hub[k].depth;
  }
  ContactGeometry best;
  best.depth = 0;
  for (int j = w.j0; j <= w.j1; j++) {
    for (int i = w.i0; i <= w.i1; i++) {
      for (int k = 0; k < 2; k++) {
        ContactGeometry g;
        if (i == hub_i && j == hub_j) {
          g = under_hub[k];
        } else {
          Vec3 v0, v1, v2;
          w.triangle(i, j, k, &v0, &v1, &v2);
          g = torus_triangle_touching(c, axle, R, r, v0, v1, v2, deepest);
          if (g.depth > deepest) deepest = g.depth;
        }
        if (g.depth > best.depth) best = g;
      }
    }
  }
  return probe_result(best, out);
}

bool sphere_ground_probe(Vec3 centre, float radius, ContactGeometry* out) {
  // A sphere is clear of triangles wholly more than its radius below it.
  return terrain_probe(
      centre, radius, [&](Vec3 v0, Vec3 v1, Vec3 v2) { return sphere_triangle(centre, radius, v0, v1, v2); },
      out, true);
}

float surface_friction(const Surface& s, float speed) {
  int i = surface_point(s.friction_speed, speed);
  if (i == 0) return s.friction_value[0];
  if (i == SURFACE_POINTS || s.friction_speed[i] == 0) return s.friction_value[i - 1];
  // Between two points, linear in the square of the speed.
  float s0 = s.friction_speed[i - 1] * s.friction_speed[i - 1];
  float s1 = s.friction_speed[i] * s.friction_speed[i];
  float f = (speed * speed - s0) / (s1 - s0);
  return s.friction_value[i - 1] + (s.friction_value[i] - s.friction_value[i - 1]) * f;
}

void surface_rolling(const Surface& s, float speed, float* a, float* b) {
  int i = surface_point(s.roll_speed, speed);
  if (i == 0 || i == SURFACE_POINTS || s.roll_speed[i] == 0) {
    int k = i == 0 ? 0 : i - 1;
    *a = s.roll_value[k][0];
    *b = s.roll_value[k][1];
    return;
  }
  float f = (speed - s.roll_speed[i - 1]) / (s.roll_speed[i] - s.roll_speed[i - 1]);
  *a = s.roll_value[i - 1][0] + (s.roll_value[i][0] - s.roll_value[i - 1][0]) * f;
  *b = s.roll_value[i - 1][1] + (s.roll_value[i][1] - s.roll_value[i - 1][1]) * f;
}

float rider_grip_factor(const Rider* r) {
  if (!(r->options & OPTION_ARCADE)) return 1;
  return 1 - 0.375f * std::min(4 * std::fabs(rider_lean_angle(r)) / (float)PI, 1.0f);
}

// ---------------------------------------------------------------- ground

bool ground_contacts(Rider* r) {
  const Terrain& t = terrain_record();
  bool touched = false;
  float grip = rider_grip_factor(r);

  for (WheelState& w : r->wheels) {
    ContactGeometry g;
    if (!tyre_ground_probe(w, &g)) {
      w.depth = 0;
      continue;
    }
    touched = true;
    w.contact_point = g.point;
    w.contact_velocity = body_point_velocity(w.body, g.point);
    w.contact_normal = g.normal;
    w.depth = g.depth;

    const Surface& surface = surface_at(t, g.point.x, g.point.z);
    float mu = surface_friction(surface, vec3_length(w.contact_velocity)) * grip;
    float f = w.tube_radius > 0 ? std::min(g.depth / w.tube_radius, 1.0f) : 1.0f;
    ContactSoftness soft = tyre_softness(g.depth, w.tube_radius);
    dContact c = contact_record(g.point, g.normal, g.depth, mu, soft.stiffness, soft.damping);
    Vec3 axle = mat3_mul(body_rotation(w.body), w.axle);
    Vec3 dir;
    if (tyre_friction_direction(g.normal, w.contact_velocity, axle, &dir)) {
      c.surface.mode |= dContactFDir1;
      c.fdir1[0] = dir.x;
      c.fdir1[1] = dir.y;
      c.fdir1[2] = dir.z;
    }
    contact_joint(c, w.body, nullptr, &w.contact_feedback);

    // Rolling resistance against the wheel's motion along the ground.
    Vec3 v = body_velocity(w.body);
    Vec3 vt = v - g.normal * vec3_dot(v, g.normal);
    float speed = vec3_length(vt);
    float ra, rb;
    surface_rolling(surface, speed, &ra, &rb);
    float resistance = ra + (rb - ra) * f;
    Vec3 force = speed > 1 ? vt * (-resistance / speed) : vt * -resistance;
    dBodyAddForce(w.body, force.x, force.y, force.z);
  }

  static constexpr int SHAPE_ORDER[5] = {BODY_CHASSIS, BODY_FORK_UPPER, BODY_FORK_LOWER, BODY_SWING_ARM,
                                         BODY_TORSO};
  for (int part : SHAPE_ORDER) {
    Shape* placed = r->shapes[part];
    const Shape* source = r->shape_source[part];
    if (!placed || !source) continue;
    dBodyID body = r->bodies[part];
    shape_place(placed, *source, body_position(body), body_rotation(body));
  }
  // One window of ground under all the spheres: a sphere clear of its
  // highest point is clear of its own window's too, so its probe would
  // find nothing. Its extent is taken from the same differences as each
  // probe's window, so it holds all of theirs.
  float x0 = INFINITY, x1 = -INFINITY, z0 = INFINITY, z1 = -INFINITY;
  for (int part : SHAPE_ORDER)
    if (r->shapes[part] && r->shape_source[part])
      for (const Sphere& s : r->shapes[part]->spheres) {
        // Plain comparisons (fmin and fmax are calls): a NaN sphere widens
        // nothing, and its own test below fails, so it is probed.
        float left = s.centre.x - s.radius, right = s.centre.x + s.radius;
        float near = s.centre.z - s.radius, far = s.centre.z + s.radius;
        if (left < x0) x0 = left;
        if (right > x1) x1 = right;
        if (near < z0) z0 = near;
        if (far > z1) z1 = far;
      }
  float lo = 0, hi = 0, abs_top = 0;
  bool have_heights = false;
  if (t.heights && t.cell > 0) {
    float inv = 1.0f / t.cell;
    float i0 = std::floor(x0 * inv), i1 = std::floor(x1 * inv), j0 = std::floor(z0 * inv), j1 = std::floor(z1 * inv);
    if (std::fabs(i0) < 1e8f && std::fabs(i1) < 1e8f && std::fabs(j0) < 1e8f && std::fabs(j1) < 1e8f &&
        i1 - i0 <= PROBE_CELL_LIMIT && j1 - j0 <= PROBE_CELL_LIMIT)
      have_heights = window_heights(t, (int)i0, (int)i1, (int)j0, (int)j1, &lo, &hi);
    abs_top = std::fmax(std::fabs(lo), std::fabs(hi));
  }
  int parts = 0;
  for (int part : SHAPE_ORDER) {
    Shape* placed = r->shapes[part];
    const Shape* source = r->shape_source[part];
    if (!placed || !source) continue;
    dBodyID body = r->bodies[part];
    for (const Sphere& s : placed->spheres) {
      if (have_heights && heights_clear_below(s.centre, s.radius, lo, hi, abs_top, abs_top, t.cell)) continue;
      ContactGeometry g;
      if (!sphere_ground_probe(s.centre, s.radius, &g)) continue;
      contact_joint(contact_record(g.point, g.normal, g.depth, s.friction, SHAPE_GROUND_STIFFNESS,
                                   SHAPE_GROUND_DAMPING),
                    body, nullptr, nullptr);
      parts |= part_bit(part);
    }
  }

  if (parts & PART_RIDER) {
    dBodyID torso = r->bodies[BODY_TORSO];
    bool upside_down = body_axis(torso, 1).y < 0;
    if (upside_down && torso_speed(r) > 5 && r->crash_timer == 0 && r->bump_timer >= 0) crash_rider(r);
  }
  if (parts && r->race.slow_state == 0) r->race.slow_state = 1;
  return touched || parts != 0;
}

// ---------------------------------------------------------------- statues

namespace {

int statue_bin_index(float p, float extent) {
  float f = std::floor(8.0f * (p / extent - 0.125f) * 4.0f / 3.0f);
  if (!(f >= 0)) return 0;
  return f > STATUE_BIN_SIDE - 1 ? STATUE_BIN_SIDE - 1 : (int)f;
}

// Scratch kept between steps so that neither the merged list nor the
// placed statue spheres allocate every step.
std::vector<int> merged_statues;
Shape placed_statue;
std::vector<RiderBound> field_bounds;

}  // namespace

void object_contacts(Rider* r) {
  Track& track = track_current();
  float extent = terrain_record().extent;
  if (!(extent > 0)) return;
  Vec3 c = body_position(r->bodies[BODY_CHASSIS]);
  int x0 = statue_bin_index(c.x - 6, extent), x1 = statue_bin_index(c.x + 6, extent);
  int z0 = statue_bin_index(c.z - 6, extent), z1 = statue_bin_index(c.z + 6, extent);
  const int* list;
  int count;
  if (x0 == x1 && z0 == z1) {
    const GrowList<int>& bin = track.statue_bins[z0 * STATUE_BIN_SIDE + x0];
    list = bin.data;
    count = bin.count;
  } else {
    merged_statues.clear();
    for (int bz = z0; bz <= z1; bz++)
      for (int bx = x0; bx <= x1; bx++)
        for (int index : track.statue_bins[bz * STATUE_BIN_SIDE + bx]) merged_statues.push_back(index);
    std::sort(merged_statues.begin(), merged_statues.end());
    merged_statues.erase(std::unique(merged_statues.begin(), merged_statues.end()), merged_statues.end());
    list = merged_statues.data();
    count = (int)merged_statues.size();
  }
  int tick = physics_race_tick();
  RiderBound bound = rider_bound(r);
  for (int k = 0; k < count; k++) {
    int index = list[k];
    if (index < 0 || index >= track.statues.count) continue;
    Statue& statue = track.statues[index];
    if (!statue.shape) continue;
    Vec3 position{statue.x, statue.y, statue.z};
    if (rider_bound_clear(bound, position, statue.shape->bounding_radius)) continue;
    Mat3 rotation = statue.face_camera_size != 0 ? Mat3{} : statue.orientation;
    shape_place(&placed_statue, *statue.shape, position, rotation);
    Collider s{&placed_statue, position, statue.shape->bounding_radius, nullptr};
    int hit = collider_against_rider(s, r, false, false);
    if (!hit) continue;
    statue.tick_stamp = tick;
    if ((hit & PART_RIDER) && r->crash_timer == 0 && torso_speed(r) > 20 && r->bump_timer >= 0) crash_rider(r);
  }
}

// ---------------------------------------------------------------- riders

int compare_rider_speed(const Rider* a, const Rider* b) {
  float sa = chassis_speed(a), sb = chassis_speed(b);
  return sa > sb ? -1 : (sa < sb ? 1 : 0);
}

namespace {

// rider_contacts with both riders' reaches already known.
int rider_contacts_bounded(Rider* a, Rider* b, const RiderBound& ba, const RiderBound& bb, bool online) {
  if (a == b) return 0;
  // Most pairs in a field are far apart: one sphere test each rules them
  // out before any shape is placed.
  if (rider_bound_clear(bb, ba.centre, ba.radius)) return 0;
  int tick = physics_race_tick();
  bool penalty = a->last_bump_tick == tick || b->last_bump_tick == tick;
  static constexpr int ORDER[7] = {BODY_FRONT_WHEEL, BODY_REAR_WHEEL, BODY_CHASSIS, BODY_FORK_UPPER,
                                   BODY_FORK_LOWER, BODY_SWING_ARM, BODY_TORSO};
  int hit = 0, by = 0;
  for (int part : ORDER) {
    Shape* placed = a->shapes[part];
    const Shape* source = a->shape_source[part];
    if (!placed || !source) continue;
    dBodyID body = a->bodies[part];
    Vec3 position = body_position(body);
    if (rider_bound_clear(bb, position, source->bounding_radius)) continue;
    shape_place(placed, *source, position, body_rotation(body));
    // Online only the front ends meet each other's front ends.
    bool front = part == BODY_FRONT_WHEEL || part == BODY_FORK_UPPER || part == BODY_FORK_LOWER;
    Collider s{placed, position, source->bounding_radius, body};
    int h = collider_against_rider(s, b, penalty, front ? false : online);
    if (h) {
      hit |= h;
      by |= part_bit(part);
    }
  }
  if (!hit) return 0;

  bool a_moving = chassis_speed(a) >= 5, b_moving = chassis_speed(b) >= 5;
  if (by & hit & PART_FRONT_END) {
    if (a_moving) a->bump_timer = std::max(a->bump_timer, 192.0f);
    if (b_moving) b->bump_timer = std::max(b->bump_timer, 192.0f);
  } else if (by & PART_FRONT_END) {
    if (a_moving) a->bump_timer = std::max(a->bump_timer, 256.0f);
    if (!(b->bump_timer > 0)) b->bump_timer = std::min(b->bump_timer, -640.0f);
  } else if (hit & PART_FRONT_END) {
    if (b_moving) b->bump_timer = std::max(b->bump_timer, 256.0f);
    if (!(a->bump_timer > 0)) a->bump_timer = std::min(a->bump_timer, -640.0f);
  }
  a->last_bump_tick = b->last_bump_tick = tick;
  // The lines they follow are neither credited nor charged for this stretch.
  for (int i = 0; i < 4; i++) a->picked_ids[i] = b->picked_ids[i] = 0;
  return hit;
}

}  // namespace

int rider_contacts(Rider* a, Rider* b, bool online) {
  return rider_contacts_bounded(a, b, rider_bound(a), rider_bound(b), online);
}

void rider_contacts_all(Rider* const* riders, int n, bool online) {
  // Contacts move no body, so a rider's reach holds for all its pairs.
  std::vector<RiderBound>& bounds = field_bounds;
  bounds.resize((size_t)std::max(n, 0));
  for (int i = 0; i < n; i++) bounds[(size_t)i] = rider_bound(riders[i]);
  for (int i = 0; i < n; i++)
    for (int j = i + 1; j < n; j++)
      rider_contacts_bounded(riders[i], riders[j], bounds[(size_t)i], bounds[(size_t)j], online);
}
