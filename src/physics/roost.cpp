// roost.cpp -- the roost particle pool: throws from slipping or splashing
// tyres, flight, landing, and the erosion that moves the ground with them.
#include "physics/roost.h"

#include <algorithm>
#include <cmath>

#include "common/settings.h"
#include "physics/physics_internal.h"
#include "track/track.h"

namespace {

constexpr float DT = (float)SIM_STEP;
constexpr float PI_F = 3.14159265358979f;

// Program-wide: the pool lives for the run and is reset at every race load.
struct RoostPool {
  RoostParticle particles[ROOST_PARTICLES];
  RoostParticle* free_list = nullptr;
  RoostParticle* active = nullptr;
  int active_count = 0;
  bool ready = false;
};
RoostPool P;

float uniform() { return (float)(random_next() * (1.0 / 4294967296.0)); }
Vec3 jitter(float amount) { return Vec3{uniform() - 0.5f, uniform() - 0.5f, uniform() - 0.5f} * amount; }

Billboard* particle_billboard(const RoostParticle& p) {
  GrowList<Billboard>& list = track_current().billboards;
  return p.billboard >= 0 && p.billboard < list.count ? &list[p.billboard] : nullptr;
}

// Invisible to the scene: it draws only billboards with a texture and alpha.
void hide(Billboard* b) {
  if (!b) return;
  b->texture = 0;
  b->a = 0;
}

float erosion() { return std::clamp(game_settings().erode, 0.0f, 1.0f); }

void bump_ground(float x, float z, float amount) {
  Terrain& t = terrain_record();
  if (amount == 0 || !t.heights || !std::isfinite(x) || !std::isfinite(z)) return;
  terrain_bump(t, x, z, amount, physics_race_tick());
}

// The ground tile under x, z, as the tyre contacts find it.
const Surface* surface_under(float x, float z) {
  const Terrain& t = terrain_record();
  if (!t.heights) return nullptr;
  if (!t.tile_map || t.tile_side <= 0 || !(t.cell2 > 0)) return &t.surfaces[0];
  auto index = [&](float p) {
    float f = std::floor(p / t.cell2);
    if (!(f >= 0)) return 0;
    return f > (float)(t.tile_side - 1) ? t.tile_side - 1 : (int)f;
  };
  return &t.surfaces[t.tile_map[index(z) * t.tile_side + index(x)]];
}

// Particles allowed per roost type and wheel this step: R/100, and one more
// with the chance of the remainder.
int step_budget() {
  int rate = std::clamp(game_settings().roost_frequency, 0, 1000);
  int n = rate / 100;
  if ((int)(random_next() % 100) < rate % 100) n++;
  return n;
}

void throw_from_wheel(Rider* r, int wheel, bool local, int budget, float spread_limit) {
  WheelState& w = r->wheels[wheel];
  if (!local) {
    // Placed from the network or a demo: no contacts were made, so probe.
    ContactGeometry g;
    if (tyre_ground_probe(w, &g)) {
      w.contact_point = g.point;
      w.contact_normal = g.normal;
      w.depth = g.depth;
      w.contact_velocity = body_point_velocity(w.body, g.point);
    } else {
      w.depth = 0;
    }
  }
  if (!(w.depth > 0)) return;
  const Surface* s = surface_under(w.contact_point.x, w.contact_point.z);
  if (!s || s->roost[0].kind == ROOST_NONE) return;

  dBodyID body = w.body;
  Vec3 centre = body_position(body);
  Vec3 wheel_v = body_velocity(body);
  float slip = vec3_length(w.contact_velocity);
  float amount = 0;
  for (const RoostType& type : s->roost) {
    if (type.kind == ROOST_NONE) break;
    float whole = std::floor(type.count);
    int k = (int)whole + (uniform() < type.count - whole ? 1 : 0);
    k = std::min(k, budget);
    if (k <= 0) continue;
    amount = type.dig * std::min(w.depth, 0.1f);
    if (type.kind == ROOST_DIRT) {
      if (slip < type.slip_threshold) continue;
      float spread = PI_F / 64;
      if (vec3_dot(wheel_v, w.contact_velocity) < 0) {
        // Spinning: the faster the wheel turns, the flatter the spray.
        Vec3 spin = vec3_from(dBodyGetAngularVel(body));
        float s2 = vec3_dot(spin, spin);
        float lo = type.slow_speed * type.slow_speed, hi = type.fast_speed * type.fast_speed;
        float t = hi > lo ? std::clamp((s2 - lo) / (hi - lo), 0.0f, 1.0f) : (s2 >= hi ? 1.0f : 0.0f);
        spread = std::min(spread_limit, type.slow_angle + t * (type.fast_angle - type.slow_angle));
      }
      Vec3 axle = mat3_mul(body_rotation(body), w.axle);
      for (int i = 0; i < k; i++) {
        float theta = spread * uniform();
        Vec3 point = centre + mat3_mul(mat3_axis_angle(axle, theta), w.contact_point - centre);
        Vec3 v = body_point_velocity(body, point);
        Vec3 pos = point + v * (DT * (float)i / (float)k);
        v = (v + jitter(type.randomize)) * type.vscale;
        spawn_particle(pos, v, amount, &type);
      }
    } else if (type.kind == ROOST_SPLASH) {
      Vec3 n = w.contact_normal;
      Vec3 vt = wheel_v - n * vec3_dot(wheel_v, n);
      float len = vec3_length(vt);
      if (!(len > 0)) continue;
      Vec3 side = vec3_cross(n, vt * (1 / len));
      Vec3 dirs[2] = {(side + n) * (len * 0.7071068f), (-side + n) * (len * 0.7071068f)};
      for (int i = 0; i < k; i++) {
        Vec3 dir = dirs[((i ^ physics_race_tick()) & 1) ? 1 : 0];
        Vec3 pos = w.contact_point + dir * (DT * (float)i / (float)k);
        Vec3 v = (dir + jitter(type.randomize)) * (type.vscale * uniform());
        spawn_particle(pos, v, amount, &type);
      }
    }
  }
}

}  // namespace

