// race_physics.cpp -- race control's hooks on the physics world: chassis
// position and speed from the rider's bodies, the false-start hold through
// the control setters, the finishing test the pivot turn asks, and the hash
// of every body.
#include "physics/control.h"
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

RaceHooks race_physics_hooks() {
  RaceHooks h;
  h.chassis_position = chassis_position;
  h.chassis_speed = chassis_speed;
  h.set_front_brake = set_front_brake;
  h.set_rear_brake = set_rear_brake;
  h.set_back_up = set_back_up;
  h.set_clutch = set_clutch;
  h.set_throttle = set_throttle;
  h.set_dab = set_dab;
  return h;
}

void race_install_physics_hooks() {
  race_set_hooks(race_physics_hooks());
  set_pivot_finish_check(rider_has_finished);
}

uint64_t race_bodies_hash() {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&](const dReal* v, int n) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(v);
    for (size_t i = 0; i < sizeof(dReal) * (size_t)n; i++) h = (h ^ p[i]) * 1099511628211ull;
  };
  for (const Rider* r : race_state().riders) {
    if (!r) continue;
    for (dBodyID b : r->bodies) {
      mix(dBodyGetPosition(b), 3);
      mix(dBodyGetQuaternion(b), 4);
      mix(dBodyGetLinearVel(b), 3);
      mix(dBodyGetAngularVel(b), 3);
    }
  }
  return h;
}
