// suspension.cpp -- fork and shock force laws, and handing them to the
// fork-slide and swing-arm joints' motors.
#include "physics/suspension.h"

#include "physics/physics.h"

#include <algorithm>
#include <cmath>

namespace {

// Air spring constant of the fork's air column, lbf: the force at which the
// column's pressure would be doubled, for both legs together.
constexpr float AIR_SPRING = 82.46169f;

float clampf(float v, float lo, float hi) { return std::min(std::max(v, lo), hi); }

}  // namespace

float fork_force(const Rider& r, float x, float v) {
  const ForkSpec& f = r.spec.fork;
  float damping = v >= 0 ? v * r.fork_rebound : v * r.fork_compression;
  float compression = clampf(-x, 0, f.travel);
  float column = f.travel + r.fork_air_gap;
  float force = (r.fork_preload - x) * r.fork_spring - damping + AIR_SPRING * (column / (column - compression) - 1);
  // Fading out near full extension keeps the preload from kicking the
  // wheel off its stop at every step.
  return force * clampf(x / (-f.travel / 32), 0, 1);
}

float shock_torque(const Rider& r, float theta, float omega) {
  const ShockSpec& k = r.spec.shock;
  float travel = r.spec.swing_arm.travel;
  float s = -theta / travel;  // 0 fully extended .. 1 fully compressed
  float l0 = k.leverage_top, l1 = k.leverage_bottom;
  // The leverage varies linearly over the normalised stroke, so the shock's
  // displacement is its integral.
  float leverage = l0 + (l1 - l0) * s;
  float displacement = l0 * s + 0.5f * (l1 - l0) * s * s;
  float damping = omega >= 0 ? -omega * r.shock_rebound : -omega * r.shock_compression;
  float torque = leverage * (displacement + r.shock_preload) * r.shock_spring + leverage * leverage * damping;
  return torque * clampf(theta / (-travel / 32), 0, 1);
}

MotorCommand suspension_motor(float force) {
  return {force >= 0 ? 1000.0f : -1000.0f, std::fabs(force)};
}

// ---------------------------------------------------------------- joints

void suspension_forces(Rider* r) {
  dJointID fork = r->joints[JOINT_FORK_SLIDE];
  MotorCommand f = suspension_motor(
      fork_force(*r, (float)dJointGetSliderPosition(fork), (float)dJointGetSliderPositionRate(fork)));
  dJointSetSliderParam(fork, dParamVel, f.velocity);
  dJointSetSliderParam(fork, dParamFMax, f.max_force);

  dJointID pivot = r->joints[JOINT_SWING_ARM];
  MotorCommand s =
      suspension_motor(shock_torque(*r, (float)dJointGetHingeAngle(pivot), (float)dJointGetHingeAngleRate(pivot)));
  dJointSetHingeParam(pivot, dParamVel, s.velocity);
  dJointSetHingeParam(pivot, dParamFMax, s.max_force);
}
