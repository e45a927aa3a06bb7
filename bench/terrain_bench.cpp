// terrain_bench.cpp -- cost of the height and normal queries that contact,
// robots and drawing ask many times a step, on a field of track size.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include "track/terrain.h"

// Every allocation of the program is counted, so the benchmark shows that
// the queries make none. These replacements pair malloc with free, which
// the compiler cannot see through once it inlines them.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
static std::atomic<long> g_allocations{0};

void* operator new(size_t n) {
  g_allocations++;
  if (void* p = malloc(n ? n : 1)) return p;
  abort();
}
void operator delete(void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }

namespace {

// Reports the allocations made inside the timed loop, per query.
struct AllocationCheck {
  benchmark::State& state;
  long start = g_allocations.load();
  ~AllocationCheck() {
    state.counters["allocs_per_query"] =
        (double)(g_allocations.load() - start) / (double)(state.iterations() ? state.iterations() : 1);
  }
};

// A 1025 x 1025-sample field (M = 9, 2 ft cells) of rolling bumps.
Terrain& bench_field() {
  static Terrain* t = [] {
    Terrain* f = new Terrain;
    terrain_init_grid(*f, 9, 2.0f);
    for (int r = 0; r < f->samples; r++)
      for (int c = 0; c < f->samples; c++)
        f->heights[r * f->samples + c] = 6.0f * std::sin(c * 0.05f) * std::cos(r * 0.07f) + 0.01f * (float)((c * 31 + r * 17) % 97);
    return f;
  }();
  return *t;
}

// Query points spread over the field and a little beyond its edges, made
// beforehand so the loop measures only the queries.
std::vector<float> query_points(const Terrain& t, int n) {
  std::vector<float> xz(2 * (size_t)n);
  uint32_t s = 12345;
  for (float& v : xz) {
    s = s * 1664525u + 1013904223u;
    v = (float)(s >> 8) / 16777216.0f * (t.extent + 40.0f) - 20.0f;
  }
  return xz;
}

void BM_TerrainHeight(benchmark::State& state) {
  const Terrain& t = bench_field();
  std::vector<float> xz = query_points(t, 4096);
  size_t i = 0;
  AllocationCheck check{state};
  for (auto _ : state) {
    benchmark::DoNotOptimize(terrain_height(t, xz[i], xz[i + 1]));
    i = (i + 2) & (xz.size() - 1);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TerrainHeight);

void BM_TerrainNormal(benchmark::State& state) {
  const Terrain& t = bench_field();
  std::vector<float> xz = query_points(t, 4096);
  size_t i = 0;
  AllocationCheck check{state};
  for (auto _ : state) {
    benchmark::DoNotOptimize(terrain_normal(t, xz[i], xz[i + 1]));
    i = (i + 2) & (xz.size() - 1);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TerrainNormal);

// A wheel's contact patch: queries close together, as contact asks them.
void BM_TerrainHeightNearby(benchmark::State& state) {
  const Terrain& t = bench_field();
  float x = 500.3f, z = 700.1f;
  AllocationCheck check{state};
  for (auto _ : state) {
    benchmark::DoNotOptimize(terrain_height(t, x, z));
    x += 0.37f;
    if (x > 520) x = 500.3f;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TerrainHeightNearby);

}  // namespace
