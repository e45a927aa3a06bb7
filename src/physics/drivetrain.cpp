// drivetrain.cpp -- the engine as one spinning mass on its torque tables,
// the clutch as a slipping torsion spring to the rear wheel, the gearbox
// with its automatic shifting, and the brakes as axle motors.
#include "physics/control.h"

#include <algorithm>
#include <cmath>

#include "physics/physics_internal.h"

namespace {

constexpr float PI_F = 3.14159265358979f;
constexpr float RPM_PER_RAD_S_F = 9.549296585513721f;
constexpr float CLUTCH_SPRING = 7500;        // lbf*ft per rad of wind-up
constexpr float CLUTCH_DAMPING = 0.75f;      // lbf*ft per rad/s
constexpr float AUTO_CLUTCH_BAND = 2000;     // rpm from first bite to full engagement
constexpr int AUTO_SHIFT_PERIOD = 32;        // ticks between automatic decisions
constexpr float SLIP_SPEED_SQ = 4;           // (ft/s)^2: a tyre sliding faster than 2 ft/s

float wrap_angle(float a) {
  if (!std::isfinite(a)) return 0;
  while (a > PI_F) a -= 2 * PI_F;
  while (a < -PI_F) a += 2 * PI_F;
  return a;
}

// A gear index clamped to the box and moved down past gears the model lacks.
int usable_gear(const BikeSpec& b, int g) {
  g = std::clamp(g, 0, GEAR_COUNT - 1);
  while (g > 0 && b.gear_ratio[g] <= 0) g--;
  return g;
}

bool touching(const WheelState& w) { return w.depth > 0; }
bool sliding(const WheelState& w) { return touching(w) && vec3_dot(w.contact_velocity, w.contact_velocity) > SLIP_SPEED_SQ; }

float table_torque(const Rider* r) {
  float rpm = r->engine_speed * RPM_PER_RAD_S_F;
  float f = std::floor(rpm * 0.002f + 0.5f);
  int i = f < 0 || !std::isfinite(f) ? 0 : (f > TORQUE_ENTRIES - 1 ? TORQUE_ENTRIES - 1 : (int)f);
  const BikeSpec& b = r->spec;
  return b.torque_closed[i] + (b.torque_open[i] - b.torque_closed[i]) * r->throttle;
}

// A rear-wheel-only wheelie still rising (or level) gets no drive torque.
bool wheelie_stop(const Rider* r) {
  if (!(r->options & OPTION_STOP_WHEELIE_DRIVE)) return false;
  if (touching(r->wheels[WHEEL_FRONT]) || !touching(r->wheels[WHEEL_REAR])) return false;
  dVector3 w;
  const dReal* a = dBodyGetAngularVel(r->bodies[BODY_CHASSIS]);
  dBodyVectorFromWorld(r->bodies[BODY_CHASSIS], a[0], a[1], a[2], w);
  return w[0] > -0.03125;
}

void set_axle_brake(dJointID axle, float torque) {
  dJointSetHingeParam(axle, dParamVel, 0);
  dJointSetHingeParam(axle, dParamFMax, std::max(torque, 0.0f));
}

}  // namespace

float overall_ratio(const Rider* r) {
  float g = r->gear >= 0 && r->gear < GEAR_COUNT ? r->spec.gear_ratio[r->gear] : 0;
  return g > 0 ? g * r->spec.primary_ratio * r->final_drive : 0;
}

float engine_rpm(const Rider* r) { return r->engine_speed * RPM_PER_RAD_S_F; }

float engine_torque(const Rider* r) {
  float te = table_torque(r);
  return wheelie_stop(r) ? std::min(te, 0.0f) : te;
}

void shift(Rider* r, int input) {
  if (r->crash_timer > 0 || input == r->shift_input || input < -1 || input > 1) return;
  r->shift_input = input;
  r->gear = usable_gear(r->spec, r->gear + input);
}

