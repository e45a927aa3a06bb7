// model_test.cpp -- ".qm" parsing, bone weights, tangents, the cache and
// level-of-detail models, and the POV-Ray mesh export.
#include "render/model.h"

#include <cmath>
#include <string>
#include <vector>

#include "render_fixture.h"

namespace {

Mesh* read_model(const std::string& text) {
  Stream* s = open_memory_stream(text.data(), (int)text.size());
  Mesh* model = model_read(s, "test.qm");
  close_stream(s);
  return model;
}

int mesh_count(const Mesh* model) {
  int n = 0;
  for (const Mesh* m = model; m; m = m->next_mesh) n++;
  return n;
}

// One triangle in the x-y plane with uvs along x and y.
const char* const TRIANGLE =
    "0 0 0  0 0 1  0 0\n"
    "1 0 0  0 0 1  1 0\n"
    "0 1 0  0 0 1  0 1\n"
    "0 1 2\n";

std::string mesh_text(float shininess, float strength = 0) {
  return std::to_string(shininess) + " " + std::to_string(strength) + " 0.5 0.25 1 3 1\n" +
         TRIANGLE;
}

}  // namespace

TEST(ModelRead, HeaderlessTriangleIsOneShinyMesh) {
  Mesh* model = read_model(std::string("3 1\n") + TRIANGLE);
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(mesh_count(model), 1);
  EXPECT_EQ(model->shininess, 32);
  EXPECT_EQ(model->bone_count, 0);
  EXPECT_EQ(model->weights, nullptr);
  EXPECT_FALSE(model->reflective);
  EXPECT_EQ(std::vector<float>(model->specular, model->specular + 4),
            (std::vector<float>{1, 1, 1, 1}));
  EXPECT_STREQ(model->name, "test.qm");
  EXPECT_FLOAT_EQ(model->uvs[3], 1.0f);   // second vertex: v 0 stored as 1
  EXPECT_FLOAT_EQ(model->uvs[5], 0.0f);   // third vertex: v 1 stored as 0
  EXPECT_EQ(std::vector<int>(model->triangles, model->triangles + 3), (std::vector<int>{0, 1, 2}));
  model_free(model);
}

