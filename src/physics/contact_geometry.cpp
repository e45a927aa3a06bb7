// contact_geometry.cpp -- torus and sphere against one triangle: the depth,
// point and normal that ground contacts are built from.
#include "physics/contact.h"

#include <cmath>

namespace {

constexpr float EPS_20 = 1.0f / 1048576.0f;         // 2^-20
constexpr float EPS_30 = 1.0f / 1073741824.0f;      // 2^-30
// Newton steps on the edge quartic. The search stops as soon as a step no
// longer lowers |F|, so this cap only matters while it is still converging:
// four steps left edge contact points up to 0.14 ft and depths up to 0.01 ft
// from the true nearest point on slanting edges; sixteen reach float precision.
constexpr int NEWTON_STEPS = 16;

// v without its part along axis (axis need not be unit).
Vec3 perpendicular(Vec3 v, Vec3 axis, float axis_len2) {
  if (axis_len2 <= 0) return v;
  return v - axis * (vec3_dot(v, axis) / axis_len2);
}

// (x - vi) . mi <= 0 for the three edge normals mi = ei x up.
bool inside_prism(Vec3 x, const Vec3 v[3], const Vec3 e[3], Vec3 up) {
  for (int i = 0; i < 3; i++)
    if (vec3_dot(x - v[i], vec3_cross(e[i], up)) > 0) return false;
  return true;
}

struct EdgeSearch {
  Vec3 point;
  float distance;
};

// Nearest point of edge i (v + t*e, t in 0..1) to the ring, by Newton steps
// on the quartic whose roots are the stationary points of the line-to-ring
// distance. Two starts bracket the middle so both near and far sides are tried.
EdgeSearch edge_ring_search(Vec3 v, Vec3 e, Vec3 c, Vec3 a, float ring_radius) {
  float a2 = vec3_dot(a, a);
  float e2 = vec3_dot(e, e);
  Vec3 e_perp = perpendicular(e, a, a2);
  float e_perp2 = vec3_dot(e_perp, e_perp);
  float r2 = ring_radius * ring_radius;

  auto f = [&](float t, float* derivative) {
    Vec3 q = v + e * t - c;
    Vec3 q_perp = perpendicular(q, a, a2);
    float along = vec3_dot(e, q);            // A
    float q_perp2 = vec3_dot(q_perp, q_perp);  // B
    float g = vec3_dot(e_perp, q_perp);      // G
    *derivative = 2 * along * e2 * q_perp2 + along * along * 2 * g - 2 * r2 * g * e_perp2;
    return along * along * q_perp2 - r2 * g * g;
  };

  float t0 = vec3_dot(c - v, e) / e2;
  Vec3 u = vec3_cross(vec3_cross(e, a), a);
  float u2 = vec3_dot(u, u);
  float delta = u2 < 1e-6f * ring_radius ? 0.001f * ring_radius
                                          : std::fabs(ring_radius * vec3_dot(u * (1.0f / std::sqrt(u2)), e)) / e2;

  // The two starts' searches are independent: stepped side by side, each
  // exactly as it would go alone, the processor overlaps their long chains
  // of dependent arithmetic.
  float t[2] = {t0 - delta, t0 + delta}, value[2], d1[2];
  bool going[2] = {true, true};
  for (int k = 0; k < 2; k++) value[k] = f(t[k], &d1[k]);
  for (int step = 0; step < NEWTON_STEPS && (going[0] || going[1]); step++) {
    for (int k = 0; k < 2; k++) {
      if (!going[k]) continue;
      if (std::fabs(d1[k]) < EPS_30) {
        going[k] = false;
        continue;
      }
      float next = t[k] - value[k] / d1[k];
      float d_next;
      float value_next = f(next, &d_next);
      if (!(std::fabs(value_next) < std::fabs(value[k]))) {
        going[k] = false;
        continue;
      }
      t[k] = next;
      value[k] = value_next;
      d1[k] = d_next;
    }
  }
  EdgeSearch best{};
  for (int k = 0; k < 2; k++) {
    float tk = std::fmin(std::fmax(t[k], 0.0f), 1.0f);  // fmax/fmin also turn a NaN into 0
    Vec3 p = v + e * tk;
    float d = vec3_length(p - ring_point_nearest(c, a, ring_radius, p));
    if (k == 0 || d < best.distance) best = {p, d};
  }
  return best;
}

// What ring_clear_of_triangle needs of the face: its corners, edges and
// unnormalised normal n, and the ring's lowest point against it.
struct FaceView {
  const Vec3* v;  // [3] ft
  const Vec3* e;  // [3] ft, v[i+1] - v[i]
  Vec3 n;         // ft^2, upward
  float n_len;    // ft^2
  Vec3 low;       // ft, the ring point most opposed to n
  float s_low;    // ft^3, (low - v0) . n
};

// True when no point of the triangle's boundary can come within the tube
// radius of the ring, so that the edge and vertex search can only find a
// gap. Four lower bounds on that distance, any one enough:
// - the distance from the wheel plane, when all three corners lie on one
//   side of it;
// - the drop below the hub less the ring radius;
// - the height of the ring's lowest point over the face's plane;
// - the distance of that lowest point from the triangle less the reach of
//   the part of the ring within a tube radius of the plane (an arc about
//   the lowest point, chord rho), less the tube radius.
// The search's own points are ring points or points of the ring's disc,
// whose distances from the plane are no smaller than the lowest point's.
// The slack covers the float rounding of the search itself, the ring
// point's direction near the axle most of all; an axle far from unit
// length, or a NaN, never skips.
bool ring_clear_of_triangle(Vec3 c, Vec3 a, float ring_radius, float tube_radius, const FaceView& f) {
  float a2 = vec3_dot(a, a);
  if (!(a2 > 0.25f && a2 < 4.0f)) return false;
  float inv_len = 1.0f / std::sqrt(a2);
  float side[3], size = 0, top = -INFINITY;
  for (int i = 0; i < 3; i++) {
    float d2 = vec3_dot(f.v[i] - c, f.v[i] - c);
    if (!(d2 < INFINITY)) return false;  // also a NaN corner
    side[i] = vec3_dot(f.v[i] - c, a) * inv_len;
    // Plain comparisons: everything here is finite, and fmax is a call.
    float d = std::sqrt(d2);
    if (d > size) size = d;
    if (f.v[i].y > top) top = f.v[i].y;
  }
  float R = ring_radius, r = tube_radius;
  if (!(R >= 0 && r >= 0)) return false;  // the drop and arc bounds take R as a length
  float scale = std::fabs(c.x) + std::fabs(c.y) + std::fabs(c.z) + size;
  float slack = 1.0f / 64 + 1e-3f * (1 + R) * (size + 2 * R) + 1e-5f * scale;
  float limit = r + slack;
  if (!(limit < INFINITY)) return false;
  if (side[0] > limit && side[1] > limit && side[2] > limit) return true;
  if (side[0] < -limit && side[1] < -limit && side[2] < -limit) return true;
  if (c.y - top - R > limit) return true;

  if (!(f.n_len > 0 && f.n_len < INFINITY)) return false;
  float gap = f.s_low / f.n_len;  // ft, lowest ring point over the plane
  if (!(std::fabs(gap) < INFINITY)) return false;
  if (gap > limit) return true;
  // The part of the face's normal across the axle, as a fraction: small
  // when the wheel lies almost flat on the face and the arc spreads wide.
  float across = vec3_length(vec3_cross(f.n, a)) / (f.n_len * std::sqrt(a2));
  if (!(across >= 0.1f && across <= 1.5f)) return false;
  float rise = limit - gap > 0 ? limit - gap : 0;  // ft
  float rho = std::sqrt(2 * R * rise / across);
  if (rho > 2 * R) rho = 2 * R;
  // low's distance outside the farthest edge line; a NaN is never farthest.
  float away = -INFINITY;  // ft
  for (int i = 0; i < 3; i++) {
    Vec3 m = vec3_cross(f.e[i], f.n);
    float m_len = vec3_length(m);
    if (!(m_len > 0 && m_len < INFINITY)) return false;
    float out = vec3_dot(f.low - f.v[i], m) / m_len;
    if (out > away) away = out;
  }
  return away > rho + limit + slack;
}

// True when every point of the edge v + t e (t in 0..1) is certainly
// farther than `beyond` from the ring. A point's distance from the ring is
// sqrt(h^2 + (rho - R)^2) for its offset h along the axle and its distance
// rho from the axle; over the edge, |h| is at least its smaller end value
// when both ends lie on one side of the wheel plane, and rho - R keeps one
// sign when the edge stays outside the radius (rho is convex along it) or
// inside it. The slack covers the float rounding of the edge search's own
// distances at track coordinates; a NaN never skips.
bool edge_clear_of_ring(Vec3 v, Vec3 e, Vec3 c, Vec3 a, float ring_radius, float beyond) {
  float a2 = vec3_dot(a, a);
  if (!(a2 > 0.25f && a2 < 4.0f)) return false;
  float inv_len = 1.0f / std::sqrt(a2);
  const float R = ring_radius;
  Vec3 p0 = v - c;
  float h0 = vec3_dot(p0, a) * inv_len, h1 = vec3_dot(p0 + e, a) * inv_len;
  // Plain comparisons rather than fmin and fmax, which are calls: a NaN
  // anywhere still ends in a failed final test.
  float h = h0 > 0 && h1 > 0 ? (h0 < h1 ? h0 : h1) : (h0 < 0 && h1 < 0 ? (h0 > h1 ? -h0 : -h1) : 0);
  Vec3 q0 = perpendicular(p0, a, a2), qe = perpendicular(e, a, a2);
  float qe2 = vec3_dot(qe, qe);
  float t = qe2 > 0 ? -vec3_dot(q0, qe) / qe2 : 0;
  t = t > 0 ? (t < 1 ? t : 1) : 0;
  float rho_min = vec3_length(q0 + qe * t);
  float rho0 = vec3_length(q0), rho1 = vec3_length(q0 + qe);
  float rho_max = rho0 > rho1 ? rho0 : rho1;
  float g = rho_min > R ? rho_min - R : (rho_max < R ? R - rho_max : 0);
  auto biggest = [](Vec3 p) {
    float x = std::fabs(p.x), y = std::fabs(p.y), z = std::fabs(p.z);
    float m = x > y ? x : y;
    return m > z ? m : z;
  };
  float scale = biggest(c) + biggest(v) + biggest(e) + std::fabs(R);
  float slack = 1e-4f * (1 + std::fabs(R) + biggest(e)) + 4e-6f * scale;
  return std::sqrt(h * h + g * g) > beyond + slack;
}

// True when the triangle lies wholly out of the reach (ft) of the ring,
// told from its corners alone, before any of the face's own work: the
// ring's lowest point is above all three by more than the reach, or the
// hub is above all three and they lie beyond the reach on one side of the
// wheel plane. Every point of the ring and of its disc is then farther
// than the reach from every point of the triangle, so none of the face
// cases can find a contact that deep, and ring_clear_of_triangle, whose
// slack is no larger than this one, would pass the edges over too.
bool triangle_out_of_reach(Vec3 c, Vec3 a, float ring_radius, float reach, const Vec3 v[3]) {
  float a2 = vec3_dot(a, a);
  const float R = ring_radius;
  if (!(a2 > 0.25f && a2 < 4.0f) || !(R >= 0 && reach >= 0)) return false;
  float inv_len = 1.0f / std::sqrt(a2);
  float side[3], size = 0, top = -INFINITY;
  for (int i = 0; i < 3; i++) {
    Vec3 d = v[i] - c;
    float l1 = std::fabs(d.x) + std::fabs(d.y) + std::fabs(d.z);  // no less than the length
    if (!(l1 < INFINITY)) return false;  // also a NaN corner
    if (l1 > size) size = l1;
    side[i] = vec3_dot(d, a) * inv_len;
    if (v[i].y > top) top = v[i].y;
  }
  size *= 1.001f;
  float scale = std::fabs(c.x) + std::fabs(c.y) + std::fabs(c.z) + size;
  float slack = 1.0f / 64 + 1e-3f * (1 + R) * (size + 2 * R) + 1e-5f * scale;
  float limit = reach + slack;
  if (!(limit < INFINITY)) return false;
  if (c.y - top - R > limit) return true;
  if (!(c.y > top + slack)) return false;  // the hub may be under the face
  return (side[0] > limit && side[1] > limit && side[2] > limit) ||
         (side[0] < -limit && side[1] < -limit && side[2] < -limit);
}

// deeper_than < 0: the full test; otherwise only depths beyond it matter.
ContactGeometry torus_triangle_search(Vec3 c, Vec3 a, float ring_radius, float tube_radius, Vec3 v0, Vec3 v1,
                                      Vec3 v2, float deeper_than);

}  // namespace

