// assembly.cpp -- a rider and its bike as seven bodies and six joints:
// creation with models and shapes, reset, placing, moving, network helpers,
// the per-step routine and the accessors.
#include "physics/physics_internal.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "data/data.h"
#include "physics/control.h"
#include "physics/shape.h"
#include "physics/suspension.h"
#include "platform/platform.h"
#include "render/image.h"
#include "render/model.h"
#include "track/terrain.h"

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr float RPM_PER_RAD_S = 9.549296585513721f;
constexpr float MPH_PER_FT_S = 0.6818181818181819f;
constexpr float MOUNT_ANCHOR_Z = -50;  // ft, build frame: far ahead, so the torso moves nearly straight up and down

void post_warning(const char* text) {
  log_printf("%s\n", text);
  add_message(text);
}

// The build-frame position of each body.
Vec3 build_position(const BikeSpec& b, int body) {
  switch (body) {
    case BODY_CHASSIS: return b.chassis.centre;
    case BODY_FRONT_WHEEL: return b.front_wheel.centre;
    case BODY_REAR_WHEEL: return b.rear_wheel.centre;
    case BODY_FORK_UPPER: return b.fork.upper_centre;
    case BODY_FORK_LOWER: return b.fork.lower_centre;
    case BODY_SWING_ARM: return b.swing_arm.centre;
    default: return b.rider.torso_centre;
  }
}

const char* shape_file(const BikeSpec& b, int body) {
  switch (body) {
    case BODY_CHASSIS: return b.files.frame_shape;
    case BODY_FRONT_WHEEL: return b.files.front_wheel_shape;
    case BODY_REAR_WHEEL: return b.files.rear_wheel_shape;
    case BODY_FORK_UPPER: return b.files.fork_upper_shape;
    case BODY_FORK_LOWER: return b.files.fork_lower_shape;
    case BODY_SWING_ARM: return b.files.swing_arm_shape;
    default: return b.files.rider_shape;
  }
}

Vec3 steering_axis(const BikeSpec& b) { return b.fork.upper_centre - b.fork.lower_centre; }

// ---------------------------------------------------------------- masses

void set_body_mass(dBodyID body, const BodyMass& m) {
  dMass mass;
  dMassSetParameters(&mass, m.mass, 0, 0, 0, m.inertia[0][0], m.inertia[1][1], m.inertia[2][2], m.inertia[0][1],
                     m.inertia[0][2], m.inertia[1][2]);
  dBodySetMass(body, &mass);
}

// Summing symmetric parts leaves a rounding-sized centre offset that the
// library refuses; the parts are placed about the body origin by design.
void centre_mass(dMass* m) { m->c[0] = m->c[1] = m->c[2] = 0; }

dMass wheel_mass(const WheelSpec& w) {
  dMass m, s;
  dMassSetSphereTotal(&m, w.hub_mass, w.hub_radius);
  for (int k = 0; k < 16; k++) {
    double a = k * PI / 8;
    dMassSetSphereTotal(&s, w.ring_mass / 16, w.tube_radius);
    dMassTranslate(&s, 0, w.ring_radius * std::cos(a), w.ring_radius * std::sin(a));
    dMassAdd(&m, &s);
  }
  centre_mass(&m);
  return m;
}

dMass fork_mass(const BikeSpec& b) {
  const ForkSpec& f = b.fork;
  dMass m, leg;
  dMassSetZero(&m);
  for (int side = -1; side <= 1; side += 2) {
    dMassSetCylinderTotal(&leg, f.mass / 2, 2, f.tube_spacing / 8, f.tube_length * 2 / 3);
    dMassTranslate(&leg, side * f.tube_spacing / 2, 0, 0);
    dMassAdd(&m, &leg);
  }
  dMatrix3 rot;
  dRFromAxisAndAngle(rot, 1, 0, 0,
                     std::atan((f.lower_centre.z - f.upper_centre.z) / (f.lower_centre.y - f.upper_centre.y)));
  dMassRotate(&m, rot);
  centre_mass(&m);
  return m;
}

