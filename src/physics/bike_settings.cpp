// bike_settings.cpp -- the player's bike settings, the stability preset,
// the workshop-unit texts and the rider setters that the settings feed.
#include "physics/bike_spec.h"
#include "physics/rider.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double MPH_TO_FT_PER_S = 5280.0 / 3600.0;

// ---------------------------------------------------------------- settings table

constexpr BikeSettingInfo slider(const char* key, const char* label, double def, double step,
                                 double min, double max) {
  return {key, label, def, step, min, max, {nullptr, nullptr, nullptr}};
}
constexpr BikeSettingInfo switch2(const char* key, const char* label, int def, const char* a,
                                  const char* b) {
  return {key, label, (double)def, 0, 0, 1, {a, b, nullptr}};
}

// In BikeSetting order.
constexpr BikeSettingInfo SETTINGS[SETTING_COUNT] = {
    slider("fork_compression_adjustment", "Fork Compression Damping", 50, 1, 0, 100),
    slider("fork_rebound_adjustment", "Fork Rebound Damping", 50, 1, 0, 100),
    slider("fork_spring_rate_adjustment", "Fork Spring Rate", 50, 1, 0, 100),
    slider("fork_preload_adjustment", "Fork Preload", 50, 1, 0, 100),
    slider("fork_oil_level_adjustment", "Fork Oil Level", 50, 1, 0, 100),
    slider("shock_compression_adjustment", "Shock Compression Damping", 50, 1, 0, 100),
    slider("shock_rebound_adjustment", "Shock Rebound Damping", 50, 1, 0, 100),
    slider("shock_spring_rate_adjustment", "Shock Spring Rate", 50, 1, 0, 100),
    slider("shock_preload_adjustment", "Shock Preload", 50, 1, 0, 100),
    slider("front_sprocket_adjustment", "Countershaft Sprocket", 0, 1, -2, 2),
    slider("rear_sprocket_adjustment", "Rear Sprocket", 0, 1, -2, 2),
    slider("brake_torque", "Braking Torque (Front)", 250, 10, 0, 500),
    slider("rear_brake_torque", "Braking Torque (Rear)", 250, 10, 0, 500),
    slider("auto_clutch_rpms", "Auto Clutch RPMs", 5000, 100, 0, 5000),
    slider("max_dab_speed", "Max Dab Speed (MPH)", 20, 1, 10, 20),
    slider("rider_yspring", "Rider Vertical Spring", 50, 1, 0, 100),
    slider("rider_ydamping", "Rider Vertical Damping", 50, 1, 0, 100),
    slider("rider_zspring", "Rider Forward Spring", 50, 1, 0, 100),
    slider("rider_zdamping", "Rider Forward Damping", 50, 1, 0, 100),
    slider("rider_mass_distribution", "Rider Mass Distribution", 0.33, 0.01, 0.33, 0.5),
    slider("stability", "Stability", 100, 1, 0, 100),
    slider("leveling", "Leveling", 20, 1, 0, 100),
    slider("roll_damping", "Roll Damping", 60, 1, 0, 100),
    slider("roll_limit_angle", "Roll Limit Angle", 45, 1, 0, 180),
    slider("roll_limit_factor", "Roll Limit Factor", 10, 1, 0, 64),
    slider("steering_damping", "Steering Damping", 45, 1, 0, 100),
    slider("steering_strength", "Steering Strength", 75, 1, 0, 100),
    slider("max_steering_force", "Max Steering Force", 400, 5, 0, 1000),
    slider("direct_steering", "Direct Steering", 1, 0.125, 0, 1),
    slider("slow_damping_speed", "Slow Damping Speed", 40, 1, 0, 100),
    slider("slow_damping_factor", "Slow Damping Factor", 2, 0.25, 1, 10),
    slider("land_damping_falloff", "Landing Damping Falloff", 0.25, 0.0625, 0, 0.5),
    slider("land_damping_factor", "Landing Damping Factor", 2, 0.25, 1, 3),
    switch2("front_brake", "Front Brake", 1, "Normal", "Antilock"),
    switch2("rear_brake", "Rear Brake", 0, "Normal", "Antilock"),
    {"stop_wheelies", "Stop Wheelies", 0, 0, 0, 2, {"No", "Yes", "Front Only"}},
    switch2("auto_shift", "Automatic Shifting", 1, "No", "Yes"),
    switch2("auto_dab", "Dab When Stopped", 1, "No", "Yes"),
    switch2("arcade", "Arcade Physics", 1, "No", "Yes"),
    switch2("sticky_dab", "Sticky Sit/Dab", 0, "No", "Yes"),
    switch2("reverse_steering", "Reversed Steering", 1, "No", "Yes"),
    switch2("lean_indicator", "Lean Indicator", 1, "No", "Yes"),
};

