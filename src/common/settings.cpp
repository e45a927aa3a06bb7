// settings.cpp -- the program-wide and per-run settings records.
#include "common/settings.h"

namespace {
GameSettings g_game_settings;
StartupSettings g_startup_settings;
}  // namespace

GameSettings& game_settings() { return g_game_settings; }
StartupSettings& startup_settings() { return g_startup_settings; }
void settings_reset() {
  g_game_settings = GameSettings{};
  g_startup_settings = StartupSettings{};
}