dMass swing_arm_mass(const BikeSpec& b) {
  Vec3 axle = b.rear_wheel.centre, pivot = b.swing_arm.pivot;
  float w = b.chassis.box.x / 4;
  float l = vec3_length(axle - pivot);
  dMass m, arm;
  dMassSetZero(&m);
  for (int side = -1; side <= 1; side += 2) {
    dMassSetBoxTotal(&arm, b.swing_arm.arm_mass, w, w, l);
    dMassTranslate(&arm, side * b.chassis.box.x / 2, 0, 0);
    dMassAdd(&m, &arm);
  }
  dMatrix3 rot;
  dRFromAxisAndAngle(rot, 1, 0, 0, -std::atan((axle.y - pivot.y) / (axle.z - pivot.z)));
  dMassRotate(&m, rot);
  centre_mass(&m);
  return m;
}

// ---------------------------------------------------------------- joints

void set_mount_frame(Rider* r) {
  const BikeSpec& b = r->spec;
  dBodyID chassis = r->bodies[BODY_CHASSIS];
  Vec3 c = b.chassis.centre;
  dVector3 anchor, axis1, axis2;
  dBodyGetRelPointPos(chassis, 0, b.rider.torso_centre.y - c.y, MOUNT_ANCHOR_Z - c.z, anchor);
  const double h = std::sqrt(0.5);
  dBodyVectorToWorld(chassis, 0, h, h, axis1);
  dBodyVectorToWorld(chassis, 1, 0, 0, axis2);
  dJointSetHinge2Anchor(r->joints[JOINT_RIDER_MOUNT], anchor[0], anchor[1], anchor[2]);
  dJointSetHinge2Axes(r->joints[JOINT_RIDER_MOUNT], axis1, axis2);
}

void create_joints(Rider* r) {
  const BikeSpec& b = r->spec;
  dWorldID world = physics_world();
  dBodyID* body = r->bodies;
  dJointID* j = r->joints;
  Vec3 steer = steering_axis(b);

  j[JOINT_FRONT_AXLE] = dJointCreateHinge(world, nullptr);
  dJointAttach(j[JOINT_FRONT_AXLE], body[BODY_FORK_LOWER], body[BODY_FRONT_WHEEL]);
  dJointSetHingeAnchor(j[JOINT_FRONT_AXLE], b.front_wheel.centre.x, b.front_wheel.centre.y, b.front_wheel.centre.z);
  dJointSetHingeAxis(j[JOINT_FRONT_AXLE], 1, 0, 0);

  j[JOINT_REAR_AXLE] = dJointCreateHinge(world, nullptr);
  dJointAttach(j[JOINT_REAR_AXLE], body[BODY_SWING_ARM], body[BODY_REAR_WHEEL]);
  dJointSetHingeAnchor(j[JOINT_REAR_AXLE], b.rear_wheel.centre.x, b.rear_wheel.centre.y, b.rear_wheel.centre.z);
  dJointSetHingeAxis(j[JOINT_REAR_AXLE], 1, 0, 0);

  j[JOINT_STEERING] = dJointCreateHinge(world, nullptr);
  dJointAttach(j[JOINT_STEERING], body[BODY_FORK_UPPER], body[BODY_CHASSIS]);
  dJointSetHingeAnchor(j[JOINT_STEERING], b.fork.upper_centre.x, b.fork.upper_centre.y, b.fork.upper_centre.z);
  dJointSetHingeAxis(j[JOINT_STEERING], steer.x, steer.y, steer.z);
  dJointSetHingeParam(j[JOINT_STEERING], dParamLoStop, -PI / 4);
  dJointSetHingeParam(j[JOINT_STEERING], dParamHiStop, PI / 4);

  j[JOINT_FORK_SLIDE] = dJointCreateSlider(world, nullptr);
  dJointAttach(j[JOINT_FORK_SLIDE], body[BODY_FORK_UPPER], body[BODY_FORK_LOWER]);
  dJointSetSliderAxis(j[JOINT_FORK_SLIDE], steer.x, steer.y, steer.z);
  dJointSetSliderParam(j[JOINT_FORK_SLIDE], dParamBounce, 0);
  dJointSetSliderParam(j[JOINT_FORK_SLIDE], dParamLoStop, -b.fork.travel);
  dJointSetSliderParam(j[JOINT_FORK_SLIDE], dParamHiStop, 0);

  j[JOINT_SWING_ARM] = dJointCreateHinge(world, nullptr);
  dJointAttach(j[JOINT_SWING_ARM], body[BODY_SWING_ARM], body[BODY_CHASSIS]);
  dJointSetHingeAnchor(j[JOINT_SWING_ARM], b.swing_arm.pivot.x, b.swing_arm.pivot.y, b.swing_arm.pivot.z);
  dJointSetHingeAxis(j[JOINT_SWING_ARM], 1, 0, 0);
  dJointSetHingeParam(j[JOINT_SWING_ARM], dParamBounce, 0);
  dJointSetHingeParam(j[JOINT_SWING_ARM], dParamLoStop, -b.swing_arm.travel);
  dJointSetHingeParam(j[JOINT_SWING_ARM], dParamHiStop, 0);

  j[JOINT_RIDER_MOUNT] = dJointCreateHinge2(world, nullptr);
  dJointAttach(j[JOINT_RIDER_MOUNT], body[BODY_TORSO], body[BODY_CHASSIS]);
  set_mount_frame(r);
  dJointSetHinge2Param(j[JOINT_RIDER_MOUNT], dParamLoStop, 0);
  dJointSetHinge2Param(j[JOINT_RIDER_MOUNT], dParamHiStop, 0);

  for (int i = 0; i < JOINT_COUNT; i++) dJointSetFeedback(j[i], &r->joint_feedback[i]);
}