// ---------------------------------------------------------------- stability preset

constexpr int PRESET_LEVELS = 6;
struct PresetRow {
  BikeSetting setting;
  double level[PRESET_LEVELS];
};
constexpr PresetRow STABILITY_PRESET[] = {
    {SETTING_LEVELING, {20, 20, 20, 20, 20, 20}},
    {SETTING_ROLL_DAMPING, {40, 50, 60, 70, 75, 80}},
    {SETTING_ROLL_LIMIT_ANGLE, {90, 45, 45, 40, 35, 35}},
    {SETTING_ROLL_LIMIT_FACTOR, {0, 5, 10, 32, 32, 32}},
    {SETTING_STEERING_DAMPING, {45, 45, 45, 45, 45, 45}},
    {SETTING_STEERING_STRENGTH, {75, 75, 75, 75, 75, 75}},
    {SETTING_DIRECT_STEERING, {1, 1, 1, 1, 1, 0}},
    {SETTING_MAX_STEERING_FORCE, {400, 400, 400, 400, 400, 400}},
    {SETTING_SLOW_DAMPING_SPEED, {40, 40, 40, 40, 40, 40}},
    {SETTING_SLOW_DAMPING_FACTOR, {1, 1, 1.5, 2, 2, 2}},
    {SETTING_LAND_DAMPING_FALLOFF, {0, 0.125, 0.25, 0.25, 0.25, 0.25}},
    {SETTING_LAND_DAMPING_FACTOR, {1, 1.5, 2, 2, 2, 2}},
};

// ---------------------------------------------------------------- state

// Program-wide: the settings live for the run; the configuration file and
// the menus read and write them.
struct SettingsState {
  double value[SETTING_COUNT];
  bool arcade_allowed = true;
};
SettingsState S = [] {
  SettingsState s{};
  for (int i = 0; i < SETTING_COUNT; i++) s.value[i] = SETTINGS[i].default_value;
  return s;
}();

float clampf(float v, float lo, float hi) { return std::min(std::max(v, lo), hi); }
float range_at(float lo, float hi, float t) { return lo + clampf(t, 0, 1) * (hi - lo); }
int setting_int(BikeSetting id) { return (int)std::lround(S.value[id]); }

// Box and sphere inertia of a given total mass, as the physics library's
// total-mass constructors compute them.
BodyMass box_mass(float mass, Vec3 size) {
  BodyMass m;
  m.mass = mass;
  m.inertia[0][0] = mass / 12 * (size.y * size.y + size.z * size.z);
  m.inertia[1][1] = mass / 12 * (size.x * size.x + size.z * size.z);
  m.inertia[2][2] = mass / 12 * (size.x * size.x + size.y * size.y);
  return m;
}
BodyMass sphere_mass(float mass, float radius) {
  BodyMass m;
  m.mass = mass;
  float i = 0.4f * mass * radius * radius;
  m.inertia[0][0] = m.inertia[1][1] = m.inertia[2][2] = i;
  return m;
}

}  // namespace

// ---------------------------------------------------------------- settings

const BikeSettingInfo& bike_setting_info(BikeSetting id) { return SETTINGS[id]; }

bool bike_setting_is_switch(BikeSetting id) { return SETTINGS[id].options[0] != nullptr; }

BikeSetting find_bike_setting(const char* key) {
  if (!key) return SETTING_COUNT;
  for (int i = 0; i < SETTING_COUNT; i++)
    if (strcmp(SETTINGS[i].key, key) == 0) return (BikeSetting)i;
  return SETTING_COUNT;
}

double bike_setting(BikeSetting id) { return S.value[id]; }

void set_bike_setting(BikeSetting id, double value) { S.value[id] = value; }

void bike_settings_reset() {
  for (int i = 0; i < SETTING_COUNT; i++) S.value[i] = SETTINGS[i].default_value;
  S.arcade_allowed = true;
}

void apply_stability_preset(double stability) {
  double level = std::clamp(stability * 5 * 0.01, 0.0, 5.0);
  int i = std::clamp((int)std::floor(level), 0, PRESET_LEVELS - 2);
  double f = level - i;
  for (const PresetRow& row : STABILITY_PRESET)
    S.value[row.setting] = row.level[i] + f * (row.level[i + 1] - row.level[i]);
}

