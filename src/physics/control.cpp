// control.cpp -- the rider's half of the bike: control setters, the rider
// springs, steering by lean and by the bars, the stability assists, the
// foot down and the pivot turn, backing up, crashes and getting back on.
#include "physics/control.h"

#include <algorithm>
#include <cmath>

#include "physics/physics_internal.h"
#include "physics/shape.h"
#include "track/track.h"

namespace {

constexpr float PI_F = 3.14159265358979f;
constexpr float DT = (float)SIM_STEP;
constexpr float GRAVITY = 32;  // ft/s^2

// ---------------------------------------------------------------- module state

// The controls the ground assists override for one step, put back after
// the foot support of the same rider_step.
struct SavedControls {
  const Rider* rider = nullptr;
  float front_brake = 0, rear_brake = 0, dab = 0;
};
SavedControls saved;

bool (*finish_check)(Rider*) = nullptr;

// ---------------------------------------------------------------- small helpers

float clampf(float v, float lo, float hi) { return std::min(std::max(v, lo), hi); }
float signf(float v) { return v < 0 ? -1.0f : 1.0f; }
bool touching(const WheelState& w) { return w.depth > 0; }

dBodyID chassis_of(const Rider* r) { return r->bodies[BODY_CHASSIS]; }
dBodyID torso_of(const Rider* r) { return r->bodies[BODY_TORSO]; }

Vec3 rel_point(dBodyID b, Vec3 p) {
  dVector3 w;
  dBodyGetRelPointPos(b, p.x, p.y, p.z, w);
  return vec3_from(w);
}
Vec3 to_world(dBodyID b, Vec3 v) {
  dVector3 w;
  dBodyVectorToWorld(b, v.x, v.y, v.z, w);
  return vec3_from(w);
}
Vec3 from_world(dBodyID b, Vec3 v) {
  dVector3 w;
  dBodyVectorFromWorld(b, v.x, v.y, v.z, w);
  return vec3_from(w);
}
Vec3 angular_velocity(dBodyID b) { return vec3_from(dBodyGetAngularVel(b)); }

float rider_speed(const Rider* r) { return vec3_length(body_velocity(chassis_of(r))); }

int tick_slot(int tick) { return ((tick % 4) + 4) % 4; }

// A contact joint with no friction between two bodies, b1 pushed along the
// normal: the rider springs and the ropes.
void soft_joint(dBodyID b1, dBodyID b2, Vec3 point, Vec3 normal, float depth, float k, float c) {
  // An unstretched spring pushes nothing; as a joint of zero depth it would
  // only add a stiff row that, beside the mount, leaves the solver without
  // a usable answer (the bike then drops through the ground).
  if (!(depth > 1e-4f)) return;
  dContact contact = contact_record(point, normal, depth, 0, k, c);
  contact.surface.mode = dContactSoftERP | dContactSoftCFM;

  contact_joint(contact, b1, b2, nullptr);
}

// Pulls point a (on body ba) and point b (on body bb) together while they
// are farther apart than length (ft).
void rope(dBodyID ba, Vec3 a, dBodyID bb, Vec3 b, float length) {
  constexpr float ROPE_STIFFNESS = 5000;  // lbf/ft
  constexpr float ROPE_DAMPING = 500;     // lbf*s/ft
  Vec3 d = a - b;
  float dist = vec3_length(d);
  if (!(dist > length) || !(dist > 0)) return;
  soft_joint(bb, ba, (a + b) * 0.5f, d * (1.0f / dist), dist - length, ROPE_STIFFNESS, ROPE_DAMPING);
}

// Pushes a body's horizontal velocity toward target with up to force lbf.
void hold_velocity(dBodyID body, float force, Vec3 target) {
  Vec3 delta = body_velocity(body) - target;
  float sq = vec3_dot(delta, delta);
  if (sq < 0.0625f) return;
  float len = std::sqrt(sq);
  float k = clampf((len - 0.25f) * 0.8f, 0, 1);
  float s = -k * force / len;
  dBodyAddForce(body, delta.x * s, 0, delta.z * s);
}

// An angular motor on the chassis against the world, for this step only.
void roll_motor(const Rider* r, Vec3 axis, float velocity, float max_force) {
  dJointID j = dJointCreateAMotor(physics_world(), physics_contact_group());
  dJointAttach(j, chassis_of(r), nullptr);
  dJointSetAMotorMode(j, dAMotorUser);
  dJointSetAMotorNumAxes(j, 1);
  dJointSetAMotorAxis(j, 0, 0, axis.x, axis.y, axis.z);
  dJointSetAMotorParam(j, dParamVel, velocity);
  dJointSetAMotorParam(j, dParamFMax, std::max(max_force, 0.0f));
}

Vec3 steering_axis_world(const Rider* r) {
  Vec3 a = vec3_normalize(r->spec.fork.upper_centre - r->spec.fork.lower_centre);
  return to_world(chassis_of(r), a);
}

void apply_steering_torque(const Rider* r, float torque) {
  Vec3 t = steering_axis_world(r) * torque;
  dBodyAddTorque(r->bodies[BODY_FRONT_WHEEL], t.x, t.y, t.z);
  dBodyAddTorque(chassis_of(r), -t.x, -t.y, -t.z);
}

// The gate index's position in the lap gate lists.
int lap_list_position(const TrackTiming& t, int n) {
  if (n < t.first_lap_gates || t.normal_lap_gates <= 0) return n;
  return t.first_lap_gates + (n - t.first_lap_gates) % t.normal_lap_gates;
}

// ---------------------------------------------------------------- crash pieces

// The rider's sphere shape against the bike's own chassis and upper fork,
// so that a fallen rider lies against the bike rather than inside it.
constexpr float SELF_CONTACT_DEPTH = 0.0625f;  // ft

void rider_against_own_bike(Rider* r) {
  Shape* rider = r->shapes[BODY_TORSO];
  const Shape* rider_source = r->shape_source[BODY_TORSO];
  if (!rider || !rider_source) return;
  dBodyID torso = torso_of(r);
  shape_place(rider, *rider_source, body_position(torso), body_rotation(torso));
  for (int part : {BODY_CHASSIS, BODY_FORK_UPPER}) {
    Shape* placed = r->shapes[part];
    const Shape* source = r->shape_source[part];
    if (!placed || !source) continue;
    dBodyID body = r->bodies[part];
    if (!(vec3_length(body_position(body) - body_position(torso)) <
          source->bounding_radius + rider_source->bounding_radius))
      continue;
    shape_place(placed, *source, body_position(body), body_rotation(body));
    for (const Sphere& a : placed->spheres) {
      for (const Sphere& b : rider->spheres) {
        Vec3 d = b.centre - a.centre;
        float dist = vec3_length(d);
        float reach = a.radius + b.radius;
        if (!(dist < reach)) continue;
        Vec3 n = dist > 0 ? d * (1.0f / dist) : Vec3{0, 1, 0};
        float depth = reach - dist;
        Vec3 point = a.centre + n * (a.radius - 0.5f * depth);
        // The seated rider's spheres overlap the bike's deeply at the moment
        // of the crash; taken whole, that depth would fling the bike into
        // the ground in one step, so it is worked off a little at a time.
        depth = std::min(depth, SELF_CONTACT_DEPTH);
        dContact c = contact_record(point, n, depth, std::min(a.friction, b.friction),
                                    std::min(a.stiffness, b.stiffness), std::min(a.damping, b.damping));
        contact_joint(c, torso, body, nullptr);
      }
    }
  }
}

// Replaces the velocity component along unit n by the torso's there.
void tie_velocity(Vec3* v, Vec3 n, Vec3 torso_v) { *v = *v - n * vec3_dot(n, *v) + n * vec3_dot(n, torso_v); }

}  // namespace

