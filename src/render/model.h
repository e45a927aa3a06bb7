// model.h -- ".qm" triangle models: the reader, level-of-detail chains and
// the model cache.
#pragma once

#include "common/common.h"

struct Stream;

// One mesh of a model; a model is its first mesh, the chain following
// next_mesh. Arrays with bones hold 2 V entries: the skinned half first,
// the bind pose after it.
struct Mesh {
  char* name = nullptr;          // file the model was loaded from (first mesh; owned)
  Mesh* next_mesh = nullptr;
  int generation = 0;            // model generation of last use (first mesh; 0 = permanent)
  bool reflective = false;       // drawn in the reflection pass (first mesh: any mesh is)
  unsigned int display_list = 0; // GL list, 0 while nothing is compiled
  int vertex_count = 0;          // V
  int triangle_count = 0;        // T
  int bone_count = 0;            // B, 0 for rigid meshes
  float specular[4] = {1, 1, 1, 1};  // a = reflection strength for reflective meshes
  float shininess = 32;          // specular exponent; -1 marks a reflective mesh
  float* positions = nullptr;    // [V][3], doubled with bones
  float* normals = nullptr;      // [V][3], doubled with bones
  float* tangents = nullptr;     // [V][3], doubled with bones
  float* uvs = nullptr;          // [V][2], v stored as 1 - v
  float* weights = nullptr;      // [V][B] summing to 1 per vertex, or null
  int* triangles = nullptr;      // [T][3] vertex indices
  float lod_distance = 0;        // ft; level-of-detail model: 2^n from its file name
  Mesh* next_lod = nullptr;      // base model: next coarser model, ascending distance
};

// Reads a ".qm" model from an open stream; name is kept in the first mesh.
// Null when the header is bad or the first mesh cannot be read; a later
// broken mesh ends the model. The caller owns the result (model_free).
Mesh* model_read(Stream* s, const char* name);
// Frees a model's meshes and its level-of-detail models.
void model_free(Mesh* model);

// The cached model for a file name (case-insensitive match warns), loading
// it and, for "@" names, its "_lod<n>" stand-ins on first use. Null when
// the file cannot be read. The cache owns the result.
Mesh* model_load(const char* name);
// True when some mesh of the model is drawn in the reflection pass.
bool model_has_reflections(const Mesh* model);
// The level to draw for an object at distance_sq (ft^2) from the camera.
const Mesh* model_choose_lod(const Mesh* model, float distance_sq, float lod_scale, float lod_bias);

// Starts a new model generation (every track load) and returns it.
int models_new_generation();
// Frees the cached models last used in an older generation.
void models_release_stale();
// Frees every cached model and resets the generation (tests, shut-down).
void models_clear();

// Writes a mesh as a POV-Ray "mesh2" block (track editor's scene export).
void mesh_write_pov(Stream* s, const Mesh* mesh);
