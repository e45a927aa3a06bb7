// track_save.cpp -- the track editor's writers for billboards, statues and
// timing gates.
#include <string>

#include "data/data.h"
#include "track/track.h"
#include "track/track_internal.h"

// Opens "@" + track name + "/" + name for writing, posting the failure.
static Stream* open_object_file(const char* name) {
  std::string path = "@" + track_current().track_name + "/" + name;
  Stream* s = open_stream(path.c_str(), "wb");
  if (!s) track_post("Can't open '%s'\n", name);
  return s;
}

// A write that failed leaves the old file in place and must not count as saved.
static bool finish_object_file(Stream* s, const char* name) {
  if (close_stream(s)) return true;
  track_post("Error writing '%s'\n", name);
  return false;
}

bool billboards_save() {
  Track& t = track_current();
  Stream* s = open_object_file("billboards");
  if (!s) return false;
  for (int i = t.first_track_billboard; i < t.billboards.count; i++) {
    const Billboard& b = t.billboards[i];
    if (b.texture_name.empty()) continue;
    stream_printf(s, "[%f %f %f] %f %f ", b.x, b.y_offset, b.z, b.size, b.width_ratio);
    if (b.r != 255 || b.g != 255 || b.b != 255)
      stream_printf(s, "#%02x%02x%02x#%s\n", b.r, b.g, b.b, b.texture_name.c_str());
    else
      stream_printf(s, "%s\n", b.texture_name.c_str());
  }
  return finish_object_file(s, "billboards");
}

bool statues_save() {
  Track& t = track_current();
  Stream* s = open_object_file("statues");
  if (!s) return false;
  for (int i = t.first_track_statue; i < t.statues.count; i++) {
    const Statue& st = t.statues[i];
    if (st.texture_name.empty()) continue;
    stream_printf(s, "[%f %f %f] %f %s %s %s\n", st.x, st.y_offset, st.z, st.angle,
                  st.model ? st.model_name.c_str() : "NULL", st.texture_name.c_str(),
                  st.shape_name.empty() ? "null" : st.shape_name.c_str());
  }
  return finish_object_file(s, "statues");
}

bool timing_gates_save() {
  Track& t = track_current();
  const TrackTiming& timing = t.timing;
  Stream* s = open_object_file("timing_gates");
  if (!s) return false;
  if (t.gate_bar_count > 0) {
    stream_printf(s, "startinggate:\n");
    for (int i = 0; i < t.gate_bar_count; i++) {
      const GateBar& b = t.gate_bars[i];
      stream_printf(s, "[%f %f %f]", b.x, b.y, b.z);
      stream_printf(s, " %f\n", b.angle);
    }
  }
  if (timing.checkpoint_count > 0) {
    stream_printf(s, "checkpoints:\n");
    for (int i = 0; i < timing.checkpoint_count; i++) {
      const Checkpoint& c = timing.checkpoints[i];
      stream_printf(s, "%f ", c.radius);
      stream_printf(s, "[%f %f %f]", c.x, c.y, c.z);
      stream_printf(s, " ");
      stream_printf(s, "[%f %f %f]", c.nx, c.ny, c.nz);
      stream_printf(s, "\n");
    }
  }
  if (timing.first_lap_gates > 0) {
    stream_printf(s, "firstlap:\n");
    for (int i = 0; i < timing.first_lap_gates; i++) stream_printf(s, "%d ", timing.lap_gate_list[i]);
    stream_printf(s, "\n");
  }
  if (timing.normal_lap_gates > 0) {
    stream_printf(s, "normallap:\n");
    for (int i = 0; i < timing.normal_lap_gates; i++)
      stream_printf(s, "%d ", timing.lap_gate_list[timing.first_lap_gates + i]);
    stream_printf(s, "\n");
  }
  return finish_object_file(s, "timing_gates");
}