// ---------------------------------------------------------------- setters

void set_steer(Rider* r, float v) { r->steer = clampf(v, -1, 1); }
void set_throttle(Rider* r, float v) { r->throttle = r->crash_timer > 0 ? 0 : clampf(v, 0, 1); }
void set_front_brake(Rider* r, float v) { r->front_brake = clampf(v, 0, 1); }
void set_rear_brake(Rider* r, float v) { r->rear_brake = clampf(v, 0, 1); }
void set_clutch(Rider* r, float v) { r->clutch = clampf(v, 0, 1); }
void set_dab(Rider* r, float v) { r->dab = r->crash_timer > 0 ? 0 : clampf(v, 0, 1); }
void set_back_up(Rider* r, float v) { r->back_up = r->crash_timer > 0 ? 0 : clampf(v, 0, 1); }
void set_lean(Rider* r, float v) { r->lean = r->crash_timer > 0 ? 0 : clampf(v, -1, 1); }

void set_pivot_finish_check(bool (*check)(Rider* r)) { finish_check = check; }

// None at rest, the roll limit angle by 15 ft/s, anything from the max dab speed on.
float lean_allowance(const Rider* r, float speed, int exponent) {
  float s = r->max_dab_speed;
  float v2 = speed * speed;
  if (!(v2 < s * s)) return 2 * PI_F;
  if (speed <= 15) return r->roll_limit_angle * (1 - std::pow(1 - v2 / (s * s), (float)exponent));
  return r->roll_limit_angle + clampf((v2 - 225) / (s * s - 225), 0, 1) * (2 * PI_F - r->roll_limit_angle);
}

