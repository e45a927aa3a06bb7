// track_test.cpp -- loading the fixture track's objects, the digest, the
// object rules (lap lists, gate angles, colours, statue angles, lighting)
// and the editor's writers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "data/data.h"
#include "physics/shape.h"
#include "track/track.h"
#include "track/track_internal.h"
#include "track_test_util.h"

namespace {

constexpr float PI = 3.14159265f;

// The fixture tree with track "small" loaded; unloads on the way out.
class LoadedTrack : public ::testing::Test {
 protected:
  void load(const char* scratch) {
    tree = std::make_unique<ScratchTree>(scratch);
    shapes_clear();
    track_current().track_name = "small";
    ASSERT_TRUE(track_load());
  }
  void TearDown() override {
    track_unload();
    track_list_set(nullptr, nullptr, 0);
    shapes_clear();
    tree.reset();
  }
  std::string read_home(const char* name) const {
    std::ifstream in(tree->home_dir() + "/small/" + name);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  std::unique_ptr<ScratchTree> tree;
};

TEST_F(LoadedTrack, TimingAndGateBars) {
  load("timing");
  const Track& t = track_current();
  const TrackTiming& g = t.timing;
  ASSERT_EQ(g.checkpoint_count, 3);
  EXPECT_FLOAT_EQ(g.checkpoints[1].x, 100);
  EXPECT_FLOAT_EQ(g.checkpoints[1].nz, 1);
  EXPECT_FLOAT_EQ(g.checkpoints[2].radius, 5);
  ASSERT_EQ(g.first_lap_gates, 4);
  ASSERT_EQ(g.normal_lap_gates, 4);
  const int lists[8] = {0, 1, 2, 100002, 0, 2, 1, 2};  // 100005 -> 100002, -4 -> 0, 7 -> 2
  for (int i = 0; i < 8; i++) EXPECT_EQ(g.lap_gate_list[i], lists[i]) << i;
  EXPECT_EQ(g.first_lap_line_gates, 3);
  EXPECT_EQ(g.normal_lap_line_gates, 4);

  ASSERT_EQ(t.gate_bar_count, 2);
  const GateBar& bar = t.gate_bars[0];
  EXPECT_NEAR(bar.angle, 4.0f - 2 * PI, 1e-5f);
  EXPECT_FLOAT_EQ(bar.x, 10);
  const Statue& s = t.statues[bar.statue];
  EXPECT_NEAR(s.x, 10 - 3 * std::sin(bar.angle), 1e-4f);
  EXPECT_NEAR(s.z, 20 - 3 * std::cos(bar.angle), 1e-4f);
  EXPECT_EQ(s.model_name, "@startgate.qm");
  EXPECT_NE(s.shape, nullptr);
  EXPECT_EQ(t.first_track_statue, 2);
}

TEST_F(LoadedTrack, BillboardsAndFlaggers) {
  load("billboards");
  const Track& t = track_current();
  // 2000 particles, then the start, finish and one track-side flagger.
  ASSERT_EQ(t.first_track_billboard, PARTICLE_BILLBOARDS + 3);
  ASSERT_EQ(t.billboards.count, PARTICLE_BILLBOARDS + 6);
  EXPECT_EQ(t.billboard_slots.count, 2 * t.billboards.count);
  const Billboard& tree_bb = t.billboards[t.first_track_billboard];
  EXPECT_EQ(tree_bb.r, 255);
  EXPECT_EQ(tree_bb.g, 128);
  EXPECT_EQ(tree_bb.b, 0);
  EXPECT_EQ(tree_bb.a, 255);
  EXPECT_EQ(tree_bb.texture_name, "@tree.png");
  EXPECT_NEAR(tree_bb.y, terrain_height(terrain_record(), 30, 40) + 1.5f, 1e-5f);
  const Billboard& odd = t.billboards[t.first_track_billboard + 2];
  EXPECT_EQ(odd.texture_name, "#ff80#@odd.png");  // no "#" in the eighth place
  EXPECT_EQ(odd.g, 255);

  ASSERT_TRUE(t.has_start_flagger);
  EXPECT_FLOAT_EQ(t.start_flagger.to.x, 20);
  EXPECT_FLOAT_EQ(t.start_flagger.walk_time, 3);
  EXPECT_EQ(t.start_flagger.billboard, PARTICLE_BILLBOARDS);
  ASSERT_TRUE(t.has_finish_flagger);
  EXPECT_FLOAT_EQ(t.billboards[t.finish_flagger.billboard].x, 100);
  ASSERT_EQ(t.flaggers.count, 1);
  const int gates[4] = {0, 1, 2, -1};
  for (int i = 0; i < 4; i++) EXPECT_EQ(t.flaggers[0].checkpoints[i], gates[i]);
}

TEST_F(LoadedTrack, StatuesAndBins) {
  load("statues");
  const Track& t = track_current();
  ASSERT_EQ(t.statues.count, 5);
  const Statue& facing = t.statues[2];
  EXPECT_FLOAT_EQ(facing.face_camera_size, 32);
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) EXPECT_FLOAT_EQ(facing.orientation.m[i][j], i == j ? 1 : 0);
  const Statue& upright = t.statues[3];
  EXPECT_FLOAT_EQ(upright.face_camera_size, 0);
  EXPECT_EQ(upright.shape, nullptr);  // "null"
  EXPECT_NEAR(upright.y, terrain_height(terrain_record(), 70, 70) + 0.5f, 1e-5f);
  // Turned by -7 rad as by -7 + 2 pi, but not tilted with the ground.
  float a = -7.0f + 2 * PI;
  EXPECT_NEAR(upright.orientation.m[0][0], std::cos(a), 1e-5f);
  EXPECT_NEAR(upright.orientation.m[2][0], -std::sin(a), 1e-5f);
  EXPECT_NEAR(upright.orientation.m[1][1], 1, 1e-6f);
  EXPECT_TRUE(message_posted("Warning: missing shape file @missing.shp"));
  EXPECT_EQ(t.statues[4].shape, nullptr);