TEST(ModelRead, VersionsAndBrokenMeshes) {
  struct Case {
    const char* what;
    std::string text;
    int meshes;  // 0: the load fails
  };
  const Case cases[] = {
      {"version 1, two meshes", "QM1\n" + mesh_text(16) + mesh_text(8), 2},
      {"version 3 fails", "QM3\n" + mesh_text(16), 0},
      {"version missing", "QM\n" + mesh_text(16), 0},
      {"not a model", "QX1 " + mesh_text(16), 0},
      {"empty", "", 0},
      {"first mesh truncated", "QM1\n16 0 1 1 1 3 1\n0 0 0 0 0 1 0 0\n", 0},
      {"later mesh truncated ends the model", "QM1\n" + mesh_text(16) + "8 0 1 1 1 3 1\n0 0", 1},
      {"index outside the mesh", "QM1\n16 0 1 1 1 3 1\n0 0 0 0 0 1 0 0 1 0 0 0 0 1 1 0 "
                                 "0 1 0 0 0 1 0 1 0 1 3\n", 0},
      {"negative count", "QM1\n16 0 1 1 1 -3 1\n", 0},
      {"headerless, triangles missing", "3 1\n0 0 0 0 0 1 0 0 1 0 0 0 0 1 1 0 0 1 0 0 0 1 0 1\n", 0},
      {"version 2 without its word", "QM2 2", 0},
      {"version 2, no triangles", "QM2 1 skeleton\n1 0 1 1 1 1 0\n0 0 0 0 1 0 0 0 1\n", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Mesh* model = read_model(c.text);
    EXPECT_EQ(mesh_count(model), c.meshes);
    model_free(model);
  }
}

TEST(ModelRead, ReflectiveMeshesAndSpecular) {
  Mesh* model = read_model("QM1\n" + mesh_text(0.05f) + mesh_text(-1, 0.75f) + mesh_text(4));
  ASSERT_NE(model, nullptr);
  ASSERT_EQ(mesh_count(model), 3);
  const Mesh* second = model->next_mesh;
  EXPECT_TRUE(model->reflective);  // the first mesh stands for the model
  EXPECT_TRUE(model_has_reflections(model));
  EXPECT_TRUE(second->reflective);
  EXPECT_FALSE(second->next_mesh->reflective);
  EXPECT_EQ(std::vector<float>(model->specular, model->specular + 4),
            (std::vector<float>{0.5f, 0.25f, 1, 1}));
  EXPECT_EQ(std::vector<float>(second->specular, second->specular + 4),
            (std::vector<float>{0.5f, 0.25f, 1, 0.75f}));
  model_free(model);
}

TEST(ModelRead, BoneWeightsAreNormalised) {
  std::string text =
      "QM2 3 rig\n"
      "16 0 1 1 1 3 1\n"
      "0 0 0 0 0 1 0 0  0 0 0\n"
      "1 0 0 0 0 1 1 0  1 3 0\n"
      "0 1 0 0 0 1 0 1  2 2 4\n"
      "0 1 2\n";
  Mesh* model = read_model(text);
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(model->bone_count, 3);
  const float expect[9] = {1 / 3.f, 1 / 3.f, 1 / 3.f, 0.25f, 0.75f, 0, 0.25f, 0.25f, 0.5f};
  for (int i = 0; i < 9; i++) EXPECT_FLOAT_EQ(model->weights[i], expect[i]) << i;
  // The bind pose follows the skinned half.
  EXPECT_EQ(model->positions[9 + 3], 1.0f);
  EXPECT_EQ(model->normals[9 + 2], 1.0f);
  EXPECT_FLOAT_EQ(model->tangents[9], model->tangents[0]);
  model_free(model);
}

TEST(ModelRead, TangentsFollowTheUvs) {
  struct Case {
    const char* what;
    std::string text;
    float tx, ty, tz;
  };
  const Case cases[] = {
      // With v stored flipped, (T x S) points against the face normal here,
      // so T is negated.
      {"u along x", std::string("3 1\n") + TRIANGLE, -1, 0, 0},
      // u runs along y: the tangent turns with it.
      {"u along y", "3 1\n0 0 0 0 0 1 0 0\n1 0 0 0 0 1 0 1\n0 1 0 0 0 1 1 0\n0 1 2\n", 0, 1, 0},
      // All uvs equal: a tiny tangent along the longer edge, normalised to unit.
      {"degenerate uvs", "3 1\n0 0 0 0 0 1 0 0\n3 0 0 0 0 1 0 0\n0 1 0 0 0 1 0 0\n0 1 2\n", 1, 0, 0},
      // Every position equal as well: (2^-20, 0, 0).
      {"degenerate positions", "3 1\n0 0 0 0 0 1 0 0\n0 0 0 0 0 1 0 0\n0 0 0 0 0 1 0 0\n0 1 2\n",
       1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Mesh* model = read_model(c.text);
    ASSERT_NE(model, nullptr);
    for (int v = 0; v < 3; v++) {
      EXPECT_NEAR(model->tangents[3 * v], c.tx, 1e-5);
      EXPECT_NEAR(model->tangents[3 * v + 1], c.ty, 1e-5);
      EXPECT_NEAR(model->tangents[3 * v + 2], c.tz, 1e-5);
    }
    model_free(model);
  }
}

TEST(ModelRead, PovMeshBlock) {
  Mesh* model = read_model(std::string("3 1\n") + TRIANGLE);
  ASSERT_NE(model, nullptr);
  std::string out_path = (fs::temp_directory_path() /
                          ("kt_render_pov_" + std::to_string(getpid()) + ".inc")).string();
  Stream* s = open_stream(out_path.c_str(), "w");
  ASSERT_NE(s, nullptr);
  mesh_write_pov(s, model);
  ASSERT_TRUE(close_stream(s));
  std::ifstream in(out_path);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  fs::remove(out_path);
  EXPECT_EQ(text,
            "mesh2 {\n"
            "\tvertex_vectors {\n\t\t3\n"
            "\t\t<0.000000,0.000000,0.000000>,\n\t\t<1.000000,0.000000,0.000000>,\n"
            "\t\t<0.000000,1.000000,0.000000>\n\t}\n"
            "\tnormal_vectors {\n\t\t3\n"
            "\t\t<0.000000,0.000000,1.000000>,\n\t\t<0.000000,0.000000,1.000000>,\n"
            "\t\t<0.000000,0.000000,1.000000>\n\t}\n"
            "\tuv_vectors {\n\t\t3\n"
            "\t\t<0.000000,1.000000>,\n\t\t<1.000000,1.000000>,\n\t\t<0.000000,0.000000>\n\t}\n"
            "\tface_indices {\n\t\t1\n\t\t<0,1,2>\n\t}\n"
            "}\n");
  model_free(model);
}

class ModelCache : public RenderTest {
 protected:
  void TearDown() override {
    models_clear();
    RenderTest::TearDown();
  }
};

TEST_F(ModelCache, SameNameOnceAndCaseMismatchWarns) {
  write_file("rock.qm", std::string("3 1\n") + TRIANGLE);
  Mesh* a = model_load("@rock.qm");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(model_load("@rock.qm"), a);
  EXPECT_STREQ(message_line(0), "");
  EXPECT_EQ(model_load("@ROCK.qm"), a);
  EXPECT_STREQ(message_line(0), "Warning: case mismatch on '@ROCK.qm'");
  EXPECT_EQ(model_load("@missing.qm"), nullptr);
}

TEST_F(ModelCache, LevelOfDetailFilesChainByDistance) {
  std::string tri = std::string("3 1\n") + TRIANGLE;
  write_file("tree.qm", tri);
  write_file("tree_lod4.qm", tri);
  write_file("tree_lod3.qm", tri);
  write_file("tree_lod6.5.qm", tri);
  write_file("tree_lodx.qm", tri);     // no number: not a level
  write_file("treehouse_lod1.qm", tri);  // another model's
  data_paths_reset();
  Mesh* tree = model_load("@tree.qm");
  ASSERT_NE(tree, nullptr);
  std::vector<float> distances;
  for (const Mesh* m = tree->next_lod; m; m = m->next_lod) distances.push_back(m->lod_distance);
  EXPECT_EQ(distances, (std::vector<float>{8, 16, std::exp2(6.5f)}));

  // Choosing: beyond 8 ft the first stand-in, beyond 16 the second.
  struct Pick {
    float distance, scale, bias, chosen;
  };
  const Pick picks[] = {{5, 1, 0, 0}, {8, 1, 0, 8}, {12, 1, 0, 8}, {20, 1, 0, 16},
                        {100, 1, 0, std::exp2(6.5f)}, {10, 0.5f, 0, 0}, {1, 1, 8.5f, 8}};
  for (const Pick& p : picks) {
    SCOPED_TRACE(p.distance);
    EXPECT_EQ(model_choose_lod(tree, p.distance * p.distance, p.scale, p.bias)->lod_distance,
              p.chosen);
  }
}

TEST_F(ModelCache, StaleModelsAreReleased) {
  std::string tri = std::string("3 1\n") + TRIANGLE;
  write_file("bike.qm", tri);
  write_file("statue.qm", tri);
  write_file("gate.qm", tri);
  Mesh* bike = model_load("@bike.qm");  // before any track: permanent
  ASSERT_NE(bike, nullptr);
  EXPECT_EQ(bike->generation, 0);
  models_new_generation();
  ASSERT_NE(model_load("@statue.qm"), nullptr);
  ASSERT_NE(model_load("@gate.qm"), nullptr);
  models_new_generation();
  model_load("@gate.qm");  // still used by the next track
  game_settings().debug_level = 1;
  models_release_stale();
  EXPECT_STREQ(message_line(0), "deleting model @statue.qm");
  EXPECT_EQ(model_load("@bike.qm"), bike);
  EXPECT_EQ(model_load("@gate.qm")->generation, 2);
}