// Righting the bike may be quick; rolling away from upright is gentler.
float wanted_roll_rate(const Rider* r, float speed, float lean, float steer) {
  float want = (-steer * lean_allowance(r, speed, 4) - lean) * 2.5f;
  float cap = want * lean < 0 ? 9.817477f : 3.926991f;
  return clampf(want, -cap, cap);
}

float rider_roll_rate(const Rider* r) { return from_world(chassis_of(r), angular_velocity(chassis_of(r))).z; }

// ---------------------------------------------------------------- bumps and crashes

void bump_decay(Rider* r) {
  if (r->bump_timer >= -1 && r->bump_timer <= 1)
    r->bump_timer = 0;
  else
    r->bump_timer += r->bump_timer > 0 ? -1.0f : 1.0f;
}

void detect_crash(Rider* r) {
  if (r->crash_timer != 0 || r->bump_timer < 0) return;
  dBodyID torso = torso_of(r);
  Vec3 vt = body_velocity(torso);
  // Torn from the seat faster than 31 ft/s.
  Vec3 sep = vt - body_point_velocity(chassis_of(r), body_position(torso));
  if (vec3_dot(sep, sep) > 961) {
    crash_rider(r);
    return;
  }
  // Struck harder than 43 g over the last four steps, gravity taken out.
  Vec3 a = (vt - r->torso_velocity_history[tick_slot(physics_race_tick())]) * (0.25f / DT) + Vec3{0, GRAVITY, 0};
  if (vec3_dot(a, a) > 1893376) crash_rider(r);
}

