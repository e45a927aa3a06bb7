// physics.h -- the physics world, riders as assemblies of bodies and joints
// in it, and every contact and suspension force the program generates.
#pragma once

#include "physics/contact.h"
#include "physics/rider.h"
#include "track/terrain.h"

// ---------------------------------------------------------------- world

// Creates the world (gravity 32 ft/s^2 down) and the contact group, and
// sends the library's messages to the log. Call once at start-up.
void physics_init();
// Empties the contact group and destroys it and the world. Destroy every
// rider first; their bodies and joints go with the world.
void physics_shutdown();
// One world step of SIM_STEP, then the step's contact and motor joints are
// discarded. Called once per race step after the contacts are generated.
void physics_step();
// Discards the joints grouped so far without stepping (placement).
void physics_empty_contacts();

dWorldID physics_world();
dJointGroupID physics_contact_group();

// The race clock the step functions read (bump timers, histories, stamps).
// The race frame step sets it before the contacts of each step.
void physics_set_race_tick(int tick);
int physics_race_tick();

// ---------------------------------------------------------------- riders

// A rider on the bike named by bike_key (with the catalogue's fallback),
// built, reset and ready to place. Texture names may be null: the bike's
// own are used. Never null once physics_init has run.
Rider* create_rider(const char* bike_key, int slot, const char* number_text, const char* rider_texture,
                    const char* head_texture, const char* bike_texture, const char* wheel_texture);
// Destroys the bodies, joints and shapes and frees the record; null is ignored.
void destroy_rider(Rider* r);

// Every body back to its build position and orientation at rest, the
// rider on the bike, controls, drive, timers and race fields cleared.
void reset_rider(Rider* r);
// Reset, turned to heading (rad about y) and lowered onto the ground at
// x, z (ft) from the height there, raised in 0.25 ft steps until nothing
// touches. The caller then enables the rider (or disables a network one).
void place_rider(Rider* r, float x, float z, float heading);
// Adds (dx, dy, dz) ft to every body's position.
void move_rider(Rider* r, float dx, float dy, float dz);
// Turns the whole assembly about the world origin: orientations become the
// rotation, positions p become R p. Meant for a freshly reset rider.
void turn_rider(Rider* r, float ax, float ay, float az, float angle);
void enable_rider(Rider* r);
// A disabled body does not move in the world step but still takes contacts.
void disable_rider(Rider* r);
// Remembers the current body positions in noted_positions.
void note_rider_positions(Rider* r);
// Around the world step for riders placed from the network.
void save_rider_velocities(Rider* r);
void restore_rider_velocities(Rider* r);
// Moves a network rider from its noted positions by n steps (0..64) of the
// chassis velocity, lifted so that the rear tyre does not sink.
void extrapolate_rider(Rider* r, int n);

// The per-step forces of one rider, called after the world step. A rider
// not driven here (local false) only has its accumulators cleared.
void rider_step(Rider* r, bool local);

// Gives the chassis and torso bodies the mass models in chassis_mass and
// torso_mass; call after set_rider_mass_distribution (apply_rider_settings).
void apply_rider_masses(Rider* r);

// Throws the rider off the bike: the mount is detached and the crash timer
// starts. Called by the contact code and the crash detection.
void crash_rider(Rider* r);

// Accessors.
dBodyID rider_chassis(const Rider* r);
dBodyID rider_torso(const Rider* r);
int rider_gear(const Rider* r);
float rider_throttle(const Rider* r);
float rider_clutch(const Rider* r);
float rider_engine_rpm(const Rider* r);
// Forward speed along the chassis's -z axis, mph.
float rider_speedometer_mph(const Rider* r);
bool rider_two_stroke(const Rider* r);
const char* rider_number_text(const Rider* r);
const char* rider_bike_key(const Rider* r);
// Lean angle of the chassis (rad): positive leaning toward its -x side.
float rider_lean_angle(const Rider* r);

// The model of a skin's variant: base up to its last ".", the texture's
// name part between its first two "-", then extension. False (out empty)
// when base has no extension or the texture's last component lacks two "-".
bool skin_variant_name(const char* base, const char* texture, const char* extension, char* out, int out_size);
// The model to draw with a skin texture (null: none); warn posts a warning
// when it cannot be loaded.
Mesh* load_skin_model(const char* model, const char* texture, bool warn);

// ---------------------------------------------------------------- contacts

// The deepest tyre or sphere penetration of the loaded terrain, without
// making a contact; false when nothing penetrates.
bool tyre_ground_probe(const WheelState& wheel, ContactGeometry* out);
bool sphere_ground_probe(Vec3 centre, float radius, ContactGeometry* out);

// A tile's friction coefficient and rolling-resistance pair at speed (ft/s).
float surface_friction(const Surface& s, float speed);
void surface_rolling(const Surface& s, float speed, float* a, float* b);

// Grip factor of the tyres: 1, lower in arcade mode as the bike leans.
float rider_grip_factor(const Rider* r);

// All ground contacts of one rider for this step; true when anything touched.
bool ground_contacts(Rider* r);
// Contacts between the rider and the statues near it.
void object_contacts(Rider* r);
// Contacts between two riders, a the faster; returns b's part bits hit.
int rider_contacts(Rider* a, Rider* b, bool online);
// rider_contacts for every pair riders[i], riders[j] with i < j, in that
// order (the fastest first when the list is sorted by speed), each rider's
// reach worked out once for all its pairs.
void rider_contacts_all(Rider* const* riders, int n, bool online);
// -1 when a's chassis moves faster than b's, 1 when slower, 0 when equal.
int compare_rider_speed(const Rider* a, const Rider* b);

// The fork and shock forces through their joints' motors (from rider_step).
void suspension_forces(Rider* r);
