// contact.h -- contact geometry: the tyre as a torus and the shape spheres
// against one terrain triangle, and the nearest point of the tyre's ring.
#pragma once

#include "common/common.h"

// One contact candidate. depth > 0 means penetration (ft); a negative depth
// from torus_triangle is the gap to the triangle's boundary, so the caller
// keeps the largest positive one.
struct ContactGeometry {
  float depth = 0;  // ft
  Vec3 point;       // ft, world
  Vec3 normal;      // unit, pointing from the triangle toward the collider
};

// The point of the circle with centre c, axis `axis` (any length but zero)
// and radius ring_radius (ft) nearest to p. A point on the axis takes the
// first of a fixed list of directions that is not along the axis.
Vec3 ring_point_nearest(Vec3 c, Vec3 axis, float ring_radius, Vec3 p);

// The tyre (torus around unit axle `axis` through wheel centre c, ring and
// tube radii in ft) against the triangle v0, v1, v2 (counter-clockwise seen
// from above). Always fills a result; see ContactGeometry for the depth.
// A degenerate triangle gives depth 0.
ContactGeometry torus_triangle(Vec3 c, Vec3 axis, float ring_radius, float tube_radius, Vec3 v0, Vec3 v1,
                               Vec3 v2);

// torus_triangle for a caller that keeps only contacts deeper than
// deeper_than (>= 0): the same result whenever depth > deeper_than, and
// depth <= deeper_than (not necessarily the true depth) otherwise.
ContactGeometry torus_triangle_touching(Vec3 c, Vec3 axis, float ring_radius, float tube_radius, Vec3 v0,
                                        Vec3 v1, Vec3 v2, float deeper_than = 0);

// A sphere (centre s, radius in ft) against the triangle v0, v1, v2
// (counter-clockwise seen from above). depth <= 0 means no contact. A centre
// sunk more than one radius below the face counts only while it is still
// over the triangle seen from above, and then pushes straight out along the
// face normal.
ContactGeometry sphere_triangle(Vec3 s, float radius, Vec3 v0, Vec3 v1, Vec3 v2);

// The correction applied to a winning ground contact: a downward normal is
// flattened to the horizontal, or made (0, 1, 0) when it has almost no
// horizontal part, so that the ground never pulls a body down. Always unit.
Vec3 contact_normal_correct(Vec3 normal);

// ---------------------------------------------------------------- contact parameters

// Spring and damper of a tyre contact, stiffening with the cube of how far
// the tube is squashed: k lbf/ft and c lbf*s/ft.
struct ContactSoftness {
  float stiffness;
  float damping;
};
ContactSoftness tyre_softness(float depth, float tube_radius);

// The physics library's soft ERP and CFM for a contact with stiffness k and
// damping c over one SIM_STEP: ERP = k*h/(k*h + c), CFM = 1/(k*h + c).
void contact_erp_cfm(float stiffness, float damping, float* erp, float* cfm);

// The tyre's first friction direction: across the sliding velocity v in the
// ground plane of normal n, or, when v is (nearly) along n, across the
// wheel's axle. False, and *dir untouched, when neither gives a direction.
bool tyre_friction_direction(Vec3 normal, Vec3 velocity, Vec3 axle, Vec3* dir);