// ---------------------------------------------------------------- models and textures

// A name's stem: up to its last "." after the last "/"; false without one.
bool name_stem(const std::string& name, std::string* stem) {
  size_t slash = name.find_last_of('/');
  size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  *stem = name.substr(0, dot);
  return true;
}

bool file_exists(const char* name) {
  Stream* s = open_stream(name, "r");
  if (!s) return false;
  close_stream(s);
  return true;
}

// The first of stem + suffix + (".seq", ".png", ".ppm") over both stems that loads.
unsigned int find_map(const std::string& texture, const std::string& variant, const char* suffix) {
  static constexpr const char* ENDS[] = {".seq", ".png", ".ppm"};
  const std::string* names[2] = {&texture, &variant};
  for (const std::string* name : names) {
    std::string stem;
    if (!name_stem(*name, &stem)) continue;
    for (const char* end : ENDS) {
      std::string candidate = stem + suffix + end;
      // Only existing files reach the texture loader, which warns about missing ones.
      if (!file_exists(candidate.c_str())) continue;
      unsigned int id = texture_load(candidate.c_str());
      if (id) return id;
    }
  }
  return 0;
}

struct GroupModel {
  const char* BikeFiles::*file;
  Mesh* RiderDrawing::*handle;
  bool warn;
  bool decides;  // the group falls back when this model does not load
};

struct ModelGroup {
  const char* BikeFiles::*texture_file;
  unsigned int RiderDrawing::*texture;
  GroupModel models[6];
  int model_count;
};

constexpr ModelGroup MODEL_GROUPS[4] = {
    {&BikeFiles::bike_texture,
     &RiderDrawing::bike_texture,
     {{&BikeFiles::frame_model, &RiderDrawing::frame, true, true},
      {&BikeFiles::side_plates_model, &RiderDrawing::side_plates, true, false},
      {&BikeFiles::fork_upper_model, &RiderDrawing::fork_upper, true, false},
      {&BikeFiles::front_plate_model, &RiderDrawing::front_plate, true, false},
      {&BikeFiles::fork_lower_model, &RiderDrawing::fork_lower, true, false},
      {&BikeFiles::swing_arm_model, &RiderDrawing::swing_arm, true, false}},
     6},
    {&BikeFiles::wheels_texture,
     &RiderDrawing::wheel_texture,
     {{&BikeFiles::front_wheel_model, &RiderDrawing::front_wheel, true, true},
      {&BikeFiles::rear_wheel_model, &RiderDrawing::rear_wheel, true, true}},
     2},
    {&BikeFiles::body_texture,
     &RiderDrawing::rider_texture,
     {{&BikeFiles::rider_plate_model, &RiderDrawing::rider_plate, false, false},
      {&BikeFiles::body_model, &RiderDrawing::body, true, true},
      {&BikeFiles::body_fp_model, &RiderDrawing::body_fp, false, false}},
     3},
    {&BikeFiles::head_texture,
     &RiderDrawing::head_texture,
     {{&BikeFiles::head_model, &RiderDrawing::head, true, true}},
     1},
};

