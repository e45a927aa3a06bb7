// model.cpp -- the ".qm" reader, level-of-detail chains and the model cache.
#include "render/model.h"

Mesh* model_read(Stream*, const char*) { return nullptr; }
void model_free(Mesh*) {}
Mesh* model_load(const char*) { return nullptr; }
bool model_has_reflections(const Mesh* model) { return model && model->reflective; }
const Mesh* model_choose_lod(const Mesh* model, float, float, float) { return model; }
int models_new_generation() { return 0; }
void models_release_stale() {}
void models_clear() {}
void mesh_write_pov(Stream*, const Mesh*) {}
