// model.cpp -- the ".qm" reader, tangents, level-of-detail chains and the
// model cache.
#include "render/model.h"

#include "common/settings.h"
#include "data/data.h"
#include "platform/platform.h"

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// Bounds that keep a hostile header from asking for absurd allocations.
static constexpr int MODEL_MAX_BONES = 256;
static constexpr int MESH_MAX_VERTICES = 1 << 22;
static constexpr int MESH_MAX_TRIANGLES = 1 << 22;

static constexpr float TINY_TANGENT = 9.536743e-7f;  // 2^-20

// ---------------------------------------------------------------- helpers

static void post(const char* text) {
  log_printf("%s\n", text);
  add_message(text);
}

template <class T>
static T* array_alloc(size_t count) {
  void* p = calloc(count ? count : 1, sizeof(T));
  if (!p) fatal_out_of_memory();
  return static_cast<T*>(p);
}

static char* string_copy(const char* text) {
  size_t n = strlen(text) + 1;
  char* copy = array_alloc<char>(n);
  memcpy(copy, text, n);
  return copy;
}

static void mesh_free(Mesh* mesh) {
  free(mesh->name);
  free(mesh->positions);
  free(mesh->normals);
  free(mesh->tangents);
  free(mesh->uvs);
  free(mesh->weights);
  free(mesh->triangles);
  delete mesh;
}

void model_free(Mesh* model) {
  while (model) {
    Mesh* next_lod = model->next_lod;
    for (Mesh* mesh = model; mesh;) {
      Mesh* next = mesh->next_mesh;
      mesh_free(mesh);
      mesh = next;
    }
    model = next_lod;
  }
}

// ---------------------------------------------------------------- tangents

static Vec3 vec3_at(const float* a, int i) { return {a[3 * i], a[3 * i + 1], a[3 * i + 2]}; }

static void mesh_compute_tangents(Mesh* mesh) {
  int v = mesh->vertex_count;
  float* tangents = mesh->tangents;
  for (int t = 0; t < mesh->triangle_count; t++) {
    const int* tri = mesh->triangles + 3 * t;
    Vec3 p0 = vec3_at(mesh->positions, tri[0]);
    Vec3 e1 = vec3_at(mesh->positions, tri[1]) - p0;
    Vec3 e2 = vec3_at(mesh->positions, tri[2]) - p0;
    const float* t0 = mesh->uvs + 2 * tri[0];
    const float* t1 = mesh->uvs + 2 * tri[1];
    const float* t2 = mesh->uvs + 2 * tri[2];
    float du1 = t1[0] - t0[0], dv1 = t1[1] - t0[1];
    float du2 = t2[0] - t0[0], dv2 = t2[1] - t0[1];
    float det = du1 * dv2 - du2 * dv1;
    Vec3 tangent;
    if (std::fabs(det) >= TINY_TANGENT) {
      tangent = (e1 * dv2 - e2 * dv1) * (1.0f / det);
      Vec3 bitangent = (e2 * du1 - e1 * du2) * (1.0f / det);
      if (vec3_dot(vec3_cross(tangent, bitangent), vec3_cross(e1, e2)) <= 0) tangent = -tangent;
    } else {
      // Degenerate uvs: a tiny tangent along the longer edge keeps the
      // vertex's sum from being zero, so normalising never divides by zero.
      Vec3 longer = vec3_dot(e1, e1) >= vec3_dot(e2, e2) ? e1 : e2;
      tangent = vec3_length(longer) > 0 ? vec3_normalize(longer) * TINY_TANGENT
                                        : Vec3{TINY_TANGENT, 0, 0};
    }
    for (int k = 0; k < 3; k++) {
      float* out = tangents + 3 * tri[k];
      out[0] += tangent.x;
      out[1] += tangent.y;
      out[2] += tangent.z;
    }
  }
  for (int i = 0; i < v; i++) {
    Vec3 n = vec3_normalize(vec3_at(tangents, i));
    tangents[3 * i] = n.x;
    tangents[3 * i + 1] = n.y;
    tangents[3 * i + 2] = n.z;
  }
  if (mesh->bone_count > 0) memcpy(tangents + 3 * v, tangents, sizeof(float) * 3 * v);
}

// ---------------------------------------------------------------- reading