void crashed_step(Rider* r) {
  if (r->crash_timer <= 0) return;
  const BikeSpec& b = r->spec;
  dBodyID torso = torso_of(r), chassis = chassis_of(r), fork = r->bodies[BODY_FORK_UPPER];

  if (vec3_length(body_velocity(torso)) >= 2) {
    // Still tumbling: the hands hang on to the grips.
    float arm = (b.upper_arm + b.forearm) * 0.875f;
    for (int i = 0; i < 2; i++) rope(torso, rel_point(torso, b.hand_point[i]), fork, rel_point(fork, b.grip_point[i]), arm);
    if (r->crash_timer == 512)
      rope(torso, rel_point(torso, {0, b.hip_point[1].y, b.hip_point[1].z}), fork,
           rel_point(fork, {0, b.grip_point[1].y, b.grip_point[1].z + 10}), 8);
    rider_against_own_bike(r);
  } else {
    r->crash_timer--;
  }

  if (r->crash_timer < 512) {
    // The recovery pull: ropes from the seat shorten from 5 ft to nothing.
    float length = 5 * clampf((r->crash_timer - 128) / 384.0f, 0, 1);
    Vec3 seat = rider_seat_offset(r);
    rope(chassis, rel_point(chassis, seat), torso, body_position(torso), length);
    for (float side : {-5.0f, 5.0f}) {
      Vec3 off{side, 10, 0};
      rope(chassis, rel_point(chassis, seat + off), torso, rel_point(torso, off), length);
    }
    if (r->crash_timer <= 319) {
      // The foot away from the lean steps back to 3 ft above and 1 ft behind its peg.
      int foot = rider_lean_angle(r) >= 0 ? 1 : 0;
      Vec3 target = rel_point(chassis, b.peg_point[foot] + Vec3{0, 3, 1});
      Vec3 d = target - r->crash_foot[foot];
      float len32 = vec3_length(d * 32.0f);
      if (len32 > 0) r->crash_foot_velocity[foot] = len32 <= 1 ? d * (4 * 32.0f) : d * (4 / vec3_length(d));
    }
  }

  if (r->crash_timer == 0) remount_rider(r);
}

// ---------------------------------------------------------------- ground assists

void ground_assists(Rider* r) {
  saved = {r, r->front_brake, r->rear_brake, r->dab};

  if (r->crash_timer > 0) return;
  dBodyID chassis = chassis_of(r);
  float speed = rider_speed(r);

  if (r->back_up > 0 && speed < 5) {
    // Walking the bike back in pulses about once a second, turning with the bars.
    r->dab = 1;
    float pulse = 2 + 2 * std::sin(0.0494739f * (float)(((physics_race_tick() % 128) + 128) % 128));
    hold_velocity(chassis, 2000, body_axis(chassis, 2) * pulse);
    roll_motor(r, {0, 1, 0}, -r->steer * PI_F / 4, 2000);
    return;
  }
  if (!(r->options & OPTION_AUTO_DAB)) return;
  float limit = r->max_dab_speed;
  if (r->bump_timer <= -512) limit = std::max(limit, 75.0f);
  if (!(speed <= limit)) return;
  float lean = rider_lean_angle(r);
  if (r->throttle != 0 && r->clutch != 0 && speed >= 5 && std::fabs(lean) <= PI_F / 16) return;
  r->dab = std::max(r->dab, clampf(1 - speed / limit, 0, 1));
  if (speed < 5 && (r->throttle == 0 || r->clutch == 0) && touching(r->wheels[WHEEL_FRONT]) &&
      touching(r->wheels[WHEEL_REAR])) {
    r->front_brake = r->rear_brake = 1;
    hold_velocity(chassis, 1000, Vec3{});
  }
}

void restore_assisted_controls(Rider* r) {
  if (saved.rider != r) return;
  r->front_brake = saved.front_brake;
  r->rear_brake = saved.rear_brake;
  r->dab = saved.dab;
  saved.rider = nullptr;
}

// ---------------------------------------------------------------- rider springs