void reset_roost() {
  P.free_list = nullptr;
  P.active = nullptr;
  P.active_count = 0;
  for (int i = ROOST_PARTICLES - 1; i >= 0; i--) {
    RoostParticle& p = P.particles[i];
    p = RoostParticle{};
    p.billboard = i;
    p.next = P.free_list;
    P.free_list = &p;
    hide(particle_billboard(p));
  }
  P.ready = true;
}

bool spawn_particle(Vec3 position, Vec3 velocity, float amount, const RoostType* type) {
  if (!P.ready) reset_roost();
  RoostParticle* p = P.free_list;
  if (!p || !type) return false;
  P.free_list = p->next;
  p->position = position;
  p->velocity = velocity;
  float a = std::isfinite(amount) ? std::clamp(amount, 0.0f, 0.25f) : 0.0f;
  p->strength = (uint8_t)std::min(255.0f, a * 1020);
  p->roost_type = type;
  bump_ground(position.x, position.z, -(float)p->strength * erosion() / 1020);
  if (Billboard* b = particle_billboard(*p)) {
    b->x = position.x;
    b->y = position.y;
    b->z = position.z;
    b->size = type->size;
    b->texture = type->texture;
    b->r = type->r;
    b->g = type->g;
    b->b = type->b;
    b->a = type->a;
  }
  p->next = P.active;
  P.active = p;
  P.active_count++;
  return true;
}

void emit_roost(Rider* r, bool local) {
  if (!r) return;
  int budget = step_budget();
  if (budget <= 0) return;
  throw_from_wheel(r, WHEEL_FRONT, local, budget, PI_F / 8);
  throw_from_wheel(r, WHEEL_REAR, local, budget, 2 * PI_F);
}

void emit_roost_all(Rider* const* riders, const bool* local, int count) {
  if (count <= 0) return;
  int tick = physics_race_tick();
  for (int i = 0; i < count; i++) {
    int k = (int)(((long long)i + tick) % count);
    if (k < 0) k += count;
    emit_roost(riders[k], local ? local[k] : true);
  }
}

void step_roost() {
  if (!P.ready) return;
  const Terrain& t = terrain_record();
  float e = erosion();
  RoostParticle** link = &P.active;
  while (RoostParticle* p = *link) {
    const RoostType& type = *p->roost_type;
    p->position += p->velocity * DT;
    p->velocity -= p->velocity * (DT * type.drag);
    p->velocity.y -= 32 * DT;
    Billboard* b = particle_billboard(*p);
    if (b) {
      b->x = p->position.x;
      b->y = p->position.y;
      b->z = p->position.z;
      b->size += type.grow * DT;
      auto fade = [](uint8_t c, int8_t d) { return (uint8_t)std::clamp((int)c + (int)d, 0, 255); };
      b->r = fade(b->r, type.fade_r);
      b->g = fade(b->g, type.fade_g);
      b->b = fade(b->b, type.fade_b);
      b->a = fade(b->a, type.fade_a);
    }
    bool landed = p->velocity.y < 0 && t.heights && terrain_height(t, p->position.x, p->position.z) > p->position.y;
    // A particle gone wild (no ground, not finite) is retired as well.
    if (!landed && !(std::isfinite(p->position.y) && p->position.y > -1e6f)) landed = true;
    if (!landed && !t.heights && p->velocity.y < 0) landed = true;
    if (!landed) {
      link = &p->next;
      continue;
    }
    hide(b);
    bump_ground(p->position.x, p->position.z, (float)p->strength * e / 1020);
    *link = p->next;
    p->next = P.free_list;
    P.free_list = p;
    P.active_count--;
  }
}

int roost_active_count() { return P.active_count; }
const RoostParticle* roost_active() { return P.active; }