// Reads V vertices and T triangles into a mesh whose counts, bone count
// and material are set. False when the data ends early or an index is
// outside the mesh (it would be read out of bounds when drawing).
static bool mesh_read_body(Stream* s, Mesh* mesh) {
  int v = mesh->vertex_count, t = mesh->triangle_count, b = mesh->bone_count;
  // Grown as data actually arrives, so a header claiming millions of
  // vertices costs nothing unless they are there.
  std::vector<float> vertices, weights;
  for (int i = 0; i < v; i++) {
    float f[8];
    if (stream_scanf(s, "%f %f %f %f %f %f %f %f", &f[0], &f[1], &f[2], &f[3], &f[4], &f[5],
                     &f[6], &f[7]) != 8) {
      return false;
    }
    vertices.insert(vertices.end(), f, f + 8);
    float sum = 0;
    size_t first = weights.size();
    for (int k = 0; k < b; k++) {
      float w;
      if (stream_scanf(s, "%f", &w) != 1) return false;
      weights.push_back(w);
      sum += w;
    }
    for (int k = 0; k < b; k++) {
      weights[first + k] = sum == 0 ? 1.0f / (float)b : weights[first + k] / sum;
    }
  }
  std::vector<int> indices;
  for (int i = 0; i < t; i++) {
    int tri[3];
    if (stream_scanf(s, "%d %d %d", &tri[0], &tri[1], &tri[2]) != 3) return false;
    for (int k = 0; k < 3; k++) {
      if (tri[k] < 0 || tri[k] >= v) return false;
    }
    indices.insert(indices.end(), tri, tri + 3);
  }
  size_t copies = b > 0 ? 2 : 1;  // skinned meshes keep the bind pose after the skinned half
  mesh->positions = array_alloc<float>(copies * 3 * v);
  mesh->normals = array_alloc<float>(copies * 3 * v);
  mesh->tangents = array_alloc<float>(copies * 3 * v);
  mesh->uvs = array_alloc<float>(2 * (size_t)v);
  for (int i = 0; i < v; i++) {
    const float* f = &vertices[8 * (size_t)i];
    memcpy(mesh->positions + 3 * i, f, sizeof(float) * 3);
    memcpy(mesh->normals + 3 * i, f + 3, sizeof(float) * 3);
    mesh->uvs[2 * i] = f[6];
    mesh->uvs[2 * i + 1] = 1 - f[7];
  }
  if (b > 0) {
    memcpy(mesh->positions + 3 * v, mesh->positions, sizeof(float) * 3 * v);
    memcpy(mesh->normals + 3 * v, mesh->normals, sizeof(float) * 3 * v);
    mesh->weights = array_alloc<float>((size_t)v * b);
    if (v > 0) memcpy(mesh->weights, weights.data(), sizeof(float) * weights.size());
  }
  mesh->triangles = array_alloc<int>(3 * (size_t)t);
  if (t > 0) memcpy(mesh->triangles, indices.data(), sizeof(int) * indices.size());
  mesh_compute_tangents(mesh);
  return true;
}

static Mesh* mesh_new(int v, int t, int b) {
  Mesh* mesh = new (std::nothrow) Mesh;
  if (!mesh) fatal_out_of_memory();
  mesh->vertex_count = v;
  mesh->triangle_count = t;
  mesh->bone_count = b;
  return mesh;
}

static bool counts_ok(int v, int t) {
  return v >= 0 && t >= 0 && v <= MESH_MAX_VERTICES && t <= MESH_MAX_TRIANGLES;
}

// One mesh of a "QM" file, or null (and nothing allocated) when it cannot
// be read completely.
static Mesh* mesh_read(Stream* s, int bones) {
  float shininess, strength, r, g, b;
  int v, t;
  if (stream_scanf(s, "%f %f %f %f %f %d %d", &shininess, &strength, &r, &g, &b, &v, &t) != 7 ||
      !counts_ok(v, t)) {
    return nullptr;
  }
  Mesh* mesh = mesh_new(v, t, bones);
  mesh->shininess = shininess;
  mesh->reflective = shininess == -1;
  mesh->specular[0] = r;
  mesh->specular[1] = g;
  mesh->specular[2] = b;
  mesh->specular[3] = shininess >= 0 ? 1 : strength;
  if (!mesh_read_body(s, mesh)) {
    mesh_free(mesh);
    return nullptr;
  }
  return mesh;
}

Mesh* model_read(Stream* s, const char* name) {
  if (!s) return nullptr;
  stream_scanf(s, " ");
  Mesh* first = nullptr;
  if (stream_peekc(s) == 'Q') {
    int version = 0, bones = 0;
    char unused[1024];
    if (stream_scanf(s, "QM%d", &version) != 1) return nullptr;
    if (version == 2) {
      if (stream_scanf(s, "%d %1023s", &bones, unused) != 2) return nullptr;
      if (bones < 0 || bones > MODEL_MAX_BONES) return nullptr;
    } else if (version != 1) {
      return nullptr;
    }
    first = mesh_read(s, bones);
    if (!first) return nullptr;
    // Meshes follow until the file ends or one is incomplete; that one is dropped.
    Mesh* last = first;
    while (Mesh* mesh = mesh_read(s, bones)) {
      last->next_mesh = mesh;
      last = mesh;
      if (mesh->reflective) first->reflective = true;
    }
  } else {
    int v, t;
    if (stream_scanf(s, "%d %d", &v, &t) != 2 || !counts_ok(v, t)) return nullptr;
    first = mesh_new(v, t, 0);
    if (!mesh_read_body(s, first)) {
      mesh_free(first);
      return nullptr;
    }
  }
  first->name = string_copy(name ? name : "");
  return first;
}

// ---------------------------------------------------------------- cache

static struct {
  std::vector<Mesh*> models;  // load order
  int generation = 0;
} cache;

