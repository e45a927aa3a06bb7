// timing_gates.cpp -- the "timing_gates" file: starting-gate bars,
// checkpoints and the two lap lists.
#include <cmath>
#include <cstring>

#include "common/settings.h"
#include "data/data.h"
#include "platform/platform.h"
#include "track/track.h"
#include "track/track_internal.h"

float angle_wrap(float a) {
  constexpr float PI = 3.14159265358979f;
  if (a >= -PI && a <= PI) return a;
  float turns = (a + PI) / (2 * PI);
  return (turns - std::floor(turns)) * 2 * PI - PI;
}

int lap_entry_normalise(int entry, int count) {
  if (entry < 0) entry = 0;
  int mark = entry >= LAP_ENTRY_UNUSED ? LAP_ENTRY_UNUSED : 0;
  int index = entry % LAP_ENTRY_UNUSED;
  if (index > count - 1) index = count - 1;
  return mark + index;
}

// Up to LAP_LIST_LIMIT integers into list; returns how many.
static int read_lap_list(Stream* s, int* list) {
  int n = 0;
  int v;
  while (n < LAP_LIST_LIMIT && stream_scanf(s, "%d", &v) == 1) list[n++] = v;
  return n;
}

void timing_gates_parse(Stream* s) {
  Track& t = track_current();
  TrackTiming timing;
  int first[LAP_LIST_LIMIT], normal[LAP_LIST_LIMIT];
  int first_count = 0, normal_count = 0;
  bool have_checkpoints = false;
  char word[81];
  bool first_word = true;
  while (stream_scanf(s, " %80s ", word) == 1) {
    if (first_word && strcmp(word, "startinggate:") == 0) {
      float x, y, z, a;
      while (t.gate_bar_count < GATE_BAR_LIMIT &&
             stream_scanf(s, " [ %f %f %f ] %f ", &x, &y, &z, &a) == 4) {
        a = angle_wrap(a);
        GateBar& bar = t.gate_bars[t.gate_bar_count++];
        bar = GateBar{x, y, z, a, -1};
        bar.statue = statue_create(x - 3 * std::sin(a), y, z - 3 * std::cos(a), a, "@startgate.qm",
                                   "@startgate.ppm", "@startgate.shp");
      }
    } else if (strcmp(word, "checkpoints:") == 0) {
      have_checkpoints = true;
      Checkpoint c;
      while (timing.checkpoint_count < CHECKPOINT_LIMIT &&
             stream_scanf(s, "%f [ %f %f %f ] [ %f %f %f ] ", &c.radius, &c.x, &c.y, &c.z, &c.nx, &c.ny,
                          &c.nz) == 7)
        timing.checkpoints[timing.checkpoint_count++] = c;
    } else if (strcmp(word, "firstlap:") == 0) {
      first_count = read_lap_list(s, first);
    } else if (strcmp(word, "normallap:") == 0) {
      normal_count = read_lap_list(s, normal);
    } else {
      break;
    }
    first_word = false;
  }

  int count = timing.checkpoint_count;
  for (int i = 0; i < first_count; i++) {
    if (first[i] < LAP_ENTRY_UNUSED) timing.first_lap_line_gates++;
    timing.lap_gate_list[i] = lap_entry_normalise(first[i], count);
  }
  for (int i = 0; i < normal_count; i++) {
    if (normal[i] < LAP_ENTRY_UNUSED) timing.normal_lap_line_gates++;
    timing.lap_gate_list[first_count + i] = lap_entry_normalise(normal[i], count);
  }
  timing.first_lap_gates = first_count;
  timing.normal_lap_gates = normal_count;
  if (!have_checkpoints || count == 0 || first_count == 0 || normal_count == 0 ||
      timing.first_lap_line_gates == 0 || timing.normal_lap_line_gates == 0) {
    t.timing = TrackTiming{};  // no timing; the gate bars stay
    return;
  }
  t.timing = timing;
  // The robots' line tables are sized from these lists when their store loads them.
  if (game_settings().debug_level >= 1)
    log_printf("Found %d timing gates, first lap has %d gates, normal lap has %d\n", count, first_count,
               normal_count);
}
