// ride.h -- a race ridden headless by the autopilot on every bike, through
// the game's own race loading and frame step. kestrail-ride and the race
// benchmark both ride through here, so that their figures are one race's.
#pragma once

#include <string>

struct RideSetup {
  std::string track;
  std::string bike;    // empty: the "Bike" setting's default
  int riders = 1;      // 1..40: the player's entry, then robot entries
  double seconds = 0;  // simulated s; 0 = a race of laps
  int laps = 0;        // 0 = not given (3 when no seconds either)
};

// Settings as start-up leaves them, the game data found, the track checked
// and the race loaded, every bike on the player's settings and with an
// autopilot of its own. False with *error set when something is missing;
// nothing is left loaded then.
bool ride_begin(const RideSetup& setup, std::string* error);

// Every autopilot through the setters, as the main loop applies the
// player's controls, then one frame_step.
void ride_tick();

// Seconds the autopilots took in ride_tick since ride_begin.
double ride_autopilot_seconds();

// The laps the race is run over: those given, else none for a timed race
// and 3 for a race of laps.
int ride_laps(const RideSetup& setup);

// Riders, track and physics world freed.
void ride_end();
