// rider.h -- the per-rider record: its bodies and joints in the physics
// world, wheel contact state, controls, timers, and the setters that turn
// the player's settings into the rider's derived values.
#pragma once

#include <cstdint>

#include <ode/ode.h>

#include "physics/bike_spec.h"
#include "physics/rider_race.h"

struct Mesh;
struct Shape;

// `options` bits.
inline constexpr uint8_t OPTION_ALWAYS = 1;                 // set on every rider
inline constexpr uint8_t OPTION_STOP_WHEELIE_DRIVE = 2;     // cut drive torque in a wheelie
inline constexpr uint8_t OPTION_STOP_WHEELIE_BRAKE = 4;     // release the front brake on the front wheel alone
inline constexpr uint8_t OPTION_FRONT_ANTILOCK = 8;
inline constexpr uint8_t OPTION_REAR_ANTILOCK = 16;
inline constexpr uint8_t OPTION_AUTO_SHIFT = 32;
inline constexpr uint8_t OPTION_AUTO_DAB = 64;
inline constexpr uint8_t OPTION_ARCADE = 128;

// Which group of `options` bits set_option writes.
enum class RiderOption { front_antilock, rear_antilock, stop_wheelies, auto_shift, auto_dab, arcade };

// Values for RiderOption::stop_wheelies (the switch's option index maps to these).
inline constexpr int STOP_WHEELIES_NO = 0;
inline constexpr int STOP_WHEELIES_YES = 3;         // both bits
inline constexpr int STOP_WHEELIES_FRONT_ONLY = 2;  // the brake bit only

// A body's mass model: total mass and the inertia about its centre in the
// body frame, as the physics library's box and sphere constructors give them.
struct BodyMass {
  float mass = 0;          // slug
  float inertia[3][3] = {};  // slug*ft^2
};

// Body order; the rider frame record and the network rely on it.
enum RiderBody : int {
  BODY_CHASSIS,
  BODY_FRONT_WHEEL,
  BODY_REAR_WHEEL,
  BODY_FORK_UPPER,
  BODY_FORK_LOWER,
  BODY_SWING_ARM,
  BODY_TORSO,
  BODY_COUNT
};

// Joint order.
enum RiderJoint : int {
  JOINT_FRONT_AXLE,    // hinge: fork lower, front wheel
  JOINT_REAR_AXLE,     // hinge: swing arm, rear wheel
  JOINT_STEERING,      // hinge: fork upper, chassis
  JOINT_FORK_SLIDE,    // slider: fork upper, fork lower
  JOINT_SWING_ARM,     // hinge: swing arm, chassis
  JOINT_RIDER_MOUNT,   // hinge-2: torso, chassis
  JOINT_COUNT
};

// Part bits reporting which parts of a rider were hit.
inline constexpr int PART_CHASSIS = 1;
inline constexpr int PART_FRONT_WHEEL = 2;
inline constexpr int PART_REAR_WHEEL = 4;
inline constexpr int PART_FORK_UPPER = 8;
inline constexpr int PART_FORK_LOWER = 16;
inline constexpr int PART_SWING_ARM = 32;
inline constexpr int PART_RIDER = 64;
inline constexpr int PART_FRONT_END = PART_FRONT_WHEEL | PART_FORK_LOWER;

// The bit of the part built on body b.
inline int part_bit(int body) { return 1 << body; }

enum WheelIndex : int { WHEEL_FRONT, WHEEL_REAR };

// One wheel's latest ground contact.
struct WheelState {
  dBodyID body = nullptr;
  Vec3 axle{1, 0, 0};            // in the wheel's own frame
  float ring_radius = 0;         // ft
  float tube_radius = 0;         // ft
  Vec3 contact_point;            // ft, world: deepest tyre-ground contact of this step
  Vec3 contact_velocity;         // ft/s, the wheel body's velocity at that point
  Vec3 contact_normal;           // unit, ground normal there
  float depth = 0;               // ft; > 0 means the tyre touches the ground this step
  dJointFeedback contact_feedback = {};  // lbf and lbf*ft of the tyre contact joint
};