Vec3 ring_point_nearest(Vec3 c, Vec3 axis, float ring_radius, Vec3 p) {
  const float R = ring_radius;
  const Vec3 fallbacks[7] = {{R, 0, 0}, {0, R, 0}, {R, R, 0}, {0, 0, R}, {R, 0, R}, {0, R, R}, {R, R, R}};
  float a2 = vec3_dot(axis, axis);
  Vec3 q = perpendicular(p - c, axis, a2);
  for (int i = 0; i < 7 && vec3_dot(q, q) < 1e-6f * R; i++) q = perpendicular(fallbacks[i], axis, a2);
  float len = vec3_length(q);
  if (!(len > 0)) return c;  // a zero radius, or no usable direction at all
  return c + q * (R / len);
}

ContactGeometry torus_triangle(Vec3 c, Vec3 a, float ring_radius, float tube_radius, Vec3 v0, Vec3 v1,
                               Vec3 v2) {
  return torus_triangle_search(c, a, ring_radius, tube_radius, v0, v1, v2, -1);
}

ContactGeometry torus_triangle_touching(Vec3 c, Vec3 a, float ring_radius, float tube_radius, Vec3 v0, Vec3 v1,
                                        Vec3 v2, float deeper_than) {
  return torus_triangle_search(c, a, ring_radius, tube_radius, v0, v1, v2, std::fmax(deeper_than, 0.0f));
}

