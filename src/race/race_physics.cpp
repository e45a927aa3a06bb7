// race_physics.cpp -- race control's hooks on the physics world: chassis
// position and speed from the rider's bodies, and the false-start hold.
#include "physics/physics.h"
#include "race/race.h"

#include <ode/ode.h>

#include <cmath>

static Vec3 chassis_position(const Rider& r) {
  dBodyID body = rider_chassis(&r);
  if (!body) return Vec3{};  // not built: stands at the origin, far from any gate
  const dReal* p = dBodyGetPosition(body);
  return Vec3{(float)p[0], (float)p[1], (float)p[2]};
}

static float chassis_speed(const Rider& r) {
  dBodyID body = rider_chassis(&r);
  if (!body) return 0;
  const dReal* v = dBodyGetLinearVel(body);
  return (float)std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

// The control setters of the rider-control code are not there yet, so the
// hold writes the control inputs straight into the record.
static void hold_front_brake(Rider* r, float v) { r->front_brake = v; }
static void hold_rear_brake(Rider* r, float v) { r->rear_brake = v; }
static void hold_back_up(Rider* r, float v) { r->back_up = v; }
static void hold_clutch(Rider* r, float v) { r->clutch = v; }
static void hold_throttle(Rider* r, float v) { r->throttle = v; }
static void hold_dab(Rider* r, float v) { r->dab = v; }

RaceHooks race_physics_hooks() {
  RaceHooks h;
  h.chassis_position = chassis_position;
  h.chassis_speed = chassis_speed;
  h.set_front_brake = hold_front_brake;
  h.set_rear_brake = hold_rear_brake;
  h.set_back_up = hold_back_up;
  h.set_clutch = hold_clutch;
  h.set_throttle = hold_throttle;
  h.set_dab = hold_dab;
  return h;
}
