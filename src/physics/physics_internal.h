// physics_internal.h -- helpers the physics files share: conversions
// between the program's floats and the library's doubles, and contact joints.
#pragma once

#include "physics/physics.h"

inline Vec3 vec3_from(const dReal* v) { return {(float)v[0], (float)v[1], (float)v[2]}; }

inline Mat3 mat3_from(const dReal* r) {
  Mat3 m;
  for (int i = 0; i < 3; i++)
    for (int k = 0; k < 3; k++) m.m[i][k] = (float)r[i * 4 + k];
  return m;
}

inline Vec3 body_position(dBodyID b) { return vec3_from(dBodyGetPosition(b)); }
inline Vec3 body_velocity(dBodyID b) { return vec3_from(dBodyGetLinearVel(b)); }
inline Mat3 body_rotation(dBodyID b) { return mat3_from(dBodyGetRotation(b)); }
inline Vec3 body_point_velocity(dBodyID b, Vec3 p) {
  dVector3 v;
  dBodyGetPointVel(b, p.x, p.y, p.z, v);
  return vec3_from(v);
}
// The body's k-th axis in world space.
inline Vec3 body_axis(dBodyID b, int k) { return mat3_column(body_rotation(b), k); }

// The surface every contact here uses: friction pyramid, soft ERP and CFM
// from a spring k (lbf/ft) and damper c (lbf*s/ft), no bounce.
dContact contact_record(Vec3 point, Vec3 normal, float depth, float mu, float stiffness, float damping);
// A contact joint in the step's group between b1 (pushed along normal)
// and b2 (null: the static world), with optional feedback.
dJointID contact_joint(const dContact& c, dBodyID b1, dBodyID b2, dJointFeedback* feedback);

// The seat point: rider_torso.centre - chassis.centre in the chassis frame.
Vec3 rider_seat_offset(const Rider* r);

// Puts the torso back on the seat with the chassis's orientation and
// attaches the rider mount again (the end of a crash).
void remount_rider(Rider* r);
