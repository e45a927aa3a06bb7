// track_test_util.h -- scratch track directories for the track tests: a
// copy of the fixture that a test may change, and the search paths aimed at it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/common.h"
#include "data/data.h"

namespace fs = std::filesystem;

inline std::string fixture_root() { return std::string(KT_TEST_DIR) + "/fixtures"; }

// A fresh copy of the fixture tree under the build directory, used as the
// installation folder, with an empty home folder beside it.
class ScratchTree {
 public:
  explicit ScratchTree(const char* name) {
    root_ = fs::path(KT_BUILD_DIR) / "track_scratch" / name;
    fs::remove_all(root_);
    fs::create_directories(root_ / "home");
    fs::copy(fixture_root(), root_ / "data", fs::copy_options::recursive);
    setenv("KT_HOME", (root_ / "data").c_str(), 1);
    setenv("XDG_DATA_HOME", (root_ / "home").c_str(), 1);
    data_paths_reset();
    messages_clear();
  }
  ~ScratchTree() {
    data_paths_reset();
    fs::remove_all(root_);
  }
  // The scratch copy of the "small" track directory.
  std::string track_dir() const { return (root_ / "data" / "small").string(); }
  std::string data_dir() const { return (root_ / "data").string(); }
  std::string home_dir() const { return (root_ / "home" / "Kestrail").string(); }
  void write(const std::string& relative, const std::string& bytes) const {
    fs::path p = root_ / "data" / relative;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
  }
  void remove(const std::string& relative) const { fs::remove(root_ / "data" / relative); }

 private:
  fs::path root_;
};

// True when one of the newest lines of the message list contains text.
inline bool message_posted(const char* text) {
  for (int i = 0; i < 20; i++)
    if (std::string(message_line(i)).find(text) != std::string::npos) return true;
  return false;
}