// ---------------------------------------------------------------- workshop units

bool bike_setting_text(const BikeSpec& spec, BikeSetting id, double value, char* out, int out_size) {
  if (out_size > 0) out[0] = 0;
  if (!out || out_size <= 0) return false;
  float t = clampf((float)(value / 100), 0, 1);
  switch (id) {
    case SETTING_FORK_SPRING_RATE:  // per leg: the range is for both legs together
      snprintf(out, out_size, "%.3f kg/mm",
               range_at(spec.fork.spring_min, spec.fork.spring_max, t) * 0.0007440819724087572);
      return true;
    case SETTING_FORK_PRELOAD:
      snprintf(out, out_size, "%.2f mm", range_at(spec.fork.preload_min, spec.fork.preload_max, t) * 304.8);
      return true;
    case SETTING_FORK_OIL_LEVEL:
      snprintf(out, out_size, "%.2f mm", range_at(spec.fork.air_gap_min, spec.fork.air_gap_max, t) * 304.8);
      return true;
    case SETTING_SHOCK_SPRING_RATE:
      snprintf(out, out_size, "%.2f kg/mm",
               range_at(spec.shock.spring_min, spec.shock.spring_max, t) * 0.0014881639448175144);
      return true;
    case SETTING_SHOCK_PRELOAD:
      snprintf(out, out_size, "%.2f mm", range_at(spec.shock.preload_min, spec.shock.preload_max, t) * 304.8);
      return true;
    case SETTING_FRONT_SPROCKET:
      snprintf(out, out_size, "%.2f teeth", spec.front_sprocket + value);
      return true;
    case SETTING_REAR_SPROCKET:
      snprintf(out, out_size, "%.2f teeth", spec.rear_sprocket + value);
      return true;
    default:
      return false;
  }
}

// ---------------------------------------------------------------- rider setters

void set_arcade_allowed(bool allowed) { S.arcade_allowed = allowed; }

void set_leveling(Rider* r, float v) { r->leveling = clampf(v, 0, 200); }
void set_roll_damping(Rider* r, float v) { r->roll_damping = clampf(v, 0, 200); }
void set_roll_limit_angle(Rider* r, float radians) { r->roll_limit_angle = clampf(radians, 0, (float)PI); }
void set_roll_limit_factor(Rider* r, float v) { r->roll_limit_factor = clampf(v, 0, 64); }
void set_steering_damping(Rider* r, float v) { r->steering_damping = clampf(v, 0, 100); }
void set_steering_strength(Rider* r, float v) { r->steering_strength = clampf(v, 0, 200); }
void set_max_steering_force(Rider* r, float v) { r->max_steering_force = clampf(v, 0, 1000); }
void set_direct_steering(Rider* r, float v) { r->direct_steering = clampf(v, 0, 1); }
void set_slow_damping_speed(Rider* r, float v) { r->slow_damping_speed = clampf(v, 0, 100); }
void set_slow_damping_factor(Rider* r, float v) { r->slow_damping_factor = clampf(v, 1, 10); }
void set_land_damping_falloff(Rider* r, float v) { r->land_damping_falloff = clampf(v, 0, 1); }
void set_land_damping_factor(Rider* r, float v) { r->land_damping_factor = clampf(v, 1, 3); }
void set_auto_clutch_rpm(Rider* r, float v) { r->auto_clutch_rpm = clampf(v, 0, 5000); }
void set_front_brake_torque(Rider* r, float v) { r->front_brake_torque = clampf(v, 0, 500); }
void set_rear_brake_torque(Rider* r, float v) { r->rear_brake_torque = clampf(v, 0, 500); }
// 15 + 1 to 15 + 15 ft/s: below 16 the foot would come down while still riding.
void set_max_dab_speed(Rider* r, float v) { r->max_dab_speed = clampf(v, 16, 30); }