namespace {

ContactGeometry torus_triangle_search(Vec3 c, Vec3 a, float ring_radius, float tube_radius, Vec3 v0, Vec3 v1,
                                      Vec3 v2, float deeper_than) {
  const float R = ring_radius, r = tube_radius;
  const Vec3 v[3] = {v0, v1, v2};
  ContactGeometry out;
  if (deeper_than >= 0 && r - deeper_than >= 0 && triangle_out_of_reach(c, a, R, r - deeper_than, v)) return out;
  const Vec3 e[3] = {v1 - v0, v2 - v1, v0 - v2};
  Vec3 n = vec3_cross(v1 - v0, v2 - v0);
  float n2 = vec3_dot(n, n);
  if (!(n2 > 0)) return out;
  float n_len = std::sqrt(n2);
  Vec3 n_hat = n * (1.0f / n_len);

  // The direction within the wheel plane most opposed to the face normal.
  Vec3 down = vec3_cross(vec3_cross(n, a), a);
  if (vec3_dot(down, n) > 0) down = -down;
  down = vec3_normalize(down);
  Vec3 low = c + down * R;
  Vec3 high = c - down * R;
  float s_low = vec3_dot(low - v0, n);
  float s_high = vec3_dot(high - v0, n);

  if (s_low > 0) {
    // Ring wholly above the plane: the face contact under its lowest point.
    if (inside_prism(low, v, e, n)) {
      Vec3 foot = low - n * (s_low / n2);
      out.depth = r - s_low / n_len;
      out.normal = n_hat;
      out.point = ring_point_nearest(c, a, R, foot) - n_hat * r;
      return out;
    }
  } else if (s_high > 0) {
    // Ring crossing the plane.
    float s_centre = vec3_dot(c - v0, n);
    float toward = vec3_dot(low - c, n);
    Vec3 x = toward != 0 ? c + (low - c) * (-s_centre / toward) : low;
    if (inside_prism(x, v, e, n)) {
      out.depth = r + std::fabs(s_low) / n_len;
      out.normal = n_hat;
      out.point = low - n_hat * r;
      return out;
    }
    // The ring passes outside the face: an edge that cuts the wheel plane
    // inside the ring holds the tyre from the side.
    for (int i = 0; i < 3; i++) {
      if (vec3_dot(x - v[i], vec3_cross(e[i], n)) <= 0) continue;
      Vec3 w = v[(i + 1) % 3];
      bool side_a = vec3_dot(v[i] - c, a) <= 0;
      bool side_b = vec3_dot(w - c, a) <= 0;
      if (side_a == side_b) continue;
      float da = vec3_dot(v[i] - c, a), db = vec3_dot(w - c, a);
      Vec3 y = v[i] + e[i] * (da / (da - db));
      if (!(vec3_length(y - c) < R)) continue;
      Vec3 t = vec3_cross(y - c, a);
      if (vec3_dot(t, n) < 0) t = -t;
      Vec3 normal = vec3_normalize(vec3_cross(e[i], t));
      if (vec3_dot(normal, normal) == 0) normal = n_hat;
      out.depth = r - EPS_20;
      out.normal = normal;
      out.point = ring_point_nearest(c, a, R, y) - normal * r;
      return out;
    }
  } else {
    // Ring wholly below the plane: push the wheel straight up by its diameter.
    if (inside_prism(c, v, e, Vec3{0, 1, 0})) {
      out.depth = 2 * R;
      out.normal = {0, 1, 0};
      out.point = low;
      return out;
    }
  }

  // Edges and vertices: the nearest of the triangle's boundary to the ring.
  // A caller that keeps only contacts deeper than some depth is spared the
  // search when the boundary stays farther than the tube radius less that
  // depth.
  if (deeper_than >= 0 && r - deeper_than >= 0 &&
      ring_clear_of_triangle(c, a, R, r - deeper_than, FaceView{v, e, n, n_len, low, s_low}))
    return out;
  float best = 0;
  int best_index = -1;  // 0..2 edges, 3..5 vertices
  Vec3 best_point;
  for (int i = 0; i < 3; i++) {
    // Such a caller needs no edge that stays farther from the ring than the
    // depth asks, nor one farther than an edge already searched: it could
    // not be the nearest.
    if (deeper_than >= 0) {
      float beyond = r - deeper_than;
      if (best_index >= 0 && best < beyond) beyond = best;
      if (edge_clear_of_ring(v[i], e[i], c, a, R, beyond)) continue;
    }
    EdgeSearch s = edge_ring_search(v[i], e[i], c, a, R);
    if (best_index < 0 || s.distance < best) {
      best = s.distance;
      best_index = i;
      best_point = s.point;
    }
  }
  float a2 = vec3_dot(a, a);
  for (int j = 0; j < 3; j++) {
    Vec3 p = perpendicular(v[j] - c, a, a2);
    float p_len = vec3_length(p);
    if (p_len > R) p = p * (R / p_len);
    // A corner's distance is from the wheel's disc, not the ring: it may be
    // nearer than every edge, searched or not.
    float d = vec3_length(c + p - v[j]);
    if (best_index < 0 || d < best) {
      best = d;
      best_index = 3 + j;
      best_point = v[j];
    }
  }

  if (best_index < 0) return out;  // every edge passed over, and no corner to take
  out.depth = r - best;
  if (best_index >= 3) {
    Vec3 axis_hat = vec3_normalize(a);
    out.point = best_point;
    out.normal = vec3_dot(best_point - c, a) > 0 ? -axis_hat : axis_hat;
  } else if (best > EPS_20) {
    out.point = best_point;
    out.normal = vec3_normalize(ring_point_nearest(c, a, R, best_point) - best_point);
  } else {
    // The ring runs through the edge itself.
    Vec3 w = ring_point_nearest(c, a, R, best_point);
    Vec3 t = vec3_cross(w - c, a);
    if (vec3_dot(t, n) < 0) t = -t;
    Vec3 normal = vec3_cross(e[best_index], t);
    normal = vec3_dot(normal, normal) < EPS_20 ? n_hat : vec3_normalize(normal);
    out.normal = normal;
    out.point = w - normal * r;
  }
  return out;
}

}  // namespace