  // The rock (radius 3 at 60, 60 of a 256 ft field) lies in bin (1, 1).
  const GrowList<int>& bin = t.statue_bins[1 * STATUE_BIN_SIDE + 1];
  ASSERT_EQ(bin.count, 1);
  EXPECT_EQ(bin[0], 2);
  // The gate bars (near the field's corner) fall into the edge bin.
  EXPECT_EQ(t.statue_bins[0].count, 2);
}

TEST(StatueOrientation, TiltsWithTheGroundInTheMiddleRange) {
  ScratchTree tree("orientation");
  ASSERT_TRUE(terrain_load(terrain_record(), tree.track_dir().c_str()));
  // The fixture rises along both x and z.
  Mat3 m = statue_orientation(50, 50, 0.3f);
  Vec3 up = mat3_column(m, 1);
  EXPECT_LT(up.x, 0);
  EXPECT_LT(up.z, 0);
  for (int i = 0; i < 3; i++) {
    EXPECT_NEAR(vec3_length(mat3_column(m, i)), 1, 1e-5f);
    for (int j = i + 1; j < 3; j++) EXPECT_NEAR(vec3_dot(mat3_column(m, i), mat3_column(m, j)), 0, 1e-5f);
  }
  // Exactly -2 pi and below stays upright.
  EXPECT_FLOAT_EQ(mat3_column(statue_orientation(50, 50, -6.2831855f), 1).y, 1);
  terrain_free(terrain_record());
}

TEST(StatueMaps, CandidateNames) {
  struct Case {
    const char* texture;
    const char* model;
    std::vector<std::string> names;
  } cases[] = {
      {"@barrel-repeat.png", "@barrel.qm",
       {"@barrel_norm-repeat.seq", "@barrel_norm-repeat.png", "@barrel_norm-repeat.ppm", "@barrel_norm.seq",
        "@barrel_norm.png", "@barrel_norm.ppm"}},
      {"rock.ppm", "m/rock", {"rock_norm.seq", "rock_norm.png", "rock_norm.ppm"}},
      {"plain", "model", {}},
  };
  for (const Case& k : cases) {
    std::string out[9];
    int n = statue_map_candidates(k.texture, k.model, "_norm", out);
    ASSERT_EQ(n, (int)k.names.size()) << k.texture;
    for (int i = 0; i < n; i++) EXPECT_EQ(out[i], k.names[i]);
  }
}

TEST_F(LoadedTrack, Lighting) {
  load("lighting");
  const Lighting& l = track_lighting();
  float n = std::sqrt(6.0f);
  EXPECT_NEAR(l.sun_vector.x, 1 / n, 1e-6f);
  EXPECT_NEAR(l.sun_vector.y, 2 / n, 1e-6f);
  EXPECT_FLOAT_EQ(l.sun_color.z, 0.8f);
  EXPECT_FLOAT_EQ(l.ambient.x, 0.3f);
  EXPECT_FLOAT_EQ(l.global_ambient.x, 0.2f);  // the default
  EXPECT_FLOAT_EQ(l.fog_density, 0.01f);
  EXPECT_FLOAT_EQ(l.fog_color[0], 0.5f);
  EXPECT_TRUE(l.fog_configured);
  ASSERT_EQ(l.flares.count, 1);
  EXPECT_EQ(l.flares[0].kind, 0);
  EXPECT_EQ(l.flares[0].element_count, 1);
  EXPECT_FLOAT_EQ(l.flares[0].elements[0].b, 0.2f);
  EXPECT_FLOAT_EQ(l.flares[0].position.y, 300);
}

// Parses lighting text from memory after a reset; returns lighting_parse's result.
bool parse_lighting(const std::string& text) {
  lighting_reset();
  Stream* s = open_memory_stream(text.data(), (int)text.size());
  bool ok = lighting_parse(s);
  close_stream(s);
  return ok;
}

TEST(LightingFile, KeywordsAndErrors) {
  messages_clear();
  std::string flare;
  for (int i = 0; i < 10; i++) flare += "flare_element [ 1 2 ] [ 1 1 1 ] 3 @f.png\n";
  EXPECT_TRUE(parse_lighting("\n  \t\n" + flare + "flare_vector [ 0 1 0 ]\nfog [ 1 2 3 ]\n"));
  const Lighting& l = track_lighting();
  ASSERT_EQ(l.flares.count, 1);
  EXPECT_EQ(l.flares[0].element_count, FLARE_ELEMENTS);  // the ninth and tenth are ignored
  EXPECT_EQ(l.flares[0].kind, 1);
  EXPECT_FLOAT_EQ(l.fog_density, 0);  // an incomplete fog line changes nothing

  EXPECT_FALSE(parse_lighting("ambient [ 0.1 0.1 0.1 ]\n  sunvector [ 1 1 1 ]\nambient [ 0.9 0.9 0.9 ]\n"));
  EXPECT_TRUE(message_posted("Error reading lighting: Unknown identifier 'sunvector [ 1 1 1 ]'"));
  EXPECT_FLOAT_EQ(l.ambient.x, 0.1f);  // read before the bad line; the rest is not read
  // The fog colour outlives a reset, the density does not.
  ASSERT_TRUE(parse_lighting("fog [ 0.25 0.5 0.75 ] 0.02\n"));
  lighting_reset();
  EXPECT_FLOAT_EQ(l.fog_color[0], 0.25f);
  EXPECT_FLOAT_EQ(l.fog_density, 0);
  track_lighting().flares.clear_and_free();
}

TEST(TimingRules, LapEntriesAndAngles) {
  struct Entry {
    int in, out;
  } entries[] = {{100005, 100002}, {-4, 0}, {7, 2}, {1, 1}, {100000, 100000}, {250001, 100002}};
  for (const Entry& e : entries) EXPECT_EQ(lap_entry_normalise(e.in, 3), e.out) << e.in;
  struct Angle {
    float in, out;
  } angles[] = {{4.0f, 4.0f - 2 * PI}, {-4.0f, -4.0f + 2 * PI}, {1.0f, 1.0f}, {7.0f, 7.0f - 2 * PI}};
  for (const Angle& a : angles) EXPECT_NEAR(angle_wrap(a.in), a.out, 1e-5f) << a.in;
}

TEST_F(LoadedTrack, TimingGatesWithoutCheckpointsKeepTheBars) {
  tree = std::make_unique<ScratchTree>("no_checkpoints");
  tree->write("small/timing_gates", "startinggate:\n[ 10 0 20 ] 0.5\nfirstlap:\n0\nnormallap:\n0\n");
  track_current().track_name = "small";
  ASSERT_TRUE(track_load());
  EXPECT_EQ(track_current().timing.checkpoint_count, 0);
  EXPECT_EQ(track_current().timing.first_lap_gates, 0);
  EXPECT_EQ(track_current().gate_bar_count, 1);
}

TEST_F(LoadedTrack, TitleFromTheTrackList) {
  const std::string dirs[] = {"other", "small"}, titles[] = {"Other", "Small Valley"};
  track_list_set(dirs, titles, 2);
  load("title");
  EXPECT_EQ(track_current().track_title, "Small Valley");
  track_unload();
  EXPECT_EQ(track_current().track_name, "");  // no track now
  track_list_set(nullptr, nullptr, 0);
  track_current().track_name = "small";
  ASSERT_TRUE(track_load());
  EXPECT_EQ(track_current().track_title, "small");
}

TEST(TrackLoad, MissingTerrainClearsTheName) {
  ScratchTree tree("missing_terrain");
  track_current().track_name = "nowhere";
  track_current().track_title = "x";
  EXPECT_FALSE(track_load());
  EXPECT_EQ(track_current().track_name, "");
  EXPECT_EQ(track_current().track_title, "");
  track_unload();
}

TEST(TrackDigest, CoversTerrainTimingStatuesAndModels) {
  struct Case {
    const char* file;
    bool changes;
  } cases[] = {
      {"small/terrain.hf", true},   {"small/terrain.png", true}, {"small/tileinfo", true},
      {"small/tilemap", true},      {"small/timing_gates", true}, {"small/statues", true},
      {"rock.qm", true},            {"small/billboards", false}, {"small/lighting", false},
      {"small/flaggers", false},    {"small/decals", false},
  };
  for (const Case& k : cases) {
    ScratchTree tree("digest");
    track_current().track_name = "small";
    ASSERT_TRUE(track_load()) << k.file;
    uint8_t before[20];
    memcpy(before, track_current().track_digest, 20);
    track_unload();
    // Appending a blank line leaves every file meaning the same.
    std::ifstream in(tree.data_dir() + "/" + k.file, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string bytes = ss.str();
    if (std::string(k.file) == "small/terrain.png" || std::string(k.file) == "small/tilemap")
      bytes.back() ^= 1;  // a trailing byte: the picture's end chunk checksum, the last tile
    else
      bytes += "\n";
    tree.write(k.file, bytes);
    track_current().track_name = "small";
    bool loaded = track_load();
    EXPECT_EQ(memcmp(before, track_current().track_digest, 20) != 0, k.changes) << k.file;
    if (loaded) track_unload();
  }
}

TEST_F(LoadedTrack, WritersRoundTrip) {
  load("writers");
  ASSERT_TRUE(billboards_save());
  ASSERT_TRUE(statues_save());
  ASSERT_TRUE(timing_gates_save());
  std::string bb = read_home("billboards");
  EXPECT_NE(bb.find("[30.000000 1.500000 40.000000] 6.000000 0.500000 #ff8000#@tree.png\n"), std::string::npos) << bb;
  EXPECT_NE(bb.find("4.000000 1.000000 @bush.png\n"), std::string::npos);
  std::string st = read_home("statues");
  // The fixture's models are not real ones: "NULL". No shape: "null".
  EXPECT_NE(st.find("[70.000000 0.500000 70.000000] -7.000000 NULL @rock.ppm null\n"), std::string::npos) << st;
  EXPECT_EQ(st.find("startgate"), std::string::npos);  // bars are written to timing_gates
  std::string tg = read_home("timing_gates");
  EXPECT_EQ(tg.find("startinggate:\n[10.000000 0.000000 20.000000] -2.283185\n"), 0u) << tg;
  EXPECT_NE(tg.find("checkpoints:\n5.000000 [50.000000 0.000000 50.000000] [1.000000 0.000000 0.000000]\n"),
            std::string::npos);
  EXPECT_NE(tg.find("firstlap:\n0 1 2 100002 \nnormallap:\n0 2 1 2 \n"), std::string::npos);

  // The home folder's copies now win; the objects come back the same.
  TrackTiming timing = track_current().timing;
  track_unload();
  data_paths_reset();
  track_current().track_name = "small";
  ASSERT_TRUE(track_load());
  const Track& t = track_current();
  EXPECT_EQ(memcmp(t.timing.lap_gate_list, timing.lap_gate_list, sizeof timing.lap_gate_list), 0);
  EXPECT_EQ(t.gate_bar_count, 2);
  EXPECT_EQ(t.billboards.count, PARTICLE_BILLBOARDS + 6);
  EXPECT_EQ(t.billboards[t.first_track_billboard].g, 128);
  EXPECT_EQ(t.statues.count, 5);  // the gate bars again, and the three statues with "NULL" models
}

TEST_F(LoadedTrack, WritersReportAFileThatCannotOpen) {
  load("writers_fail");
  // Plain files where the track's directory would be, in the home folder
  // and in the installation folder that writing falls back to.
  fs::create_directories(tree->home_dir());
  std::ofstream(tree->home_dir() + "/small") << "x";
  fs::rename(tree->track_dir(), tree->data_dir() + "/moved");
  std::ofstream(tree->track_dir()) << "x";
  struct Case {
    bool (*save)();
    const char* message;
  } cases[] = {{billboards_save, "Can't open 'billboards'"},
               {statues_save, "Can't open 'statues'"},
               {timing_gates_save, "Can't open 'timing_gates'"}};
  for (const Case& k : cases) {
    EXPECT_FALSE(k.save()) << k.message;
    EXPECT_TRUE(message_posted(k.message)) << k.message;
  }
}

}  // namespace