void set_option(Rider* r, RiderOption which, int value) {
  uint8_t bits = 0, set = 0;
  bool on = value != 0;
  switch (which) {
    case RiderOption::front_antilock: bits = OPTION_FRONT_ANTILOCK; break;
    case RiderOption::rear_antilock: bits = OPTION_REAR_ANTILOCK; break;
    case RiderOption::auto_shift: bits = OPTION_AUTO_SHIFT; break;
    case RiderOption::auto_dab: bits = OPTION_AUTO_DAB; break;
    case RiderOption::arcade:
      bits = OPTION_ARCADE;
      on = on && S.arcade_allowed;
      break;
    case RiderOption::stop_wheelies:
      bits = OPTION_STOP_WHEELIE_DRIVE | OPTION_STOP_WHEELIE_BRAKE;
      set = (uint8_t)((value & 3) << 1) & bits;
      r->options = (uint8_t)((r->options & ~bits) | set | OPTION_ALWAYS);
      return;
  }
  set = on ? bits : 0;
  r->options = (uint8_t)((r->options & ~bits) | set | OPTION_ALWAYS);
}

void set_sprockets(Rider* r, int front_adjust, int rear_adjust) {
  int front = std::max(r->spec.front_sprocket + front_adjust, 3);
  int rear = std::max(r->spec.rear_sprocket + rear_adjust, 3);
  r->final_drive = (float)rear / (float)front;
}

void set_fork(Rider* r, float compression, float rebound, float spring, float preload, float oil_level) {
  const ForkSpec& f = r->spec.fork;
  r->fork_compression = clampf(compression, 0, 2) * f.compression_base;
  r->fork_rebound = clampf(rebound, 0, 2) * f.rebound_base;
  r->fork_spring = range_at(f.spring_min, f.spring_max, spring);
  r->fork_preload = range_at(f.preload_min, f.preload_max, preload);
  r->fork_air_gap = range_at(f.air_gap_min, f.air_gap_max, oil_level);
}

void set_shock(Rider* r, float compression, float rebound, float spring, float preload) {
  const ShockSpec& s = r->spec.shock;
  r->shock_compression = clampf(compression, 0, 2) * s.compression_base;
  r->shock_rebound = clampf(rebound, 0, 2) * s.rebound_base;
  r->shock_spring = range_at(s.spring_min, s.spring_max, spring);
  r->shock_preload = range_at(s.preload_min, s.preload_max, preload);
}

void set_rider_springs(Rider* r, float y, float z) {
  r->rider_yspring = clampf(y, 0, 1);
  r->rider_zspring = clampf(z, 0, 1);
}

void set_rider_dampings(Rider* r, float y, float z) {
  r->rider_ydamping = clampf(y, 0, 1);
  r->rider_zdamping = clampf(z, 0, 1);
}

// Clamped to the slider's range: a share outside [0, 1] from a hand-edited
// file would give a body a negative mass, which the physics library rejects.
void set_rider_mass_distribution(Rider* r, float x) {
  float share = clampf(x, 0.33f, 0.5f);
  const BikeSpec& b = r->spec;
  r->mass_distribution = share;
  r->chassis_mass = box_mass((1 - share) * b.rider.mass + b.chassis.mass, b.chassis.box);
  r->torso_mass = sphere_mass(share * b.rider.mass, 1.0f);
}

// ---------------------------------------------------------------- whole rider

void rider_set_creation_values(Rider* r) {
  const BikeSpec& b = r->spec;
  r->final_drive = (float)std::max(b.rear_sprocket, 3) / (float)std::max(b.front_sprocket, 3);
  r->fork_compression = b.fork.compression_base;
  r->fork_rebound = b.fork.rebound_base;
  r->fork_spring = (b.fork.spring_min + b.fork.spring_max) * 0.5f;
  r->fork_preload = (b.fork.preload_min + b.fork.preload_max) * 0.5f;
  r->fork_air_gap = b.fork.air_gap_min;
  r->shock_compression = b.shock.compression_base;
  r->shock_rebound = b.shock.rebound_base;
  r->shock_spring = (b.shock.spring_min + b.shock.spring_max) * 0.5f;
  r->shock_preload = (b.shock.preload_min + b.shock.preload_max) * 0.5f;
  r->rider_yspring = r->rider_ydamping = r->rider_zspring = r->rider_zdamping = 0.5f;
  r->roll_damping = 60;
  r->leveling = 20;
  r->roll_limit_factor = 10;
  r->roll_limit_angle = (float)(PI / 4);
  r->steering_damping = 45;
  r->steering_strength = 75;
  r->max_steering_force = 400;
  r->direct_steering = 1;
  r->slow_damping_speed = 0;
  r->slow_damping_factor = 1;
  r->land_damping_falloff = 0.25f;
  r->land_damping_factor = 2;
  r->auto_clutch_rpm = 5000;
  r->front_brake_torque = 250;
  r->rear_brake_torque = 250;
  r->max_dab_speed = 30;
  r->options = OPTION_ALWAYS | OPTION_STOP_WHEELIE_BRAKE | OPTION_FRONT_ANTILOCK;
  const float share = 1.0f / 3.0f;
  r->mass_distribution = share;
  r->chassis_mass = box_mass((1 - share) * b.rider.mass + b.chassis.mass, b.chassis.box);
  r->torso_mass = sphere_mass(share * b.rider.mass, 1.0f);
}