// Loads every model of the group with texture name; false when a deciding one failed.
bool load_group_models(RiderDrawing* d, const BikeFiles& files, const ModelGroup& g, const char* texture) {
  bool complete = true;
  for (int i = 0; i < g.model_count; i++) {
    const GroupModel& m = g.models[i];
    d->*m.handle = load_skin_model(files.*m.file, texture, m.warn);
    if (m.decides && !(d->*m.handle)) complete = false;
  }
  return complete;
}

void load_drawing(Rider* r, const char* const given[4]) {
  RiderDrawing* d = &r->drawing;
  const BikeFiles& files = r->spec.files;
  for (int gi = 0; gi < 4; gi++) {
    const ModelGroup& g = MODEL_GROUPS[gi];
    const char* own = files.*g.texture_file;
    const char* used = given[gi];
    unsigned int id = used ? texture_load(used) : 0;
    bool ok = used && id && load_group_models(d, files, g, used);
    if (!ok) {
      // The texture cache keeps a given texture that did not fit; there is
      // nothing for the rider to hand back.
      used = own;
      id = texture_load(own);
      load_group_models(d, files, g, own);
    }
    d->*g.texture = id;

    std::string texture_name = used ? used : "";
    char variant[1024];
    std::string variant_name =
        skin_variant_name(own, used, ".foo", variant, (int)sizeof variant) ? variant : (own ? own : "");
    d->normal_map[gi] = find_map(texture_name, variant_name, "_norm");
    d->specular_map[gi] = find_map(texture_name, variant_name, "_spec");
  }
  // The number plate is drawn from number_text by the text renderer, which
  // fills drawing.number_plate once it exists.
  d->number_plate = 0;
}

}  // namespace

// ---------------------------------------------------------------- skins

bool skin_variant_name(const char* base, const char* texture, const char* extension, char* out, int out_size) {
  if (out && out_size > 0) out[0] = 0;
  if (!base || !texture || !extension || !out || out_size <= 0) return false;
  const char* base_slash = strrchr(base, '/');
  const char* dot = strrchr(base, '.');
  if (!dot || (base_slash && dot < base_slash)) return false;
  const char* slash = strrchr(texture, '/');
  const char* last = slash ? slash + 1 : texture;
  const char* first_dash = strchr(last, '-');
  const char* second_dash = first_dash ? strchr(first_dash + 1, '-') : nullptr;
  if (!second_dash) return false;
  int n = snprintf(out, (size_t)out_size, "%.*s%.*s%s", (int)(dot - base), base, (int)(second_dash - first_dash),
                   first_dash, extension);
  if (n < 0 || n >= out_size) {
    out[0] = 0;  // a cut name would load some other model
    return false;
  }
  return true;
}

Mesh* load_skin_model(const char* model, const char* texture, bool warn) {
  if (!model) return nullptr;
  char variant[1024];
  char text[1024];
  if (texture && skin_variant_name(model, texture, ".qm", variant, (int)sizeof variant)) {
    if (Mesh* m = model_load(variant)) return m;
    const char* texture_slash = strrchr(texture, '/');
    if (!texture_slash) {
      if (warn) {
        snprintf(text, sizeof text, "Warning: Can't load %.900s", variant);
        post_warning(text);
      }
      return nullptr;
    }
    // The skin may bring its models beside its texture.
    const char* variant_slash = strrchr(variant, '/');
    const char* leaf = variant_slash ? variant_slash + 1 : (variant[0] == '@' ? variant + 1 : variant);
    std::string beside = std::string(texture, (size_t)(texture_slash - texture + 1)) + leaf;
    if (Mesh* m = model_load(beside.c_str())) return m;
    if (warn) {
      snprintf(text, sizeof text, "Warning: Can't load %.450s or %.450s", variant, beside.c_str());
      post_warning(text);
    }
    return nullptr;
  }
  Mesh* m = model_load(model);
  if (!m && warn) {
    snprintf(text, sizeof text, "Warning: Can't load %.900s", model);
    post_warning(text);
  }
  return m;
}