// The drawing handles of one rider. Models belong to the model cache,
// textures to the texture cache; 0 or null draws without them.
struct RiderDrawing {
  Mesh* frame = nullptr;
  Mesh* side_plates = nullptr;
  Mesh* fork_upper = nullptr;
  Mesh* front_plate = nullptr;
  Mesh* fork_lower = nullptr;
  Mesh* swing_arm = nullptr;
  Mesh* front_wheel = nullptr;
  Mesh* rear_wheel = nullptr;
  Mesh* rider_plate = nullptr;
  Mesh* body = nullptr;
  Mesh* body_fp = nullptr;
  Mesh* head = nullptr;
  unsigned int bike_texture = 0, wheel_texture = 0, rider_texture = 0, head_texture = 0;
  // Shader-path maps per group: bike, wheels, rider, head.
  unsigned int normal_map[4] = {}, specular_map[4] = {};
  unsigned int number_plate = 0;
};

inline constexpr int NUMBER_TEXT_LENGTH = 7;  // characters kept of a number text

struct Rider {
  BikeSpec spec;  // the rider's own copy; every later computation reads it
  RiderRace race;  // checkpoint progress and times, finish, race number and bike key

  // ---- physics world (assembly)
  dBodyID bodies[BODY_COUNT] = {};
  dJointID joints[JOINT_COUNT] = {};
  dJointFeedback joint_feedback[JOINT_COUNT] = {};
  WheelState wheels[2];
  float total_mass = 0;  // slug, the seven bodies together

  // Collision shapes in body order: the cached body-frame shape and the
  // rider's copy whose centres are overwritten with world positions when
  // tested. Null: that part never collides.
  const Shape* shape_source[BODY_COUNT] = {};
  Shape* shapes[BODY_COUNT] = {};

  // ---- controls (set by the control code or a robot each step)
  float throttle = 0;     // 0..1
  float clutch = 0;       // 0..1, 1 = engaged
  float front_brake = 0;  // 0..1
  float rear_brake = 0;   // 0..1
  float steer = 0;        // -1..1
  float dab = 0;          // 0..1, sit/dab
  float foot_out = 0;     // 0..1, how far the foot is out
  float back_up = 0;      // 0..1
  float lean = 0;         // -1..1, forward/back

  // ---- drive state
  int gear = 0;             // 0 = first gear
  int shift_input = 0;      // -1, 0, 1: the shift input seen last step
  float clutch_angle = 0;   // rad, -pi..pi
  float engine_speed = 0;   // rad/s

  // ---- crash and bump state
  int crash_timer = 0;        // ticks; > 0 while off the bike
  float bump_timer = 0;       // signed, decays toward 0 by 1 a step
  int last_bump_tick = -1;    // race_tick of the last rider-against-rider collision
  float landing_factor = 1;   // >= 1
  Vec3 crash_foot[2];         // ft, world
  Vec3 crash_foot_velocity[2];  // ft/s

  // ---- remembered motion
  Vec3 noted_positions[BODY_COUNT];  // ft, at the last placement, reset or applied frame
  Vec3 saved_linear[BODY_COUNT];     // ft/s, around a world step
  Vec3 saved_angular[BODY_COUNT];    // rad/s
  Vec3 torso_velocity_history[4];    // ft/s, indexed by race_tick mod 4
  int steps_since_reset = 0;         // rider_step calls since the last reset

  // ---- robot fields cleared by a reset (the race fields are in `race`)
  int picked_ids[4] = {};    // line ids the robot follows, cleared by a collision
  int bad_segment_bits = 0;
  int robot_personality = 0;
  int grip_limit_tick = -1000000;

  // ---- identity and drawing
  RiderDrawing drawing;
  int slot = -1;

