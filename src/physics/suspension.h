// suspension.h -- the force laws of the fork and the rear shock, as pure
// functions of the rider's settings and the joints' travel.
#pragma once

#include "physics/rider.h"

// The fork's force along its slide, lbf, positive extending. x is the slide
// position (ft: 0 at full extension, -fork.travel at full compression), v
// its rate (ft/s, positive extending). Spring with preload, damping, the
// air spring of the oil level's air column, all faded to zero over the last
// 1/32 of travel toward full extension.
float fork_force(const Rider& r, float x, float v);

// The shock's torque about the swing-arm pivot, lbf*ft, positive extending.
// theta is the pivot angle (rad: 0 at full extension, -swing_arm.travel at
// full compression), omega its rate (rad/s). The shock's displacement and
// damping pass through the linkage's leverage, which runs from
// leverage_top at full extension to leverage_bottom at full compression.
float shock_torque(const Rider& r, float theta, float omega);

// How a force or torque is handed to a joint's motor: full speed in its
// direction with the force as the motor's limit.
struct MotorCommand {
  float velocity;   // +1000 or -1000 (ft/s or rad/s)
  float max_force;  // lbf or lbf*ft, >= 0
};
MotorCommand suspension_motor(float force);