// ---------------------------------------------------------------- masses

void apply_rider_masses(Rider* r) {
  if (!r->bodies[BODY_CHASSIS]) return;
  set_body_mass(r->bodies[BODY_CHASSIS], r->chassis_mass);
  set_body_mass(r->bodies[BODY_TORSO], r->torso_mass);
  dMass m;
  r->total_mass = 0;
  for (dBodyID b : r->bodies) {
    dBodyGetMass(b, &m);
    r->total_mass += (float)m.mass;
  }
}

// ---------------------------------------------------------------- create and destroy

Rider* create_rider(const char* bike_key, int slot, const char* number_text, const char* rider_texture,
                    const char* head_texture, const char* bike_texture, const char* wheel_texture) {
  if (!physics_world()) {
    log_printf("create_rider: the physics world does not exist\n");
    return nullptr;
  }
  const BikeSpec* spec = find_bike_spec(bike_key ? bike_key : "");
  Rider* r = new (std::nothrow) Rider;
  if (!r) fatal_out_of_memory();
  r->spec = *spec;
  const BikeSpec& b = r->spec;

  for (int i = 0; i < BODY_COUNT; i++) {
    r->shape_source[i] = load_shape(shape_file(b, i));
    r->shapes[i] = copy_shape(r->shape_source[i]);
  }
  // Groups in order bike, wheels, rider, head.
  const char* given[4] = {bike_texture, wheel_texture, rider_texture, head_texture};
  load_drawing(r, given);

  rider_set_creation_values(r);

  dWorldID world = physics_world();
  for (int i = 0; i < BODY_COUNT; i++) {
    r->bodies[i] = dBodyCreate(world);
    Vec3 p = build_position(b, i);
    dBodySetPosition(r->bodies[i], p.x, p.y, p.z);
  }
  // Fast wheel spin integrates badly without it.
  dBodySetFiniteRotationMode(r->bodies[BODY_FRONT_WHEEL], 1);
  dBodySetFiniteRotationMode(r->bodies[BODY_REAR_WHEEL], 1);
  dMass m = wheel_mass(b.front_wheel);
  dBodySetMass(r->bodies[BODY_FRONT_WHEEL], &m);
  m = wheel_mass(b.rear_wheel);
  dBodySetMass(r->bodies[BODY_REAR_WHEEL], &m);
  m = fork_mass(b);
  dBodySetMass(r->bodies[BODY_FORK_UPPER], &m);
  dBodySetMass(r->bodies[BODY_FORK_LOWER], &m);
  m = swing_arm_mass(b);
  dBodySetMass(r->bodies[BODY_SWING_ARM], &m);
  apply_rider_masses(r);

  const WheelSpec* wheel_specs[2] = {&b.front_wheel, &b.rear_wheel};
  for (int w = 0; w < 2; w++) {
    WheelState& ws = r->wheels[w];
    ws.body = r->bodies[w == WHEEL_FRONT ? BODY_FRONT_WHEEL : BODY_REAR_WHEEL];
    ws.axle = {1, 0, 0};
    ws.ring_radius = wheel_specs[w]->ring_radius;
    ws.tube_radius = wheel_specs[w]->tube_radius;
  }

  create_joints(r);
  reset_rider(r);
  r->slot = slot;
  r->race.number_text = std::string(number_text ? number_text : "").substr(0, NUMBER_TEXT_LENGTH);
  r->race.bike_key = r->spec.name;
  return r;
}