ContactGeometry sphere_triangle(Vec3 s, float radius, Vec3 v0, Vec3 v1, Vec3 v2) {
  const Vec3 v[3] = {v0, v1, v2};
  const Vec3 e[3] = {v1 - v0, v2 - v1, v0 - v2};
  Vec3 n = vec3_cross(v1 - v0, v2 - v0);
  float n2 = vec3_dot(n, n);
  ContactGeometry out;
  if (!(n2 > 0)) return out;
  Vec3 n_hat = n * (1.0f / std::sqrt(n2));

  if (inside_prism(s, v, e, n)) {
    float depth = radius - vec3_dot(s - v0, n_hat);
    if (depth > 2 * radius && !inside_prism(s, v, e, Vec3{0, 1, 0})) return out;
    out.depth = depth;
    out.normal = n_hat;
    out.point = s - n_hat * radius;
    return out;
  }

  // The nearest point of the boundary. (Taking the first edge that the
  // centre projects onto could pick a far edge over a near corner.)
  Vec3 nearest;
  float nearest2 = 0;
  for (int j = 0; j < 3; j++) {
    float u = vec3_dot(s - v[j], e[j]) / vec3_dot(e[j], e[j]);
    u = std::fmin(std::fmax(u, 0.0f), 1.0f);
    Vec3 p = v[j] + e[j] * u;
    float d2 = vec3_dot(s - p, s - p);
    if (j == 0 || d2 < nearest2) {
      nearest = p;
      nearest2 = d2;
    }
  }
  float d = std::sqrt(nearest2);
  out.depth = radius - d;
  out.normal = d > 0 ? (s - nearest) * (1.0f / d) : n_hat;
  out.point = s - out.normal * radius;
  return out;
}

