// roost_test.cpp -- the roost rate budget, slip and splash throws, erosion
// digging and filling, the pool running dry, and rate 0.
#include <cmath>

#include "common/settings.h"
#include "physics/roost.h"
#include "world_fixture.h"

namespace {

class Roost : public PhysicsWorld {
 protected:
  void SetUp() override {
    PhysicsWorld::SetUp();
    settings_reset();
    random_seed(1);
    // The track loader's particle billboards.
    for (int i = 0; i < PARTICLE_BILLBOARDS; i++) billboard_create(0, 0, 0, 1, 1, nullptr);
    reset_roost();
  }
  void TearDown() override {
    settings_reset();
    PhysicsWorld::TearDown();
  }
  // Every tile throws one roost type.
  static void every_tile_throws(const RoostType& type) {
    for (Surface& s : terrain_record().surfaces) {
      s.roost[0] = type;
      for (int i = 1; i < ROOST_TYPES; i++) s.roost[i].kind = ROOST_NONE;
    }
  }
  // Both tyres touching and sliding at slip ft/s this step.
  static void tyres_down(Rider* r, float slip) {
    for (WheelState& w : r->wheels) {
      Vec3 c = position(w.body);
      w.depth = 0.05f;
      w.contact_point = {c.x, c.y - w.ring_radius - w.tube_radius + 0.05f, c.z};
      w.contact_normal = {0, 1, 0};
      w.contact_velocity = {0, 0, slip};
    }
  }
  static double height_sum() {
    const Terrain& t = terrain_record();
    double sum = 0;
    for (int i = 0; i < t.samples * t.samples; i++) sum += t.heights[i];
    return sum;
  }
};

RoostType dirt(float count) {
  RoostType t;
  t.kind = ROOST_DIRT;
  t.count = count;
  t.slip_threshold = 4;
  return t;
}

TEST_F(Roost, RateBudgetLimitsParticlesPerTypeAndWheel) {
  Rider* r = add_rider(128, 128, 0);
  every_tile_throws(dirt(10));
  struct Case {
    int rate;
    int least, most;  // per wheel and step
    double mean;
  };
  for (Case c : {Case{250, 2, 3, 2.5}, Case{1000, 10, 10, 10}, Case{0, 0, 0, 0}, Case{30, 0, 1, 0.3}}) {
    SCOPED_TRACE(c.rate);
    game_settings().roost_frequency = c.rate;
    int total = 0;
    constexpr int CALLS = 400;
    for (int i = 0; i < CALLS; i++) {
      reset_roost();
      tyres_down(r, 10);
      emit_roost(r, true);
      int n = roost_active_count();
      ASSERT_EQ(n % 2, 0);  // both wheels get the same budget
      EXPECT_GE(n / 2, c.least);
      EXPECT_LE(n / 2, c.most);
      total += n / 2;
    }
    EXPECT_NEAR((double)total / CALLS, c.mean, 0.1 + 0.05 * c.mean);
  }
}

TEST_F(Roost, SlowSlipThrowsNoDirtButSplashStillSplashes) {
  Rider* r = add_rider(128, 128, 0);
  game_settings().roost_frequency = 1000;
  RoostType splash = dirt(4);
  splash.kind = ROOST_SPLASH;
  struct Case {
    const char* name;
    RoostType type;
    float slip;
    int particles;
  };
  const Case cases[] = {
      {"dirt below the threshold", dirt(4), 3, 0},
      {"dirt above the threshold", dirt(4), 5, 8},
      {"splash below the threshold", splash, 3, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    every_tile_throws(c.type);
    reset_roost();
    // The splash throws along the wheels' own motion.
    launch(r, {0, 0, -10});
    tyres_down(r, c.slip);
    emit_roost(r, true);
    EXPECT_EQ(roost_active_count(), c.particles);
    for (const RoostParticle* p = roost_active(); p; p = p->next) {
      const Billboard& b = track_current().billboards[p->billboard];
      EXPECT_EQ(b.x, p->position.x);
      EXPECT_GT(b.a, 0);
      if (c.type.kind == ROOST_SPLASH) {
        EXPECT_GE(p->velocity.y, -0.5f * c.type.randomize);
      }
    }
  }
}

TEST_F(Roost, ErosionDigsWhereDirtLeavesAndFillsWhereItLands) {
  RoostType type = dirt(1);
  struct Case {
    float erode;
    double dug;  // ft of height summed over the samples
  };
  for (Case c : {Case{1, -0.25}, Case{0, 0}, Case{0.5f, -0.125}}) {
    SCOPED_TRACE(c.erode);
    game_settings().erode = c.erode;
    reset_roost();
    double before = height_sum();
    ASSERT_TRUE(spawn_particle({100, 4, 100}, {0, 20, 10}, 0.3f, &type));
    EXPECT_EQ(roost_active()->strength, 255);
    EXPECT_NEAR(height_sum() - before, c.dug, 1e-3);
    int billboard = roost_active()->billboard;
    for (int i = 0; i < 10 * 128 && roost_active_count() > 0; i++) step_roost();
    ASSERT_EQ(roost_active_count(), 0);
    EXPECT_NEAR(height_sum() - before, 0, 1e-3);
    EXPECT_EQ(track_current().billboards[billboard].a, 0);
  }
}

TEST_F(Roost, ThrowsAreDroppedWhenThePoolIsInTheAir) {
  RoostType type = dirt(1);
  for (int i = 0; i < ROOST_PARTICLES; i++) ASSERT_TRUE(spawn_particle({10, 50, 10}, {0, 1, 0}, 0.1f, &type));
  EXPECT_FALSE(spawn_particle({10, 50, 10}, {0, 1, 0}, 0.1f, &type));
  EXPECT_EQ(roost_active_count(), ROOST_PARTICLES);
  reset_roost();
  EXPECT_EQ(roost_active_count(), 0);
  EXPECT_TRUE(spawn_particle({10, 50, 10}, {0, 1, 0}, 0.1f, &type));
}

}  // namespace