void drivetrain_step(Rider* r) {
  const BikeSpec& b = r->spec;
  dJointID rear_axle = r->joints[JOINT_REAR_AXLE];
  const WheelState& front = r->wheels[WHEEL_FRONT];
  const WheelState& rear = r->wheels[WHEEL_REAR];
  float wheel_rate = (float)dJointGetHingeAngleRate(rear_axle);  // rad/s, positive rolling forward

  // 1. Automatic shifting: only with the rear suspension loaded and the
  // tyre gripping, so a wheel spinning in the air never shifts up.
  if ((r->options & OPTION_AUTO_SHIFT) && dJointGetHingeAngle(r->joints[JOINT_SWING_ARM]) < -0.01 &&
      physics_race_tick() % AUTO_SHIFT_PERIOD == 0 && !sliding(rear)) {
    float wheel_rpm = wheel_rate * overall_ratio(r) * RPM_PER_RAD_S_F;
    if (wheel_rpm < b.shift_down_rpm)
      r->gear = usable_gear(b, r->gear - 1);
    else if (wheel_rpm > b.shift_up_rpm)
      r->gear = usable_gear(b, r->gear + 1);
  }
  float n = overall_ratio(r);

  // 2-3. Engine torque.
  float te = engine_torque(r);
  float rpm = r->engine_speed * RPM_PER_RAD_S_F;

  // 4-5. Wind-up and engagement: the automatic clutch bites from its rpm
  // and is home a band higher; the lever can only take more away.
  float theta = wrap_angle(r->clutch_angle - (float)dJointGetHingeAngle(rear_axle));
  float e = r->clutch;
  if (rpm < r->auto_clutch_rpm + AUTO_CLUTCH_BAND)
    e = std::min(r->clutch, std::clamp((rpm - r->auto_clutch_rpm) / AUTO_CLUTCH_BAND, 0.0f, 1.0f));

  float tc = 0;
  if (n > 0) {
    // 6. The wheel driving the engine (engine braking) is not cut by the
    // automatic clutch, only by the lever.
    float tr = CLUTCH_SPRING * theta + CLUTCH_DAMPING * (r->engine_speed - wheel_rate * n);
    if (tr < 0) e = r->clutch;
    // 7. Slip past the wind-up limit.
    float limit = e * PI_F / 4;
    float axle_angle = (float)dJointGetHingeAngle(rear_axle);
    if (theta > limit) r->clutch_angle = limit + axle_angle;
    if (theta < -limit) r->clutch_angle = axle_angle - limit;
    // 8. The rear wheel rolls forward turning negatively about its x axis.
    tc = tr * e * e;
    dBodyAddRelTorque(r->bodies[BODY_REAR_WHEEL], -tc, 0, 0);
    dBodyAddRelTorque(r->bodies[BODY_CHASSIS], tc, 0, 0);
  }

  // 9. The engine turns on; with no gear to drive it simply spins free.
  if (b.engine_inertia > 0) r->engine_speed += (float)SIM_STEP * (te - (n > 0 ? tc / n : 0)) / b.engine_inertia;
  if (!std::isfinite(r->engine_speed)) r->engine_speed = 0;
  if (n > 0)
    r->clutch_angle = wrap_angle(r->clutch_angle + (float)SIM_STEP * r->engine_speed / n);
  else
    r->clutch_angle = wrap_angle((float)dJointGetHingeAngle(rear_axle));

  // 10. Front brake: anti-lock lets go entirely while the tyre slides, and
  // the stoppie rule while the rear wheel is up.
  float fb = r->front_brake_torque * r->front_brake;
  if ((r->options & OPTION_FRONT_ANTILOCK) && sliding(front)) fb = 0;
  if ((r->options & OPTION_STOP_WHEELIE_BRAKE) && touching(front) && !touching(rear)) fb = 0;
  set_axle_brake(r->joints[JOINT_FRONT_AXLE], fb);

  // 11. Rear brake.
  float rb = r->rear_brake_torque * r->rear_brake;
  if ((r->options & OPTION_REAR_ANTILOCK) && sliding(rear)) rb = 0;
  set_axle_brake(rear_axle, rb);
}
