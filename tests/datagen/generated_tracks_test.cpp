// generated_tracks_test.cpp -- the default tracks as the game loads them from
// the built archives: they load cleanly, their timing makes a lap, the
// course is ridable, the jumps fit their run-ups, objects stand where their
// shapes say, and the builder's output never changes by itself.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/app.h"
#include "common/common.h"
#include "course.h"
#include "data/data.h"
#include "physics/shape.h"
#include "platform/platform.h"
#include "render/model.h"
#include "track/terrain.h"
#include "track/track.h"
#include "game_data_home.h"

namespace {

namespace fs = std::filesystem;

std::string read_all(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class GeneratedTracks : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { data.open("datagen"); }
  static void TearDownTestSuite() {
    track_unload();
    models_clear();
    shapes_clear();
    data.close();
  }
  inline static GameDataHome data;
};

const TrackDesc* const DESCS[] = {&rabbithill_desc(), &arena_desc()};

// The builder's own course for a track, made once: the line a rider follows.
const GeneratedTrack& generated(const TrackDesc* d) {
  static std::vector<std::pair<const TrackDesc*, GeneratedTrack>> made;
  for (auto& [desc, track] : made)
    if (desc == d) return track;
  made.emplace_back(d, generate_track(*d));
  return made.back().second;
}

TEST_F(GeneratedTracks, TrackListShowsBothTitles) {
  std::vector<TrackListEntry> list = build_track_list();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].title, "Arena Supercross");
  EXPECT_EQ(list[0].directory, "arena");
  EXPECT_EQ(list[1].title, "Rabbit Hill");
  EXPECT_EQ(list[1].directory, "rabbithill");
}

TEST_F(GeneratedTracks, LoadWithoutAWarning) {
  for (const TrackDesc* d : DESCS) {
    log_reset();
    fs::path log = data.home / (d->dir + ".log");
    log_printf("VORN_LOGFILE=%s", log.c_str());
    track_current().track_name = d->dir;
    ASSERT_TRUE(track_load()) << d->dir;
    const Track& t = track_current();
    EXPECT_GT(t.timing.checkpoint_count, 10) << d->dir;
    EXPECT_EQ(t.gate_bar_count, d->gate_bars) << d->dir;
    EXPECT_GT(t.statues.count, t.gate_bar_count) << d->dir;
    // Every statue found its model and its shape.
    for (const Statue& s : t.statues) {
      EXPECT_NE(s.model, nullptr) << d->dir << " " << s.model_name;
      EXPECT_NE(s.shape, nullptr) << d->dir << " " << s.shape_name;
    }
    track_unload();
    log_reset();
    std::string text = read_all(log);
    for (const char* bad : {"arning", "rror", "Can't", "issing", "Unknown", "Bad "})
      EXPECT_EQ(text.find(bad), std::string::npos) << d->dir << " logged:\n" << text;
  }
}

// Walks the course centre line, as a rider on the line would go, with the
// race's crossing rule: inside the circle on its far side.
TEST_F(GeneratedTracks, EveryCheckpointIsCrossedInOrderAlongTheCourse) {
  for (const TrackDesc* d : DESCS) {
    const GeneratedTrack& g = generated(d);
    track_current().track_name = d->dir;
    ASSERT_TRUE(track_load());
    const TrackTiming& tm = track_current().timing;
    // Well-formed lists: entries in range, and both laps end at the finish line.
    ASSERT_GT(tm.first_lap_gates, 0);
    ASSERT_GT(tm.normal_lap_gates, 0);
    for (int i = 0; i < tm.first_lap_gates + tm.normal_lap_gates; i++) {
      EXPECT_GE(tm.lap_gate_list[i], 0);
      EXPECT_LT(tm.lap_gate_list[i] % LAP_ENTRY_UNUSED, tm.checkpoint_count);
    }
    EXPECT_EQ(tm.lap_gate_list[tm.first_lap_gates - 1],
              tm.lap_gate_list[tm.first_lap_gates + tm.normal_lap_gates - 1]);
    // Ride two laps from the gate and count the crossings in order.
    int n = (int)g.course.size();
    int gate = (int)d->gate_offset;
    int next = 0, total = tm.first_lap_gates + tm.normal_lap_gates;
    std::vector<int> crossed_at;
    int last_crossing = 0;
    for (int step = 0; step < 2 * n && next < total; step++) {
      const CourseSample& s = g.course[(size_t)((gate + step) % n)];
      const Checkpoint& c = tm.checkpoints[tm.lap_gate_list[next] % LAP_ENTRY_UNUSED];
      float dx = s.x - c.x, dz = s.z - c.z;
      if (dx * dx + dz * dz <= c.radius * c.radius && dx * c.nx + dz * c.nz >= 0) {
        crossed_at.push_back(step);
        // Consecutive checkpoints lie 60 to 150 ft apart along the course.
        if (next > 0) {
          EXPECT_GE(step - last_crossing, 55) << d->dir << " checkpoint " << next;
          EXPECT_LE(step - last_crossing, 150) << d->dir << " checkpoint " << next;
        }
        last_crossing = step;
        next++;
      }
    }
    EXPECT_EQ(next, total) << d->dir << ": stuck before list entry " << next;
    track_unload();
  }
}

