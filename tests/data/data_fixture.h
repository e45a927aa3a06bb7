// data_fixture.h -- a scratch home folder and install folder for data tests,
// with helpers that write loose files, gzip data and .saf archives.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "data/data.h"

namespace fs = std::filesystem;

inline std::string gzip_bytes(const std::string& plain, const char* file_name = nullptr) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);  // 31: gzip wrapper
  gz_header header{};
  if (file_name) {
    header.name = (Bytef*)file_name;
    deflateSetHeader(&z, &header);
  }
  std::string out(plain.size() + 256, '\0');
  z.next_in = (Bytef*)plain.data();
  z.avail_in = (uInt)plain.size();
  z.next_out = (Bytef*)out.data();
  z.avail_out = (uInt)out.size();
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

inline void write_bytes(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

inline std::string read_bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A .saf archive: header lines "size name", "-", then the members' bytes.
inline std::string saf_bytes(const std::vector<std::pair<std::string, std::string>>& members,
                             const std::string& end_line = "-") {
  std::string header, data;
  for (const auto& [name, bytes] : members) {
    header += std::to_string(bytes.size()) + " " + name + "\n";
    data += bytes;
  }
  return header + end_line + "\n" + data;
}

class DataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("kt_data_" + std::to_string(getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root);
    home = root / "xdg" / "Kestrail";
    install = root / "install";
    fs::create_directories(home);
    fs::create_directories(install);
    setenv("XDG_DATA_HOME", (root / "xdg").c_str(), 1);
    setenv("KT_HOME", install.c_str(), 1);
    data_paths_reset();
  }
  void TearDown() override {
    unsetenv("KT_HOME");
    unsetenv("XDG_DATA_HOME");
    data_paths_reset();
    fs::remove_all(root);
  }
  // The whole content of a stream, or "<null>" when it does not open.
  static std::string slurp(const std::string& path) {
    Stream* s = open_stream(path.c_str(), "rb");
    if (!s) return "<null>";
    std::string out;
    for (int c; (c = stream_getc(s)) >= 0;) out += (char)c;
    close_stream(s);
    return out;
  }
  fs::path root, home, install;
};
