// tracks.cpp -- the default tracks, each a table: the course's control
// points, the obstacles along it, its surfaces and its light.
#include "course.h"

namespace {

using CS = CornerStyle;
using OK = ObstacleKind;

// An outdoor motocross track on rolling farmland. The start straight runs
// east from the gate into a funnelling right-hander; the lap winds through
// bermed, flat and off-camber turns with jumps on every straight.
TrackDesc make_rabbithill() {
  TrackDesc d;
  d.dir = "rabbithill";
  d.title = "Rabbit Hill";
  d.size_exponent = 9;  // 512 tile cells, 2048 ft across at 2 ft a sample
  d.cell = 2;
  d.base_height = 120;
  d.hill_height = 26;
  d.seed = 1977;
  d.points = {
      {475, 1496, 140, CS::Flat},      // 0: start straight, gate
      {813, 1496, 60, CS::Flat},       // 1
      {917, 1463, 30, CS::Berm},       // 2: first turn
      {943, 1372, 26, CS::Berm},       // 3
      {891, 1281, 24, CS::Flat},       // 4: flat left
      {748, 1255, 24, CS::Berm},       // 5
      {631, 1203, 24, CS::OffCamber},  // 6: off-camber
      {605, 1086, 24, CS::Berm},       // 7
      {696, 1008, 24, CS::Berm},       // 8
      {878, 1008, 24, CS::Flat},       // 9
      {1106, 1008, 24, CS::Berm},      // 10
      {1171, 1106, 24, CS::Berm},      // 11: hairpin
      {1106, 1203, 24, CS::Berm},      // 12
      {1073, 1301, 24, CS::Flat},      // 13
      {1171, 1398, 24, CS::Berm},      // 14
      {1333, 1431, 24, CS::Flat},      // 15
      {1528, 1398, 24, CS::Berm},      // 16
      {1561, 1236, 24, CS::Berm},      // 17
      {1431, 1171, 24, CS::OffCamber}, // 18
      {1366, 1041, 24, CS::Berm},      // 19
      {1463, 911, 24, CS::Berm},       // 20
      {1528, 748, 24, CS::Flat},       // 21
      {1496, 553, 24, CS::Berm},       // 22
      {1333, 521, 24, CS::Berm},       // 23
      {1138, 618, 24, CS::Flat},       // 24
      {943, 586, 24, CS::Berm},        // 25
      {748, 521, 24, CS::Flat},        // 26
      {553, 586, 24, CS::Berm},        // 27
      {488, 748, 24, CS::Flat},        // 28
      {521, 943, 24, CS::Berm},        // 29
      {456, 1268, 24, CS::Flat},       // 30
      {423, 1431, 26, CS::Berm},       // 31: last turn onto the straight
  };
  //              kind          seg  offset height face  gap  land count top
  d.obstacles = {
      {OK::Tabletop, 8, 40, 5, 20, 0, 16, 1, 28},
      {OK::Double, 9, 60, 5, 22, 40, 20},
      {OK::StepUp, 13, 30, 6, 24, 12, 0, 1, 30},
      {OK::Rhythm, 14, 40, 2.5f, 0, 22, 0, 5},
      {OK::Whoops, 15, 60, 1.6f, 0, 10, 0, 12},
      {OK::StepDown, 20, 50, 5, 12, 12, 16, 1, 24},
      {OK::Triple, 21, 50, 6, 24, 62, 20},
      {OK::Tabletop, 23, 60, 4.5f, 20, 0, 16, 1, 30},
      {OK::Double, 24, 70, 4.5f, 22, 36, 20},
      {OK::Splash, 25, 70, 1.5f, 0, 60, 0},
      {OK::Tabletop, 26, 70, 5, 21, 0, 17, 1, 32},
      {OK::Roller, 28, 40, 2, 0, 30, 0, 3},
      {OK::Double, 29, 110, 5, 22, 42, 20},
  };
  d.finish_offset = 12;
  d.gate_offset = 52;
  d.gate_bars = 40;
  d.lining = Lining::HayBales;
  d.stadium = false;
  d.shoulder = 28;
  d.lighting =
      "sun_vector [ 0.55 0.75 0.37 ]\n"
      "sun_color [ 0.78 0.74 0.66 ]\n"
      "ambient [ 0.42 0.45 0.52 ]\n"
      "global_ambient [ 0.2 0.2 0.22 ]\n"
      "fog [ 0.72 0.78 0.86 ] 0.0006\n";
  return d;
}

// A supercross track on a flat stadium floor: a start lane with the gate,
// a rhythm lane, a whoops lane and a triple lane joined by tight bermed
// hairpins, and a finish-line jump on the way back to the start.
TrackDesc make_arena() {
  TrackDesc d;
  d.dir = "arena";
  d.title = "Arena Supercross";
  d.size_exponent = 8;  // 256 tile cells, 512 ft across at 1 ft a sample
  d.cell = 1;
  d.base_height = 10;
  d.hill_height = 0;
  d.seed = 31;
  d.points = {
      {110, 100, 60, CS::Flat},   // 0: start lane, gate
      {300, 100, 40, CS::Flat},   // 1
      {420, 110, 24, CS::Berm},   // 2: hairpin
      {425, 185, 22, CS::Berm},   // 3
      {330, 200, 22, CS::Flat},   // 4: rhythm lane
      {150, 200, 22, CS::Flat},   // 5
      {100, 230, 22, CS::Berm},   // 6: hairpin
      {150, 290, 22, CS::Berm},   // 7
      {330, 290, 22, CS::Flat},   // 8: whoops lane
      {420, 310, 22, CS::Berm},   // 9: hairpin
      {410, 380, 22, CS::Berm},   // 10
      {300, 390, 22, CS::Flat},   // 11: triple lane
      {120, 390, 22, CS::Flat},   // 12
      {50, 350, 22, CS::Berm},    // 13: turn into the finish lane
      {45, 220, 22, CS::Flat},    // 14
      {55, 120, 26, CS::Berm},    // 15: onto the start lane
  };
  d.obstacles = {
      {OK::Rhythm, 4, 20, 3, 0, 24, 0, 6},
      {OK::Whoops, 7, 40, 1.8f, 0, 9, 0, 14},
      {OK::Triple, 11, 20, 6, 26, 60, 22},
      {OK::Tabletop, 13, 30, 4, 20, 0, 16, 1, 20},  // the finish-line jump
  };
  d.finish_offset = 5;
  d.gate_offset = 36;
  d.gate_bars = 18;
  d.surfaces.start = "loam";
  d.surfaces.off_track = "hardpack";
  d.surfaces.corner = "ruts";
  d.lining = Lining::TuffBlocks;
  d.stadium = true;
  d.shoulder = 8;  // stadium jumps are built with steep sides
  d.lighting =
      "sun_vector [ 0.2 0.95 0.24 ]\n"
      "sun_color [ 0.7 0.7 0.72 ]\n"
      "ambient [ 0.5 0.5 0.55 ]\n"
      "global_ambient [ 0.25 0.25 0.28 ]\n"
      "fog [ 0.05 0.05 0.08 ] 0.0015\n";
  return d;
}

}  // namespace

const TrackDesc& rabbithill_desc() {
  static const TrackDesc d = make_rabbithill();
  return d;
}

const TrackDesc& arena_desc() {
  static const TrackDesc d = make_arena();
  return d;
}
