// course.h -- a track described as a table (control points of a closed
// course, obstacles placed along it, surfaces, objects) and the generator
// that turns the table into a height field, tile map, shading and objects.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "track/track.h"  // Checkpoint

enum class CornerStyle { Berm, Flat, OffCamber };

// One control point of the closed centre line. The course runs through the
// points in order and back to the first.
struct CoursePoint {
  float x, z;         // ft
  float width;        // ft of riding surface here
  CornerStyle style;  // how a corner at this point is built
};

enum class ObstacleKind { Tabletop, Double, Triple, StepUp, StepDown, Whoops, Rhythm, Splash, Roller };

// A shape built into the course surface, placed by the control point its
// stretch starts at and the distance along the course from there.
struct Obstacle {
  ObstacleKind kind;
  int segment;      // control point index
  float offset;     // ft along the course after that point
  float height;     // ft (depth for a splash)
  float face_deg;   // take-off face, degrees
  float gap;        // ft: lip to landing crest; bump spacing for whoops and rhythm; length of a splash
  float land_deg;   // landing face, degrees
  int count = 1;    // bumps of whoops and rhythm sections
  float top = 0;    // ft: length of a tabletop's deck or a step's plateau
};

// Surface tiles by name (textures "@<name>.png").
struct Surfaces {
  const char* track = "loam";
  const char* corner = "ruts";     // the inside of tight corners, worn dark
  const char* start = "hardpack";  // the start straight
  const char* off_track = "grass";
  const char* splash = "mud";
};

// A line of objects along the course: hay bales on berms, tuff blocks, banners...
enum class Lining { HayBales, TuffBlocks, Banners };

struct TrackDesc {
  std::string dir, title;
  int size_exponent;    // M: 2^M tile cells a side
  float cell;           // ft between height samples
  float base_height;    // ft
  float hill_height;    // ft, rolling ground around the course (0 = a flat floor)
  uint32_t seed;
  std::vector<CoursePoint> points;
  std::vector<Obstacle> obstacles;
  float gate_offset;    // ft along the course from point 0 to the gate bars
  float finish_offset;  // ft along the course from point 0 to the finish line
  int gate_bars;        // bars side by side across the start, 3.2 ft apart
  Surfaces surfaces;
  Lining lining;
  bool stadium;         // walls and stands around a flat floor instead of trees and hills
  float shoulder;       // ft over which the course's edges blend into the ground beside it
  std::string lighting; // the lighting file
};

// The course sampled every foot.
struct CourseSample {
  float x, z;           // ft
  float tx, tz;         // unit tangent
  float width;          // ft
  float curvature;      // 1/ft, positive turning right
  float centre_height;  // ft, the ground before obstacles
  float obstacle;       // ft added by obstacles
  float bank;           // rise per ft toward the outside of a corner (negative: off-camber)
  bool jump_face;       // on a take-off or landing face, a step or a whoop
  int surface;          // tile kind index of Surfaces order: 0 track, 1 corner, 2 start, 4 splash
};


struct PlacedObject {
  float x, y_offset, z, angle;
  std::string model, texture, shape;  // statues
};

struct PlacedBillboard {
  float x, y_offset, z, size, width_ratio;
  std::string texture;
};

// The take-off and landing of each jump, for the closing checks.
struct JumpReport {
  std::string name;
  float s;              // ft along the course
  float face_deg, gap, land_deg, height;
  float climb;          // ft from the run-up to the lip
  float drop;           // ft from the lip down to the landing (negative: up)
  float takeoff_speed;  // ft/s, estimated from the run-up
  float range;          // ft a rider at that speed flies (lip to crest height)
  float needed_speed;   // ft/s: the slowest take-off that clears the gap
};

struct GeneratedTrack {
  int m = 0, samples = 0, tiles = 0;  // M, P, O
  float cell = 0, extent = 0;
  std::vector<float> heights;         // P*P, row-major (row = z)
  std::vector<uint8_t> tile_kind;     // O*O: index into tile_names
  std::vector<std::string> tile_names;  // ground tiles, "grass", "grass-loam-0110", ...
  std::vector<uint8_t> shading;       // P*P*3, half scale
  std::vector<uint8_t> light;         // P*P, 255 = fully lit (shadows.pgm)
  std::vector<CourseSample> course;
  float length = 0;                   // ft of one lap
  std::vector<Checkpoint> checkpoints;
  std::vector<int> first_lap, normal_lap;
  std::vector<PlacedObject> gate_bars;  // position as the file stores it (the rider's place) and angle
  std::vector<PlacedObject> statues;
  std::vector<PlacedBillboard> billboards;
  std::vector<JumpReport> jumps;
  float min_separation = 0;  // ft between centre lines of course parts a lap apart
};

GeneratedTrack generate_track(const TrackDesc& desc);
// The height of the generated field at (x, z), interpolated like the game.
float generated_height(const GeneratedTrack& t, float x, float z);

// The two tracks of the default data.
const TrackDesc& rabbithill_desc();
const TrackDesc& arena_desc();
