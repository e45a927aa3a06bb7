// world.cpp -- the one physics world and its contact group, the library's
// messages routed to the log, and the contact joints every part builds.
#include "physics/physics_internal.h"

#include <cstdarg>
#include <cstdio>

#include "platform/platform.h"

namespace {

// Program-wide: the world lives from start-up to exit.
struct WorldState {
  dWorldID world = nullptr;
  dJointGroupID contacts = nullptr;
  int race_tick = 0;
};
WorldState W;

// The library would print to the terminal; its errors still end the
// program after the handler returns, but the reason is then in the log.
void log_library_message(const char* kind, int number, const char* format, va_list ap) {
  char text[1024];
  vsnprintf(text, sizeof text, format, ap);
  log_printf("ODE %s %d: %.1000s\n", kind, number, text);
}
void on_message(int number, const char* format, va_list ap) { log_library_message("message", number, format, ap); }
void on_debug(int number, const char* format, va_list ap) { log_library_message("debug", number, format, ap); }
void on_error(int number, const char* format, va_list ap) { log_library_message("error", number, format, ap); }

}  // namespace

void physics_init() {
  if (W.world) return;
  dSetMessageHandler(on_message);
  dSetDebugHandler(on_debug);
  dSetErrorHandler(on_error);
  dInitODE2(0);
  W.world = dWorldCreate();
  dWorldSetGravity(W.world, 0, -32, 0);
  W.contacts = dJointGroupCreate(0);
  W.race_tick = 0;
}

void physics_shutdown() {
  if (!W.world) return;
  // Destroying a world that still holds grouped joints makes the library warn.
  dJointGroupEmpty(W.contacts);
  dJointGroupDestroy(W.contacts);
  dWorldDestroy(W.world);
  dCloseODE();
  W = WorldState{};
}

void physics_step() {
  if (!W.world) return;
  dWorldStep(W.world, SIM_STEP);
  dJointGroupEmpty(W.contacts);
}

void physics_empty_contacts() {
  if (W.contacts) dJointGroupEmpty(W.contacts);
}

dWorldID physics_world() { return W.world; }
dJointGroupID physics_contact_group() { return W.contacts; }

void physics_set_race_tick(int tick) { W.race_tick = tick; }
int physics_race_tick() { return W.race_tick; }

// ---------------------------------------------------------------- contact joints

dContact contact_record(Vec3 point, Vec3 normal, float depth, float mu, float stiffness, float damping) {
  dContact c{};
  float erp, cfm;
  contact_erp_cfm(stiffness, damping, &erp, &cfm);
  c.surface.mode = dContactApprox1 | dContactSoftERP | dContactSoftCFM;
  c.surface.mu = mu;
  c.surface.soft_erp = erp;
  c.surface.soft_cfm = cfm;
  c.geom.pos[0] = point.x;
  c.geom.pos[1] = point.y;
  c.geom.pos[2] = point.z;
  c.geom.normal[0] = normal.x;
  c.geom.normal[1] = normal.y;
  c.geom.normal[2] = normal.z;
  c.geom.depth = depth;
  return c;
}

dJointID contact_joint(const dContact& c, dBodyID b1, dBodyID b2, dJointFeedback* feedback) {
  dJointID j = dJointCreateContact(W.world, W.contacts, &c);
  dJointAttach(j, b1, b2);
  if (feedback) dJointSetFeedback(j, feedback);
  return j;
}
