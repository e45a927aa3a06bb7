// bike_spec.h -- the compiled-in bike catalogue, the player's bike settings
// and their conversions to workshop units.
#pragma once

#include "common/common.h"

// All lengths ft, masses slug, forces lbf, torques lbf*ft, spring rates
// lbf/ft, damping lbf*s/ft, angles rad. Positions are in the build frame:
// y up, x across, the bike facing -z.

struct WheelSpec {
  Vec3 centre;             // ft, axle position
  float ring_radius = 0;   // ft, radius of the tyre's centre circle
  float tube_radius = 0;   // ft, radius of the tyre's cross-section
  float ring_mass = 0;     // slug, rim and tyre
  float hub_radius = 0;    // ft, hub sphere used for inertia
  float hub_mass = 0;      // slug
};

struct ChassisSpec {
  Vec3 centre;        // ft
  float mass = 0;     // slug, without the rider
  Vec3 box;           // ft, box used for the inertia
};

struct ForkSpec {
  Vec3 upper_centre;          // ft, top of the steering axis (fork_upper.centre)
  Vec3 lower_centre;          // ft, bottom of the steering axis (fork_lower.centre)
  float tube_spacing = 0;     // ft between the legs; a leg's radius is an eighth of it
  float tube_length = 0;      // ft
  float mass = 0;             // slug, given to each of the two fork bodies
  float spring_min = 0, spring_max = 0;    // lbf/ft, both legs together
  float preload_min = 0, preload_max = 0;  // ft
  float air_gap_min = 0, air_gap_max = 0;  // ft, air column at the lowest / highest oil
  float compression_base = 0;  // lbf*s/ft at the middle click
  float rebound_base = 0;      // lbf*s/ft at the middle click
  float travel = 0;            // ft, stroke
};

struct SwingArmSpec {
  Vec3 centre;          // ft, body position
  Vec3 pivot;           // ft
  float arm_mass = 0;   // slug, each of the two arm boxes
  float travel = 0;     // rad, full extension to full compression
};

struct ShockSpec {
  float spring_min = 0, spring_max = 0;    // lbf/ft
  float preload_min = 0, preload_max = 0;  // ft
  float compression_base = 0;              // lbf*s/ft
  float rebound_base = 0;                  // lbf*s/ft
  float leverage_top = 0;     // shock ft per unit of normalised swing-arm travel, fully extended
  float leverage_bottom = 0;  // the same, fully compressed
};

struct RiderBodySpec {
  Vec3 torso_centre;                  // ft, centre of the upper-body sphere (rider_torso.centre)
  Vec3 posture_direction;             // read only by the version-4 frame decoder
  float posture_min = 0, posture_max = 0;  // ft along posture_direction, same reader
  float mass = 0;                     // slug (rider_mass)
};

// The 23 files that draw and collide one model, used when a rider is created.
struct BikeFiles {
  const char* frame_model;
  const char* frame_shape;
  const char* bike_texture;
  const char* fork_upper_model;
  const char* fork_upper_shape;
  const char* fork_lower_model;
  const char* fork_lower_shape;
  const char* swing_arm_model;
  const char* swing_arm_shape;
  const char* front_wheel_model;
  const char* front_wheel_shape;
  const char* rear_wheel_model;
  const char* rear_wheel_shape;
  const char* wheels_texture;
  const char* head_model;
  const char* head_texture;
  const char* body_model;
  const char* body_fp_model;  // first-person rider body
  const char* rider_shape;
  const char* body_texture;
  const char* side_plates_model;
  const char* front_plate_model;
  const char* rider_plate_model;
};

inline constexpr int GEAR_COUNT = 6;
inline constexpr int TORQUE_ENTRIES = 50;      // one per 500 rpm from 0 rpm
inline constexpr float TORQUE_ENTRY_RPM = 500;
inline constexpr int EXTRA_POINTS = 9;

// One bike model. Copied whole into every Rider created on it.
struct BikeSpec {
  const char* name;  // the bike key, e.g. "yz250f(2007)"
  WheelSpec front_wheel;
  WheelSpec rear_wheel;
  ChassisSpec chassis;
  ForkSpec fork;
  SwingArmSpec swing_arm;
  ShockSpec shock;
  float primary_ratio = 0;                // engine to gearbox reduction
  int front_sprocket = 0;                 // teeth, countershaft
  int rear_sprocket = 0;                  // teeth
  float gear_ratio[GEAR_COUNT] = {};      // <= 0 marks a gear the model lacks
  float engine_inertia = 0;               // slug*ft^2
  float torque_closed[TORQUE_ENTRIES] = {};  // lbf*ft at closed throttle
  float torque_open[TORQUE_ENTRIES] = {};    // lbf*ft at full throttle
  float shift_down_rpm = 0;               // automatic shifting goes down below this
  float shift_up_rpm = 0;                 // and up above this
  float max_rpm = 0;                      // informational; the tables fall to 0 past it
  int two_stroke = 0;                     // 1 for the 125 cc models
  RiderBodySpec rider;
  BikeFiles files;
  Vec3 head_point;        // ft, relative to the torso sphere
  Vec3 hand_point[2];     // ft, relative to the torso; left, right
  Vec3 hip_point[2];      // ft, relative to the torso
  Vec3 grip_point[2];     // ft, relative to the upper fork
  Vec3 peg_point[2];      // ft, relative to the chassis
  float upper_arm = 0, forearm = 0, thigh = 0, shin = 0;  // ft, limb lengths
  const Vec3* extra_points = nullptr;     // EXTRA_POINTS points shared by all models, for drawing
};