void destroy_rider(Rider* r) {
  if (!r) return;
  for (dJointID& j : r->joints) {
    if (j) dJointDestroy(j);
    j = nullptr;
  }
  for (dBodyID& b : r->bodies) {
    if (b) dBodyDestroy(b);
    b = nullptr;
  }
  for (Shape*& s : r->shapes) {
    free_shape(s);
    s = nullptr;
  }
  delete r;
}

// ---------------------------------------------------------------- placing

Vec3 rider_seat_offset(const Rider* r) { return r->spec.rider.torso_centre - r->spec.chassis.centre; }

void note_rider_positions(Rider* r) {
  for (int i = 0; i < BODY_COUNT; i++) r->noted_positions[i] = body_position(r->bodies[i]);
}

void reset_rider(Rider* r) {
  const BikeSpec& b = r->spec;
  for (int i = 0; i < BODY_COUNT; i++) {
    dBodyID body = r->bodies[i];
    Vec3 p = build_position(b, i);
    dMatrix3 identity;
    dRSetIdentity(identity);
    dBodySetPosition(body, p.x, p.y, p.z);
    dBodySetRotation(body, identity);
    // Leftover velocities or forces from before the reset would act on
    // the first step after it.
    dBodySetLinearVel(body, 0, 0, 0);
    dBodySetAngularVel(body, 0, 0, 0);
    dBodySetForce(body, 0, 0, 0);
    dBodySetTorque(body, 0, 0, 0);
  }
  // A crash detached the mount; the torso goes back on the seat and the
  // mount is attached again with its frame for the reset pose.
  remount_rider(r);

  note_rider_positions(r);
  for (dJointFeedback& f : r->joint_feedback) f = dJointFeedback{};
  for (WheelState& w : r->wheels) {
    w.depth = 0;
    w.contact_point = w.contact_velocity = w.contact_normal = Vec3{};
    w.contact_feedback = dJointFeedback{};
  }

  r->throttle = r->clutch = r->front_brake = r->rear_brake = 0;
  r->steer = r->dab = r->foot_out = r->back_up = r->lean = 0;
  r->gear = 0;
  r->shift_input = 0;
  r->clutch_angle = 0;
  r->engine_speed = 0;
  r->bump_timer = 0;
  r->crash_timer = 0;
  for (Vec3& v : r->torso_velocity_history) v = Vec3{};
  r->landing_factor = 1;
  r->last_bump_tick = -1;
  r->steps_since_reset = 0;
  for (int i = 0; i < 2; i++) r->crash_foot[i] = r->crash_foot_velocity[i] = Vec3{};

  r->race.gate_count = 0;
  r->race.gate_times = GateTimes{};
  r->race.finished = false;
  r->race.slow_state = 0;
  // Line recording and the robot's planned path keep their own buffers;
  // their owners clear them together with these fields.
  for (int& id : r->picked_ids) id = 0;
  r->bad_segment_bits = 0;
  r->robot_personality = 0;
  r->grip_limit_tick = -1000000;
}

void move_rider(Rider* r, float dx, float dy, float dz) {
  for (dBodyID b : r->bodies) {
    const dReal* p = dBodyGetPosition(b);
    dBodySetPosition(b, p[0] + dx, p[1] + dy, p[2] + dz);
  }
}

void turn_rider(Rider* r, float ax, float ay, float az, float angle) {
  dMatrix3 rot;
  dRFromAxisAndAngle(rot, ax, ay, az, angle);
  for (dBodyID b : r->bodies) {
    const dReal* p = dBodyGetPosition(b);
    dVector3 q;
    dMultiply0_331(q, rot, p);
    dBodySetRotation(b, rot);
    dBodySetPosition(b, q[0], q[1], q[2]);
  }
}

