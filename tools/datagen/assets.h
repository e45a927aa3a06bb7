// assets.h -- the shared assets every track uses: ground tiles and their
// transitions, the sky, particles, the starting gate, statues and billboards.
#pragma once

#include <string>
#include <vector>

// A base ground tile: its name ("loam") and how it looks.
struct GroundLook {
  const char* name;
  float r, g, b;     // mean colour
  float contrast;    // strength of the coarse mottling
  float grain;       // strength of the fine grain
  float streaks;     // ruts and tyre marks running along z
  uint32_t seed;
};

const std::vector<GroundLook>& ground_looks();

// Writes every shared asset into dir (one file per asset, named as the game
// asks for it without the "@"). The transition tiles written are those the
// tracks name. False when a file cannot be written.
bool write_shared_assets(const std::string& dir, const std::vector<std::string>& tile_names);

// Writes the seven generic collision shapes of the bikes and riders into
// dir (bike_shapes.cpp).
bool write_bike_shapes(const std::string& dir);