void rider_springs(Rider* r) {
  dBodyID chassis = chassis_of(r), torso = torso_of(r);
  Vec3 y = body_axis(chassis, 1), z = body_axis(chassis, 2);
  Vec3 tp = body_position(torso);
  Vec3 d = rel_point(chassis, rider_seat_offset(r)) - tp;
  float vy = vec3_dot(d, y), vz = vec3_dot(d, z);

  // Forward and back: leaning forward moves the torso forward, sitting moves it back.
  float target = clampf(vy * (0.5f + 0.5f * r->dab) - r->lean, -0.75f, 0.75f);
  float e = vz - target;
  float k, c;
  if (vz < -0.75f || vz >= 0.75f) {
    k = c = 2500;
  } else {
    k = r->rider_zspring * 600 + std::fabs(e) * 100;
    c = 0;
  }
  if (k > 0) soft_joint(torso, chassis, tp, z * signf(e), std::fabs(e), k, c);

  // Up and down: 0.125 ft above the seat point, sinking 0.5 ft with sit/dab.
  float h = vy + 0.125f - 0.5f * r->dab;
  if (vy > 0.5f || vy < -0.75f) {
    k = c = 2500;
  } else {
    k = r->rider_yspring * 400;
    c = r->rider_ydamping * 100;
  }
  if (k + c > 0) soft_joint(torso, chassis, tp, y * signf(h), std::fabs(h), k, c);

  // The mount is a pure damper along its first axis.
  dJointSetHinge2Param(r->joints[JOINT_RIDER_MOUNT], dParamSuspensionERP, 0);
  dJointSetHinge2Param(r->joints[JOINT_RIDER_MOUNT], dParamSuspensionCFM, 1.0 / (r->rider_zdamping * 30 + 5));
}

// ---------------------------------------------------------------- steering

namespace {

void arcade_steering(Rider* r) {
  dBodyID chassis = chassis_of(r), fork = r->bodies[BODY_FORK_UPPER];
  // Lean straight to the bars' angle.
  float n = clampf((r->roll_damping - 40) * 0.025f, 0, 1);
  float e = rider_lean_angle(r) - (-r->steer * PI_F / 4);
  float rate = (1.5f - 0.5f * n) * 16 * std::min(std::fabs(e), 0.0625f);
  // The motor turns the chassis about its forward axis so that the lean
  // error shrinks: a positive turn about the forward axis tilts the top
  // toward +x, which lowers the lean angle.
  roll_motor(r, -body_axis(chassis, 2), signf(e) * rate, 1000);

  // The bars follow the front wheel's own direction of travel.
  Vec3 v = from_world(fork, body_velocity(r->bodies[BODY_FRONT_WHEEL]));
  Vec3 a = vec3_normalize(r->spec.fork.upper_centre - r->spec.fork.lower_centre);
  float forward = v.z * a.y - v.y * a.z;
  float heading = forward * forward + v.x * v.x <= 1 ? 0 : -std::atan2(v.x, -forward);
  float angle = (float)dJointGetHingeAngle(r->joints[JOINT_STEERING]);
  float c = clampf(heading - 0.5f * r->steer - angle, -0.25f, 0.25f);
  float p = std::fabs(c) <= 1.0f / 32 ? 0 : (std::fabs(c) - 1.0f / 32) * 8 * signf(c);
  float q = p - (float)dJointGetHingeAngleRate(r->joints[JOINT_STEERING]);
  q = q > 0 ? std::max(q - 1.0f / 2400, 0.0f) : std::min(q + 1.0f / 2400, 0.0f);
  q *= 0.5f;
  apply_steering_torque(r, clampf(q, -2.0f / 3, 2.0f / 3) * r->steering_strength);

  // A tail drag far behind keeps the bike pointing along its path.
  Vec3 tail = body_point_velocity(chassis, rel_point(chassis, {0, 0, 20})) * -0.25f;
  dBodyAddForceAtRelPos(chassis, tail.x, tail.y, tail.z, 0, 0, 20);
}

}  // namespace

