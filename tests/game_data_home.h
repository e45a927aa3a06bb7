// game_data_home.h -- for tests over the generated game data: a scratch home
// folder, the built archives (and nothing else of the build tree) as the
// install folder, the log written into the home folder, and the clean-up
// after races on them.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "data/data.h"
#include "physics/physics.h"
#include "physics/shape.h"
#include "platform/platform.h"
#include "race/race.h"
#include "render/model.h"
#include "track/track.h"

struct GameDataHome {
  std::filesystem::path home;

  // name keeps the folders of test programs running side by side apart.
  void open(const std::string& name) {
    namespace fs = std::filesystem;
    home = fs::temp_directory_path() / ("kt_" + name + "_" + std::to_string(getpid()));
    fs::remove_all(home);
    fs::create_directories(home / "data");
    for (const char* archive : {"zzzz.saf", "kestrail-data.saf", "rabbithill.saf", "arena.saf"})
      fs::create_symlink(fs::path(KT_BUILD_DIR) / archive, home / "data" / archive);
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    setenv("KT_HOME", (home / "data").c_str(), 1);
    unsetenv("VORN_LOGFILE");
    data_paths_reset();
    log_reset();
    log_printf("VORN_LOGFILE=%s/log.txt", home.c_str());
  }

  void close() {
    log_reset();
    unsetenv("KT_HOME");
    unsetenv("XDG_DATA_HOME");
    data_paths_reset();
    std::filesystem::remove_all(home);
  }

  std::string log_text() const {
    std::ifstream in(home / "log.txt");
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
};

// Destroys every slot's rider, unloads the track, shuts the physics world
// down and empties the model and shape caches: the end of a test's races.
inline void free_race_world() {
  for (int slot = 0; slot < RACE_SLOTS; slot++) {
    destroy_rider(race_state().riders[slot]);
    race_state().riders[slot] = nullptr;
  }
  track_unload();
  physics_shutdown();
  models_clear();
  shapes_clear();
}