static Mesh* model_read_file(const char* name) {
  Stream* s = open_stream(name, "rb");
  if (!s) return nullptr;
  Mesh* model = model_read(s, name);
  close_stream(s);
  return model;
}

// Adds the "<stem>_lod<n>" files of an "@" model, coarsest last.
static void model_find_lods(Mesh* base, const char* name) {
  std::string stem = name + 1;
  size_t dot = stem.rfind('.');
  if (dot != std::string::npos) stem.erase(dot);
  stem += "_lod";
  const char* const* files = list_files();
  for (int i = 0; files && files[i]; i++) {
    const char* file = files[i];
    if (strncmp(file, stem.c_str(), stem.size()) != 0) continue;
    const char* number = file + stem.size();
    // Only plain decimals count; strtod's "inf", "nan" and hex forms do not.
    if (!(*number >= '0' && *number <= '9') && *number != '.' && *number != '-' &&
        *number != '+') {
      continue;
    }
    char* end = nullptr;
    double n = strtod(number, &end);
    if (end == number || !std::isfinite(n)) continue;
    std::string lod_name = std::string("@") + file;
    if (lod_name.size() > 3 && lod_name.compare(lod_name.size() - 3, 3, ".gz") == 0) {
      lod_name.erase(lod_name.size() - 3);
    }
    Mesh* lod = model_read_file(lod_name.c_str());
    if (!lod) continue;
    lod->lod_distance = (float)std::exp2(n);
    lod->generation = base->generation;
    Mesh** link = &base->next_lod;
    while (*link && (*link)->lod_distance < lod->lod_distance) link = &(*link)->next_lod;
    lod->next_lod = *link;
    *link = lod;
  }
}

Mesh* model_load(const char* name) {
  if (!name) return nullptr;
  for (Mesh* model : cache.models) {
    if (strcmp(model->name, name) == 0 || strcasecmp(model->name, name) == 0) {
      if (strcmp(model->name, name) != 0) {
        char text[1000];
        snprintf(text, sizeof text, "Warning: case mismatch on '%.900s'", name);
        post(text);
      }
      model->generation = cache.generation;
      return model;
    }
  }
  Mesh* model = model_read_file(name);
  if (!model) return nullptr;
  model->lod_distance = 0;
  model->generation = cache.generation;
  if (name[0] == '@') model_find_lods(model, name);
  cache.models.push_back(model);
  return model;
}

bool model_has_reflections(const Mesh* model) { return model && model->reflective; }

const Mesh* model_choose_lod(const Mesh* model, float distance_sq, float lod_scale,
                             float lod_bias) {
  const Mesh* chosen = model;
  for (const Mesh* level = model; level; level = level->next_lod) {
    float v = level->lod_distance - lod_bias;
    if (v > 0 && distance_sq * lod_scale * lod_scale < v * v) break;
    chosen = level;
  }
  return chosen;
}

int models_new_generation() { return ++cache.generation; }

void models_release_stale() {
  size_t kept = 0;
  for (Mesh* model : cache.models) {
    if (model->generation == 0 || model->generation == cache.generation) {
      cache.models[kept++] = model;
      continue;
    }
    if (game_settings().debug_level >= 1) {
      char text[1000];
      snprintf(text, sizeof text, "deleting model %.900s", model->name);
      post(text);
    }
    model_free(model);
  }
  cache.models.resize(kept);
}

void models_clear() {
  for (Mesh* model : cache.models) model_free(model);
  cache.models.clear();
  cache.generation = 0;
}

// ---------------------------------------------------------------- POV-Ray export

static void write_vectors(Stream* s, const char* block, const float* values, int count, int size) {
  stream_printf(s, "\t%s {\n", block);
  stream_printf(s, "\t\t%d\n", count);
  for (int i = 0; i < count; i++) {
    const char* sep = i + 1 < count ? "," : "";
    const float* v = values + (size_t)i * size;
    if (size == 3) {
      stream_printf(s, "\t\t<%f,%f,%f>%s\n", v[0], v[1], v[2], sep);
    } else {
      stream_printf(s, "\t\t<%f,%f>%s\n", v[0], v[1], sep);
    }
  }
  stream_printf(s, "\t}\n");
}

void mesh_write_pov(Stream* s, const Mesh* mesh) {
  if (!s || !mesh) return;
  stream_printf(s, "mesh2 {\n");
  write_vectors(s, "vertex_vectors", mesh->positions, mesh->vertex_count, 3);
  write_vectors(s, "normal_vectors", mesh->normals, mesh->vertex_count, 3);
  write_vectors(s, "uv_vectors", mesh->uvs, mesh->vertex_count, 2);
  stream_printf(s, "\tface_indices {\n");
  stream_printf(s, "\t\t%d\n", mesh->triangle_count);
  for (int i = 0; i < mesh->triangle_count; i++) {
    const int* t = mesh->triangles + 3 * i;
    stream_printf(s, "\t\t<%d,%d,%d>%s\n", t[0], t[1], t[2],
                  i + 1 < mesh->triangle_count ? "," : "");
  }
  stream_printf(s, "\t}\n");
  stream_printf(s, "}\n");
}
