// rider.h -- the per-rider record and the setters that turn the player's
// settings into the rider's derived values.
#pragma once

#include <cstdint>

#include "physics/bike_spec.h"

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

struct Rider {
  BikeSpec spec;  // the rider's own copy; every later computation reads it

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
