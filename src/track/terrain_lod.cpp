// terrain_lod.cpp -- the per-node split distances of the ground mesh,
// computed from the heights in resumable pieces so that edits never stall a
// frame.
#include <algorithm>
#include <climits>
#include <cmath>

#include "track/terrain.h"

namespace {

int level_base(int l) { return (int)(((1LL << (2 * l)) - 1) / 3); }

float height_at(const Terrain& t, int c, int r) { return t.heights[(size_t)r * t.samples + c]; }

// Largest error among the level l + 1 nodes bordering the children of node
// (l, x, z); 0 when none lies inside the field.
float bordering_error(const Terrain& t, int l, int x, int z) {
  static constexpr int OFFSETS[8][2] = {{0, -1}, {1, -1}, {2, 0}, {2, 1},
                                        {1, 2},  {0, 2},  {-1, 1}, {-1, 0}};
  int side = 1 << (l + 1);
  int base = level_base(l + 1);
  float m = 0;
  for (const auto& o : OFFSETS) {
    int nx = 2 * x + o[0], nz = 2 * z + o[1];
    if (nx < 0 || nz < 0 || nx >= side || nz >= side) continue;
    m = std::max(m, t.node_error_next[base + nz * side + nx]);
  }
  return m;
}

void finish_node(Terrain& t, int l, int x, int z, float deviation) {
  int m_exp = t.size_exponent;
  // Zero detail would divide zero by zero on flat ground.
  float detail = std::max(t.geometry_detail, 1e-3f);
  float half_diagonal = t.extent * std::ldexp(1.0f, -l) * 0.70710678f;
  float own = deviation / detail + half_diagonal;
  float error = own * own;
  if (l < m_exp) {
    float nb = std::sqrt(bordering_error(t, l, x, z)) +
               t.extent * std::ldexp(1.0f, -(l + 1)) * 3.1622777f * 0.50048828125f;
    error = std::max(error, nb * nb);
    int side = 1 << (l + 1);
    int base = level_base(l + 1);
    for (int dz = 0; dz < 2; dz++)
      for (int dx = 0; dx < 2; dx++)
        error = std::max(error, t.node_error_next[base + (2 * z + dz) * side + 2 * x + dx]);
  }
  t.node_error_next[level_base(l) + z * (1 << l) + x] = error;
}

}  // namespace

bool terrain_lod_errors(Terrain& t, int budget) {
  if (!t.heights || !t.node_error || !t.node_error_next) return false;
  if (t.lod_completed >= 0) {
    if (t.lod_completed == t.lod_generation) return true;
    t.lod_completed = -t.lod_generation;
    t.lod_resume = LodResume{};
    t.lod_resume.level = t.size_exponent;
  }
  LodResume& at = t.lod_resume;
  int remaining = budget;
  const int m_exp = t.size_exponent;
  for (; at.level >= 0; at.level--, at.z = 0) {
    int l = at.level;
    int side = 1 << l;
    int s = 1 << (m_exp - l);  // half the node's side, in samples
    for (; at.z < side; at.z++, at.x = 0) {
      for (; at.x < side; at.x++) {
        int x0 = 2 * at.x * s, x1 = x0 + 2 * s;
        int z0 = 2 * at.z * s, z1 = z0 + 2 * s;
        // Right-angle corners of the node's two triangles: the diagonal
        // joins (low, low)-(high, high) in odd nodes, the other pair in even ones.
        int corners[2][2];
        if ((at.x + at.z) & 1) {
          corners[0][0] = x1, corners[0][1] = z0;
          corners[1][0] = x0, corners[1][1] = z1;
        } else {
          corners[0][0] = x0, corners[0][1] = z0;
          corners[1][0] = x1, corners[1][1] = z1;
        }
        for (; at.triangle < 2; at.triangle++, at.row = 0) {
          int cx = corners[at.triangle][0], cz = corners[at.triangle][1];
          int dx = cx == x0 ? 1 : -1, dz = cz == z0 ? 1 : -1;
          int leg = 2 * s;
          float hc = height_at(t, cx, cz);
          float ha = height_at(t, cx + dx * leg, cz);
          float hb = height_at(t, cx, cz + dz * leg);
          float ga = (ha - hc) / (float)leg, gb = (hb - hc) / (float)leg;
          if (at.row == 0) remaining -= 10;
          for (; at.row <= leg;) {
            int j = at.row;
            int k = leg + 1 - j;
            int r = cz + dz * j;
            for (int i = 0; i < k; i++) {
              float plane = hc + ga * (float)i + gb * (float)j;
              float diff = std::fabs(height_at(t, cx + dx * i, r) - plane);
              at.partial = std::max(at.partial, diff);
            }
            at.row++;
            remaining -= k - 2;
            if (remaining < 0) {
              // Stop between rows; the row counter already names the next one.
              if (at.row > leg) {
                at.triangle++;
                at.row = 0;
                if (at.triangle == 2) {
                  finish_node(t, l, at.x, at.z, at.partial);
                  at.partial = 0;
                  at.triangle = 0;
                  at.x++;
                }
              }
              return false;
            }
          }
        }
        finish_node(t, l, at.x, at.z, at.partial);
        at.partial = 0;
        at.triangle = 0;
      }
    }
  }
  std::swap(t.node_error, t.node_error_next);
  t.lod_completed = -t.lod_completed;
  t.lod_resume = LodResume{};
  t.lod_resume.level = m_exp;
  return true;
}