  // Derived from the settings by the setters below.
  float final_drive = 0;        // rear teeth / front teeth
  float fork_compression = 0;   // lbf*s/ft
  float fork_rebound = 0;       // lbf*s/ft
  float fork_spring = 0;        // lbf/ft
  float fork_preload = 0;       // ft
  float fork_air_gap = 0;       // ft
  float shock_compression = 0;  // lbf*s/ft
  float shock_rebound = 0;      // lbf*s/ft
  float shock_spring = 0;       // lbf/ft
  float shock_preload = 0;      // ft
  float rider_yspring = 0, rider_ydamping = 0;  // 0..1
  float rider_zspring = 0, rider_zdamping = 0;  // 0..1
  float roll_damping = 0;        // 0..200
  float leveling = 0;            // 0..200
  float roll_limit_factor = 0;   // 0..64
  float roll_limit_angle = 0;    // rad, 0..pi
  float steering_damping = 0;    // 0..100
  float steering_strength = 0;   // 0..200
  float max_steering_force = 0;  // 0..1000
  float direct_steering = 0;     // 0..1
  float slow_damping_speed = 0;  // ft/s, 0..100
  float slow_damping_factor = 0;    // 1..10
  float land_damping_falloff = 0;   // s, 0..1
  float land_damping_factor = 0;    // 1..3
  float auto_clutch_rpm = 0;        // rpm, 0..5000
  float front_brake_torque = 0;     // lbf*ft, 0..500
  float rear_brake_torque = 0;      // lbf*ft, 0..500
  float max_dab_speed = 0;          // ft/s, 16..30
  uint8_t options = 0;              // OPTION_ bits

  // Mass models from the rider mass distribution; the assembly gives them
  // to the chassis and torso bodies, whose positions they do not change.
  float mass_distribution = 0;  // share of rider_mass carried by the torso sphere
  BodyMass chassis_mass;
  BodyMass torso_mass;
};

// Sets the derived values to their values at creation (the bases, the range
// midpoints, the assist defaults, options 0b1101) and the mass models for a
// distribution of 1/3. Call right after copying the BikeSpec in.
void rider_set_creation_values(Rider* r);

// Copies every current bike setting into the rider through the setters.
// Call when a local rider is created and whenever one of the settings changes.
void apply_rider_settings(Rider* r);

// Whether the race server allows arcade physics; while it does not, the
// arcade option is stored as 0. Allowed until told otherwise.
void set_arcade_allowed(bool allowed);

// Each setter clamps its argument to the value's range before storing it.
void set_leveling(Rider* r, float v);
void set_roll_damping(Rider* r, float v);
void set_roll_limit_angle(Rider* r, float radians);
void set_roll_limit_factor(Rider* r, float v);
void set_steering_damping(Rider* r, float v);
void set_steering_strength(Rider* r, float v);
void set_max_steering_force(Rider* r, float v);
void set_direct_steering(Rider* r, float v);
void set_slow_damping_speed(Rider* r, float ft_per_s);
void set_slow_damping_factor(Rider* r, float v);
void set_land_damping_falloff(Rider* r, float seconds);
void set_land_damping_factor(Rider* r, float v);
void set_auto_clutch_rpm(Rider* r, float rpm);
void set_front_brake_torque(Rider* r, float lbf_ft);
void set_rear_brake_torque(Rider* r, float lbf_ft);
void set_max_dab_speed(Rider* r, float ft_per_s);
// Anti-lock, auto shift, auto dab and arcade take 0/1; stop_wheelies takes
// STOP_WHEELIES_NO, _YES or _FRONT_ONLY.
void set_option(Rider* r, RiderOption which, int value);
// Teeth added to each sprocket; a sprocket below 3 teeth counts as 3.
void set_sprockets(Rider* r, int front_adjust, int rear_adjust);
// Fractions: damping 0..2 of the base (1 at the middle click), the rest 0..1 of their ranges.
void set_fork(Rider* r, float compression, float rebound, float spring, float preload, float oil_level);
void set_shock(Rider* r, float compression, float rebound, float spring, float preload);
void set_rider_springs(Rider* r, float y, float z);   // 0..1 each
void set_rider_dampings(Rider* r, float y, float z);  // 0..1 each
// Share x of the rider's mass carried by the torso sphere; the rest rides in the chassis box.
void set_rider_mass_distribution(Rider* r, float x);