void steering(Rider* r) {
  if (r->options & OPTION_ARCADE) {
    arcade_steering(r);
    return;
  }
  if (r->crash_timer > 0) return;
  float lean = rider_lean_angle(r);
  float roll = rider_roll_rate(r);
  float speed = rider_speed(r);
  float d = r->steering_strength * r->steer * r->direct_steering;
  float t;
  if (touching(r->wheels[WHEEL_FRONT]) && dJointGetHingeAngleRate(r->joints[JOINT_FRONT_AXLE]) > PI_F / 4) {
    float rd = roll * r->roll_damping * r->landing_factor;
    if (r->landing_factor > 1) {
      if (r->land_damping_falloff <= 0)
        r->landing_factor = 1;
      else
        r->landing_factor =
            std::max(1.0f, r->landing_factor - DT * (r->land_damping_factor - 1) / r->land_damping_falloff);
    }
    float lv = lean * r->leveling;
    if (speed < r->slow_damping_speed) {
      float m = r->slow_damping_factor + clampf(speed / r->slow_damping_speed, 0, 1) * (1 - r->slow_damping_factor);
      rd *= m;
      lv *= m;
    }
    if (roll * lean > 0 && std::fabs(lean) > r->roll_limit_angle)
      rd *= (std::fabs(lean) - r->roll_limit_angle) * r->roll_limit_factor + 1;
    t = lv + rd;
    if (r->direct_steering < 1) {
      // Lean-following: steer so that the bike rolls toward the lean the bars ask for.
      float want = wanted_roll_rate(r, speed, lean, r->steer);
      float u = clampf(want - roll, -0.125f, 0.125f);
      float o = clampf((roll - (want - u)) * 4, -1, 1);
      d = o * r->steering_strength + (d - o * r->steering_strength) * r->direct_steering;
    }
  } else {
    r->landing_factor = r->land_damping_factor;
    t = (float)dJointGetHingeAngle(r->joints[JOINT_STEERING]) * -50;
  }
  float p = r->bump_timer;
  if (p > 192)
    t = -t * clampf((p - 192) / 64, 0, 1);
  else if (p > 0)
    t = clampf(t, -200 * clampf((192 - p) / 192, 0, 1), 200 * clampf((192 - p) / 192, 0, 1));
  apply_steering_torque(r, clampf((t + d) * 1.5f, -r->max_steering_force, r->max_steering_force));
}

void steering_damping(Rider* r) {
  dBodyID wheel = r->bodies[BODY_FRONT_WHEEL];
  Vec3 w = angular_velocity(wheel);
  Vec3 x = to_world(wheel, r->wheels[WHEEL_FRONT].axle);
  Vec3 t = (x * vec3_dot(x, w) - w) * r->steering_damping;
  dBodyAddTorque(wheel, t.x, t.y, t.z);
  dBodyAddTorque(chassis_of(r), -t.x, -t.y, -t.z);
}

// ---------------------------------------------------------------- foot down

