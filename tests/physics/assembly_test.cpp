// assembly_test.cpp -- building, resetting, moving and extrapolating a
// rider, skin variant names, and the ground and object contact rules.
#include <cmath>
#include <cstring>

#include "world_fixture.h"

namespace {

using AssemblyTest = PhysicsWorld;

TEST(SkinVariantName, TakesTheTextureWordBetweenItsFirstTwoDashes) {
  struct Case {
    const char* base;
    const char* texture;
    const char* want;  // null: no variant
  } cases[] = {
      {"@yz250f_frame.qm", "yz250f-red-2009.png", "@yz250f_frame-red.qm"},
      {"@yz250f_frame.qm", "skins/my-blue-x.png", "@yz250f_frame-blue.qm"},
      {"@yz250f_frame.qm", "yz250f-red.png", nullptr},      // one dash only
      {"@yz250f_frame.qm", "a-b-c/plain.png", nullptr},     // dashes only in the directory
      {"@dir.v2/frame", "yz250f-red-2009.png", nullptr},    // no extension after the last "/"
      {"@yz250f_frame.qm", "--.png", "@yz250f_frame-.qm"},  // an empty word still names a variant
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.texture);
    char out[64];
    bool got = skin_variant_name(c.base, c.texture, ".qm", out, (int)sizeof out);
    EXPECT_EQ(got, c.want != nullptr);
    EXPECT_STREQ(out, c.want ? c.want : "");
  }
  char tiny[8];
  EXPECT_FALSE(skin_variant_name("@yz250f_frame.qm", "yz250f-red-2009.png", ".qm", tiny, (int)sizeof tiny));
  EXPECT_STREQ(tiny, "");
}

TEST_F(AssemblyTest, BuildsSevenBodiesInOrderWithTheirMasses) {
  Rider* r = create_rider("yz250f(2007)", 3, "123456789", nullptr, nullptr, nullptr, nullptr);
  riders.push_back(r);
  const BikeSpec& b = r->spec;
  const Vec3 expect[BODY_COUNT] = {b.chassis.centre,     b.front_wheel.centre, b.rear_wheel.centre,
                                   b.fork.upper_centre,  b.fork.lower_centre, b.swing_arm.centre,
                                   b.rider.torso_centre};
  for (int i = 0; i < BODY_COUNT; i++) {
    Vec3 p = position(r->bodies[i]);
    EXPECT_NEAR(vec3_length(p - expect[i]), 0, 1e-5f) << i;
  }
  dMass m;
  dBodyGetMass(r->bodies[BODY_CHASSIS], &m);
  EXPECT_NEAR(m.mass, b.chassis.mass + b.rider.mass * 2 / 3, 1e-4);
  dBodyGetMass(r->bodies[BODY_TORSO], &m);
  EXPECT_NEAR(m.mass, b.rider.mass / 3, 1e-4);
  dBodyGetMass(r->bodies[BODY_FRONT_WHEEL], &m);
  EXPECT_NEAR(m.mass, b.front_wheel.ring_mass + b.front_wheel.hub_mass, 1e-5);
  EXPECT_NEAR(m.I[0], 0.4 * b.front_wheel.hub_mass * 0.25 +
                          b.front_wheel.ring_mass * (b.front_wheel.ring_radius * b.front_wheel.ring_radius +
                                                     0.4 * b.front_wheel.tube_radius * b.front_wheel.tube_radius),
              1e-4);
  EXPECT_EQ(dJointGetBody(r->joints[JOINT_FRONT_AXLE], 0), r->bodies[BODY_FORK_LOWER]);
  EXPECT_EQ(dJointGetBody(r->joints[JOINT_RIDER_MOUNT], 1), r->bodies[BODY_CHASSIS]);
  EXPECT_STREQ(rider_number_text(r), "1234567");
  EXPECT_STREQ(rider_bike_key(r), "yz250f(2007)");
  EXPECT_EQ(r->slot, 3);
  for (int i = 0; i < BODY_COUNT; i++) EXPECT_NE(r->shapes[i], nullptr) << i;
  EXPECT_EQ(rider_gear(r), 0);
  EXPECT_EQ(rider_engine_rpm(r), 0);
}