void apply_rider_settings(Rider* r) {
  auto v = [](BikeSetting id) { return (float)S.value[id]; };
  set_leveling(r, v(SETTING_LEVELING));
  set_roll_damping(r, v(SETTING_ROLL_DAMPING));
  set_roll_limit_angle(r, (float)(S.value[SETTING_ROLL_LIMIT_ANGLE] * PI / 180));
  set_roll_limit_factor(r, v(SETTING_ROLL_LIMIT_FACTOR));
  set_steering_damping(r, v(SETTING_STEERING_DAMPING));
  set_steering_strength(r, v(SETTING_STEERING_STRENGTH));
  set_max_steering_force(r, v(SETTING_MAX_STEERING_FORCE));
  set_option(r, RiderOption::arcade, setting_int(SETTING_ARCADE));
  set_option(r, RiderOption::front_antilock, setting_int(SETTING_FRONT_BRAKE));
  set_option(r, RiderOption::rear_antilock, setting_int(SETTING_REAR_BRAKE));
  constexpr int STOP_WHEELIE_VALUES[3] = {STOP_WHEELIES_NO, STOP_WHEELIES_YES, STOP_WHEELIES_FRONT_ONLY};
  set_option(r, RiderOption::stop_wheelies, STOP_WHEELIE_VALUES[std::clamp(setting_int(SETTING_STOP_WHEELIES), 0, 2)]);
  set_option(r, RiderOption::auto_shift, setting_int(SETTING_AUTO_SHIFT));
  set_option(r, RiderOption::auto_dab, setting_int(SETTING_AUTO_DAB));
  set_direct_steering(r, v(SETTING_DIRECT_STEERING));
  set_slow_damping_speed(r, v(SETTING_SLOW_DAMPING_SPEED));
  set_slow_damping_factor(r, v(SETTING_SLOW_DAMPING_FACTOR));
  set_land_damping_falloff(r, v(SETTING_LAND_DAMPING_FALLOFF));
  set_land_damping_factor(r, v(SETTING_LAND_DAMPING_FACTOR));
  set_auto_clutch_rpm(r, v(SETTING_AUTO_CLUTCH_RPMS));
  set_front_brake_torque(r, v(SETTING_BRAKE_TORQUE));
  set_rear_brake_torque(r, v(SETTING_REAR_BRAKE_TORQUE));
  set_max_dab_speed(r, (float)(S.value[SETTING_MAX_DAB_SPEED] * MPH_TO_FT_PER_S));
  set_sprockets(r, setting_int(SETTING_FRONT_SPROCKET), setting_int(SETTING_REAR_SPROCKET));
  set_fork(r, (float)(S.value[SETTING_FORK_COMPRESSION] * 0.01 + 0.5),
           (float)(S.value[SETTING_FORK_REBOUND] * 0.01 + 0.5), (float)(S.value[SETTING_FORK_SPRING_RATE] * 0.01),
           (float)(S.value[SETTING_FORK_PRELOAD] * 0.01), (float)(S.value[SETTING_FORK_OIL_LEVEL] * 0.01));
  set_shock(r, (float)(S.value[SETTING_SHOCK_COMPRESSION] * 0.01 + 0.5),
            (float)(S.value[SETTING_SHOCK_REBOUND] * 0.01 + 0.5),
            (float)(S.value[SETTING_SHOCK_SPRING_RATE] * 0.01), (float)(S.value[SETTING_SHOCK_PRELOAD] * 0.01));
  set_rider_springs(r, (float)(S.value[SETTING_RIDER_YSPRING] * 0.01), (float)(S.value[SETTING_RIDER_ZSPRING] * 0.01));
  set_rider_dampings(r, (float)(S.value[SETTING_RIDER_YDAMPING] * 0.01),
                     (float)(S.value[SETTING_RIDER_ZDAMPING] * 0.01));
  set_rider_mass_distribution(r, v(SETTING_RIDER_MASS_DISTRIBUTION));
}