// The centre line keeps to track tiles, and away from jump faces it has no
// grade or step a bike cannot ride: at most 0.36 ft per ft (20 degrees)
// along the line, and at most 0.58 (30 degrees) across it a quarter of the
// width either side, berms included.
TEST_F(GeneratedTracks, CourseIsRidableAndOnTrackTiles) {
  for (const TrackDesc* d : DESCS) {
    const GeneratedTrack& g = generated(d);
    track_current().track_name = d->dir;
    ASSERT_TRUE(track_load());
    const Terrain& t = terrain_record();
    std::string off = d->surfaces.off_track;
    int n = (int)g.course.size();
    int off_tiles = 0, steep = 0, tilted = 0;
    for (int i = 0; i < n; i++) {
      const CourseSample& s = g.course[(size_t)i];
      int col = (int)(s.x / t.cell2), row = (int)(s.z / t.cell2);
      const std::string& name = t.tile_names[t.tile_map[row * t.tile_side + col]];
      if (name == off + ".png" || name.rfind(off + "-", 0) == 0) {
        if (off_tiles++ == 0) ADD_FAILURE() << d->dir << ": off the track tiles at " << i << " ft (" << name << ")";
      }
      const CourseSample& a = g.course[(size_t)((i + n - 1) % n)];
      if (s.jump_face || a.jump_face) continue;
      float grade = std::fabs(terrain_height(t, s.x, s.z) - terrain_height(t, a.x, a.z)) /
                    std::hypot(s.x - a.x, s.z - a.z);
      if (grade > 0.36f && steep++ == 0) ADD_FAILURE() << d->dir << ": grade " << grade << " at " << i << " ft";
      float q = s.width / 4;
      float left = terrain_height(t, s.x + s.tz * q, s.z - s.tx * q);
      float right = terrain_height(t, s.x - s.tz * q, s.z + s.tx * q);
      if (std::fabs(left - right) / (2 * q) > 0.58f && tilted++ == 0)
        ADD_FAILURE() << d->dir << ": cross slope " << std::fabs(left - right) / (2 * q) << " at " << i << " ft";
    }
    EXPECT_EQ(off_tiles, 0) << d->dir;
    EXPECT_EQ(steep, 0) << d->dir;
    EXPECT_EQ(tilted, 0) << d->dir;
    track_unload();
  }
}

// The builder's estimate of each jump: the speed the run-up allows must
// carry a rider across the gap.
TEST_F(GeneratedTracks, JumpsCanBeClearedFromTheirRunUps) {
  int jumps = 0, tables = 0, doubles = 0, triples = 0, ups = 0, downs = 0;
  for (const TrackDesc* d : DESCS) {
    const GeneratedTrack& g = generated(d);
    for (const JumpReport& j : g.jumps) {
      EXPECT_GE(j.range, j.gap) << d->dir << " " << j.name << " at " << j.s;
      EXPECT_GT(j.takeoff_speed, 0) << d->dir << " " << j.name;
      jumps++;
      if (d->dir != "rabbithill") continue;
      tables += j.name == "tabletop";
      doubles += j.name == "double";
      triples += j.name == "triple";
      ups += j.name == "step-up";
      downs += j.name == "step-down";
    }
  }
  EXPECT_GE(tables, 3);
  EXPECT_GE(doubles, 2);
  EXPECT_GE(triples, 1);
  EXPECT_GE(ups, 1);
  EXPECT_GE(downs, 1);
}

// A statue's shape must cover its model: every sphere inside the model's
// bounds, and the spheres spanning its length.
TEST_F(GeneratedTracks, StatueShapesStandWhereTheirModelsStand) {
  for (const char* stem : {"haybale", "tuffblock", "startgate", "banner", "tower", "stand"}) {
    const Mesh* m = model_load((std::string("@") + stem + ".qm").c_str());
    const Shape* s = load_shape((std::string("@") + stem + ".shp").c_str());
    ASSERT_NE(m, nullptr) << stem;
    ASSERT_NE(s, nullptr) << stem;
    float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
    for (const Mesh* mesh = m; mesh; mesh = mesh->next_mesh)
      for (int v = 0; v < mesh->vertex_count; v++)
        for (int k = 0; k < 3; k++) {
          lo[k] = std::min(lo[k], mesh->positions[v * 3 + k]);
          hi[k] = std::max(hi[k], mesh->positions[v * 3 + k]);
        }
    float span_lo = 1e9f, span_hi = -1e9f;
    for (size_t i = 0; i < s->spheres.size(); i++) {
      const Sphere& sp = s->spheres[i];
      const float c[3] = {sp.centre.x, sp.centre.y, sp.centre.z};
      for (int k = 0; k < 3; k++) {
        EXPECT_GE(c[k], lo[k] - 0.01f) << stem << " sphere " << i;
        EXPECT_LE(c[k], hi[k] + 0.01f) << stem << " sphere " << i;
      }
      span_lo = std::min(span_lo, c[0] - sp.radius);
      span_hi = std::max(span_hi, c[0] + sp.radius);
    }
    EXPECT_LE(span_lo, lo[0] + 0.25f * (hi[0] - lo[0])) << stem;
    EXPECT_GE(span_hi, hi[0] - 0.25f * (hi[0] - lo[0])) << stem;
  }
}

// Building again gives the very same bytes.
TEST_F(GeneratedTracks, BuildingTwiceGivesIdenticalArchives) {
  fs::path again = data.home / "again";
  fs::create_directories(again);
  std::string command = std::string("'") + KT_DATAGEN + "' --out '" + again.string() + "' > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  for (const char* archive : {"kestrail-data.saf", "rabbithill.saf", "arena.saf"}) {
    std::string built = read_all(fs::path(KT_BUILD_DIR) / archive);
    EXPECT_FALSE(built.empty()) << archive;
    EXPECT_TRUE(built == read_all(again / archive)) << archive;
  }
}

}  // namespace
