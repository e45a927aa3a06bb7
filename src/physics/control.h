// control.h -- what the rider does with the bike: the nine control setters,
// the engine, clutch, gearbox and brakes, the steering and the stability
// assists, the foot down, crashes and getting back on.
#pragma once

#include "physics/rider.h"

// ---------------------------------------------------------------- setters

// Called every step by the control code (or a test's autopilot) with the
// player's channels. Each clamps to its range; throttle, dab, back up and
// lean are stored as 0 while the rider is off the bike.
void set_steer(Rider* r, float v);        // -1..1
void set_throttle(Rider* r, float v);     // 0..1
void set_front_brake(Rider* r, float v);  // 0..1
void set_rear_brake(Rider* r, float v);   // 0..1
void set_clutch(Rider* r, float v);       // 0..1, 1 = engaged
void set_dab(Rider* r, float v);          // 0..1
void set_back_up(Rider* r, float v);      // 0..1
void set_lean(Rider* r, float v);         // -1..1, forward positive

// ---------------------------------------------------------------- drive train

// The shift channel of this step: +1, 0 or -1. Changes gear only when the
// input differs from last step's, so a held input shifts once.
void shift(Rider* r, int input);
// Drive and brake torques of one step and the engine's advance; called by
// rider_step after the world step.
void drivetrain_step(Rider* r);
// Engine speed in rpm.
float engine_rpm(const Rider* r);
// The engine's own torque (lbf*ft) now, from the tables, the throttle and
// the wheelie stop; the engine sound reads it.
float engine_torque(const Rider* r);
// Engine to rear wheel: gearbox ratio of the current gear times the primary
// and final drive; 0 when the gear is missing.
float overall_ratio(const Rider* r);

// ---------------------------------------------------------------- rider control steps

// rider_step's pieces, in the order it calls them.
void bump_decay(Rider* r);
void detect_crash(Rider* r);
void crashed_step(Rider* r);
// Saves the brakes and dab, which the assists may override for this step;
// restore_assisted_controls puts them back after foot_support.
void ground_assists(Rider* r);
void rider_springs(Rider* r);
void steering(Rider* r);
void steering_damping(Rider* r);
void foot_support(Rider* r);
void restore_assisted_controls(Rider* r);
void limbs_step(Rider* r);

// Roll rate (rad/s) of the chassis about its own z axis.
float rider_roll_rate(const Rider* r);

// The lean-steering law: how far the rider may lean at speed (ft/s; rad,
// 2 pi meaning "any"), and the roll rate (rad/s) the bars then ask for at
// lean angle lean (rad) with the steer input.
float lean_allowance(const Rider* r, float speed, int exponent);
float wanted_roll_rate(const Rider* r, float speed, float lean, float steer);

// Where the feet are (world ft) and how far each is put down (0..1).
struct FootPositions {
  Vec3 foot[2];
  float weight[2];
};
FootPositions foot_positions(const Rider* r);

// The point a stopped rider pivots toward: a robot's planned path point,
// the best recorded line, or else the next checkpoint to cross.
Vec3 pivot_target(const Rider* r, int depth);

// Race control installs the finishing test of the pivot turn (a rider
// whose race is over does not pivot); without one nobody has finished.
void set_pivot_finish_check(bool (*check)(Rider* r));