void place_rider(Rider* r, float x, float z, float heading) {
  const Terrain& t = terrain_record();
  float h = 0;
  if (t.heights && t.cell > 0) {
    auto index = [&](float p) {
      float f = std::floor(p / t.cell);
      if (!(f >= 0)) return 0;  // NaN too
      return f > (float)(t.samples - 1) ? t.samples - 1 : (int)f;
    };
    h = t.heights[index(z) * t.samples + index(x)];
  }
  // Far above any field a rider still touches nothing, so this ends; the
  // cap only guards against a ground that is not finite.
  constexpr int MAX_RAISES = 1 << 16;
  for (int i = 0;; i++) {
    reset_rider(r);
    turn_rider(r, 0, 1, 0, heading);
    move_rider(r, x, h, z);
    if (!ground_contacts(r)) break;
    if (i == MAX_RAISES) {
      log_printf("place_rider: still touching the ground %.0f ft up\n", 0.25 * MAX_RAISES);
      break;
    }
    h += 0.25f;
  }
  physics_empty_contacts();
  // The probes of the last try found nothing; the wheels start in the air.
  for (WheelState& w : r->wheels) w.depth = 0;
  note_rider_positions(r);
}

void enable_rider(Rider* r) {
  for (dBodyID b : r->bodies) dBodyEnable(b);
}

void disable_rider(Rider* r) {
  for (dBodyID b : r->bodies) dBodyDisable(b);
}

void save_rider_velocities(Rider* r) {
  for (int i = 0; i < BODY_COUNT; i++) {
    r->saved_linear[i] = vec3_from(dBodyGetLinearVel(r->bodies[i]));
    r->saved_angular[i] = vec3_from(dBodyGetAngularVel(r->bodies[i]));
  }
}

void restore_rider_velocities(Rider* r) {
  for (int i = 0; i < BODY_COUNT; i++) {
    Vec3 v = r->saved_linear[i], w = r->saved_angular[i];
    dBodySetLinearVel(r->bodies[i], v.x, v.y, v.z);
    dBodySetAngularVel(r->bodies[i], w.x, w.y, w.z);
  }
}

void extrapolate_rider(Rider* r, int n) {
  n = n < 0 ? 0 : (n > 64 ? 64 : n);
  dBodyID chassis = r->bodies[BODY_CHASSIS];
  Vec3 move = body_velocity(chassis) * (float)(n * SIM_STEP);
  Vec3 down = -body_axis(chassis, 1);
  Vec3 tyre = r->noted_positions[BODY_REAR_WHEEL] + move + down * r->spec.rear_wheel.ring_radius;
  const Terrain& t = terrain_record();
  if (t.heights) {
    float ground = terrain_height(t, tyre.x, tyre.z);
    if (ground > tyre.y) move.y += ground - tyre.y;
  }
  for (int i = 0; i < BODY_COUNT; i++) {
    Vec3 p = r->noted_positions[i] + move;
    dBodySetPosition(r->bodies[i], p.x, p.y, p.z);
  }
}

// ---------------------------------------------------------------- crash

void crash_rider(Rider* r) {
  if (r->crash_timer > 0) return;
  dJointAttach(r->joints[JOINT_RIDER_MOUNT], nullptr, nullptr);
  // The feet leave from where they were on the bike (crash_timer still 0).
  FootPositions feet = foot_positions(r);
  for (int i = 0; i < 2; i++) {
    r->crash_foot[i] = feet.foot[i];
    r->crash_foot_velocity[i] = body_point_velocity(r->bodies[BODY_TORSO], r->crash_foot[i]);
  }
  r->crash_timer = 512;
}

void remount_rider(Rider* r) {
  dBodyID chassis = r->bodies[BODY_CHASSIS];
  Vec3 seat = rider_seat_offset(r);
  dVector3 torso;
  dBodyGetRelPointPos(chassis, seat.x, seat.y, seat.z, torso);
  dBodySetPosition(r->bodies[BODY_TORSO], torso[0], torso[1], torso[2]);
  dBodySetRotation(r->bodies[BODY_TORSO], dBodyGetRotation(chassis));
  dJointAttach(r->joints[JOINT_RIDER_MOUNT], r->bodies[BODY_TORSO], chassis);
  set_mount_frame(r);
}

// ---------------------------------------------------------------- step