TEST_F(AssemblyTest, ResetAfterACrashPutsTheTorsoBackOnTheMount) {
  Rider* r = add_rider(128, 128, 1.0f);
  crash_rider(r);
  EXPECT_EQ(r->crash_timer, 512);
  EXPECT_EQ(dJointGetBody(r->joints[JOINT_RIDER_MOUNT], 0), nullptr);
  r->gear = 3;
  r->engine_speed = 900;
  r->bump_timer = -300;
  run(0.5);
  reset_rider(r);
  EXPECT_EQ(r->crash_timer, 0);
  EXPECT_EQ(r->gear, 0);
  EXPECT_EQ(r->bump_timer, 0);
  EXPECT_EQ(r->last_bump_tick, -1);
  EXPECT_EQ(dJointGetBody(r->joints[JOINT_RIDER_MOUNT], 0), r->bodies[BODY_TORSO]);
  Vec3 seat = position(r->bodies[BODY_TORSO]) - position(r->bodies[BODY_CHASSIS]);
  Vec3 want = r->spec.rider.torso_centre - r->spec.chassis.centre;
  EXPECT_NEAR(vec3_length(seat - want), 0, 1e-5f);
}

TEST_F(AssemblyTest, TurnMoveAndTheSpeedometer) {
  Rider* r = create_rider("cr125", 0, "", nullptr, nullptr, nullptr, nullptr);
  riders.push_back(r);
  EXPECT_TRUE(rider_two_stroke(r));
  turn_rider(r, 0, 1, 0, 3.14159265f / 2);
  move_rider(r, 10, 0, 0);
  // A quarter turn about y takes the build point (x, y, z) to (z, y, -x).
  Vec3 c = r->spec.chassis.centre;
  Vec3 p = position(r->bodies[BODY_CHASSIS]);
  EXPECT_NEAR(p.x, c.z + 10, 1e-5f);
  EXPECT_NEAR(p.z, -c.x, 1e-5f);
  // Facing -x now: 10 ft/s that way reads 6.82 mph.
  dBodySetLinearVel(r->bodies[BODY_CHASSIS], -10, 0, 0);
  EXPECT_NEAR(rider_speedometer_mph(r), 6.818182f, 1e-4f);
}

TEST_F(AssemblyTest, ExtrapolationLiftsASinkingRearTyreOntoTheGround) {
  Rider* r = add_rider(128, 128, 0);
  // Half a second of falling at 8 ft/s from where it stands.
  dBodySetLinearVel(r->bodies[BODY_CHASSIS], 0, -8, -2);
  extrapolate_rider(r, 64);
  Vec3 rear = position(r->bodies[BODY_REAR_WHEEL]);
  EXPECT_NEAR(rear.y - r->spec.rear_wheel.ring_radius, terrain_height(terrain_record(), rear.x, rear.z), 1e-4f);
  EXPECT_NEAR(rear.z - r->noted_positions[BODY_REAR_WHEEL].z, -1, 1e-4f);
  // Rising, nothing is corrected: the move is the velocity times the time.
  dBodySetLinearVel(r->bodies[BODY_CHASSIS], 0, 4, 0);
  extrapolate_rider(r, 32);
  EXPECT_NEAR(position(r->bodies[BODY_CHASSIS]).y - r->noted_positions[BODY_CHASSIS].y, 1, 1e-4f);
}

// ---------------------------------------------------------------- contact rules

