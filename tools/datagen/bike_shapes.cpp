// bike_shapes.cpp -- the seven generic collision shapes every bike model
// shares, fitted to the catalogue's geometry and written as ".shp" files.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "physics/bike_spec.h"
#include "platform/platform.h"

bool write_bike_shapes(const std::string& out_dir);

namespace {

// Surface values of the spheres. Ground contacts of shapes use a fixed
// spring; these friction values make a fallen bike slide and stop, and the
// springs and dampers set how parts meet other riders and track objects.
struct Material {
  float friction;
  float stiffness;  // lbf/ft
  float damping;    // lbf*s/ft
};
constexpr Material BIKE = {0.6f, 5000, 500};    // plastics, frame, engine cases
constexpr Material METAL = {0.5f, 5000, 500};   // pegs, bars, fork legs, swing arm
constexpr Material RIDER = {0.8f, 2500, 300};   // padded body, soft against other riders
constexpr Material TYRE = {1.0f, 25000, 2500};  // as the tyre torus meets spheres

struct Ball {
  Vec3 centre;  // ft, in the owning body's frame
  float radius;  // ft
  Material m;
};

// A sphere placed at a build-frame point, relative to the body at origin.
Ball at(Vec3 build_point, Vec3 origin, float radius, Material m) { return {build_point - origin, radius, m}; }

// A sphere and its mirror image across the bike's centre plane.
void pair(std::vector<Ball>& out, Vec3 p, float radius, Material m) {
  out.push_back({p, radius, m});
  out.push_back({{-p.x, p.y, p.z}, radius, m});
}

Vec3 lerp(Vec3 a, Vec3 b, float t) { return a + (b - a) * t; }

std::vector<Ball> frame_shape(const BikeSpec& b) {
  Vec3 o = b.chassis.centre;
  std::vector<Ball> s;
  // Engine and its cylinder low in the frame: the lowest point sits about
  // a foot above the ground under a loaded bike.
  s.push_back(at({0, 1.55f, 3.25f}, o, 0.5f, BIKE));
  s.push_back(at({0, 1.55f, 2.75f}, o, 0.4f, BIKE));
  // Tank, seat and rear fender along the top.
  s.push_back(at({0, 2.75f, 2.9f}, o, 0.45f, BIKE));
  s.push_back(at({0, 2.85f, 3.8f}, o, 0.4f, BIKE));
  s.push_back(at({0, 2.95f, 4.8f}, o, 0.35f, BIKE));
  s.push_back(at({0, 3.0f, 5.7f}, o, 0.3f, BIKE));
  // Radiator shrouds and side panels: what a bike on its side lies on.
  pair(s, at({0.5f, 2.45f, 2.75f}, o, 0, BIKE).centre, 0.3f, BIKE);
  pair(s, at({0.45f, 2.6f, 4.9f}, o, 0, BIKE).centre, 0.3f, BIKE);
  // Exhaust silencer on the right.
  s.push_back(at({0.45f, 2.3f, 5.2f}, o, 0.25f, METAL));
  // Foot pegs.
  pair(s, b.peg_point[1], 0.15f, METAL);
  return s;
}

std::vector<Ball> fork_upper_shape(const BikeSpec& b) {
  Vec3 o = b.fork.upper_centre;
  Vec3 axis = vec3_normalize(b.fork.upper_centre - b.fork.lower_centre);
  float leg_x = b.fork.tube_spacing / 2;
  std::vector<Ball> s;
  s.push_back({{0, 0.05f, 0}, 0.3f, METAL});  // triple clamp
  // Handlebar from its clamp out to the grips.
  Vec3 grip = b.grip_point[1];
  Vec3 clamp{0, grip.y - 0.145f, grip.z - 0.1f};
  s.push_back({clamp, 0.15f, METAL});
  pair(s, lerp(clamp, grip, 0.5f), 0.15f, METAL);
  pair(s, grip, 0.15f, METAL);
  // Number plate, front fender and the upper fork tubes.
  s.push_back({axis * 0.3f + Vec3{0, 0.25f, -0.5f}, 0.3f, BIKE});
  s.push_back(at({0, 2.45f, b.front_wheel.centre.z - 0.05f}, o, 0.25f, BIKE));
  pair(s, Vec3{leg_x, 0, 0} - axis * 0.4f, 0.15f, METAL);
  return s;
}

std::vector<Ball> fork_lower_shape(const BikeSpec& b) {
  Vec3 o = b.fork.lower_centre;
  Vec3 axle = b.front_wheel.centre - o;
  float leg_x = b.fork.tube_spacing / 2;
  std::vector<Ball> s;
  // The two legs from the slide down to the axle.
  for (float t : {0.3f, 0.9f}) pair(s, Vec3{leg_x, axle.y * t, axle.z * t}, 0.15f, METAL);
  return s;
}

std::vector<Ball> swing_arm_shape(const BikeSpec& b) {
  Vec3 o = b.swing_arm.centre;
  Vec3 pivot = b.swing_arm.pivot - o, axle = b.rear_wheel.centre - o;
  float arm_x = b.chassis.box.x / 2;
  std::vector<Ball> s;
  for (float t : {0.15f, 0.5f, 0.85f}) {
    Vec3 p = lerp(pivot, axle, t);
    pair(s, Vec3{arm_x, p.y, p.z}, 0.15f, METAL);
  }
  return s;
}

// The tyre as a ring of spheres of the tube's radius, for meeting other riders.
std::vector<Ball> wheel_shape(const WheelSpec& w) {
  constexpr int COUNT = 12;
  constexpr float PI_F = 3.14159265f;
  std::vector<Ball> s;
  for (int k = 0; k < COUNT; k++) {
    float a = 2 * PI_F * (float)k / COUNT;
    s.push_back({{0, w.ring_radius * std::cos(a), w.ring_radius * std::sin(a)}, w.tube_radius, TYRE});
  }
  return s;
}

std::vector<Ball> rider_shape(const BikeSpec& b) {
  std::vector<Ball> s;
  s.push_back({{0, 0, 0}, 0.65f, RIDER});           // torso
  s.push_back({{0, 0.45f, -0.45f}, 0.5f, RIDER});   // chest and shoulders
  s.push_back({b.head_point, 0.45f, RIDER});        // helmet
  pair(s, b.hip_point[1], 0.4f, RIDER);
  pair(s, b.hand_point[1], 0.2f, RIDER);
  pair(s, lerp(b.hand_point[1], Vec3{b.hip_point[1].x, 0, 0}, 0.5f) + Vec3{0.2f, 0, 0}, 0.25f, RIDER);  // elbows
  // Knees ahead of and below the hips, over the pegs.
  Vec3 knee = b.hip_point[1] + Vec3{0.28f, -0.73f, -1.29f};
  pair(s, knee, 0.3f, RIDER);
  return s;
}

bool write_shape(const std::string& path, const std::vector<Ball>& balls) {
  FILE* f = fopen(path.c_str(), "w");
  if (!f) {
    log_printf("Can't write shape %.900s\n", path.c_str());
    return false;
  }
  fprintf(f, "%d\n", (int)balls.size());
  for (const Ball& b : balls)
    fprintf(f, "%f %f %f %f %f %f %f\n", b.centre.x, b.centre.y, b.centre.z, b.radius, b.m.friction, b.m.stiffness,
            b.m.damping);
  bool ok = fflush(f) == 0 && !ferror(f);
  ok = fclose(f) == 0 && ok;
  if (!ok) log_printf("Can't write shape %.900s\n", path.c_str());
  return ok;
}

}  // namespace

bool write_bike_shapes(const std::string& out_dir) {
  // Every model shares one geometry, so the reference model stands for all.
  const BikeSpec* b = lookup_bike_spec("yz250f(2007)");
  if (!b) return false;
  std::error_code error;
  std::filesystem::create_directories(out_dir, error);
  struct File {
    const char* name;
    std::vector<Ball> balls;
  };
  const File files[] = {
      {"generic_frame.shp", frame_shape(*b)},
      {"generic_fork_upper.shp", fork_upper_shape(*b)},
      {"generic_fork_lower.shp", fork_lower_shape(*b)},
      {"generic_swingarm.shp", swing_arm_shape(*b)},
      {"front_wheel.shp", wheel_shape(b->front_wheel)},
      {"rear_wheel.shp", wheel_shape(b->rear_wheel)},
      {"generic_rider.shp", rider_shape(*b)},
  };
  bool ok = true;
  for (const File& f : files) ok = write_shape(out_dir + "/" + f.name, f.balls) && ok;
  return ok;
}
