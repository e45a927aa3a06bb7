// autopilot.h -- a rider controller for tests and tools: follows the track's
// checkpoints, slows for corners and for jumps it would overshoot, and
// rides only through the control channels the player's controls use.
#pragma once

#include <vector>

#include "app/app.h"

struct Rider;

// One point of the riding line, sampled about every foot round the lap.
struct PathSample {
  float x, z;        // ft
  float tx, tz;      // unit tangent, the way round the lap
  float s;           // ft along the line from the lap's first checkpoint
  float curvature;   // 1/ft, positive turning right (toward the rider's +x)
  float height;      // ft, the ground under the line
  float speed_cap;   // ft/s: corners, jumps and the braking before them
};

// A take-off found along the line and the speed it is jumped at.
struct PathJump {
  int lip;            // sample index of the lip
  float lip_speed;    // ft/s, the fastest that still lands well; 0 = no limit found
  float face_slope;   // rise per ft of the take-off face
  float range;        // ft flown at lip_speed
};

// How hard the autopilot rides.
struct AutopilotTuning {
  float top_speed = 95;        // ft/s
  float corner_accel = 15;     // ft/s^2 sideways the line is ridden at
  float brake_accel = 13;      // ft/s^2 planned braking before corners and jumps
  float landing_speed = 17;    // ft/s: the largest speed into the landing surface a jump may ask
  // The aim point lies look_base + speed x look_time ahead: far enough that
  // the slow lean of the bike does not set it weaving.
  float bump_speed = 26;       // ft/s x ft: bumps standing this many ft proud are ridden at this / height
  float look_base = 10;        // ft
  float look_time = 0.8f;      // s
};

// The line round one lap of the loaded track.
struct AutopilotPath {
  std::vector<PathSample> samples;
  std::vector<PathJump> jumps;
  float length = 0;  // ft of one lap
  float spacing = 1; // ft between samples
  // The samples bucketed by square cells, so that a rider far off the line
  // finds its nearest sample without reading them all: cell (i, j) holds
  // bucket_items[bucket_start[k] .. bucket_start[k + 1]) for k = j * columns + i.
  float bucket_size = 0;  // ft; 0 = no buckets
  float bucket_x0 = 0, bucket_z0 = 0;
  int bucket_columns = 0, bucket_rows = 0;
  std::vector<int> bucket_start, bucket_items;
};

// Builds the line from the loaded track: a curve through the normal lap's
// checkpoints along their crossing directions, the ground along it, and the
// speed caps for the tuning. False (path empty) when the track has no timing.
bool autopilot_path_build(AutopilotPath* path, const AutopilotTuning& tuning);

// The sample nearest to (x, z) among all of them.
int autopilot_path_nearest(const AutopilotPath& path, float x, float z);

// The state of one rider's autopilot.
struct Autopilot {
  const AutopilotPath* path = nullptr;
  AutopilotTuning tuning;
  int index = -1;              // the nearest sample last step; -1 = search the whole line
  ControlMemory memory;        // what the player's control code keeps between steps
  float target_speed = 0;      // ft/s wanted now (for tools that print it)
  int air_ticks = 0;           // steps both wheels were off the ground
  float steer_memory = 0;      // the last steer channel, for its rate limit
  float steer_offset = 0;      // sideways ft from the line the rider aims for (passing others)
};

// Starts an autopilot on a line; call after the rider is placed.
void autopilot_start(Autopilot* a, const AutopilotPath* path, const AutopilotTuning& tuning);

// The nine channels the autopilot presses this step, from the rider's
// chassis state, the line and the race clock (it waits for the gate).
ControlChannels autopilot_channels(Autopilot* a, const Rider* r);

// Drives the rider one step: the channels above through the player's
// control code (controls_from_channels, then apply_controls). Call before
// every frame_step.
void autopilot_drive(Autopilot* a, Rider* r);