TEST_F(AssemblyTest, TyreProbeOnFlatGroundIsAFaceContact) {
  Rider* r = create_rider("yz250f(2007)", 0, "", nullptr, nullptr, nullptr, nullptr);
  riders.push_back(r);
  const WheelState& w = r->wheels[WHEEL_FRONT];
  float outer = w.ring_radius + w.tube_radius;
  // Axle over a cell's diagonal and over a vertex: the same answer.
  for (Vec3 at : {Vec3{101, 0, 101}, Vec3{100, 0, 100}, Vec3{100.3f, 0, 101.7f}}) {
    dBodySetPosition(w.body, at.x, 3 + outer - 0.1f, at.z);
    ContactGeometry g;
    ASSERT_TRUE(tyre_ground_probe(w, &g));
    EXPECT_NEAR(g.depth, 0.1f, 1e-4f);
    EXPECT_NEAR(g.normal.y, 1, 1e-6f);
    EXPECT_NEAR(g.point.y, 2.9f, 1e-4f);
    EXPECT_NEAR(g.point.x, at.x, 1e-4f);
    EXPECT_NEAR(g.point.z, at.z, 1e-4f);
  }
  dBodySetPosition(w.body, 100, 3 + outer + 0.01f, 100);
  ContactGeometry g;
  EXPECT_FALSE(tyre_ground_probe(w, &g));
  EXPECT_FALSE(sphere_ground_probe({100, 3.5f, 100}, 0.49f, &g));
  ASSERT_TRUE(sphere_ground_probe({100, 3.5f, 100}, 0.75f, &g));
  EXPECT_NEAR(g.depth, 0.25f, 1e-5f);
  // Non-finite positions find nothing rather than scanning forever.
  EXPECT_FALSE(sphere_ground_probe({NAN, 3, 100}, 1, &g));
  EXPECT_FALSE(sphere_ground_probe({1e30f, 3, 100}, 1, &g));
}

// Numbers in 0..1 from a small congruential generator: the same cases on
// every machine.
struct Uniform {
  unsigned seed;
  float operator()() {
    seed = seed * 1664525u + 1013904223u;
    return (float)(seed >> 8) / 16777216.0f;
  }
};

// Rough ground, steep enough in places (a strip of cliffs) that no probe
// may pass a window over by its heights.
float rough_ground(float x, float z) {
  float bumps = 3 + 0.7f * std::sin(x * 0.9f) * std::cos(z * 1.3f) + 0.2f * std::sin(x * 7.1f + z * 3.3f);
  return x > 150 && x < 160 ? bumps + 30 * std::sin(z) : bumps;
}

// What a probe must find: the first deepest positive result of test over
// both triangles of every cell under centre +- reach, row by row.
template <class Test>
ContactGeometry first_deepest(Vec3 centre, float reach, Test test) {
  const Terrain& t = terrain_record();
  auto vertex = [&](int c, int r) {
    auto clamp = [&](int i) { return std::clamp(i, 0, t.samples - 1); };
    return Vec3{(float)c * t.cell, t.heights[clamp(r) * t.samples + clamp(c)], (float)r * t.cell};
  };
  ContactGeometry best;
  int i0 = (int)std::floor((centre.x - reach) / t.cell), i1 = (int)std::floor((centre.x + reach) / t.cell);
  int j0 = (int)std::floor((centre.z - reach) / t.cell), j1 = (int)std::floor((centre.z + reach) / t.cell);
  for (int j = j0; j <= j1; j++)
    for (int i = i0; i <= i1; i++) {
      int flip = (i & 1) ^ (j & 1) ^ 1;
      ContactGeometry a = test(vertex(i, j), vertex(i, j + 1), vertex(i + 1, j + flip));
      if (a.depth > best.depth) best = a;
      ContactGeometry b = test(vertex(i + 1, j + 1), vertex(i + 1, j), vertex(i, j + 1 - flip));
      if (b.depth > best.depth) best = b;
    }
  return best;
}