namespace {

// The joints' constraint forces should cancel pairwise; what their error
// correction leaves over (the rider mount's anchor is 50 ft away) would
// push the whole bike, so it is taken off the chassis.
void cancel_joint_forces(Rider* r) {
  const dReal* c = dBodyGetPosition(r->bodies[BODY_CHASSIS]);
  dVector3 force = {0, 0, 0}, torque = {0, 0, 0};
  for (int i = 0; i < JOINT_COUNT; i++) {
    dJointID j = r->joints[i];
    const dJointFeedback& f = r->joint_feedback[i];
    dBodyID b1 = dJointGetBody(j, 0), b2 = dJointGetBody(j, 1);
    if (!b1 && !b2) continue;  // a detached mount carried no force
    for (int k = 0; k < 3; k++) {
      force[k] += f.f1[k] + f.f2[k];
      torque[k] += f.t1[k] + f.t2[k];
    }
    const dBodyID bodies[2] = {b1, b2};
    const dReal* forces[2] = {f.f1, f.f2};
    for (int s = 0; s < 2; s++) {
      if (!bodies[s]) continue;
      const dReal* p = dBodyGetPosition(bodies[s]);
      dVector3 arm = {p[0] - c[0], p[1] - c[1], p[2] - c[2]};
      const dReal* fv = forces[s];
      torque[0] += arm[1] * fv[2] - arm[2] * fv[1];
      torque[1] += arm[2] * fv[0] - arm[0] * fv[2];
      torque[2] += arm[0] * fv[1] - arm[1] * fv[0];
    }
  }
  dBodyAddForce(r->bodies[BODY_CHASSIS], -force[0], -force[1], -force[2]);
  dBodyAddTorque(r->bodies[BODY_CHASSIS], -torque[0], -torque[1], -torque[2]);
}

}  // namespace

void rider_step(Rider* r, bool local) {
  if (!local) {
    for (dBodyID b : r->bodies) {
      dBodySetForce(b, 0, 0, 0);
      dBodySetTorque(b, 0, 0, 0);
    }
    return;
  }
  bump_decay(r);
  detect_crash(r);
  if (r->crash_timer > 0)
    crashed_step(r);
  else
    ground_assists(r);
  rider_springs(r);
  suspension_forces(r);
  steering(r);
  drivetrain_step(r);
  steering_damping(r);
  // The feedback of the first world steps after a placement is the
  // settling of the joints, not a drift worth cancelling.
  if (r->steps_since_reset >= 2 && r->crash_timer == 0) cancel_joint_forces(r);
  foot_support(r);
  restore_assisted_controls(r);
  limbs_step(r);
  int tick = physics_race_tick();
  r->torso_velocity_history[((tick % 4) + 4) % 4] = body_velocity(r->bodies[BODY_TORSO]);
  r->steps_since_reset++;
}

// ---------------------------------------------------------------- accessors

dBodyID rider_chassis(const Rider* r) { return r->bodies[BODY_CHASSIS]; }
dBodyID rider_torso(const Rider* r) { return r->bodies[BODY_TORSO]; }
int rider_gear(const Rider* r) { return r->gear; }
float rider_throttle(const Rider* r) { return r->throttle; }
float rider_clutch(const Rider* r) { return r->clutch; }
float rider_engine_rpm(const Rider* r) { return r->engine_speed * RPM_PER_RAD_S; }
bool rider_two_stroke(const Rider* r) { return r->spec.two_stroke != 0; }
const char* rider_number_text(const Rider* r) { return r->race.number_text.c_str(); }
const char* rider_bike_key(const Rider* r) { return r->spec.name; }

float rider_speedometer_mph(const Rider* r) {
  dBodyID chassis = r->bodies[BODY_CHASSIS];
  return -vec3_dot(body_velocity(chassis), body_axis(chassis, 2)) * MPH_PER_FT_S;
}

float rider_lean_angle(const Rider* r) {
  dBodyID chassis = r->bodies[BODY_CHASSIS];
  Vec3 up = body_axis(chassis, 1);
  Vec3 forward = -body_axis(chassis, 2);
  forward.y = 0;
  forward = vec3_normalize(forward);
  float o = up.z * forward.x - up.x * forward.z;
  o = o < -1 ? -1 : (o > 1 ? 1 : o);
  return std::acos(o) - (float)(PI / 2);
}
