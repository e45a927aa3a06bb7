// pack.cpp -- .saf archives: "size name" lines, a "-" line, then the members.
#include "pack.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr size_t COMPRESS_FROM = 64 * 1024;  // bytes; smaller members stay plain

// gzip with a fixed header (no name, time 0) so the same input always gives
// the same bytes.
bool gzip(const std::string& in, std::string* out) {
  z_stream z{};
  if (deflateInit2(&z, 9, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  out->resize(deflateBound(&z, (uLong)in.size()) + 32);
  z.next_in = (Bytef*)in.data();
  z.avail_in = (uInt)in.size();
  z.next_out = (Bytef*)out->data();
  z.avail_out = (uInt)out->size();
  int rc = deflate(&z, Z_FINISH);
  out->resize(z.total_out);
  deflateEnd(&z);
  return rc == Z_STREAM_END;
}

bool already_compressed(const std::string& name) {
  return name.ends_with(".png") || name.ends_with(".gz");
}

}  // namespace

bool pack_folder(const std::string& folder, const std::string& prefix, const fs::path& archive,
                 bool recursive) {
  std::vector<fs::path> files;
  std::error_code ec;
  if (recursive) {
    for (const auto& e : fs::recursive_directory_iterator(folder, ec))
      if (e.is_regular_file()) files.push_back(e.path());
  } else {
    for (const auto& e : fs::directory_iterator(folder, ec))
      if (e.is_regular_file()) files.push_back(e.path());
  }
  if (ec) return false;
  std::sort(files.begin(), files.end());
  std::string header, data;
  for (const fs::path& f : files) {
    std::ifstream in(f, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) return false;
    std::string name = prefix + fs::relative(f, folder).generic_string();
    if (bytes.size() >= COMPRESS_FROM && !already_compressed(name)) {
      std::string packed;
      if (!gzip(bytes, &packed)) return false;
      bytes.swap(packed);
      name += ".gz";
    }
    header += std::to_string(bytes.size()) + " " + name + "\n";
    data += bytes;
  }
  header += "-\n";
  fs::path temp = archive;
  temp += ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << header << data;
    if (!out) return false;
  }
  fs::rename(temp, archive, ec);
  return !ec;
}