void foot_support(Rider* r) {
  if (r->crash_timer > 0) {
    r->foot_out = std::min(r->foot_out + 8 * DT, 1.0f);
    return;
  }
  if (r->dab == 0) return;
  dBodyID chassis = chassis_of(r), torso = torso_of(r);
  const WheelState& front = r->wheels[WHEEL_FRONT];
  const WheelState& rear = r->wheels[WHEEL_REAR];
  if (!touching(front)) {
    // In the air the foot reaches only ground within a leg's length.
    ContactGeometry g;
    if (!sphere_ground_probe(body_position(torso), r->spec.rider.torso_centre.y + 1, &g)) return;
  }
  float limit = r->max_dab_speed;
  if (r->bump_timer <= -512) limit = std::max(limit, 75.0f);
  float speed = rider_speed(r);
  if (speed * speed > limit * limit) return;
  float lean = rider_lean_angle(r);
  bool both = touching(front) && touching(rear);
  if (!(speed <= 15 || (both && std::fabs(lean) >= 0.589049f))) return;
  r->foot_out = std::min(r->foot_out + 8 * DT, 1.0f);
  if (r->options & OPTION_ARCADE) return;

  // Pivot turn: a stopped, leaning rider swings the bike round on the foot.
  const TrackTiming& timing = track_current().timing;
  if (r->bump_timer <= 0 && speed < 5 && std::fabs(lean) > PI_F / 8 && std::fabs(lean) < 1.0995574f &&
      timing.checkpoint_count > 0 && r->race.gate_count > 0 && !r->race.finished) {
    if (finish_check && finish_check(r)) {
      r->race.finished = true;
    } else if ((r->options & OPTION_AUTO_DAB) && r->back_up <= 0.125f) {
      Vec3 target = pivot_target(r, 0);
      Vec3 p = body_position(chassis);
      Vec3 zaxis = body_axis(chassis, 2);
      float sq = zaxis.x * zaxis.x + zaxis.z * zaxis.z;
      if (sq > 1.0f / 1024) {
        float inv = 1 / std::sqrt(sq);
        float l = zaxis.x * inv, m = zaxis.z * inv;
        float across = m * (target.x - p.x) - l * (target.z - p.z);
        float behind = l * (target.x - p.x) + m * (target.z - p.z);
        float rate = r->bump_timer < 0 ? PI_F : PI_F / 2;
        float velocity = across >= 0 ? -rate : rate;
        if (behind < 0 && std::fabs(across) < -behind / 4) {
          roll_motor(r, {0, 1, 0}, velocity, 320 * r->total_mass * std::fabs(across) / (-behind / 4));
        } else {
          roll_motor(r, {0, 1, 0}, velocity, 320 * r->total_mass);
          for (const WheelState& w : r->wheels)
            if (touching(w)) dBodyAddForce(w.body, 0, GRAVITY * r->total_mass, 0);
          return;
        }
      }
    }
  }

  // Upright support: the foot pushes the bike back toward upright.
  float h = -PI_F / 8 * signf(lean);
  if ((r->options & OPTION_AUTO_DAB) && r->bump_timer < 0) h *= 3;
  if (std::fabs(lean) < PI_F / 16) h *= std::fabs(lean) / (PI_F / 16);
  float roll = rider_roll_rate(r);
  float g = 0;
  if (h > 0 && roll < h) g = -400;
  if (h < 0 && roll > h) g = 400;
  if (std::fabs(lean) < PI_F / 32) g *= std::fabs(lean) / (PI_F / 32);
  float f = lean_allowance(r, speed, 32);
  float m = clampf((std::fabs(lean) - 1.25f * f) / 0.25f, 0, 1);
  float l = clampf(((h >= 0 ? -r->steer : r->steer) - 0.5f) * 2, 0, 1);
  g *= m + l * (1 - m);
  if (g == 0) return;
  if (body_axis(chassis, 1).y >= 0.707f) {
    Vec3 side = body_axis(chassis, 0) * g;
    dBodyAddForceAtRelPos(chassis, side.x, side.y + std::fabs(g) / 8, side.z, 0, 4, 0);
  } else {
    dBodyAddForceAtRelPos(chassis, 0, std::fabs(g), 0, 0, 4, 0);
  }
}