// The probe's answer against the reference, bit for bit; false when
// neither found anything.
bool same_as_reference(bool hit, const ContactGeometry& g, const ContactGeometry& best, int k) {
  EXPECT_EQ(hit, best.depth > 0) << "case " << k;
  if (!hit || !(best.depth > 0)) return false;
  Vec3 normal = contact_normal_correct(best.normal);
  EXPECT_EQ(std::memcmp(&g.depth, &best.depth, sizeof(float)), 0) << "case " << k;
  EXPECT_EQ(std::memcmp(&g.point, &best.point, sizeof(Vec3)), 0) << "case " << k;
  EXPECT_EQ(std::memcmp(&g.normal, &normal, sizeof(Vec3)), 0) << "case " << k;
  return true;
}

// The probe passes over ground wholly below a sphere's reach; spheres
// resting just above, on and in rough ground must find what every
// triangle under them finds.
TEST_F(AssemblyTest, SphereProbeFindsWhatEveryTriangleFinds) {
  ground(rough_ground);
  const Terrain& t = terrain_record();
  Uniform uniform{12345u};
  int found = 0, missed = 0;
  for (int k = 0; k < 4000; k++) {
    float radius = 0.1f + 0.8f * uniform();
    float x = 10 + 230 * uniform(), z = 10 + 230 * uniform();
    float y = terrain_height(t, x, z) + radius + 0.3f * uniform() - 0.1f;
    if (k % 3 == 0) y += 1.5f * uniform();
    Vec3 s{x, y, z};
    ContactGeometry best =
        first_deepest(s, radius, [&](Vec3 v0, Vec3 v1, Vec3 v2) { return sphere_triangle(s, radius, v0, v1, v2); });
    ContactGeometry g;
    bool hit = sphere_ground_probe(s, radius, &g);
    (same_as_reference(hit, g, best, k) ? found : missed)++;
    if (HasFailure()) return;
  }
  EXPECT_GT(found, 500);
  EXPECT_GT(missed, 500);
}

// The tyre probe tries the cell under the hub first, asks the others only
// for deeper contacts and leaves out cells beside the tyre's own box; none
// of that may change what it finds. Wheels upright, leaning and tumbled,
// on rough ground and off the field's edge, against the full test of every
// triangle under the tyre's reach.
TEST_F(AssemblyTest, TyreProbeFindsWhatEveryTriangleFinds) {
  ground(rough_ground);
  const Terrain& t = terrain_record();
  Rider* r = add_rider(128, 128, 0);
  const WheelState& w = r->wheels[WHEEL_FRONT];
  const float R = w.ring_radius, tube = w.tube_radius;
  Uniform uniform{777u};
  int found = 0, missed = 0;
  for (int k = 0; k < 4000; k++) {
    // Mostly over the field, some out past its edge where the heights are held.
    float x = k % 10 == 0 ? -6 + 8 * uniform() : 4 + 248 * uniform();
    float z = 4 + 248 * uniform();
    dQuaternion heading, lean, q;
    dQFromAxisAndAngle(heading, 0, 1, 0, 6.2831853 * uniform());
    float tilt = k % 4 == 0 ? 3.1415927f * uniform() : 0.8f * (uniform() - 0.5f);
    dQFromAxisAndAngle(lean, 0, 0, 1, tilt);
    dQMultiply0(q, heading, lean);
    dBodySetQuaternion(w.body, q);
    float ground_y = terrain_height(t, std::clamp(x, 0.0f, 254.0f), z);
    float y = ground_y + R + tube - 0.5f * uniform() + (k % 3 == 0 ? 0.6f * uniform() : 0);
    dBodySetPosition(w.body, x, y, z);
    // The hub and axle as the probe reads them: the bodies' doubles as floats.
    const dReal* p = dBodyGetPosition(w.body);
    const dReal* m = dBodyGetRotation(w.body);
    Vec3 hub{(float)p[0], (float)p[1], (float)p[2]};
    Mat3 rotation;
    for (int i = 0; i < 3; i++)
      for (int j = 0; j < 3; j++) rotation.m[i][j] = (float)m[i * 4 + j];
    Vec3 axle = mat3_mul(rotation, w.axle);
    ContactGeometry best = first_deepest(
        hub, R + tube, [&](Vec3 v0, Vec3 v1, Vec3 v2) { return torus_triangle(hub, axle, R, tube, v0, v1, v2); });
    ContactGeometry g;
    bool hit = tyre_ground_probe(w, &g);
    (same_as_reference(hit, g, best, k) ? found : missed)++;
    if (HasFailure()) return;
  }
  EXPECT_GT(found, 1000);
  EXPECT_GT(missed, 500);
}

