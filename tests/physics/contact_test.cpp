// contact_test.cpp -- tyre and sphere contact geometry: the named cases, and
// random tori, spheres and triangles checked against a dense numerical search.
#include "physics/contact.h"

#include <algorithm>
#include <cmath>
#include <random>

#include <gtest/gtest.h>

namespace {

// ---------------------------------------------------------------- double-precision helpers

struct D3 {
  double x = 0, y = 0, z = 0;
};
D3 operator+(D3 a, D3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
D3 operator-(D3 a, D3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
D3 operator*(D3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(D3 a, D3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
D3 cross(D3 a, D3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double len(D3 a) { return std::sqrt(dot(a, a)); }
D3 unit(D3 a) { return a * (1 / len(a)); }
D3 d3(Vec3 v) { return {v.x, v.y, v.z}; }
Vec3 f3(D3 v) { return {(float)v.x, (float)v.y, (float)v.z}; }

// Nearest point of triangle abc to p, exactly (region by region).
D3 closest_on_triangle(D3 p, D3 a, D3 b, D3 c) {
  D3 ab = b - a, ac = c - a, ap = p - a;
  double d1 = dot(ab, ap), d2 = dot(ac, ap);
  if (d1 <= 0 && d2 <= 0) return a;
  D3 bp = p - b;
  double d3v = dot(ab, bp), d4 = dot(ac, bp);
  if (d3v >= 0 && d4 <= d3v) return b;
  double vc = d1 * d4 - d3v * d2;
  if (vc <= 0 && d1 >= 0 && d3v <= 0) return a + ab * (d1 / (d1 - d3v));
  D3 cp = p - c;
  double d5 = dot(ab, cp), d6 = dot(ac, cp);
  if (d6 >= 0 && d5 <= d6) return c;
  double vb = d5 * d2 - d1 * d6;
  if (vb <= 0 && d2 >= 0 && d6 <= 0) return a + ac * (d2 / (d2 - d6));
  double va = d3v * d6 - d5 * d4;
  if (va <= 0 && (d4 - d3v) >= 0 && (d5 - d6) >= 0) return b + (c - b) * ((d4 - d3v) / ((d4 - d3v) + (d5 - d6)));
  double denom = 1 / (va + vb + vc);
  return a + ab * (vb * denom) + ac * (vc * denom);
}

bool inside_prism(D3 x, const D3 v[3], D3 up) {
  for (int i = 0; i < 3; i++) {
    D3 e = v[(i + 1) % 3] - v[i];
    if (dot(x - v[i], cross(e, up)) > 0) return false;
  }
  return true;
}

struct Torus {
  D3 c, a;  // centre, unit axle
  double R, r;
  D3 b1, b2;  // unit basis of the wheel plane
};

Torus make_torus(D3 c, D3 a, double R, double r) {
  Torus t{c, unit(a), R, r, {}, {}};
  D3 helper = std::fabs(t.a.x) < 0.9 ? D3{1, 0, 0} : D3{0, 1, 0};
  t.b1 = unit(cross(t.a, helper));
  t.b2 = cross(t.a, t.b1);
  return t;
}

D3 ring_at(const Torus& t, double theta) {
  return t.c + (t.b1 * std::cos(theta) + t.b2 * std::sin(theta)) * t.R;
}
D3 surface_at(const Torus& t, double theta, double phi) {
  D3 radial = t.b1 * std::cos(theta) + t.b2 * std::sin(theta);
  return t.c + radial * (t.R + t.r * std::cos(phi)) + t.a * (t.r * std::sin(phi));
}

// Minimises cost(u, w) over a periodic grid, then refines by a shrinking
// pattern search around the best cell.
template <class Cost>
void grid_search(Cost cost, int nu, int nw, double period_u, double period_w, double* best_u, double* best_w) {
  double best = 1e300;
  for (int i = 0; i < nu; i++)
    for (int j = 0; j < nw; j++) {
      double u = period_u * i / nu, w = period_w * j / nw;
      double v = cost(u, w);
      if (v < best) best = v, *best_u = u, *best_w = w;
    }
  double su = period_u / nu, sw = period_w / nw;
  while (su > 1e-9 || sw > 1e-9) {
    bool moved = false;
    for (int k = 0; k < 8; k++) {
      static constexpr int du[8] = {1, -1, 0, 0, 1, 1, -1, -1}, dw[8] = {0, 0, 1, -1, 1, -1, 1, -1};
      double u = *best_u + du[k] * su, w = *best_w + dw[k] * sw;
      double v = cost(u, w);
      if (v < best) best = v, *best_u = u, *best_w = w, moved = true;
    }
    if (!moved) su *= 0.5, sw *= 0.5;
  }
}

struct Triangle {
  D3 v[3];
  D3 n;  // unit
};

// A triangle around the origin, counter-clockwise seen from above, tilted by up to ~40 degrees.
Triangle random_triangle(std::mt19937& rng) {
  std::uniform_real_distribution<double> u(-1, 1);
  Triangle tri;
  for (;;) {
    double angle = 0;
    for (int i = 0; i < 3; i++) {
      angle += 2.0 + 0.5 * u(rng);  // radians, roughly a third of a turn each
      double radius = 1.2 + 0.8 * u(rng);
      // Counter-clockwise seen from above (+y) means clockwise in (x, z).
      tri.v[i] = {radius * std::cos(-angle), 0.3 * u(rng) + 0.6 * (radius * std::cos(-angle)) * u(rng) * 0.5,
                  radius * std::sin(-angle)};
    }
    D3 n = cross(tri.v[1] - tri.v[0], tri.v[2] - tri.v[0]);
    if (len(n) < 0.3) continue;
    tri.n = unit(n);
    if (tri.n.y > 0.75) return tri;
  }
}

constexpr double R_RING = 0.8333, R_TUBE = 0.3333;

struct Errors {
  double depth = 0, point = 0, normal = 0;
  int cases = 0;
  void add(double d, double p, double n) {
    depth = std::max(depth, d), point = std::max(point, p), normal = std::max(normal, n);
    cases++;
  }
};

// ---------------------------------------------------------------- named cases

TEST(TorusTriangle, UprightWheelOnFlatGroundGetsAFaceContact) {
  // Axle along x, 0.1 ft of tyre below the flat ground at y = 0.
  Vec3 c{0, (float)(R_RING + R_TUBE - 0.1), 0};
  ContactGeometry g = torus_triangle(c, {1, 0, 0}, (float)R_RING, (float)R_TUBE, {-5, 0, -5}, {-5, 0, 5}, {5, 0, 0});
  EXPECT_NEAR(g.depth, 0.1f, 1e-5);
  EXPECT_NEAR(g.normal.x, 0, 1e-6);
  EXPECT_NEAR(g.normal.y, 1, 1e-6);
  EXPECT_NEAR(g.point.x, 0, 1e-5);
  EXPECT_NEAR(g.point.y, -0.1f, 1e-5);
  EXPECT_NEAR(g.point.z, 0, 1e-5);
}

TEST(TorusTriangle, RingSunkBelowThePlaneIsPushedOutByItsDiameter) {
  struct Case {
    Vec3 axle;
    float centre_y;
  } cases[] = {{{1, 0, 0}, -1}, {{0, 0, 1}, -2}, {{0.6f, 0, 0.8f}, -0.9f}};
  for (const Case& k : cases) {
    ContactGeometry g = torus_triangle({0.5f, k.centre_y, 0}, k.axle, 0.75f, 0.3333f, {-5, 0, -5}, {-5, 0, 5}, {5, 0, 0});
    EXPECT_FLOAT_EQ(g.depth, 1.5f);
    EXPECT_FLOAT_EQ(g.normal.y, 1);
    EXPECT_NEAR(g.point.y, k.centre_y - 0.75f, 1e-5);  // the ring's lowest point
  }
  // Centre not over the triangle: no push-out; the boundary search decides.
  ContactGeometry g = torus_triangle({20, -1, 0}, {1, 0, 0}, 0.75f, 0.3333f, {-5, 0, -5}, {-5, 0, 5}, {5, 0, 0});
  EXPECT_LT(g.depth, 0);
}

TEST(TorusTriangle, RingCrossingThePlaneOverTheFace) {
  // Centre 0.5 ft above flat ground: the ring reaches 0.3333 ft below it.
  ContactGeometry g = torus_triangle({0, 0.5f, 0}, {1, 0, 0}, 0.8333f, 0.3333f, {-5, 0, -5}, {-5, 0, 5}, {5, 0, 0});
  EXPECT_NEAR(g.depth, 0.3333f + 0.3333f, 1e-5);
  EXPECT_FLOAT_EQ(g.normal.y, 1);
  EXPECT_NEAR(g.point.y, 0.5f - 0.8333f - 0.3333f, 1e-5);
}

TEST(TorusTriangle, EdgeCuttingTheWheelPlaneInsideTheRing) {
  // A ledge ending at z = 0 under a wheel rolling along z that has sunk
  // through the ledge's plane beyond its edge: the edge holds it from the side.
  ContactGeometry g = torus_triangle({0, 0.3f, 0.5f}, {1, 0, 0}, 0.8333f, 0.3333f, {-5, 0, 0}, {5, 0, 0}, {-5, 0, -5});
  EXPECT_NEAR(g.depth, 0.3333f - 1.0f / 1048576, 1e-6);
  EXPECT_NEAR(vec3_length(g.normal), 1, 1e-5);
  EXPECT_NEAR(g.normal.x, 0, 1e-5);  // within the wheel plane
}

TEST(TorusTriangle, DegenerateTriangleGivesNoContact) {
  ContactGeometry g = torus_triangle({0, 0.5f, 0}, {1, 0, 0}, 0.8333f, 0.3333f, {0, 0, 0}, {1, 0, 0}, {2, 0, 0});
  EXPECT_EQ(g.depth, 0);
}

TEST(RingPointNearest, PointsOffAndOnTheAxis) {
  Vec3 p = ring_point_nearest({1, 2, 3}, {1, 0, 0}, 0.5f, {7, 2, 5});
  EXPECT_NEAR(p.x, 1, 1e-6);
  EXPECT_NEAR(p.y, 2, 1e-6);
  EXPECT_NEAR(p.z, 3.5f, 1e-6);
  // On the axis: the first listed direction not along it, (R, 0, 0) is, so (0, R, 0).
  p = ring_point_nearest({0, 0, 0}, {2, 0, 0}, 0.5f, {3, 0, 0});
  EXPECT_NEAR(p.y, 0.5f, 1e-6);
  EXPECT_NEAR(p.x, 0, 1e-6);
  // Axis along y: (R, 0, 0) projects to itself.
  p = ring_point_nearest({0, 0, 0}, {0, 1, 0}, 0.5f, {0, -4, 0});
  EXPECT_NEAR(p.x, 0.5f, 1e-6);
  // A zero axis must not give NaN.
  p = ring_point_nearest({0, 0, 0}, {0, 0, 0}, 0.5f, {0, 0, 2});
  EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
  EXPECT_NEAR(vec3_length(p), 0.5f, 1e-6);
}

TEST(SphereTriangle, NamedCases) {
  const Vec3 a{-5, 0, -5}, b{-5, 0, 5}, c{5, 0, 0};
  struct Case {
    const char* what;
    Vec3 centre;
    float depth;
    Vec3 normal, point;
  } cases[] = {
      {"resting 0.1 deep", {0, 0.4f, 0}, 0.1f, {0, 1, 0}, {0, -0.1f, 0}},
      {"above, apart", {0, 1, 0}, -0.5f, {0, 1, 0}, {0, 0.5f, 0}},
      {"centre below the face", {0, -0.3f, 0}, 0.8f, {0, 1, 0}, {0, -0.8f, 0}},
      {"deep under the face", {0, -3, 0}, 3.5f, {0, 1, 0}, {0, -3.5f, 0}},
      {"beside edge 0", {-5.3f, 0, 0}, 0.2f, {-1, 0, 0}, {-4.8f, 0, 0}},
      {"off a corner", {5.4f, 0, 0}, 0.1f, {1, 0, 0}, {4.9f, 0, 0}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    ContactGeometry g = sphere_triangle(k.centre, 0.5f, a, b, c);
    EXPECT_NEAR(g.depth, k.depth, 1e-5);
    EXPECT_NEAR(g.normal.x, k.normal.x, 1e-5);
    EXPECT_NEAR(g.normal.y, k.normal.y, 1e-5);
    EXPECT_NEAR(g.normal.z, k.normal.z, 1e-5);
    EXPECT_NEAR(g.point.x, k.point.x, 1e-5);
    EXPECT_NEAR(g.point.y, k.point.y, 1e-5);
    EXPECT_NEAR(g.point.z, k.point.z, 1e-5);
  }
  // Deep below a steep face but no longer over it seen from above: no contact.
  ContactGeometry g = sphere_triangle({2.397f, 0.868f, 0.5f}, 0.5f, {0, 0, 0}, {0, 0, 2}, {1, 3, 0});
  EXPECT_LE(g.depth, 0);
}

// The nearest corner wins over a farther edge that the centre happens to
// project onto.
TEST(SphereTriangle, NearCornerBeatsFarEdge) {
  // Flat, wide triangle; the centre sits above the apex side, outside two edges.
  Vec3 v0{0, 0, 0}, v1{10, 0, 0}, v2{5, 0, -1};
  ContactGeometry g = sphere_triangle({5, 0, -3}, 2.5f, v0, v1, v2);
  EXPECT_NEAR(g.depth, 0.5f, 1e-5);
  EXPECT_NEAR(g.point.z, -3 + 2.5f, 1e-5);
}

TEST(ContactNormalCorrect, DownwardNormalsAreFlattened) {
  struct Case {
    Vec3 in, out;
  } cases[] = {
      {{0, 1, 0}, {0, 1, 0}},
      {{0.6f, 0.8f, 0}, {0.6f, 0.8f, 0}},
      {{0.6f, -0.8f, 0}, {1, 0, 0}},
      {{0.01f, -1, 0}, {0, 1, 0}},        // almost straight down
      {{0, -0.9f, 0.2f}, {0, 0, 1}},      // 0.04 >= 1/1024
      {{0, 0, 0}, {0, 1, 0}},
  };
  for (const Case& k : cases) {
    Vec3 n = contact_normal_correct(k.in);
    EXPECT_NEAR(n.x, k.out.x, 1e-6);
    EXPECT_NEAR(n.y, k.out.y, 1e-6);
    EXPECT_NEAR(n.z, k.out.z, 1e-6);
  }
}

// ---------------------------------------------------------------- against a dense search

// Tolerances: depth and point in ft, normal as the length of the difference
// of unit vectors. Single-precision geometry on a 1 ft scale stays within
// about 1e-6; the edge search converges as far. The point of a face contact
// sits where the tyre is flattest, so it may drift ten times further.
constexpr double FACE_TOLERANCE = 1e-4;
constexpr double EDGE_TOLERANCE = 1e-4;

D3 random_axle(std::mt19937& rng) {
  std::uniform_real_distribution<double> u(-1, 1);
  // Mostly horizontal like a riding wheel, but any tilt up to ~70 degrees.
  double heading = u(rng) * M_PI, tilt = u(rng) * 1.2;
  return {std::cos(heading) * std::cos(tilt), std::sin(tilt), std::sin(heading) * std::cos(tilt)};
}

ContactGeometry run_torus(const Torus& t, const Triangle& tri) {
  return torus_triangle(f3(t.c), f3(t.a), (float)t.R, (float)t.r, f3(tri.v[0]), f3(tri.v[1]), f3(tri.v[2]));
}

// Ring above the face with its lowest point over it: the depth is the
// deepest tyre point below the face, found by searching the torus surface.
TEST(TorusTriangleSearch, FaceContactsMatchTheDeepestSurfacePoint) {
  std::mt19937 rng(20240611);
  std::uniform_real_distribution<double> u(-1, 1);
  Errors err;
  while (err.cases < 60) {
    Triangle tri = random_triangle(rng);
    D3 centroid = (tri.v[0] + tri.v[1] + tri.v[2]) * (1.0 / 3);
    Torus t = make_torus(centroid + D3{0.3 * u(rng), 0, 0.3 * u(rng)} + tri.n * (R_RING + 0.25 * u(rng)),
                         random_axle(rng), R_RING, R_TUBE);
    D3 down = unit(cross(cross(tri.n, t.a), t.a));
    if (dot(down, tri.n) > 0) down = down * -1;
    D3 low = t.c + down * t.R;
    if (dot(low - tri.v[0], tri.n) <= 0 || !inside_prism(low, tri.v, tri.n)) continue;

    double bu = 0, bw = 0;
    grid_search([&](double th, double ph) { return dot(surface_at(t, th, ph) - tri.v[0], tri.n); }, 360, 90, 2 * M_PI,
                2 * M_PI, &bu, &bw);
    D3 deepest = surface_at(t, bu, bw);
    double depth = -dot(deepest - tri.v[0], tri.n);
    ContactGeometry g = run_torus(t, tri);
    err.add(std::fabs(g.depth - depth), len(d3(g.point) - deepest), len(d3(g.normal) - tri.n));
  }
  EXPECT_LT(err.depth, FACE_TOLERANCE);
  EXPECT_LT(err.point, 10 * FACE_TOLERANCE);  // the deepest point is flat in one direction
  EXPECT_LT(err.normal, FACE_TOLERANCE);
}

// Ring above the face's plane but beside the face: the depth is minus the
// gap between tyre and triangle, the point the triangle's nearest point and
// the normal the direction from it to the nearest tyre point.
TEST(TorusTriangleSearch, GapsBesideTheFaceMatchTheNearestSurfacePoint) {
  std::mt19937 rng(77);
  std::uniform_real_distribution<double> u(-1, 1);
  Errors err;
  int tried = 0;
  while (err.cases < 60 && tried < 100000) {
    tried++;
    Triangle tri = random_triangle(rng);
    D3 offset{2.2 * u(rng), 0.4 + 0.8 * std::fabs(u(rng)), 2.2 * u(rng)};
    Torus t = make_torus(offset, random_axle(rng), R_RING, R_TUBE);
    D3 down = unit(cross(cross(tri.n, t.a), t.a));
    if (dot(down, tri.n) > 0) down = down * -1;
    D3 low = t.c + down * t.R;
    if (dot(low - tri.v[0], tri.n) <= 0 || inside_prism(low, tri.v, tri.n)) continue;
    // The boundary search measures a corner inside the ring's cylinder to the
    // wheel's disc, not its tyre; keep to corners the tyre itself meets.
    bool corner_in_cylinder = false;
    for (const D3& v : tri.v) {
      D3 p = (v - t.c) - t.a * dot(v - t.c, t.a);
      if (len(p) < t.R + t.r) corner_in_cylinder = true;
    }
    if (corner_in_cylinder) continue;

    auto gap = [&](double th, double ph) {
      D3 x = surface_at(t, th, ph);
      return len(x - closest_on_triangle(x, tri.v[0], tri.v[1], tri.v[2]));
    };
    double bu = 0, bw = 0;
    grid_search(gap, 360, 90, 2 * M_PI, 2 * M_PI, &bu, &bw);
    D3 tyre = surface_at(t, bu, bw);
    D3 ground = closest_on_triangle(tyre, tri.v[0], tri.v[1], tri.v[2]);
    double d = len(tyre - ground);
    if (d < 0.02) continue;  // touching: the direction is ill-defined
    ContactGeometry g = run_torus(t, tri);
    err.add(std::fabs(g.depth + d), len(d3(g.point) - ground), len(d3(g.normal) - unit(tyre - ground)));
  }
  EXPECT_EQ(err.cases, 60);
  EXPECT_LT(err.depth, EDGE_TOLERANCE);
  EXPECT_LT(err.point, 10 * EDGE_TOLERANCE);
  EXPECT_LT(err.normal, 10 * EDGE_TOLERANCE);
}

// Tyre cutting into an edge from beside the face: the depth is the tube
// radius less the ring's distance to the triangle, found along the ring.
TEST(TorusTriangleSearch, EdgePenetrationMatchesTheRingDistance) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(-1, 1);
  Errors err;
  int tried = 0;
  while (err.cases < 60 && tried < 200000) {
    tried++;
    Triangle tri = random_triangle(rng);
    Torus t = make_torus({2.2 * u(rng), 0.2 + 0.9 * std::fabs(u(rng)), 2.2 * u(rng)}, random_axle(rng), R_RING, R_TUBE);
    D3 down = unit(cross(cross(tri.n, t.a), t.a));
    if (dot(down, tri.n) > 0) down = down * -1;
    D3 low = t.c + down * t.R;
    if (dot(low - tri.v[0], tri.n) <= 0 || inside_prism(low, tri.v, tri.n)) continue;
    bool corner_in_cylinder = false;
    for (const D3& v : tri.v) {
      D3 p = (v - t.c) - t.a * dot(v - t.c, t.a);
      if (len(p) < t.R + t.r) corner_in_cylinder = true;
    }
    if (corner_in_cylinder) continue;
    auto ring_gap = [&](double th, double) {
      D3 x = ring_at(t, th);
      return len(x - closest_on_triangle(x, tri.v[0], tri.v[1], tri.v[2]));
    };
    double bu = 0, bw = 0;
    grid_search(ring_gap, 4000, 1, 2 * M_PI, 1, &bu, &bw);
    double d = ring_gap(bu, 0);
    if (d > t.r - 0.01 || d < 0.01) continue;  // only real penetration
    ContactGeometry g = run_torus(t, tri);
    D3 ring = ring_at(t, bu);
    D3 ground = closest_on_triangle(ring, tri.v[0], tri.v[1], tri.v[2]);
    err.add(std::fabs(g.depth - (t.r - d)), len(d3(g.point) - ground), len(d3(g.normal) - unit(ring - ground)));
  }
  EXPECT_EQ(err.cases, 60);
  EXPECT_LT(err.depth, EDGE_TOLERANCE);
  EXPECT_LT(err.point, 10 * EDGE_TOLERANCE);
  EXPECT_LT(err.normal, 10 * EDGE_TOLERANCE);
}

// Spheres anywhere near a triangle: depth radius - distance to the nearest
// triangle point found by a dense search over the triangle, or radius plus
// the depth below the face for a centre under it.
TEST(SphereTriangleSearch, MatchesTheNearestTrianglePoint) {
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> u(-1, 1);
  Errors err;
  for (int k = 0; k < 300; k++) {
    Triangle tri = random_triangle(rng);
    double rho = 0.2 + 0.5 * std::fabs(u(rng));
    D3 s{2.5 * u(rng), 1.2 * u(rng), 2.5 * u(rng)};
    double height = dot(s - tri.v[0], tri.n);
    bool over = inside_prism(s, tri.v, tri.n);
    if (over && height < -rho) continue;  // the deep case is covered by the named cases
    // Dense search over the triangle by barycentric coordinates.
    auto dist = [&](double a, double b) {
      double wa = std::fabs(std::fmod(a, 2.0)), wb = std::fabs(std::fmod(b, 2.0));
      if (wa > 1) wa = 2 - wa;
      if (wb > 1) wb = 2 - wb;
      if (wa + wb > 1) wa = 1 - wa, wb = 1 - wb;
      D3 p = tri.v[0] + (tri.v[1] - tri.v[0]) * wa + (tri.v[2] - tri.v[0]) * wb;
      return len(s - p);
    };
    double ba = 0, bb = 0;
    grid_search(dist, 200, 200, 2, 2, &ba, &bb);
    double d = dist(ba, bb);
    ContactGeometry g = sphere_triangle(f3(s), (float)rho, f3(tri.v[0]), f3(tri.v[1]), f3(tri.v[2]));
    if (over && height < 0) {
      err.add(std::fabs(g.depth - (rho + d)), 0, len(d3(g.normal) - tri.n));
    } else {
      D3 n = unit(s - closest_on_triangle(s, tri.v[0], tri.v[1], tri.v[2]));
      err.add(std::fabs(g.depth - (rho - d)), len(d3(g.point) - (s - n * rho)), len(d3(g.normal) - n));
    }
  }
  EXPECT_GT(err.cases, 150);
  EXPECT_LT(err.depth, FACE_TOLERANCE);
  EXPECT_LT(err.point, 10 * FACE_TOLERANCE);
  EXPECT_LT(err.normal, 10 * FACE_TOLERANCE);
}

}  // namespace

namespace {

TEST(ContactParameters, TyreSoftnessFollowsTheSquash) {
  struct Case {
    float depth, k, c;
  } cases[] = {
      {0.1f, 1648, 262.1f},      // f = 0.3 of a 0.3333 ft tube
      {0.5f, 25000, 2500},       // deeper than the tube: f = 1
      {0.3333f, 25000, 2500},
      {0, 1000, 200},
  };
  for (const Case& k : cases) {
    ContactSoftness s = tyre_softness(k.depth, 0.3333f);
    EXPECT_NEAR(s.stiffness, k.k, 0.5f) << k.depth;
    EXPECT_NEAR(s.damping, k.c, 0.05f) << k.depth;
  }
  float erp, cfm;
  contact_erp_cfm(2500, 250, &erp, &cfm);
  EXPECT_NEAR(erp, (2500.0 / 128) / (2500.0 / 128 + 250), 1e-6);
  EXPECT_NEAR(cfm, 1 / (2500.0 / 128 + 250), 1e-7);
}

TEST(ContactParameters, FrictionDirection) {
  Vec3 dir{};
  // Rolling along -z on flat ground: across the motion, along x.
  ASSERT_TRUE(tyre_friction_direction({0, 1, 0}, {0, 0, -10}, {1, 0, 0}, &dir));
  EXPECT_NEAR(std::fabs(dir.x), 1, 1e-6);
  // Velocity exactly along the normal: the axle decides.
  ASSERT_TRUE(tyre_friction_direction({0, 1, 0}, {0, -3, 0}, {1, 0, 0}, &dir));
  EXPECT_NEAR(dir.z, -1, 1e-6);  // n x axle = (0, 1, 0) x (1, 0, 0)
  // Too slow across the normal: the axle again.
  ASSERT_TRUE(tyre_friction_direction({0, 1, 0}, {0.01f, 0, 0}, {0, 0, 1}, &dir));
  EXPECT_NEAR(dir.x, 1, 1e-6);
  // Axle along the normal too: no direction.
  EXPECT_FALSE(tyre_friction_direction({0, 1, 0}, {0, 2, 0}, {0, 1, 0}, &dir));
}

}  // namespace

// ---------------------------------------------------------------- the contact-only tyre test

// The ground probe keeps only contacts, so it may skip the edge search where
// no contact can come of it; wherever either finds a contact the two must
// agree to the bit. Wheels beside, above and in the triangle, some moved
// along their axle to just past the tube's reach, some brought down to just
// touch the face's plane, some far out on the track where float spacing is
// coarser.
TEST(TorusTriangleTouching, SameContactsAsTheFullTest) {
  std::mt19937 rng(4242);
  std::uniform_real_distribution<double> u(-1, 1);
  int contacts = 0, skipped = 0, deeper_contacts = 0, shallower_passed = 0;
  for (int k = 0; k < 20000; k++) {
    Triangle tri = random_triangle(rng);
    D3 far = k % 4 == 3 ? D3{700 * u(rng), 40 * u(rng), 700 * u(rng)} : D3{};
    D3 c{2.5 * u(rng), 0.5 + 2 * u(rng), 2.5 * u(rng)};
    Torus t = make_torus(c, random_axle(rng), R_RING, R_TUBE);
    if (k % 2 == 1) {
      // Slide along the axle until the nearest corner is just beyond the tube.
      double lo = 1e300, hi = -1e300;
      for (const D3& v : tri.v) lo = std::min(lo, dot(v - t.c, t.a)), hi = std::max(hi, dot(v - t.c, t.a));
      double gap = R_TUBE + 0.05 * std::fabs(u(rng)) - 0.01;
      t.c = t.c + t.a * (u(rng) > 0 ? lo - gap : hi + gap);
    } else if (k % 4 == 2) {
      // Lowest ring point from a little in the face's plane to a little
      // over the tube's reach above it, anywhere beside the face.
      double lowest = dot(t.c - tri.v[0], tri.n) - t.R * len(cross(tri.n, t.a));
      t.c = t.c + tri.n * (0.2 * u(rng) + 0.15 - lowest);
    }
    Vec3 v[3], c3 = f3(t.c + far), a3 = f3(t.a);
    for (int i = 0; i < 3; i++) v[i] = f3(tri.v[i] + far);
    ContactGeometry full = torus_triangle(c3, a3, (float)t.R, (float)t.r, v[0], v[1], v[2]);
    ContactGeometry touch = torus_triangle_touching(c3, a3, (float)t.R, (float)t.r, v[0], v[1], v[2]);
    if (full.depth > 0 || touch.depth > 0) {
      contacts++;
      ASSERT_EQ(touch.depth, full.depth) << "case " << k;
      ASSERT_EQ(touch.point.x, full.point.x) << "case " << k;
      ASSERT_EQ(touch.point.y, full.point.y) << "case " << k;
      ASSERT_EQ(touch.point.z, full.point.z) << "case " << k;
      ASSERT_EQ(touch.normal.x, full.normal.x) << "case " << k;
      ASSERT_EQ(touch.normal.y, full.normal.y) << "case " << k;
      ASSERT_EQ(touch.normal.z, full.normal.z) << "case " << k;
    } else if (touch.depth == 0 && full.depth < 0) {
      skipped++;
    }
    // A caller holding a contact of some depth already asks only for deeper
    // ones: those must still come out to the bit, and nothing shallower may
    // pose as deeper.
    float deeper_than = (float)(t.r * (0.5 + 0.5 * u(rng)));
    ContactGeometry deeper = torus_triangle_touching(c3, a3, (float)t.R, (float)t.r, v[0], v[1], v[2], deeper_than);
    if (full.depth > deeper_than) {
      deeper_contacts++;
      ASSERT_EQ(deeper.depth, full.depth) << "case " << k;
      ASSERT_EQ(deeper.point.x, full.point.x) << "case " << k;
      ASSERT_EQ(deeper.point.y, full.point.y) << "case " << k;
      ASSERT_EQ(deeper.point.z, full.point.z) << "case " << k;
      ASSERT_EQ(deeper.normal.x, full.normal.x) << "case " << k;
      ASSERT_EQ(deeper.normal.y, full.normal.y) << "case " << k;
      ASSERT_EQ(deeper.normal.z, full.normal.z) << "case " << k;
    } else {
      ASSERT_LE(deeper.depth, deeper_than) << "case " << k;
      if (full.depth > 0) shallower_passed++;
    }
  }
  // Every side of the question is asked often.
  EXPECT_GT(contacts, 1000);
  EXPECT_GT(skipped, 1000);
  EXPECT_GT(deeper_contacts, 300);
  EXPECT_GT(shallower_passed, 300);
}