FootPositions foot_positions(const Rider* r) {
  const BikeSpec& b = r->spec;
  dBodyID chassis = chassis_of(r), torso = torso_of(r);
  Vec3 p[2] = {b.peg_point[0], b.peg_point[1]};
  if (r->crash_timer >= 1) {
    float x = clampf((float)r->crash_timer, 1, 128) / 128;
    float a = 0.5f * clampf(2 * (x - 0.5f), 0, 1), bb = clampf(2 * x, 0, 1), c = clampf(4 * x / 3, 0, 1);
    p[0] += Vec3{-a, 1.75f * bb, c};
    p[1] += Vec3{a, 1.75f * bb, c};
  }
  FootPositions out;
  for (int i = 0; i < 2; i++) {
    out.foot[i] = rel_point(chassis, p[i]);
    out.weight[i] = 0;
  }
  if (r->foot_out != 0 && r->crash_timer < 128) {
    Vec3 h0 = rel_point(torso, b.hip_point[0]), h1 = rel_point(torso, b.hip_point[1]);
    Vec3 span = h1 - h0;
    Vec3 fwd = -body_axis(chassis, 2);
    float v = vec3_dot(fwd, body_velocity(chassis));
    float g = clampf(v / 15, 0, 1);
    float lean = rider_lean_angle(r);
    float e = clampf(std::fabs(lean) * 4 / PI_F, 0, 1);
    float reach = (1.25f * g - 0.25f) * e * 2.5f;
    const Terrain& t = terrain_record();
    auto put_down = [&](int i, Vec3 target) {
      if (t.heights) target.y = terrain_height(t, target.x, target.z) + 0.125f;
      out.weight[i] = r->foot_out;
      out.foot[i] += (target - out.foot[i]) * r->foot_out;
    };
    if (lean > -0.1f) put_down(0, h0 + span * (0.5f * e - 0.5f) + fwd * reach);
    if (lean < 0.1f) put_down(1, h1 + span * (0.5f - 0.5f * e) + fwd * reach);
  }
  if (r->crash_timer > 0) {
    float k = clampf((float)(2 * r->crash_timer - 128), 1, 128) / 128;
    for (int i = 0; i < 2; i++) {
      out.foot[i] += (r->crash_foot[i] - out.foot[i]) * k;
      out.weight[i] = 1;
    }
  }
  return out;
}

Vec3 pivot_target(const Rider* r, int depth) {
  (void)depth;  // the line branch, which recurses with it, needs the line store
  // A robot's planned path and the best recorded lines live with the robot
  // riders and the line store; without them the next checkpoint serves.
  const TrackTiming& t = track_current().timing;
  int lists = t.first_lap_gates + t.normal_lap_gates;
  int pos = lap_list_position(t, r->race.gate_count);
  if (t.checkpoint_count <= 0 || pos < 0 || pos >= lists || pos >= 2 * LAP_LIST_LIMIT)
    return body_position(chassis_of(r));
  int entry = t.lap_gate_list[pos];
  if (entry >= LAP_ENTRY_UNUSED) entry -= LAP_ENTRY_UNUSED;
  if (entry < 0 || entry >= t.checkpoint_count) return body_position(chassis_of(r));
  const Checkpoint& c = t.checkpoints[entry];
  return {c.x, c.y, c.z};
}

// ---------------------------------------------------------------- limbs

void limbs_step(Rider* r) {
  r->foot_out = std::max(r->foot_out - 4 * DT, 0.0f);
  if (r->crash_timer <= 0) return;
  const BikeSpec& b = r->spec;
  dBodyID torso = torso_of(r);
  const Terrain& t = terrain_record();
  for (int i = 0; i < 2; i++) r->crash_foot[i] += r->crash_foot_velocity[i] * DT;
  for (int i = 0; i < 2; i++) {
    Vec3& foot = r->crash_foot[i];
    Vec3& v = r->crash_foot_velocity[i];
    v.y -= GRAVITY * DT;
    if (t.heights) {
      float ground = terrain_height(t, foot.x, foot.z) + 0.25f;
      if (foot.y < ground) {
        foot.y = ground;
        v = Vec3{};
      }
    }
    v *= 0.9375f;
    // The leg is no longer than thigh and shin.
    Vec3 hip = rel_point(torso, b.hip_point[i]);
    Vec3 d = foot - hip;
    float leg = b.thigh + b.shin;
    float dist = vec3_length(d);
    if (dist > leg && dist > 0) {
      Vec3 n = d * (1 / dist);
      foot = hip + n * leg;
      tie_velocity(&v, n, body_point_velocity(torso, hip));
    }
    // And the foot stays at least 1 ft below the hips along the torso.
    Vec3 down = to_world(torso, {0, -1, 0});
    Vec3 q = rel_point(torso, b.hip_point[0]) + down;
    float below = vec3_dot(foot - q, down);
    if (below < 0) {
      foot -= down * below;
      tie_velocity(&v, down, body_point_velocity(torso, foot));
    }
  }
}
