// crash_test.cpp -- a rider steered into a tuff block at speed falls off,
// and gets back on the bike once he has come to rest.
#include "ride_fixture.h"

namespace {

class TuffBlock : public RideFixture {};

// Where the rider aims: the block, and the rider riding at it.
Vec3 g_block;
const Rider* g_rider;

// Full throttle with the bars turned toward the block, the way a player
// would steer at it, through the steer channel.
void ride_at_block(ControlChannels& ch) {
  ch.value[CH_THROTTLE] = 1;
  ch.value[CH_FRONT_BRAKE] = ch.value[CH_REAR_BRAKE] = 0;
  const dReal* p = dBodyGetPosition(rider_chassis(g_rider));
  const dReal* rot = dBodyGetRotation(rider_chassis(g_rider));
  float fx = -(float)rot[2], fz = -(float)rot[10];
  float dx = g_block.x - (float)p[0], dz = g_block.z - (float)p[2];
  float angle = std::atan2(fx * dz - fz * dx, fx * dx + fz * dz);  // right positive
  float steer = std::clamp(angle * 2.0f, -1.0f, 1.0f);
  ch.value[CH_STEER] = bike_setting(SETTING_REVERSE_STEERING) >= 0.5 ? -steer : steer;
}

TEST_F(TuffBlock, RiderSteeredIntoABlockCrashesAndGetsBackOn) {
  start_race("arena", 1, 3);
  run_to_gate_drop();
  Rider* r = rider(0);
  auto full_throttle = [](ControlChannels& ch) {
    ch.value[CH_THROTTLE] = 1;
    ch.value[CH_FRONT_BRAKE] = ch.value[CH_REAR_BRAKE] = 0;
  };
  for (int i = 0; i < 10 * 128 && ground_speed(r) < 30; i++) step_with(0, full_throttle);
  ASSERT_GE(ground_speed(r), 30) << "the start lane should get the bike to 30 ft/s";

  // The first tuff block 70 to 160 ft ahead (room to swerve), and how far it stands beside the line.
  Vec3 p = position(r);
  const dReal* rot = dBodyGetRotation(rider_chassis(r));
  float fx = -(float)rot[2], fz = -(float)rot[10];
  float len = std::hypot(fx, fz);
  fx /= len;
  fz /= len;
  const Track& t = track_current();
  int block = -1;
  float nearest = 1e9f;
  for (int i = 0; i < t.statues.count; i++) {
    const Statue& s = t.statues.data[i];
    if (s.model_name.find("tuffblock") == std::string::npos) continue;
    float ahead = (s.x - p.x) * fx + (s.z - p.z) * fz;
    float beside = (s.x - p.x) * -fz + (s.z - p.z) * fx;
    if (ahead > 70 && ahead < 160 && std::fabs(beside) < 40 && ahead < nearest) {
      nearest = ahead;
      block = i;
    }
  }
  ASSERT_GE(block, 0) << "no tuff block ahead on the start lane";
  const Statue& s = t.statues.data[block];
  g_block = {s.x, s.y, s.z};
  g_rider = r;

  int ticks = 0;
  float closest = 1e9f;
  while (r->crash_timer == 0 && ticks < 8 * 128) {
    step_with(0, ride_at_block);
    ticks++;
    Vec3 q = position(r);
    closest = std::min(closest, std::hypot(q.x - s.x, q.z - s.z));
  }
  ASSERT_GT(r->crash_timer, 0) << "rode " << ticks * SIM_STEP << " s at the block without falling; came within "
                               << closest << " ft of it";
  // The blocks stand end to end, so the one hit may be a neighbour of the one aimed at.
  Vec3 hit = position(r);
  float to_block = 1e9f;
  for (int i = 0; i < t.statues.count; i++) {
    const Statue& b = t.statues.data[i];
    if (b.model_name.find("tuffblock") != std::string::npos)
      to_block = std::min(to_block, std::hypot(hit.x - b.x, hit.z - b.z));
  }
  EXPECT_LT(to_block, 10) << "fell off away from the blocks";

  // Back on once the rider has lain still for about four seconds.
  ticks = 0;
  while (r->crash_timer > 0 && ticks < 30 * 128) {
    step();
    ticks++;
  }
  EXPECT_EQ(r->crash_timer, 0) << "still off the bike after " << ticks * SIM_STEP << " s";
  EXPECT_GT(ticks * SIM_STEP, 3.9) << "the recovery waits for 511 still steps";
  EXPECT_EQ(crashes[0], 1);
}

}  // namespace