// ---------------------------------------------------------------- catalogue

inline constexpr int BIKE_COUNT = 18;

// The eighteen records in catalogue order, then a null.
const BikeSpec* const* bike_catalogue();

// The record for a bike key. An unlisted key falls back (a "125" key to the
// first 125 in the catalogue, any other to the first "250f"), with a message
// in the log and on screen. Never null.
const BikeSpec* find_bike_spec(const char* key);

// Exact match only (first in catalogue order), null when there is none; for
// showing the player's bike in workshop units without a fallback message.
const BikeSpec* lookup_bike_spec(const char* key);

// ---------------------------------------------------------------- settings

// The player's bike settings, one row each of the settings table. Sliders
// keep a value in [min, max]; switches keep an index into their options.
enum BikeSetting : int {
  SETTING_FORK_COMPRESSION,
  SETTING_FORK_REBOUND,
  SETTING_FORK_SPRING_RATE,
  SETTING_FORK_PRELOAD,
  SETTING_FORK_OIL_LEVEL,
  SETTING_SHOCK_COMPRESSION,
  SETTING_SHOCK_REBOUND,
  SETTING_SHOCK_SPRING_RATE,
  SETTING_SHOCK_PRELOAD,
  SETTING_FRONT_SPROCKET,
  SETTING_REAR_SPROCKET,
  SETTING_BRAKE_TORQUE,
  SETTING_REAR_BRAKE_TORQUE,
  SETTING_AUTO_CLUTCH_RPMS,
  SETTING_MAX_DAB_SPEED,
  SETTING_RIDER_YSPRING,
  SETTING_RIDER_YDAMPING,
  SETTING_RIDER_ZSPRING,
  SETTING_RIDER_ZDAMPING,
  SETTING_RIDER_MASS_DISTRIBUTION,
  SETTING_STABILITY,
  SETTING_LEVELING,
  SETTING_ROLL_DAMPING,
  SETTING_ROLL_LIMIT_ANGLE,
  SETTING_ROLL_LIMIT_FACTOR,
  SETTING_STEERING_DAMPING,
  SETTING_STEERING_STRENGTH,
  SETTING_MAX_STEERING_FORCE,
  SETTING_DIRECT_STEERING,
  SETTING_SLOW_DAMPING_SPEED,
  SETTING_SLOW_DAMPING_FACTOR,
  SETTING_LAND_DAMPING_FALLOFF,
  SETTING_LAND_DAMPING_FACTOR,
  SETTING_FRONT_BRAKE,
  SETTING_REAR_BRAKE,
  SETTING_STOP_WHEELIES,
  SETTING_AUTO_SHIFT,
  SETTING_AUTO_DAB,
  SETTING_ARCADE,
  SETTING_STICKY_DAB,
  SETTING_REVERSE_STEERING,
  SETTING_LEAN_INDICATOR,
  SETTING_COUNT
};

inline constexpr int SETTING_MAX_OPTIONS = 3;

struct BikeSettingInfo {
  const char* key;    // configuration key
  const char* label;  // menu label
  double default_value;  // for a switch, the index of its default option
  double step;           // 0 for a switch
  double min, max;       // for a switch 0 .. option count - 1
  const char* options[SETTING_MAX_OPTIONS];  // a switch's option texts; null for a slider
};

const BikeSettingInfo& bike_setting_info(BikeSetting id);
bool bike_setting_is_switch(BikeSetting id);
// The setting with this configuration key, or SETTING_COUNT when none.
BikeSetting find_bike_setting(const char* key);

// Current values. Setting a value stores it as given: out-of-range values
// from a hand-edited file are kept and clamped only by the rider setters.
double bike_setting(BikeSetting id);
void set_bike_setting(BikeSetting id, double value);
// Every setting back to its default (start-up, tests).
void bike_settings_reset();

// Rewrites the assist settings from a "Stability" value 0..100. Call when
// "stability" is read from the configuration and when its slider moves.
void apply_stability_preset(double stability);

// ---------------------------------------------------------------- workshop units

// Writes the set-up page's text for a setting of this bike into out (cut to
// out_size - 1 characters): "%.3f kg/mm", "%.2f mm" or "%.2f teeth". False,
// and out left empty, for a setting without a workshop unit.
bool bike_setting_text(const BikeSpec& spec, BikeSetting id, double value, char* out, int out_size);
