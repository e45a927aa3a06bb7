// roost.h -- dirt and water thrown by the tyres: a fixed pool of particles
// flown under gravity and drag, each shown by one of the track's first
// billboards, digging the ground where it leaves and filling where it lands.
#pragma once

#include "physics/rider.h"

struct RoostType;

inline constexpr int ROOST_PARTICLES = 2000;

struct RoostParticle {
  Vec3 position;                       // ft
  Vec3 velocity;                       // ft/s
  int billboard = -1;                  // index into the track's billboards
  uint8_t strength = 0;                // 0..255, dirt carried
  const RoostType* roost_type = nullptr;
  RoostParticle* next = nullptr;       // free or active list
};

// Every particle free and its billboard hidden. Call at race load, after the
// track (and its particle billboards) is loaded.
void reset_roost();
// Throws this step's particles from both tyres of one rider, within the
// roost rate budget (game_settings().roost_frequency). Call once per rider
// per step, after the contacts and before the world step; a rider not
// simulated here (local false) is probed for ground contact first.
void emit_roost(Rider* r, bool local);
// emit_roost for count riders in the frame step's rotating order: the i-th
// call goes to rider (i + race_tick) mod count, so no rider is always first.
void emit_roost_all(Rider* const* riders, const bool* local, int count);
// Flies every particle one step and retires those that reached the ground.
// Call once per step after the riders' steps.
void step_roost();
// Takes a free particle for a throw of amount (0..0.25 of dirt) and digs the
// ground under it when erosion is on. False when every particle is in the air.
bool spawn_particle(Vec3 position, Vec3 velocity, float amount, const RoostType* type);

// Particles in the air now (tests, statistics).
int roost_active_count();
// The active list, newest first (drawing, tests).
const RoostParticle* roost_active();