Vec3 contact_normal_correct(Vec3 normal) {
  if (normal.y < 0) {
    float horizontal2 = normal.x * normal.x + normal.z * normal.z;
    normal = horizontal2 >= 1.0f / 1024 ? Vec3{normal.x, 0, normal.z} : Vec3{0, 1, 0};
  }
  Vec3 unit = vec3_normalize(normal);
  return vec3_dot(unit, unit) > 0 ? unit : Vec3{0, 1, 0};
}

// ---------------------------------------------------------------- contact parameters

ContactSoftness tyre_softness(float depth, float tube_radius) {
  float f = tube_radius > 0 ? std::fmin(depth / tube_radius, 1.0f) : 1.0f;
  f = std::fmax(f, 0.0f);
  float f3 = f * f * f;
  return {1000 + 24000 * f3, 200 + 2300 * f3};
}

void contact_erp_cfm(float stiffness, float damping, float* erp, float* cfm) {
  float kh = stiffness * (float)SIM_STEP;
  *erp = kh / (kh + damping);
  *cfm = 1 / (kh + damping);
}

bool tyre_friction_direction(Vec3 normal, Vec3 velocity, Vec3 axle, Vec3* dir) {
  Vec3 d = vec3_cross(normal, velocity);
  if (vec3_dot(d, d) >= 1.0f / 1024) {
    *dir = vec3_normalize(d);
    return true;
  }
  d = vec3_cross(normal, axle);
  if (vec3_dot(d, d) > 0) {
    *dir = vec3_normalize(d);
    return true;
  }
  return false;
}