TEST(SurfaceLookup, InterpolatesFrictionInSpeedSquaredAndRollingInSpeed) {
  Surface s{};
  s.friction_value[0] = 0.8f;
  s.friction_speed[0] = 1;
  // One point: its value at every speed.
  for (float v : {0.0f, 1.0f, 50.0f}) EXPECT_FLOAT_EQ(surface_friction(s, v), 0.8f);
  s.friction_value[1] = 0.4f;
  s.friction_speed[1] = 3;
  s.roll_value[0][0] = 5, s.roll_value[0][1] = 15, s.roll_speed[0] = 2;
  s.roll_value[1][0] = 9, s.roll_value[1][1] = 25, s.roll_speed[1] = 4;
  struct Case {
    float speed, friction, roll_a, roll_b;
  } cases[] = {
      {0.5f, 0.8f, 5, 15},    // before the first point
      {2, 0.65f, 5, 15},      // (4 - 1) / (9 - 1) of the way in s^2; at the rolling point
      {3, 0.4f, 7, 20},       // at the second friction point; halfway in s for rolling
      {10, 0.4f, 9, 25},      // past the last used point
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.speed);
    EXPECT_NEAR(surface_friction(s, c.speed), c.friction, 1e-6f);
    float a, b;
    surface_rolling(s, c.speed, &a, &b);
    EXPECT_NEAR(a, c.roll_a, 1e-5f);
    EXPECT_NEAR(b, c.roll_b, 1e-5f);
  }
}

TEST_F(AssemblyTest, PartsOnTheGroundMarkSlowStateAndAnUpsideDownRiderCrashes) {
  Rider* r = add_rider(128, 128, 0);
  hold_torso(r);
  hold_upright(r);
  run(0.5);
  EXPECT_EQ(r->race.slow_state, 0);  // on its tyres only
  for (dJointID j : stands) dJointDestroy(j);
  stands.clear();
  // Upside down, the rider's shape in the ground and the torso moving fast.
  reset_rider(r);
  turn_rider(r, 0, 0, 1, 3.14159265f);
  move_rider(r, 128, 3 + 4.5f + 0.3f, 128);
  dBodySetLinearVel(r->bodies[BODY_TORSO], 0, 0, -8);
  EXPECT_TRUE(ground_contacts(r));
  physics_empty_contacts();
  EXPECT_EQ(r->race.slow_state, 1);
  EXPECT_EQ(r->crash_timer, 512);
  EXPECT_EQ(dJointGetBody(r->joints[JOINT_RIDER_MOUNT], 0), nullptr);
}

TEST_F(AssemblyTest, ArcadeGripFallsWithLean) {
  Rider* r = create_rider("yz250f(2007)", 0, "", nullptr, nullptr, nullptr, nullptr);
  riders.push_back(r);
  EXPECT_FLOAT_EQ(rider_grip_factor(r), 1);
  r->options |= OPTION_ARCADE;
  EXPECT_FLOAT_EQ(rider_grip_factor(r), 1);
  // Leaning 45 degrees toward -x.
  turn_rider(r, 0, 0, 1, 3.14159265f / 4);
  EXPECT_NEAR(rider_lean_angle(r), 3.14159265f / 4, 1e-5f);
  EXPECT_NEAR(rider_grip_factor(r), 0.625f, 1e-5f);
}

}  // namespace
